#include "mime/base64.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "mime/alphabet_table.h"

namespace mailsift {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Values at or above kNotBase64 mark characters outside the alphabet; one OR over a whole group
// then tells whether the group can take the fast path.
constexpr uint8_t kNotBase64 = 0x40;
constexpr uint8_t kPad = 0x41;

constexpr std::array<uint8_t, 256> MakeDecodeTable() {
    std::array<uint8_t, 256> table = MakeAlphabetTable<uint8_t>(kAlphabet, kNotBase64);
    table['='] = kPad;
    return table;
}

constexpr std::array<uint8_t, 256> kDecode = MakeDecodeTable();

constexpr size_t kLineBytes = 57;  // 76 characters
constexpr size_t kEncodedLineLength = 78;

// The two characters of every 12 bits, so that a group of three bytes takes two lookups.
constexpr std::array<std::array<char, 2>, 4096> MakePairTable() {
    std::array<std::array<char, 2>, 4096> table{};
    for (size_t i = 0; i < table.size(); ++i) table[i] = {kAlphabet[i >> 6], kAlphabet[i & 0x3F]};
    return table;
}

constexpr std::array<std::array<char, 2>, 4096> kPairs = MakePairTable();

// Writes the base64 of data without line breaks at dest; returns the end of what was written.
char* EncodeInto(const unsigned char* data, size_t size, char* dest) {
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const uint32_t group =
            (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
        std::memcpy(dest, kPairs[group >> 12].data(), 2);
        std::memcpy(dest + 2, kPairs[group & 0xFFF].data(), 2);
        dest += 4;
    }
    const size_t rest = size - i;
    if (rest > 0) {
        const uint32_t group =
            (uint32_t{data[i]} << 16) | (rest == 2 ? uint32_t{data[i + 1]} << 8 : 0U);
        dest[0] = kAlphabet[group >> 18];
        dest[1] = kAlphabet[(group >> 12) & 0x3F];
        dest[2] = rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        dest[3] = '=';
        dest += 4;
    }
    return dest;
}

size_t EncodedSize(size_t size) {
    return (size + 2) / 3 * 4;
}

}  // namespace

void Base64Decoder::Decode(std::string_view text, std::string& out) {
    if (ended_ || text.empty()) {
        return;
    }
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    const size_t start = out.size();
    // Every 4 characters give at most 3 bytes, and the bytes of a pending group are written as
    // soon as they are complete, so this bound holds for any split of the input.
    out.resize(start + size / 4 * 3 + 3);
    auto* dest = reinterpret_cast<unsigned char*>(out.data() + start);

    size_t i = 0;
    while (i < size) {
        if (pending_ == 0) {
            // Whole groups, the bulk of any body, in one tight loop; a line end or damage
            // drops to the character-wise path below for a single character.
            while (i + 4 <= size) {
                const uint32_t a = kDecode[in[i]];
                const uint32_t b = kDecode[in[i + 1]];
                const uint32_t c = kDecode[in[i + 2]];
                const uint32_t d = kDecode[in[i + 3]];
                if ((a | b | c | d) >= kNotBase64) {
                    break;
                }
                const uint32_t group = (a << 18) | (b << 12) | (c << 6) | d;
                dest[0] = static_cast<unsigned char>(group >> 16);
                dest[1] = static_cast<unsigned char>(group >> 8);
                dest[2] = static_cast<unsigned char>(group);
                dest += 3;
                i += 4;
            }
            if (i == size) {
                break;
            }
        }
        const uint8_t value = kDecode[in[i++]];
        if (value == kPad) {
            // Padding only ends the data where it completes a group; anywhere else it is
            // damage and skipped like any other stray character.
            if (pending_ >= 2) {
                ended_ = true;
                break;
            }
            continue;
        }
        if (value >= kNotBase64) {
            continue;
        }
        // Bytes go out as soon as their bits are complete, so data that lacks its padding
        // still yields every whole byte.
        bits_ = (bits_ << 6) | value;
        ++pending_;
        if (pending_ == 2) {
            *dest++ = static_cast<unsigned char>(bits_ >> 4);
        } else if (pending_ == 3) {
            *dest++ = static_cast<unsigned char>(bits_ >> 2);
        } else if (pending_ == 4) {
            *dest++ = static_cast<unsigned char>(bits_);
            bits_ = 0;
            pending_ = 0;
        }
    }
    out.resize(static_cast<size_t>(reinterpret_cast<char*>(dest) - out.data()));
}

void Base64Decoder::Reset() {
    bits_ = 0;
    pending_ = 0;
    ended_ = false;
}

void AppendBase64Lines(std::string_view data, std::string& out) {
    const size_t lines = (data.size() + kLineBytes - 1) / kLineBytes;
    const size_t start = out.size();
    out.resize(start + lines * kEncodedLineLength);
    const auto* in = reinterpret_cast<const unsigned char*>(data.data());
    char* dest = out.data() + start;
    for (size_t offset = 0; offset < data.size(); offset += kLineBytes) {
        const size_t length = std::min(kLineBytes, data.size() - offset);
        dest = EncodeInto(in + offset, length, dest);
        *dest++ = '\r';
        *dest++ = '\n';
    }
    out.resize(static_cast<size_t>(dest - out.data()));
}

std::string EncodeBase64(std::string_view data) {
    std::string out(EncodedSize(data.size()), '\0');
    EncodeInto(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out.data());
    return out;
}

std::string DecodeBase64(std::string_view text) {
    std::string out;
    Base64Decoder decoder;
    decoder.Decode(text, out);
    return out;
}

}  // namespace mailsift
