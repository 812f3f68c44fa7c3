#include "config/settings.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <tuple>

#include "config/folders.h"
#include "config/key_file.h"
#include "config/settings_keys.h"
#include "platform/environment.h"
#include "platform/text_case.h"
#include "platform/thousands.h"
#include "platform/wine_registry.h"

namespace mailsift {

TSettings Settings;

namespace {

constexpr size_t kExpansionBufferSize = 1024;
constexpr size_t kLanguageNameLength = 20;

std::string MainIni() {
    return ConfigFolder() + "main.ini";
}

std::optional<int> ParseInteger(std::string_view text) {
    const std::optional<int64_t> value = ParseSignedDecimal(text);
    if (!value || *value < std::numeric_limits<int>::min() ||
        *value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

// A decimal number, optionally signed and with a fraction; only whether it is zero matters,
// so no size limit applies.
std::optional<bool> ParseNumberIsNonZero(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    bool anyDigit = false;
    bool nonZero = false;
    bool seenPoint = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            nonZero = nonZero || c != '0';
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            return std::nullopt;
        }
    }
    if (!anyDigit) return std::nullopt;
    return nonZero;
}

std::optional<bool> ParseBoolean(std::string_view text) {
    if (std::optional<bool> number = ParseNumberIsNonZero(text)) return number;
    if (EqualsIgnoringCase(text, "true")) return true;
    if (EqualsIgnoringCase(text, "false")) return false;
    return std::nullopt;
}

// At most count UTF-8 characters; a multi-byte character is never split.
std::string CutToCharacters(std::string_view text, size_t count) {
    size_t end = 0;
    for (size_t characters = 0; end < text.size(); ++end) {
        bool startsCharacter = (static_cast<unsigned char>(text[end]) & 0xC0) != 0x80;
        if (startsCharacter && characters++ == count) break;
    }
    return std::string(text.substr(0, end));
}

// Registry values hold Windows paths; a drive letter maps to the prefix's dosdevices link.
std::string PathFromWindows(std::string value) {
    for (char& c : value) {
        if (c == '\\') c = '/';
    }
    bool hasDrive = value.size() >= 2 && value[1] == ':' &&
                    ((value[0] >= 'A' && value[0] <= 'Z') || (value[0] >= 'a' && value[0] <= 'z'));
    if (!hasDrive) return value;
    std::string rest = value.substr(2);
    if (!rest.empty() && rest.front() != '/') rest.insert(0, "/");
    char drive = value[0] >= 'a' ? value[0] : static_cast<char>(value[0] - 'A' + 'a');
    return WinePrefix() + "/dosdevices/" + drive + ":" + rest;
}

// The value of a row that takes one line of main.ini, as stored there.
std::string StoredText(const SettingKey& row, const TSettings& settings) {
    switch (row.kind) {
        case SettingKind::Path:
        case SettingKind::Folder:
            return FieldOf<std::string>(row, settings);
        case SettingKind::Flag:
            return FieldOf<bool>(row, settings) ? "-1" : "0";
        default:
            return std::to_string(FieldOf<int>(row, settings));
    }
}

int ReadLanguageChoice(const SettingKey& row) {
    std::string text = ReadSetting(row.readKey());
    std::optional<int> selected = ParseInteger(text);
    if (!selected) throw StartupError("'" + text + "' is not a valid integer value");
    if (*selected < 0 || *selected >= static_cast<int>(std::tuple_size_v<LanguageNameList>)) {
        throw StartupError("\"" + std::string(row.key) + "\" in " + MainIni() + " is " + text +
                           "; it must be 0, 1 or 2");
    }
    return *selected;
}

LanguageNameList ReadLanguageNames(const SettingKey& row) {
    LanguageNameList names;
    for (size_t i = 0; i < names.size(); ++i) {
        std::string value = i == 0 ? ReadSetting(row.readKey()) : ReadNextSetting(row.readKey());
        names[i] = CutToCharacters(GetField(value, 1), kLanguageNameLength);
        // A missing line, an empty value and an empty first field all leave a marker that
        // names no language folder.
        if (IsNotSet(names[i])) {
            throw StartupError(MainIni() + " must hold three \"" + std::string(row.key) +
                               "\" lines naming the language folders; line " +
                               std::to_string(i + 1) + " is missing or names no folder");
        }
    }
    return names;
}

void ReadRow(const SettingKey& row, TSettings& settings) {
    switch (row.kind) {
        case SettingKind::Path:
        case SettingKind::Folder: {
            std::string value = ReadSetting(row.readKey());
            if (IsNotSet(value)) value = row.defaultPath ? row.defaultPath() : std::string();
            if (row.kind == SettingKind::Folder && !value.ends_with('/')) value += '/';
            FieldOf<std::string>(row, settings) = value;
            break;
        }
        case SettingKind::Flag:
            FieldOf<bool>(row, settings) = ReadBoolSetting(row.readKey(), row.defaultFlag);
            break;
        case SettingKind::Number:
            FieldOf<int>(row, settings) = ReadIntSetting(row.readKey(), row.defaultNumber);
            break;
        case SettingKind::Choice: {
            int value = ReadIntSetting(row.readKey(), row.defaultNumber);
            FieldOf<int>(row, settings) =
                (value >= 0 && value < row.choices) ? value : row.defaultNumber;
            break;
        }
        case SettingKind::LanguageChoice:
            FieldOf<int>(row, settings) = ReadLanguageChoice(row);
            break;
        case SettingKind::LanguageNames:
            FieldOf<LanguageNameList>(row, settings) = ReadLanguageNames(row);
            break;
    }
}

}  // namespace

std::string ReadSetting(std::string_view key) {
    return ReadKey(MainIni(), key);
}

std::string ReadNextSetting(std::string_view key) {
    return ReadNextKey(MainIni(), key);
}

bool WriteSetting(std::string_view key, std::string_view value) {
    return WriteKey(MainIni(), key, value);
}

bool ReadBoolSetting(std::string_view key, bool defaultValue) {
    return ParseBoolean(ReadSetting(key)).value_or(defaultValue);
}

int ReadIntSetting(std::string_view key, int defaultValue) {
    return ParseInteger(ReadSetting(key)).value_or(defaultValue);
}

void LoadSettings() {
    for (const SettingKey& row : SettingKeys()) {
        if (row.phase == SettingPhase::Load) ReadRow(row, Settings);
    }
}

void SaveSettings() {
    std::vector<const SettingKey*> order;
    for (const SettingKey& row : SettingKeys()) {
        if (row.phase != SettingPhase::Load) continue;
        order.push_back(&row);
        if (row.writtenBeforePrevious) std::iter_swap(order.end() - 2, order.end() - 1);
    }
    for (const SettingKey* row : order) WriteSetting(row->key, StoredText(*row, Settings));
}

void ReadStartupSettings() {
    // The language choice is kept only together with the names it picks from, so a file whose
    // names are unusable changes neither.
    TSettings read = Settings;
    for (const SettingKey& row : SettingKeys()) {
        if (row.phase != SettingPhase::Startup) continue;
        ReadRow(row, read);
        if (row.kind != SettingKind::LanguageChoice) Settings = read;
    }
}

std::vector<std::pair<std::string, std::string>> ListSettings(const TSettings& settings) {
    std::vector<std::pair<std::string, std::string>> lines;
    for (const SettingKey& row : SettingKeys()) {
        if (row.kind != SettingKind::LanguageNames) {
            lines.emplace_back(row.key, StoredText(row, settings));
            continue;
        }
        const auto& names = FieldOf<LanguageNameList>(row, settings);
        for (size_t i = 0; i < names.size(); ++i) {
            lines.emplace_back(std::string(row.listedAs) + std::to_string(i), names[i]);
        }
    }
    return lines;
}

std::string DefaultDocumentsFolder() {
    return UserDocumentsFolder();
}

std::string ExpandEnvironmentPath(std::string_view text, ExpansionContext context) {
    std::string expanded = ExpandEnvironmentStrings(text, context);
    return expanded.size() < kExpansionBufferSize ? expanded : std::string(text);
}

std::string ReadStoreRoot() {
    RegistryView hive = RegistryView::OpenHive(RegistryHive::CurrentUser);
    std::optional<std::string> root =
        hive.ReadString("Software\\Microsoft\\Outlook Express", "Store Root");
    if (!root || root->empty()) {
        std::optional<std::string> id = hive.ReadString("Identities", "Default User ID");
        if (id && !id->empty()) {
            root = hive.ReadString(
                "Identities\\" + *id + "\\Software\\Microsoft\\Outlook Express\\5.0", "Store Root");
        }
    }
    if (!root || root->empty()) return {};
    return PathFromWindows(ExpandEnvironmentPath(*root, ExpansionContext::WinePrefix));
}

}  // namespace mailsift
