#include "mime/quoted_printable.h"

#include <cstddef>
#include <cstring>

#include "mime/text_util.h"

namespace mailsift {

namespace {

constexpr size_t kMaxLineLength = 76;
constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    // Lower-case digits break the rule but are common enough in the wild to accept.
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool MustEscape(unsigned char c) {
    return c > 126 || c == '=' || (c < 32 && c != '\t');
}

}  // namespace

void DecodeQuotedPrintableLine(std::string_view line, std::string& out) {
    // Blanks at the end of an encoded line are transport padding, not text.
    size_t end = line.size();
    while (end > 0 && IsBlank(line[end - 1])) {
        --end;
    }
    line = line.substr(0, end);
    const bool softBreak = !line.empty() && line.back() == '=';
    if (softBreak) {
        line.remove_suffix(1);
    }

    out.reserve(out.size() + line.size() + 2);
    size_t pos = 0;
    while (pos < line.size()) {
        const void* found = std::memchr(line.data() + pos, '=', line.size() - pos);
        const size_t escape =
            found == nullptr ? line.size()
                             : static_cast<size_t>(static_cast<const char*>(found) - line.data());
        out.append(line, pos, escape - pos);
        if (escape == line.size()) {
            break;
        }
        const int high = escape + 1 < line.size() ? HexValue(line[escape + 1]) : -1;
        const int low = escape + 2 < line.size() ? HexValue(line[escape + 2]) : -1;
        if (high >= 0 && low >= 0) {
            out.push_back(static_cast<char>(high * 16 + low));
            pos = escape + 3;
        } else {
            // A damaged escape is kept as it stands rather than guessed at.
            out.push_back('=');
            pos = escape + 1;
        }
    }
    if (!softBreak) {
        out.append("\r\n");
    }
}

void AppendQuotedPrintableLine(std::string_view line, std::string& out) {
    out.reserve(out.size() + line.size() * 3 / 2 + 4);
    size_t column = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        const bool last = i + 1 == line.size();
        // A blank that ends the line would be taken for padding and dropped.
        bool escape = MustEscape(c) || (last && IsBlank(line[i]));
        // Any character but the last must leave room for the "=" of a soft break after it.
        const size_t limit = last ? kMaxLineLength : kMaxLineLength - 1;
        if (column + (escape ? 3 : 1) > limit) {
            out.append("=\r\n");
            column = 0;
        }
        // A "." that starts an output line is escaped, so the text passes unchanged through a
        // mail transfer that would dot-stuff it.
        escape = escape || (column == 0 && c == '.');
        if (escape) {
            out.push_back('=');
            out.push_back(kHexDigits[c >> 4]);
            out.push_back(kHexDigits[c & 0x0F]);
            column += 3;
        } else {
            out.push_back(static_cast<char>(c));
            ++column;
        }
    }
    out.append("\r\n");
}

}  // namespace mailsift
