#pragma once
#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/environment.h"

namespace mailsift {

// A configuration that the program cannot start with; its message is shown to the user.
class StartupError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The sources in the order the export walks them.
enum ExtractSource : size_t {
    SourceMSOutlook = 0,
    SourceOutlookExpress = 1,
    SourceThunderbird = 2,
    SourceEudora = 3,
};

using LanguageNameList = std::array<std::string, 3>;

struct TSettings {
    std::string StoragePath;  // ends with "/" after LoadSettings
    std::string ExtractAddressesPath;
    bool MSOutlookStoreInEml = false;
    std::string OutlookExpressBaseFile;
    std::string ThunderbirdBaseFile;
    std::string EudoraBaseFile;
    bool AppendPath = true;
    bool ZipEmails = false;
    bool CheckForUpdate = true;
    int ExtractOptions = 0;             // 0 original format, 1 text, 2 HTML, 3 attachments only
    std::array<bool, 4> ExtractFrom{};  // indexed by ExtractSource
    bool DebugMode = true;
    int SelectedLanguage = 0;  // index into LanguageNames
    LanguageNameList LanguageNames;
    int UpdateCode = 1;
    // Where the update check asks for the latest version; empty sends nothing.
    std::string UpdatePageAddress;
    std::string UpdateTextAddress;

    bool& ExtractFromMSOutlook() { return ExtractFrom[SourceMSOutlook]; }
    bool& ExtractFromOutlookExpress() { return ExtractFrom[SourceOutlookExpress]; }
    bool& ExtractFromThunderbird() { return ExtractFrom[SourceThunderbird]; }
    bool& ExtractFromEudora() { return ExtractFrom[SourceEudora]; }
};

extern TSettings Settings;

// The key file operations on ConfigFolder() + "main.ini".
std::string ReadSetting(std::string_view key);
std::string ReadNextSetting(std::string_view key);
bool WriteSetting(std::string_view key, std::string_view value);

// A number (non-zero is true) or "True"/"False" in any letter case; else defaultValue.
bool ReadBoolSetting(std::string_view key, bool defaultValue);
// Decimal digits with an optional sign that fit an int; else defaultValue.
int ReadIntSetting(std::string_view key, int defaultValue);

// Fills Settings from the keys of "main.ini" that SettingKeys() (settings_keys.h) reads at load;
// keys that are missing are appended to it.
void LoadSettings();
// Writes the same keys back from Settings, one at a time. Keys read at startup are not among
// them: the Setup window writes the language choice only when the language changes.
void SaveSettings();

// Fills Settings from the keys that SettingKeys() reads at startup: the debug switch, the
// language choice and folder names, the update code and addresses. Throws StartupError for a
// configuration the program cannot run with.
void ReadStartupSettings();

// Every field of settings, in SettingKeys() order: its key and its value as main.ini stores it.
// The language folder names are listed one a line, under numbered names.
std::vector<std::pair<std::string, std::string>> ListSettings(const TSettings& settings);

// The user's documents folder, without a trailing "/".
std::string DefaultDocumentsFolder();
// "%NAME%" references replaced from the environment; text unchanged when the expansion fails
// or its result would not fit the 1024-byte buffer the stored paths were made for.
std::string ExpandEnvironmentPath(std::string_view text,
                                  ExpansionContext context = ExpansionContext::Process);
// The Outlook Express store folder recorded in the Wine prefix's registry, as a path into the
// prefix ("C:\x" becomes "<prefix>/dosdevices/c:/x"); empty when none is recorded.
std::string ReadStoreRoot();

}  // namespace mailsift
