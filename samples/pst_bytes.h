#pragma once
// Little-endian byte strings and the checksums of personal folder files.
#include <cstdint>
#include <string>
#include <string_view>

namespace mailsift::samples {

inline void PutLe(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}
inline void SetLe(std::string& out, size_t at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline uint64_t GetLe(std::string_view in, size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(in[at + i]);
    return value;
}

// The CRC of blocks, pages and the header: CRC-32 without the initial and final inversion.
uint32_t PstCrc(std::string_view data);

// The signature of a block or B-tree page, from its position and its identifier.
inline uint16_t PstSignature(uint64_t ib, uint64_t bid) {
    const uint64_t mixed = ib ^ bid;
    return static_cast<uint16_t>((mixed >> 16) ^ mixed);
}

// UTF-8 as the UTF-16LE text the file keeps.
std::string PstUtf16(std::string_view utf8);

}  // namespace mailsift::samples
