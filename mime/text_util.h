#pragma once
// Small text helpers shared by the message reader and writer.
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_case.h"

namespace mailsift {

// Blanks as header and body grammars mean them: space and TAB.
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A blank or the CR that a line read with CR LF ends with.
inline bool IsBlankOrCr(char c) {
    return IsBlank(c) || c == '\r';
}

// A blank or a line break; text that is encoded as a whole may be folded anywhere.
inline bool IsBlankOrLineBreak(char c) {
    return IsBlankOrCr(c) || c == '\n';
}

inline std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlankOrLineBreak(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlankOrLineBreak(text.back())) text.remove_suffix(1);
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
