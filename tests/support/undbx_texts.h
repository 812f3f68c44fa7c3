#pragma once
// What the "undbx" program, a reader of Outlook Express folder files of its own, makes of one.
#include <optional>
#include <string>
#include <vector>

namespace mailsift::test {

// The message texts undbx extracts from a folder file into outputDir, sorted; nullopt when the
// program is not installed.
std::optional<std::vector<std::string>> UndbxTexts(const std::string& dbxFile,
                                                   const std::string& outputDir);

}  // namespace mailsift::test
