#pragma once
// Small text helpers shared by the message reader and writer.
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_case.h"

namespace mailsift {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

inline std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() &&
           (IsBlank(text.front()) || text.front() == '\r' || text.front() == '\n')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

inline bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// Text split at its line ends (LF, with a CR before it dropped); a line end at the very end
// does not start one more, empty line.
std::vector<std::string> SplitTextLines(std::string_view text);

}  // namespace mailsift
