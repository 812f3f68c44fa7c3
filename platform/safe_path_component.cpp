#include "platform/safe_path_component.h"

namespace mailsift {

std::string SafePathComponent(std::string_view name) {
    if (name == "." || name == "..") return std::string(name.size(), '_');
    std::string safe(name);
    for (char& c : safe) {
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    }
    return safe;
}

}  // namespace mailsift
