#include "mime/uu_codec.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "mime/alphabet_table.h"
#include "mime/text_util.h"

namespace mailsift {

namespace {

constexpr char kXxeAlphabet[] = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr size_t kLineBytes = 45;
constexpr int8_t kInvalid = -1;

constexpr std::array<int8_t, 256> kXxeTable = MakeAlphabetTable<int8_t>(kXxeAlphabet, kInvalid);

// UUE maps 0 to either a blank or "`" (the latter survives transports that strip blanks).
int UueValue(unsigned char c) {
    return c >= ' ' && c <= '`' ? (c - ' ') & 0x3F : kInvalid;
}

int Value(unsigned char c, UuAlphabet alphabet) {
    return alphabet == UuAlphabet::Uue ? UueValue(c) : kXxeTable[c];
}

char Character(uint32_t value, UuAlphabet alphabet) {
    if (alphabet == UuAlphabet::Xxe) {
        return kXxeAlphabet[value];
    }
    return value == 0 ? '`' : static_cast<char>(' ' + value);
}

std::string_view TrimTrailingBlanksAndCr(std::string_view text) {
    while (!text.empty() && IsBlankOrCr(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view TrimBlanksAndCr(std::string_view text) {
    while (!text.empty() && IsBlankOrCr(text.front())) {
        text.remove_prefix(1);
    }
    return TrimTrailingBlanksAndCr(text);
}

size_t EncodedLength(size_t bytes) {
    return (bytes + 2) / 3 * 4;
}

bool AllInAlphabet(std::string_view line, UuAlphabet alphabet) {
    return std::all_of(line.begin(), line.end(), [alphabet](char c) {
        return Value(static_cast<unsigned char>(c), alphabet) != kInvalid;
    });
}

// Whether the length character of line, read in alphabet, announces as many bytes as the line
// holds.
bool LengthMatches(std::string_view line, UuAlphabet alphabet) {
    const int declared = Value(static_cast<unsigned char>(line[0]), alphabet);
    return declared != kInvalid && line.size() - 1 == EncodedLength(static_cast<size_t>(declared));
}

}  // namespace

std::optional<UuBeginLine> ParseUuBeginLine(std::string_view line) {
    constexpr std::string_view kBegin = "begin";
    if (!line.starts_with(kBegin) || line.size() == kBegin.size() ||
        (line[kBegin.size()] != ' ' && line[kBegin.size()] != '\t')) {
        return std::nullopt;
    }
    std::string_view rest = TrimBlanksAndCr(line.substr(kBegin.size()));
    size_t modeLength = 0;
    while (modeLength < rest.size() && rest[modeLength] >= '0' && rest[modeLength] <= '7') {
        ++modeLength;
    }
    if (modeLength < 3 || modeLength > 4 || modeLength == rest.size() ||
        (rest[modeLength] != ' ' && rest[modeLength] != '\t')) {
        return std::nullopt;
    }
    // A begin line without a name is more likely prose than an attachment.
    const std::string_view name = TrimBlanksAndCr(rest.substr(modeLength));
    if (name.empty()) {
        return std::nullopt;
    }
    return UuBeginLine{std::string(rest.substr(0, modeLength)), std::string(name)};
}

UuAlphabet DetectUuAlphabet(std::string_view firstDataLine) {
    const std::string_view line = TrimTrailingBlanksAndCr(firstDataLine);
    if (line.empty()) {
        return UuAlphabet::Uue;
    }
    // The alphabets share digits, capitals, "+" and "-"; lower case is XXE only, blanks and
    // most punctuation UUE only. A line made of the shared characters is told apart by which
    // reading of its length character matches its length.
    if (!AllInAlphabet(line, UuAlphabet::Xxe)) {
        return UuAlphabet::Uue;
    }
    if (!AllInAlphabet(line, UuAlphabet::Uue)) {
        return UuAlphabet::Xxe;
    }
    return LengthMatches(line, UuAlphabet::Xxe) && !LengthMatches(line, UuAlphabet::Uue)
               ? UuAlphabet::Xxe
               : UuAlphabet::Uue;
}

bool DecodeUuLine(std::string_view line, UuAlphabet alphabet, std::string& out) {
    // UUE lines may end in blanks that are data; XXE has none in its alphabet.
    if (alphabet == UuAlphabet::Xxe || TrimTrailingBlanksAndCr(line) == "end") {
        line = TrimTrailingBlanksAndCr(line);
    }
    if (line.empty() || line == "end") {
        return false;
    }
    const int declared = Value(static_cast<unsigned char>(line[0]), alphabet);
    if (declared == 0) {
        return false;
    }
    if (declared == kInvalid) {
        return true;
    }
    const auto wanted = static_cast<size_t>(declared);
    // Characters past the end of a UUE line count as blanks: mail transports strip trailing
    // blanks, which UUE encoders of old used for zero. An XXE line just ends there.
    auto sextet = [&](size_t pos) -> int {
        if (pos >= line.size()) {
            return alphabet == UuAlphabet::Uue ? 0 : kInvalid;
        }
        return Value(static_cast<unsigned char>(line[pos]), alphabet);
    };

    out.reserve(out.size() + wanted);
    size_t produced = 0;
    for (size_t pos = 1; produced < wanted; pos += 4) {
        std::array<uint32_t, 4> values{};
        size_t available = 0;
        while (available < 4) {
            const int value = sextet(pos + available);
            if (value == kInvalid) {
                break;
            }
            values[available++] = static_cast<uint32_t>(value);
        }
        const uint32_t group = (values[0] << 18) | (values[1] << 12) | (values[2] << 6) | values[3];
        const size_t bytes = available < 2 ? 0 : std::min(available - 1, wanted - produced);
        for (size_t i = 0; i < bytes; ++i) {
            out.push_back(static_cast<char>((group >> (16 - 8 * i)) & 0xFF));
        }
        produced += bytes;
        if (available < 4) {
            break;
        }
    }
    return true;
}

std::string UuBeginText(std::string_view fileName) {
    std::string text = "begin 644 ";
    text.append(fileName);
    text.append("\r\n");
    return text;
}

void AppendUuLines(std::string_view data, UuAlphabet alphabet, std::string& out) {
    const size_t lines = (data.size() + kLineBytes - 1) / kLineBytes;
    out.reserve(out.size() + lines * (1 + EncodedLength(kLineBytes) + 2));
    const auto* in = reinterpret_cast<const unsigned char*>(data.data());
    for (size_t offset = 0; offset < data.size(); offset += kLineBytes) {
        const size_t length = std::min(kLineBytes, data.size() - offset);
        out.push_back(Character(static_cast<uint32_t>(length), alphabet));
        for (size_t i = 0; i < length; i += 3) {
            const unsigned char* bytes = in + offset + i;
            const size_t rest = length - i;
            // A short last group is filled with zero bytes, as the length character tells
            // the decoder how many of them are real.
            const uint32_t group = (uint32_t{bytes[0]} << 16) |
                                   (rest > 1 ? uint32_t{bytes[1]} << 8 : 0U) |
                                   (rest > 2 ? uint32_t{bytes[2]} : 0U);
            out.push_back(Character(group >> 18, alphabet));
            out.push_back(Character((group >> 12) & 0x3F, alphabet));
            out.push_back(Character((group >> 6) & 0x3F, alphabet));
            out.push_back(Character(group & 0x3F, alphabet));
        }
        out.append("\r\n");
    }
}

std::string UuEndText(UuAlphabet alphabet) {
    std::string text(1, Character(0, alphabet));
    text.append("\r\nend\r\n");
    return text;
}

}  // namespace mailsift
