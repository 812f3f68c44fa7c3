#include "config/settings.h"

#include <limits>
#include <optional>

#include "config/folders.h"
#include "config/key_file.h"
#include "platform/environment.h"
#include "platform/text_case.h"
#include "platform/thousands.h"
#include "platform/wine_registry.h"

namespace mailsift {

TSettings Settings;

namespace {

constexpr size_t kExpansionBufferSize = 1024;
constexpr size_t kLanguageNameLength = 20;
constexpr int kMaxExtractOptions = 3;

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

std::string BoolText(bool value) {
    return value ? "-1" : "0";
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
    std::string storagePath = ReadSetting("StoragePath");
    if (IsNotSet(storagePath)) storagePath = DefaultDocumentsFolder() + "/Messages Store/";
    if (storagePath.back() != '/') storagePath += '/';
    Settings.StoragePath = storagePath;

    std::string addressesPath = ReadSetting("ExtractAddressesPath");
    if (IsNotSet(addressesPath)) {
        addressesPath = DefaultDocumentsFolder() + "/Messages Store/EmailAddresses.txt";
    }
    Settings.ExtractAddressesPath = addressesPath;

    Settings.MSOutlookStoreInEml = ReadBoolSetting("MSOutlookStroreInEML", false);

    Settings.OutlookExpressBaseFile = ReadSetting("OutlookExpressBaseFile");
    Settings.ThunderbirdBaseFile = ReadSetting("ThunderbirdBaseFile");
    Settings.EudoraBaseFile = ReadSetting("EudoraBaseFile");
    if (IsNotSet(Settings.OutlookExpressBaseFile))
        Settings.OutlookExpressBaseFile = ReadStoreRoot();
    if (IsNotSet(Settings.ThunderbirdBaseFile)) Settings.ThunderbirdBaseFile.clear();
    if (IsNotSet(Settings.EudoraBaseFile)) Settings.EudoraBaseFile.clear();

    Settings.AppendPath = ReadBoolSetting("AppendPath", true);
    Settings.ZipEmails = ReadBoolSetting("ZipEmails", false);
    Settings.CheckForUpdate = ReadBoolSetting("CheckForUpdate", true);
    // The export switches over the format; a number it does not know means the default.
    int options = ReadIntSetting("ExtractOptions", 0);
    Settings.ExtractOptions = (options >= 0 && options <= kMaxExtractOptions) ? options : 0;
    Settings.ExtractFromMSOutlook() = ReadBoolSetting("ExtractFromMSOutlook", false);
    Settings.ExtractFromOutlookExpress() = ReadBoolSetting("ExtractFromOutlookExpress", false);
    Settings.ExtractFromThunderbird() = ReadBoolSetting("ExtractFromThunderBird", false);
    Settings.ExtractFromEudora() = ReadBoolSetting("ExtractFromEudora", false);
}

void SaveSettings() {
    WriteSetting("StoragePath", Settings.StoragePath);
    WriteSetting("ExtractAddressesPath", Settings.ExtractAddressesPath);
    WriteSetting("MSOutlookStroreInEML", BoolText(Settings.MSOutlookStoreInEml));
    WriteSetting("OutlookExpressBaseFile", Settings.OutlookExpressBaseFile);
    WriteSetting("ThunderbirdBaseFile", Settings.ThunderbirdBaseFile);
    WriteSetting("EudoraBaseFile", Settings.EudoraBaseFile);
    WriteSetting("AppendPath", BoolText(Settings.AppendPath));
    WriteSetting("ZipEmails", BoolText(Settings.ZipEmails));
    WriteSetting("ExtractOptions", std::to_string(Settings.ExtractOptions));
    WriteSetting("CheckForUpdate", BoolText(Settings.CheckForUpdate));
    WriteSetting("ExtractFromMSOutlook", BoolText(Settings.ExtractFromMSOutlook()));
    WriteSetting("ExtractFromOutlookExpress", BoolText(Settings.ExtractFromOutlookExpress()));
    WriteSetting("ExtractFromThunderbird", BoolText(Settings.ExtractFromThunderbird()));
    WriteSetting("ExtractFromEudora", BoolText(Settings.ExtractFromEudora()));
}

void ReadStartupSettings() {
    Settings.DebugMode = ReadBoolSetting("DebugMode", true);

    std::string selectedText = ReadSetting("SelectedLanguage");
    std::optional<int> selected = ParseInteger(selectedText);
    if (!selected) throw StartupError("'" + selectedText + "' is not a valid integer value");
    std::array<std::string, 3> names;
    if (*selected < 0 || *selected >= static_cast<int>(names.size())) {
        throw StartupError("\"SelectedLanguage\" in " + MainIni() + " is " + selectedText +
                           "; it must be 0, 1 or 2");
    }

    for (size_t i = 0; i < names.size(); ++i) {
        std::string value = i == 0 ? ReadSetting("Language") : ReadNextSetting("Language");
        names[i] = CutToCharacters(GetField(value, 1), kLanguageNameLength);
        // A missing line, an empty value and an empty first field all leave a marker that
        // names no language folder.
        if (IsNotSet(names[i])) {
            throw StartupError(MainIni() + " must hold three \"Language\" lines naming the " +
                               "language folders; line " + std::to_string(i + 1) +
                               " is missing or names no folder");
        }
    }

    Settings.SelectedLanguage = *selected;
    Settings.LanguageNames = names;
    Settings.UpdateCode = ReadIntSetting("UpdateCode", 1);
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
