#pragma once
#include <initializer_list>
#include <string>
#include <string_view>

namespace mailsift {

// The language's text for key, then each value after one blank. A language file that cannot
// be read must not stop a store operation half-way (an open whose handle never reached the
// caller would block that backend for good), so the line then carries the missing-text marker.
std::string StoreLogLine(std::string_view key, std::initializer_list<std::string_view> values = {});

}  // namespace mailsift
