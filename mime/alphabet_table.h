#pragma once
// Decoding tables of the 64-character alphabets (base64, BinHex, XXE).
#include <array>
#include <cstdint>
#include <string_view>

namespace mailsift {

// Maps each character of alphabet to its position and every other byte to invalid.
template <typename Value>
constexpr std::array<Value, 256> MakeAlphabetTable(std::string_view alphabet, Value invalid) {
    std::array<Value, 256> table{};
    table.fill(invalid);
    for (size_t i = 0; i < alphabet.size(); ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<Value>(i);
    }
    return table;
}

}  // namespace mailsift
