#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mailsift {

// Whole-file text access shared by the key files and the store list. Failures throw
// std::system_error carrying the file error and the path.

// The file's bytes, or nullopt when the file does not exist.
std::optional<std::string> ReadTextFile(const std::string& path);
// Replaces the file's content (creating the file) with bytes, all or nothing.
void WriteTextFile(const std::string& path, std::string_view bytes);
// Appends bytes, creating the file when missing.
void AppendTextFile(const std::string& path, std::string_view bytes);

// Lines ended by CR, LF or CR LF; a break at the very end does not start another line, and a
// leading UTF-8 byte order mark is dropped.
std::vector<std::string> SplitLines(std::string_view text);
// Every line followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace mailsift
