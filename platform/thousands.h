#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mailsift {

// "1234567" -> "1,234,567"; a leading sign is kept outside the groups; "" stays "".
std::string FormatThousands(std::string_view digits);
std::string FormatThousands(int64_t value);
// Decimal digits with an optional sign, nothing else, within 64 bits.
std::optional<int64_t> ParseSignedDecimal(std::string_view text);
// Removes every "," and reads the rest as an integer; 0 when that fails.
int64_t ParseThousands(std::string_view text);

}  // namespace mailsift
