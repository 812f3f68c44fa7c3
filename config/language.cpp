#include "config/language.h"

#include <filesystem>
#include <optional>
#include <unordered_map>

#include "config/folders.h"
#include "config/key_file.h"
#include "config/settings.h"

namespace mailsift {

std::string LanguageFilePath() {
    // at() turns a language index outside the table into an exception, not a stray read.
    const std::string& name =
        Settings.LanguageNames.at(static_cast<size_t>(Settings.SelectedLanguage));
    return ConfigFolder() + name + "/language.ini";
}

namespace {

// The texts already read from one language file, kept while the file stays as it was: long work
// asks for the same few texts once per item, and each read would parse the whole file.
struct LanguageCache {
    std::string path;
    std::optional<std::filesystem::file_time_type> written;
    std::unordered_map<std::string, std::string> texts;
};

std::optional<std::filesystem::file_time_type> LastWriteTime(const std::string& path) {
    std::error_code error;
    const auto time = std::filesystem::last_write_time(path, error);
    if (error) return std::nullopt;
    return time;
}

}  // namespace

std::string LanguageString(std::string_view key) {
    static LanguageCache cache;
    const std::string path = LanguageFilePath();
    const std::optional<std::filesystem::file_time_type> written = LastWriteTime(path);
    if (path != cache.path || written != cache.written || !written) {
        cache = LanguageCache{path, written, {}};
    }
    const std::string name(key);
    if (auto found = cache.texts.find(name); found != cache.texts.end()) return found->second;
    // A key the file lacks is added to it, which changes the file and so empties the cache.
    std::string text = ReadKey(path, key);
    cache.texts.emplace(name, text);
    return text;
}

std::string LanguageStringDef(std::string_view key, std::string_view defaultText) {
    std::string text = LanguageString(key);
    if (!IsNotSet(text)) return text;
    WriteKey(LanguageFilePath(), key, defaultText);
    return std::string(defaultText);
}

}  // namespace mailsift
