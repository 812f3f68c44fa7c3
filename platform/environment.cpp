#include "platform/environment.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "platform/file_system.h"
#include "platform/text_case.h"

extern char** environ;

namespace mailsift {

namespace {

std::optional<std::string> NonEmptyVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

// Windows looks names up without regard to case; an exact match still wins over a name that
// differs only in case.
std::optional<std::string> LookUpVariable(const std::string& name) {
    if (name.empty() || name.find('=') != std::string::npos) return std::nullopt;
    if (const char* exact = std::getenv(name.c_str())) return std::string(exact);
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const size_t equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        if (EqualsIgnoringCase(text.substr(0, equals), name)) {
            return std::string(text.substr(equals + 1));
        }
    }
    return std::nullopt;
}

// Variables every Windows session has, standing in for what is missing on Linux.
std::optional<std::string> FallbackVariable(const std::string& name) {
    if (EqualsIgnoringCase(name, "TEMP") || EqualsIgnoringCase(name, "TMP")) {
        return WithoutTrailingSlashes(NonEmptyVariable("TMPDIR").value_or("/tmp"));
    }
    if (EqualsIgnoringCase(name, "USERPROFILE")) return HomeFolder();
    if (EqualsIgnoringCase(name, "PROGRAMFILES")) {
        std::string folder = WinePrefix() + "/drive_c/Program Files";
        if (IsExistingFolder(folder)) return folder;
    }
    return std::nullopt;
}

// Wine gives its programs a profile of their own inside the prefix, whatever $HOME is.
std::optional<std::string> WinePrefixVariable(const std::string& name) {
    if (EqualsIgnoringCase(name, "USERPROFILE")) return "C:\\users\\" + UserName();
    return std::nullopt;
}

struct PasswordEntry {
    std::string name;
    std::string home;
};

std::optional<PasswordEntry> CurrentUserEntry() {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16'384);
    passwd entry{};
    passwd* found = nullptr;
    while (true) {
        const int error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (size_t{1} << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        break;
    }
    if (found == nullptr) return std::nullopt;
    return PasswordEntry{found->pw_name != nullptr ? found->pw_name : "",
                         found->pw_dir != nullptr ? found->pw_dir : ""};
}

// The value of XDG_DOCUMENTS_DIR in user-dirs.dirs, a file meant for the shell: the last
// assignment wins, and a path is either absolute or starts with $HOME.
std::optional<std::string> DocumentsFolderFromUserDirs() {
    const std::string configHome =
        NonEmptyVariable("XDG_CONFIG_HOME").value_or(HomeFolder() + "/.config");
    std::ifstream in(configHome + "/user-dirs.dirs");
    if (!in) return std::nullopt;
    std::optional<std::string> result;
    std::string line;
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    while (std::getline(in, line)) {
        std::string_view rest(line);
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
        if (rest.substr(0, kKey.size()) != kKey) continue;
        rest.remove_prefix(kKey.size());
        std::string value;
        if (!rest.empty() && rest.front() == '"') {
            rest.remove_prefix(1);
            bool closed = false;
            for (size_t i = 0; i < rest.size(); ++i) {
                if (rest[i] == '\\' && i + 1 < rest.size()) {
                    value.push_back(rest[++i]);
                } else if (rest[i] == '"') {
                    closed = true;
                    break;
                } else {
                    value.push_back(rest[i]);
                }
            }
            if (!closed) continue;
        } else {
            const size_t end = rest.find_first_of(" \t\r");
            value = std::string(rest.substr(0, end));
        }
        constexpr std::string_view kHome = "$HOME";
        if (value.compare(0, kHome.size(), kHome) == 0 &&
            (value.size() == kHome.size() || value[kHome.size()] == '/')) {
            value = HomeFolder() + value.substr(kHome.size());
        } else if (value.empty() || value.front() != '/') {
            continue;
        }
        result = WithoutTrailingSlashes(value);
    }
    return result;
}

}  // namespace

std::string ExpandEnvironmentStrings(std::string_view text, ExpansionContext context) {
    std::string result;
    result.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find('%', pos);
        if (open == std::string_view::npos) {
            result.append(text.substr(pos));
            break;
        }
        result.append(text.substr(pos, open - pos));
        const size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) {
            result.append(text.substr(open));
            break;
        }
        const std::string name(text.substr(open + 1, close - open - 1));
        std::optional<std::string> value;
        if (context == ExpansionContext::WinePrefix) value = WinePrefixVariable(name);
        if (!value) value = LookUpVariable(name);
        if (!value) value = FallbackVariable(name);
        if (value) {
            result.append(*value);
            pos = close + 1;
        } else {
            // As on Windows, the closing "%" of an unknown name may open the next reference.
            result.push_back('%');
            result.append(name);
            pos = close;
        }
    }
    return result;
}

std::string HomeFolder() {
    if (auto home = NonEmptyVariable("HOME")) return WithoutTrailingSlashes(*home);
    const std::optional<PasswordEntry> entry = CurrentUserEntry();
    return entry ? WithoutTrailingSlashes(entry->home) : std::string();
}

std::string UserName() {
    if (auto name = NonEmptyVariable("USER")) return *name;
    const std::optional<PasswordEntry> entry = CurrentUserEntry();
    return entry ? entry->name : std::string();
}

std::string WinePrefix() {
    if (auto prefix = NonEmptyVariable("WINEPREFIX")) return WithoutTrailingSlashes(*prefix);
    return HomeFolder() + "/.wine";
}

std::string UserDocumentsFolder() {
    if (auto folder = NonEmptyVariable("XDG_DOCUMENTS_DIR")) return WithoutTrailingSlashes(*folder);
    if (auto folder = DocumentsFolderFromUserDirs()) return *folder;
    std::string documents = HomeFolder() + "/Documents";
    if (IsExistingFolder(documents)) return documents;
    return HomeFolder();
}

}  // namespace mailsift
