#include "samples/pst_bytes.h"

#include <array>

#include "mapi/utf16.h"

namespace mailsift::samples {

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        table[i] = value;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint32_t PstCrc(std::string_view data) {
    uint32_t crc = 0;
    for (const char c : data) crc = kCrcTable[(crc ^ static_cast<uint8_t>(c)) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::string PstUtf16(std::string_view utf8) {
    const std::u16string wide = Utf8ToUtf16(std::string(utf8));
    std::string out;
    out.reserve(wide.size() * 2);
    for (const char16_t unit : wide) PutLe(out, unit, 2);
    return out;
}

}  // namespace mailsift::samples
