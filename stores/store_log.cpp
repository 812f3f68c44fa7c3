#include "stores/store_log.h"

#include <exception>

#include "config/language.h"

namespace mailsift {

std::string StoreLogLine(std::string_view key, std::initializer_list<std::string_view> values) {
    std::string line;
    try {
        line = LanguageString(key);
    } catch (const std::exception&) {
        line = "%" + std::string(key);
    }
    for (std::string_view value : values) {
        line += ' ';
        line += value;
    }
    return line;
}

}  // namespace mailsift
