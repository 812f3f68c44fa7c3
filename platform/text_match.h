#pragma once
#include <string_view>

namespace mailsift {

// Whole-text match against a mask where "*" matches any run of characters (also none), "?"
// one character and everything else itself, ignoring letter case. Characters are UTF-8 code
// points; letter case is folded for ASCII letters.
bool MatchesMask(std::string_view text, std::string_view mask);

}  // namespace mailsift
