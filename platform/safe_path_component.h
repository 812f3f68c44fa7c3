#pragma once
#include <string>
#include <string_view>

namespace mailsift {

// A name taken from mail data (a folder, sender or attachment name) as one path component:
// "/", "\" and NUL become "_", and "." and ".." become "_" and "__", so the name can neither
// leave the folder it is put in nor name that folder or its parent.
std::string SafePathComponent(std::string_view name);

}  // namespace mailsift
