#pragma once
#include <string>

namespace mailsift::test {

// What a shell command prints on its standard output; "" when it cannot be started.
std::string RunCommand(const std::string& command);

}  // namespace mailsift::test
