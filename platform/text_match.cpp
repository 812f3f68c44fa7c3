#include "platform/text_match.h"

#include "platform/text_case.h"

namespace mailsift {

namespace {

// Length of the UTF-8 code point at text[pos]; a byte that does not start a complete,
// well-formed sequence counts as one character of its own.
size_t CodePointLength(std::string_view text, size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (length == 1 || pos + length > text.size()) return 1;
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 1;
    }
    return length;
}

bool SameCharacter(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

}  // namespace

// Masks come from address lists over hostile data, so matching must not be exponential:
// only the most recent "*" is ever retried, each time one character further on.
bool MatchesMask(std::string_view text, std::string_view mask) {
    constexpr size_t kNoStar = std::string_view::npos;
    size_t t = 0;
    size_t m = 0;
    size_t afterStar = kNoStar;
    size_t starText = 0;
    while (t < text.size()) {
        if (m < mask.size() && mask[m] == '*') {
            afterStar = ++m;
            starText = t;
            continue;
        }
        if (m < mask.size()) {
            const size_t textLength = CodePointLength(text, t);
            if (mask[m] == '?') {
                ++m;
                t += textLength;
                continue;
            }
            const size_t maskLength = CodePointLength(mask, m);
            if (SameCharacter(text.substr(t, textLength), mask.substr(m, maskLength))) {
                m += maskLength;
                t += textLength;
                continue;
            }
        }
        if (afterStar == kNoStar) return false;
        starText += CodePointLength(text, starText);
        t = starText;
        m = afterStar;
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

}  // namespace mailsift
