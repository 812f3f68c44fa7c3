#include "mime/binhex.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "mime/alphabet_table.h"
#include "mime/mime_error.h"
#include "mime/text_util.h"

namespace mailsift {

namespace {

constexpr char kAlphabet[] = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
constexpr std::string_view kBanner = "(This file must be converted with BinHex 4.0)";
constexpr uint8_t kRunMarker = 0x90;
constexpr size_t kLineLength = 64;
// A Macintosh file name holds at most 63 bytes.
constexpr size_t kMaxNameLength = 63;

constexpr uint8_t kInvalid = 0xFF;

constexpr std::array<uint8_t, 256> kDecode = MakeAlphabetTable<uint8_t>(kAlphabet, kInvalid);

// CRC-16 with the CCITT polynomial 0x1021, initial value 0, MSB first (CRC-16/XMODEM). BinHex
// defines its check as this CRC run over the bytes followed by two zero bytes with the
// "augmented" bit-by-bit method, which gives the same value as this table-driven form.
constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1;
        }
        table[i] = static_cast<uint16_t>(crc);
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

uint16_t UpdateCrc(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ byte) & 0xFF]);
}

uint16_t Crc(std::string_view bytes) {
    uint16_t crc = 0;
    for (const char c : bytes) {
        crc = UpdateCrc(crc, static_cast<uint8_t>(c));
    }
    return crc;
}

// Where the encoded data starts: just after the first ":" that begins a line (blanks before
// it allowed). Text before it, the banner included, is commentary.
size_t FindDataStart(std::string_view text) {
    bool lineStart = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            lineStart = true;
        } else if (c == ':' && lineStart) {
            return i + 1;
        } else if (c != ' ' && c != '\t') {
            lineStart = false;
        }
    }
    throw MimeError("BinHex data has no ':' start.");
}

// Reads the bytes behind the text: six-bit characters to bytes, then the 0x90 run-length
// expansion. Bytes come one at a time, so runs are expanded only as far as the header's lengths
// ask for and a damaged length fails at the end of the text instead of allocating up front.
class BinHexReader {
  public:
    explicit BinHexReader(std::string_view text) : text_(text), pos_(FindDataStart(text)) {}

    uint8_t Next() {
        while (repeat_ == 0) {
            const uint8_t byte = NextPacked();
            if (byte != kRunMarker) {
                last_ = byte;
                haveLast_ = true;
                return byte;
            }
            const uint8_t count = NextPacked();
            if (count == 0) {
                last_ = kRunMarker;
                haveLast_ = true;
                return kRunMarker;
            }
            if (!haveLast_) {
                throw MimeError("BinHex data starts with a repeat count.");
            }
            // The count includes the byte already delivered.
            repeat_ = count - 1;
        }
        --repeat_;
        return last_;
    }

    uint8_t NextWithCrc(uint16_t& crc) {
        const uint8_t byte = Next();
        crc = UpdateCrc(crc, byte);
        return byte;
    }

  private:
    uint8_t NextPacked() {
        while (bitCount_ < 8) {
            if (ended_ || pos_ >= text_.size()) {
                throw MimeError("BinHex data is truncated.");
            }
            const char c = text_[pos_++];
            if (c == ':') {
                ended_ = true;
                continue;
            }
            if (IsBlankOrLineBreak(c)) {
                continue;
            }
            const uint8_t value = kDecode[static_cast<unsigned char>(c)];
            if (value == kInvalid) {
                throw MimeError("BinHex data holds a character outside its alphabet.");
            }
            bits_ = (bits_ << 6) | value;
            bitCount_ += 6;
        }
        bitCount_ -= 8;
        const auto byte = static_cast<uint8_t>(bits_ >> bitCount_);
        bits_ &= (1U << bitCount_) - 1;
        return byte;
    }

    std::string_view text_;
    size_t pos_;
    bool ended_ = false;
    uint32_t bits_ = 0;
    int bitCount_ = 0;
    uint8_t last_ = 0;
    bool haveLast_ = false;
    int repeat_ = 0;
};

uint32_t ReadLong(BinHexReader& reader, uint16_t& crc) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value = (value << 8) | reader.NextWithCrc(crc);
    }
    return value;
}

uint16_t ReadStoredCrc(BinHexReader& reader) {
    const uint8_t high = reader.Next();
    const uint8_t low = reader.Next();
    return static_cast<uint16_t>((high << 8) | low);
}

