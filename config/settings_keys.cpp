#include "config/settings_keys.h"

namespace mailsift {

namespace {

std::string DefaultStoragePath() {
    return DefaultDocumentsFolder() + "/Messages Store/";
}

std::string DefaultAddressesPath() {
    return DefaultDocumentsFolder() + "/Messages Store/EmailAddresses.txt";
}

// Keys are spelt as the main.ini files in use spell them, odd spellings included. A default
// that is not given is empty, false or 0.
constexpr SettingKey kSettingKeys[] = {
    {.key = "StoragePath",
     .kind = SettingKind::Folder,
     .field = &TSettings::StoragePath,
     .defaultPath = DefaultStoragePath},
    {.key = "ExtractAddressesPath",
     .kind = SettingKind::Path,
     .field = &TSettings::ExtractAddressesPath,
     .defaultPath = DefaultAddressesPath},
    {.key = "MSOutlookStroreInEML",
     .kind = SettingKind::Flag,
     .field = &TSettings::MSOutlookStoreInEml},
    {.key = "OutlookExpressBaseFile",
     .kind = SettingKind::Path,
     .field = &TSettings::OutlookExpressBaseFile,
     .defaultPath = ReadStoreRoot},
    {.key = "ThunderbirdBaseFile",
     .kind = SettingKind::Path,
     .field = &TSettings::ThunderbirdBaseFile},
    {.key = "EudoraBaseFile", .kind = SettingKind::Path, .field = &TSettings::EudoraBaseFile},
    {.key = "AppendPath",
     .kind = SettingKind::Flag,
     .field = &TSettings::AppendPath,
     .defaultFlag = true},
    {.key = "ZipEmails", .kind = SettingKind::Flag, .field = &TSettings::ZipEmails},
    {.key = "CheckForUpdate",
     .kind = SettingKind::Flag,
     .field = &TSettings::CheckForUpdate,
     .defaultFlag = true},
    // The export switches over the format, so a number it does not know means the default.
    // Written files have always listed it ahead of CheckForUpdate.
    {.key = "ExtractOptions",
     .kind = SettingKind::Choice,
     .field = &TSettings::ExtractOptions,
     .choices = 4,
     .writtenBeforePrevious = true},
    {.key = "ExtractFromMSOutlook", .kind = SettingKind::Flag, .field = SourceMSOutlook},
    {.key = "ExtractFromOutlookExpress", .kind = SettingKind::Flag, .field = SourceOutlookExpress},
    {.key = "ExtractFromThunderbird",
     .kind = SettingKind::Flag,
     .field = SourceThunderbird,
     .readAs = "ExtractFromThunderBird"},
    {.key = "ExtractFromEudora", .kind = SettingKind::Flag, .field = SourceEudora},
    {.key = "DebugMode",
     .kind = SettingKind::Flag,
     .field = &TSettings::DebugMode,
     .phase = SettingPhase::Startup,
     .defaultFlag = true},
    {.key = "SelectedLanguage",
     .kind = SettingKind::LanguageChoice,
     .field = &TSettings::SelectedLanguage,
     .phase = SettingPhase::Startup},
    {.key = "Language",
     .kind = SettingKind::LanguageNames,
     .field = &TSettings::LanguageNames,
     .phase = SettingPhase::Startup,
     .listedAs = "LanguageNames"},
    {.key = "UpdateCode",
     .kind = SettingKind::Number,
     .field = &TSettings::UpdateCode,
     .phase = SettingPhase::Startup,
     .defaultNumber = 1},
    // The update check's two addresses are the user's to configure, like paths kept as they
    // stand; the program never writes them.
    {.key = "UpdatePageAddress",
     .kind = SettingKind::Path,
     .field = &TSettings::UpdatePageAddress,
     .phase = SettingPhase::Startup},
    {.key = "UpdateTextAddress",
     .kind = SettingKind::Path,
     .field = &TSettings::UpdateTextAddress,
     .phase = SettingPhase::Startup},
};

}  // namespace

std::span<const SettingKey> SettingKeys() {
    return kSettingKeys;
}

}  // namespace mailsift
