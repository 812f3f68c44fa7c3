#include "platform/thousands.h"

#include <charconv>

namespace mailsift {

std::string FormatThousands(std::string_view digits) {
    std::string result;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        result.push_back(digits.front());
        digits.remove_prefix(1);
    }
    result.reserve(result.size() + digits.size() + digits.size() / 3);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) result.push_back(',');
        result.push_back(digits[i]);
    }
    return result;
}

std::string FormatThousands(int64_t value) {
    return FormatThousands(std::to_string(value));
}

std::optional<int64_t> ParseSignedDecimal(std::string_view text) {
    // from_chars takes a "-" but no "+"; a "+" may stand before digits only.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    }
    int64_t value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (error != std::errc() || end != last) return std::nullopt;
    return value;
}

int64_t ParseThousands(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (char c : text) {
        if (c != ',') plain.push_back(c);
    }
    return ParseSignedDecimal(plain).value_or(0);
}

}  // namespace mailsift
