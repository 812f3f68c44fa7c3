#include "config/language.h"

#include <filesystem>
#include <optional>
#include <unordered_map>

#include "config/folders.h"
#include "config/key_file.h"
#include "config/settings.h"
#include "platform/tick_count.h"

namespace mailsift {

std::string LanguageFilePath() {
    // at() turns a language index outside the table into an exception, not a stray read.
    const std::string& name =
        Settings.LanguageNames.at(static_cast<size_t>(Settings.SelectedLanguage));
    return ConfigFolder() + name + "/language.ini";
}

namespace {

// The texts already read from one language file, kept while the file stays as it was: long work
// asks for the same few texts once per item, and each read would parse the whole file. Whether
// the file changed is looked at no more than once a second.
struct LanguageCache {
    std::string path;
    std::optional<std::filesystem::file_time_type> written;
    uint32_t checked = 0;
    std::unordered_map<std::string, std::string> texts;
};

constexpr uint32_t kRecheckMilliseconds = 1000;

std::optional<std::filesystem::file_time_type> LastWriteTime(const std::string& path) {
    std::error_code error;
    const auto time = std::filesystem::last_write_time(path, error);
    if (error) return std::nullopt;
    return time;
}

LanguageCache& TextCache() {
    static LanguageCache cache;
    return cache;
}

}  // namespace

std::string LanguageString(std::string_view key) {
    LanguageCache& cache = TextCache();
    const std::string path = LanguageFilePath();
    const uint32_t now = GetTickCount();
    if (path != cache.path || !cache.written || now - cache.checked >= kRecheckMilliseconds) {
        const std::optional<std::filesystem::file_time_type> written = LastWriteTime(path);
        if (path != cache.path || written != cache.written || !written) {
            cache = LanguageCache{path, written, now, {}};
        }
        cache.checked = now;
    }
    const std::string name(key);
    if (auto found = cache.texts.find(name); found != cache.texts.end()) return found->second;
    // A key the file lacks is added to it with no text; later calls get the same marker.
    std::string text = ReadKey(path, key);
    cache.texts.emplace(name, text);
    return text;
}

std::string LanguageStringDef(std::string_view key, std::string_view defaultText) {
    std::string text = LanguageString(key);
    if (!IsNotSet(text)) return text;
    WriteKey(LanguageFilePath(), key, defaultText);
    TextCache() = LanguageCache{};
    return std::string(defaultText);
}

}  // namespace mailsift
