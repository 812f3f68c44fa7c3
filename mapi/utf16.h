#pragma once
// Conversions between the UTF-16 of MAPI's wide strings and the UTF-8 used everywhere else.
// Unpaired surrogates and malformed sequences become U+FFFD.
#include <cstdint>
#include <string>

namespace mailsift {

inline std::string Utf16ToUtf8(const char16_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

inline std::string Utf16ToUtf8(const std::u16string& text) {
    return Utf16ToUtf8(text.data(), text.size());
}

inline std::u16string Utf8ToUtf16(const std::string& text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        uint32_t code = 0xFFFD;
        size_t length = 1;
        if (c < 0x80) {
            code = c;
        } else if ((c >> 5) == 0x6) {
            length = 2;
            code = c & 0x1Fu;
        } else if ((c >> 4) == 0xE) {
            length = 3;
            code = c & 0x0Fu;
        } else if ((c >> 3) == 0x1E) {
            length = 4;
            code = c & 0x07u;
        }
        if (length > 1) {
            bool valid = i + length <= text.size();
            for (size_t k = 1; valid && k < length; ++k) {
                auto next = static_cast<unsigned char>(text[i + k]);
                valid = (next & 0xC0) == 0x80;
                code = (code << 6) | (next & 0x3Fu);
            }
            if (!valid || code > 0x10FFFF) {
                code = 0xFFFD;
                length = 1;
            }
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += length;
    }
    return out;
}

}  // namespace mailsift
