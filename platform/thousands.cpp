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

int64_t ParseThousands(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (char c : text) {
        if (c != ',') plain.push_back(c);
    }
    const char* first = plain.data();
    const char* last = plain.data() + plain.size();
    // from_chars takes no "+", but a number written with one is still a number.
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') return 0;
    }
    int64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) return 0;
    return value;
}

}  // namespace mailsift