void AppendLong(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void AppendCrc(std::string& out, uint16_t crc) {
    out.push_back(static_cast<char>(crc >> 8));
    out.push_back(static_cast<char>(crc & 0xFF));
}

// Cuts name to the Macintosh limit without splitting a UTF-8 sequence.
std::string_view MacFileName(std::string_view name) {
    if (name.size() <= kMaxNameLength) {
        return name;
    }
    size_t length = kMaxNameLength;
    while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) {
        --length;
    }
    return name.substr(0, length);
}

// Runs of three or more equal bytes become byte, 0x90, count; a literal 0x90 becomes 0x90, 0.
// Every run restates its byte so that no decoder has to carry a repeat across runs.
std::string RunLengthEncode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8 + 16);
    auto appendLiteral = [&out](uint8_t byte) {
        out.push_back(static_cast<char>(byte));
        if (byte == kRunMarker) {
            out.push_back('\0');
        }
    };
    size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<uint8_t>(bytes[i]);
        size_t run = 1;
        while (i + run < bytes.size() && run < 255 &&
               static_cast<uint8_t>(bytes[i + run]) == byte) {
            ++run;
        }
        appendLiteral(byte);
        if (run >= 3) {
            out.push_back(static_cast<char>(kRunMarker));
            out.push_back(static_cast<char>(run));
        } else if (run == 2) {
            appendLiteral(byte);
        }
        i += run;
    }
    return out;
}

}  // namespace

std::string DecodeBinHex(std::string_view text) {
    BinHexReader reader(text);

    uint16_t crc = 0;
    const uint8_t nameLength = reader.NextWithCrc(crc);
    // Name, version, type, creator and flags only feed the header's CRC.
    for (int i = 0; i < nameLength + 1 + 4 + 4 + 2; ++i) {
        reader.NextWithCrc(crc);
    }
    const uint32_t dataLength = ReadLong(reader, crc);
    ReadLong(reader, crc);  // the resource fork, which is not decoded
    if (ReadStoredCrc(reader) != crc) {
        throw MimeError("BinHex header CRC does not match.");
    }

    std::string data;
    // The declared length is only a hint until the bytes arrive.
    data.reserve(std::min<size_t>(dataLength, text.size()));
    crc = 0;
    for (uint32_t i = 0; i < dataLength; ++i) {
        data.push_back(static_cast<char>(reader.NextWithCrc(crc)));
    }
    if (ReadStoredCrc(reader) != crc) {
        throw MimeError("BinHex data fork CRC does not match.");
    }
    return data;
}

std::string EncodeBinHex(std::string_view data, std::string_view fileName) {
    const std::string_view name = MacFileName(fileName);
    std::string stream;
    stream.reserve(name.size() + 32 + data.size());
    stream.push_back(static_cast<char>(name.size()));
    stream.append(name);
    stream.push_back('\0');     // version
    stream.append("????????");  // type and creator unknown
    stream.append(2, '\0');     // Finder flags
    AppendLong(stream, static_cast<uint32_t>(data.size()));
    AppendLong(stream, 0);  // an empty resource fork
    AppendCrc(stream, Crc(stream));
    stream.append(data);
    AppendCrc(stream, Crc(data));
    AppendCrc(stream, 0);  // the CRC of the empty resource fork

    const std::string packed = RunLengthEncode(stream);
    const size_t characters = (packed.size() * 8 + 5) / 6 + 2;  // with both colons
    std::string out;
    out.reserve(kBanner.size() + characters + characters / kLineLength * 2 + 8);
    out.append(kBanner);
    out.append("\r\n:");
    size_t column = 1;
    auto put = [&out, &column](char c) {
        if (column == kLineLength) {
            out.append("\r\n");
            column = 0;
        }
        out.push_back(c);
        ++column;
    };
    uint32_t bits = 0;
    int bitCount = 0;
    for (const char c : packed) {
        bits = (bits << 8) | static_cast<uint8_t>(c);
        bitCount += 8;
        while (bitCount >= 6) {
            bitCount -= 6;
            put(kAlphabet[(bits >> bitCount) & 0x3F]);
        }
        bits &= (1U << bitCount) - 1;
    }
    if (bitCount > 0) {
        put(kAlphabet[(bits << (6 - bitCount)) & 0x3F]);
    }
    put(':');
    out.append("\r\n");
    return out;
}

}  // namespace mailsift
