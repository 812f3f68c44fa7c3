#pragma once
#include <string>
#include <string_view>

namespace mailsift::test {

// Whole-file helpers for tests; both throw on failure.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, std::string_view bytes);

// The folder of real files written by other programs, or "" when it is absent;
// tests skip with a message in that case.
std::string SharedFixturesDir();

}  // namespace mailsift::test
