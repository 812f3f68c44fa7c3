#include "config/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "config/settings_keys.h"
#include "config_fixture.h"
#include "platform/text_case.h"
#include "support/file_helpers.h"

namespace mailsift::test {
namespace {

class SettingsTest : public ConfigTest {
  protected:
    void SetUp() override {
        ConfigTest::SetUp();
        std::filesystem::create_directories(temp_.path() / "wine");
    }

    ScopedEnv documents_{"XDG_DOCUMENTS_DIR", temp_ / "Docs"};
    ScopedEnv wine_{"WINEPREFIX", temp_ / "wine"};
};

TEST_F(SettingsTest, EmptyFileLoadsDefaultsAndListsEveryKey) {
    WriteFileBytes(MainIni(), "");
    LoadSettings();
    EXPECT_EQ(Settings.StoragePath, temp_ / "Docs/Messages Store/");
    EXPECT_EQ(Settings.ExtractAddressesPath, temp_ / "Docs/Messages Store/EmailAddresses.txt");
    EXPECT_FALSE(Settings.MSOutlookStoreInEml);
    EXPECT_EQ(Settings.OutlookExpressBaseFile, "");
    EXPECT_EQ(Settings.ThunderbirdBaseFile, "");
    EXPECT_TRUE(Settings.AppendPath);
    EXPECT_FALSE(Settings.ZipEmails);
    EXPECT_TRUE(Settings.CheckForUpdate);
    EXPECT_EQ(Settings.ExtractOptions, 0);
    EXPECT_EQ(Settings.ExtractFrom, (std::array<bool, 4>{false, false, false, false}));
    EXPECT_EQ(ReadFileBytes(MainIni()),
              "StoragePath\t\r\nExtractAddressesPath\t\r\nMSOutlookStroreInEML\t\r\n"
              "OutlookExpressBaseFile\t\r\nThunderbirdBaseFile\t\r\nEudoraBaseFile\t\r\n"
              "AppendPath\t\r\nZipEmails\t\r\nCheckForUpdate\t\r\nExtractOptions\t\r\n"
              "ExtractFromMSOutlook\t\r\nExtractFromOutlookExpress\t\r\n"
              "ExtractFromThunderBird\t\r\nExtractFromEudora\t\r\n");
}

TEST_F(SettingsTest, SaveThenLoadRoundTrips) {
    WriteFileBytes(MainIni(), "SelectedLanguage\t1\r\n");
    LoadSettings();
    Settings.StoragePath = "/srv/mail  store/";
    Settings.MSOutlookStoreInEml = true;
    Settings.OutlookExpressBaseFile = "/oe/";
    Settings.AppendPath = false;
    Settings.ExtractOptions = 2;
    Settings.ExtractFromThunderbird() = true;
    SaveSettings();

    std::string text = ReadFileBytes(MainIni());
    EXPECT_NE(text.find("MSOutlookStroreInEML\t-1\r\n"), std::string::npos);
    EXPECT_NE(text.find("AppendPath\t0\r\n"), std::string::npos);
    EXPECT_NE(text.find("ExtractFromThunderbird\t-1\r\n"), std::string::npos);
    EXPECT_EQ(text.find("ExtractFromThunderBird"), std::string::npos);
    EXPECT_EQ(text.rfind("SelectedLanguage\t1\r\n", 0), 0u);

    TSettings saved = Settings;
    Settings = TSettings{};
    LoadSettings();
    EXPECT_EQ(Settings.StoragePath, "/srv/mail store/");
    EXPECT_EQ(Settings.MSOutlookStoreInEml, saved.MSOutlookStoreInEml);
    EXPECT_EQ(Settings.OutlookExpressBaseFile, "/oe/");
    EXPECT_EQ(Settings.AppendPath, saved.AppendPath);
    EXPECT_EQ(Settings.ExtractOptions, 2);
    EXPECT_EQ(Settings.ExtractFrom, saved.ExtractFrom);
    EXPECT_EQ(ReadFileBytes(MainIni()), text);
}

TEST_F(SettingsTest, SaveWritesKeysInItsOwnOrderIntoAFreshFile) {
    SaveSettings();
    std::vector<std::string> keys;
    std::string text = ReadFileBytes(MainIni());
    for (size_t start = 0; start < text.size(); start = text.find("\r\n", start) + 2) {
        keys.push_back(text.substr(start, text.find('\t', start) - start));
    }
    EXPECT_EQ(keys,
              (std::vector<std::string>{
                  "StoragePath", "ExtractAddressesPath", "MSOutlookStroreInEML",
                  "OutlookExpressBaseFile", "ThunderbirdBaseFile", "EudoraBaseFile", "AppendPath",
                  "ZipEmails", "ExtractOptions", "CheckForUpdate", "ExtractFromMSOutlook",
                  "ExtractFromOutlookExpress", "ExtractFromThunderbird", "ExtractFromEudora"}));
}

TEST_F(SettingsTest, TypedReadsFallBackToTheDefault) {
    const std::vector<std::pair<std::string, bool>> debugValues = {
        {"0", false}, {"False", false}, {"fALSE", false}, {"-1", true}, {"TRUE", true},
        {"2", true},  {"0.0", false},   {"yes", true},    {"", true},   {"%off", true}};
    for (const auto& [value, expected] : debugValues) {
        WriteFileBytes(MainIni(), "DebugMode\t" + value + "\r\n");
        EXPECT_EQ(ReadBoolSetting("DebugMode", true), expected) << value;
    }
    const std::vector<std::pair<std::string, bool>> zipValues = {
        {"-1", true}, {"true", true}, {"yes", false}, {"", false}, {"%on", false}, {"1.5", true}};
    for (const auto& [value, expected] : zipValues) {
        WriteFileBytes(MainIni(), "ZipEmails\t" + value + "\r\n");
        EXPECT_EQ(ReadBoolSetting("ZipEmails", false), expected) << value;
    }
    WriteFileBytes(MainIni(),
                   "A\t+3\r\nB\t-2\r\nC\t3x\r\nD\t99999999999\r\nE\t+-5\r\n"
                   "ExtractOptions\t7\r\n"
                   "StoragePath\t/no/slash\r\n");
    EXPECT_EQ(ReadIntSetting("A", 9), 3);
    EXPECT_EQ(ReadIntSetting("B", 9), -2);
    EXPECT_EQ(ReadIntSetting("C", 9), 9);
    EXPECT_EQ(ReadIntSetting("D", 9), 9);
    EXPECT_EQ(ReadIntSetting("E", 9), 9);
    EXPECT_EQ(ReadIntSetting("Missing", 9), 9);
    LoadSettings();
    EXPECT_EQ(Settings.ExtractOptions, 0);
    EXPECT_EQ(Settings.StoragePath, "/no/slash/");
}

TEST_F(SettingsTest, StartupReadsLanguageLinesInFileOrder) {
    std::string accented;
    for (int i = 0; i < 22; ++i) accented += "É";
    WriteFileBytes(MainIni(),
                   "Language\tEnglish (default)\r\nDebugMode\tfalse\r\nSelectedLanguage\t2\r\n"
                   "Language\tBrazilianPortugueseVariant\r\nOther\t1\r\nlanguage=" +
                       accented + "\r\n");
    ReadStartupSettings();
    EXPECT_FALSE(Settings.DebugMode);
    EXPECT_EQ(Settings.SelectedLanguage, 2);
    EXPECT_EQ(Settings.LanguageNames, (std::array<std::string, 3>{"English", "BrazilianPortugueseV",
                                                                  accented.substr(0, 40)}));
    EXPECT_EQ(Settings.UpdateCode, 1);
    EXPECT_NE(ReadFileBytes(MainIni()).find("UpdateCode\t\r\n"), std::string::npos);
}

TEST_F(SettingsTest, StartupRejectsConfigurationsItCannotRunWith) {
    const std::string languages = "Language\tA\r\nLanguage\tB\r\nLanguage\tC\r\n";
    auto messageFor = [&](const std::string& text) -> std::string {
        WriteFileBytes(MainIni(), text);
        try {
            ReadStartupSettings();
        } catch (const StartupError& error) {
            return error.what();
        }
        return "no error";
    };
    EXPECT_EQ(messageFor("SelectedLanguage\tone\r\n" + languages),
              "'one' is not a valid integer value");
    EXPECT_EQ(messageFor(languages), "'%SelectedLanguage' is not a valid integer value");
    EXPECT_NE(messageFor("SelectedLanguage\t3\r\n" + languages).find("main.ini"),
              std::string::npos);
    EXPECT_NE(messageFor("SelectedLanguage\t-1\r\n" + languages).find("main.ini"),
              std::string::npos);
    EXPECT_NE(messageFor("SelectedLanguage\t0\r\nLanguage\tA\r\nLanguage\tB\r\n")
                  .find("three \"Language\" lines"),
              std::string::npos);
    EXPECT_NE(messageFor("SelectedLanguage\t0\r\nLanguage\tA\r\nLanguage\t\r\nLanguage\tC\r\n")
                  .find("main.ini"),
              std::string::npos);
    EXPECT_NE(messageFor("SelectedLanguage\t0\r\nLanguage\tA\r\nLanguage\t:B\r\nLanguage\tC\r\n")
                  .find("line 2"),
              std::string::npos);
    EXPECT_EQ(messageFor("SelectedLanguage\t1\r\n" + languages), "no error");
}

TEST_F(SettingsTest, StoreRootComesFromTheWinePrefixRegistry) {
    EXPECT_EQ(ReadStoreRoot(), "");

    // The prefix user's profile counts, not whatever this process calls its profile.
    ScopedEnv user("USER", "me");
    ScopedEnv profile("USERPROFILE", "/home/elsewhere");
    WriteFileBytes(temp_ / "wine/user.reg",
                   "WINE REGISTRY Version 2\n"
                   ";; All keys relative to \\\\User\\\\S-1-5-21-1\n\n"
                   "[Identities] 1700000000\n"
                   "\"Default User ID\"=\"{AB-12}\"\n\n"
                   "[Identities\\\\{AB-12}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] "
                   "1700000000\n"
                   "\"Store Root\"=str(2):\"%UserProfile%\\\\Mail\\\\Outlook Express\"\n");
    EXPECT_EQ(ReadStoreRoot(), temp_ / "wine/dosdevices/c:/users/me/Mail/Outlook Express");

    WriteFileBytes(MainIni(), "");
    LoadSettings();
    EXPECT_EQ(Settings.OutlookExpressBaseFile, ReadStoreRoot());

    WriteFileBytes(temp_ / "wine/user.reg",
                   "WINE REGISTRY Version 2\n\n"
                   "[Software\\\\Microsoft\\\\Outlook Express] 1700000000\n"
                   "\"Store Root\"=\"D:\\\\Stores\"\n");
    EXPECT_EQ(ReadStoreRoot(), temp_ / "wine/dosdevices/d:/Stores");
}

TEST_F(SettingsTest, OverlongExpansionKeepsTheText) {
    ScopedEnv longValue("MAILSIFT_TEST_LONG", std::string(1100, 'x'));
    ScopedEnv shortValue("MAILSIFT_TEST_SHORT", "/short");
    EXPECT_EQ(ExpandEnvironmentPath("%MAILSIFT_TEST_LONG%/a"), "%MAILSIFT_TEST_LONG%/a");
    EXPECT_EQ(ExpandEnvironmentPath("%MAILSIFT_TEST_SHORT%/a"), "/short/a");
}

// The key table: every consumer of main.ini's keys reads them from it, so these check the table
// against the file it stands for rather than any one consumer.
using SettingKeysTest = SettingsTest;

const void* FieldAddress(const SettingKey& row, const TSettings& settings) {
    return std::visit(
        [&](auto field) -> const void* {
            if constexpr (std::is_same_v<decltype(field), ExtractSource>) {
                return &settings.ExtractFrom[field];
            } else {
                return &(settings.*field);
            }
        },
        row.field);
}

const SettingKey& RowOf(const void* field, const TSettings& settings) {
    for (const SettingKey& row : SettingKeys()) {
        if (FieldAddress(row, settings) == field) return row;
    }
    throw std::out_of_range("no row reaches the field");
}

// A value for the row's field that differs from what an empty main.ini gives.
void SetOtherThanDefault(const SettingKey& row, TSettings& settings) {
    const std::string path = "/set/" + std::string(row.key);
    switch (row.kind) {
        case SettingKind::Path:
            FieldOf<std::string>(row, settings) = path;
            break;
        case SettingKind::Folder:
            FieldOf<std::string>(row, settings) = path + "/";
            break;
        case SettingKind::Flag:
            FieldOf<bool>(row, settings) = !row.defaultFlag;
            break;
        case SettingKind::Number:
            FieldOf<int>(row, settings) = row.defaultNumber + 7;
            break;
        case SettingKind::Choice:
            FieldOf<int>(row, settings) = row.defaultNumber == 0 ? row.choices - 1 : 0;
            break;
        case SettingKind::LanguageChoice:
            FieldOf<int>(row, settings) = 2;
            break;
        case SettingKind::LanguageNames:
            FieldOf<LanguageNameList>(row, settings) = {"Deutsch", "Français", "Italiano"};
            break;
    }
}

std::map<std::string, std::string> Listed(const TSettings& settings) {
    const auto lines = ListSettings(settings);
    return {lines.begin(), lines.end()};
}

TEST_F(SettingKeysTest, EveryFieldHasExactlyOneRowOfItsType) {
    const TSettings s;
    std::vector<const void*> reached;
    for (const SettingKey& row : SettingKeys()) reached.push_back(FieldAddress(row, s));
    std::vector<const void*> fields = {&s.StoragePath,         &s.ExtractAddressesPath,
                                       &s.MSOutlookStoreInEml, &s.OutlookExpressBaseFile,
                                       &s.ThunderbirdBaseFile, &s.EudoraBaseFile,
                                       &s.AppendPath,          &s.ZipEmails,
                                       &s.CheckForUpdate,      &s.ExtractOptions,
                                       &s.ExtractFrom[0],      &s.ExtractFrom[1],
                                       &s.ExtractFrom[2],      &s.ExtractFrom[3],
                                       &s.DebugMode,           &s.SelectedLanguage,
                                       &s.LanguageNames,       &s.UpdateCode,
                                       &s.UpdatePageAddress,   &s.UpdateTextAddress};
    std::sort(reached.begin(), reached.end());
    std::sort(fields.begin(), fields.end());
    EXPECT_EQ(reached, fields);

    std::set<std::string> keys;
    for (const SettingKey& row : SettingKeys()) {
        EXPECT_TRUE(keys.insert(AsciiUpperCased(row.key)).second) << row.key << " has two rows";
        TSettings settings;
        EXPECT_NO_THROW(SetOtherThanDefault(row, settings)) << row.key << ": kind and field differ";
    }
}

TEST_F(SettingKeysTest, StoredKeysKeepTheSpellingsOfExistingFiles) {
    const TSettings s;
    const SettingKey& eml = RowOf(&s.MSOutlookStoreInEml, s);
    EXPECT_EQ(eml.key, "MSOutlookStroreInEML");
    EXPECT_EQ(eml.readKey(), "MSOutlookStroreInEML");
    const SettingKey& thunderbird = RowOf(&s.ExtractFrom[SourceThunderbird], s);
    EXPECT_EQ(thunderbird.key, "ExtractFromThunderbird");
    EXPECT_EQ(thunderbird.readKey(), "ExtractFromThunderBird");
    const SettingKey& names = RowOf(&s.LanguageNames, s);
    EXPECT_EQ(names.key, "Language");
    EXPECT_EQ(names.listedAs, "LanguageNames");

    for (const SettingKey& row : SettingKeys()) {
        if (&row == &thunderbird) continue;
        EXPECT_EQ(row.readKey(), row.key) << "only the Thunderbird switch reads another spelling";
    }
}

TEST_F(SettingKeysTest, EveryRowRoundTripsThroughMainIni) {
    WriteFileBytes(MainIni(), "");
    LoadSettings();
    WriteFileBytes(MainIni(),
                   "SelectedLanguage\t0\r\nLanguage\tEnglish\r\nLanguage\tA\r\nLanguage\tB\r\n");
    ReadStartupSettings();
    const TSettings fromEmpty = Settings;

    TSettings wanted;
    for (const SettingKey& row : SettingKeys()) SetOtherThanDefault(row, wanted);
    const auto wantedListing = Listed(wanted);
    for (const auto& [name, value] : Listed(fromEmpty)) {
        EXPECT_NE(wantedListing.at(name), value) << name << " would pass without being read";
    }

    // Keys read at startup are not saved; they are written as `config` lists them.
    WriteFileBytes(MainIni(), "");
    Settings = wanted;
    SaveSettings();
    std::string text = ReadFileBytes(MainIni());
    for (const SettingKey& row : SettingKeys()) {
        if (row.phase != SettingPhase::Startup) continue;
        if (row.kind == SettingKind::LanguageNames) {
            for (const std::string& name : FieldOf<LanguageNameList>(row, wanted)) {
                text += std::string(row.key) + "\t" + name + "\r\n";
            }
        } else {
            text += std::string(row.key) + "\t" + wantedListing.at(std::string(row.key)) + "\r\n";
        }
    }
    WriteFileBytes(MainIni(), text);

    Settings = TSettings{};
    LoadSettings();
    ReadStartupSettings();
    EXPECT_EQ(Listed(Settings), wantedListing);
    EXPECT_EQ(ReadFileBytes(MainIni()), text) << "every key read was among those written";
}

TEST_F(SettingKeysTest, ListingFollowsTheTableAndShowsWhatMainIniStores) {
    for (const SettingKey& row : SettingKeys()) SetOtherThanDefault(row, Settings);
    SaveSettings();
    std::map<std::string, std::string> stored;
    const std::string text = ReadFileBytes(MainIni());
    for (size_t start = 0; start < text.size(); start = text.find("\r\n", start) + 2) {
        const size_t tab = text.find('\t', start);
        stored[text.substr(start, tab - start)] =
            text.substr(tab + 1, text.find("\r\n", tab) - tab - 1);
    }

    const auto listing = ListSettings(Settings);
    auto line = listing.begin();
    for (const SettingKey& row : SettingKeys()) {
        const size_t count =
            row.kind == SettingKind::LanguageNames ? Settings.LanguageNames.size() : 1;
        for (size_t i = 0; i < count; ++i, ++line) {
            ASSERT_NE(line, listing.end()) << row.key << " is not listed";
            if (count == 1) {
                EXPECT_EQ(line->first, row.key);
            } else {
                EXPECT_EQ(line->first, std::string(row.listedAs) + std::to_string(i));
                EXPECT_EQ(line->second, Settings.LanguageNames[i]);
            }
            if (row.phase == SettingPhase::Load) {
                EXPECT_EQ(line->second, stored.at(line->first));
            }
        }
    }
    EXPECT_EQ(line, listing.end());
    for (const auto& [key, value] : stored) {
        EXPECT_TRUE(std::any_of(listing.begin(), listing.end(),
                                [&](const auto& listed) { return listed.first == key; }))
            << key << " is saved but not listed";
    }
}

TEST_F(SettingKeysTest, StartupKeepsTheLanguageChoiceOnlyWithUsableNames) {
    WriteFileBytes(MainIni(),
                   "DebugMode\t0\r\nSelectedLanguage\t2\r\nLanguage\tA\r\nLanguage\t\r\n"
                   "UpdateCode\t5\r\n");
    EXPECT_THROW(ReadStartupSettings(), StartupError);
    EXPECT_FALSE(Settings.DebugMode) << "read before the names";
    EXPECT_EQ(Settings.SelectedLanguage, 0);
    EXPECT_EQ(Settings.LanguageNames, LanguageNameList{});
    EXPECT_EQ(Settings.UpdateCode, 1) << "read after the names";

    WriteFileBytes(MainIni(),
                   "DebugMode\t0\r\nSelectedLanguage\t2\r\nLanguage\tA\r\nLanguage\tB\r\n"
                   "Language\tC\r\nUpdateCode\t5\r\n");
    ReadStartupSettings();
    EXPECT_EQ(Settings.SelectedLanguage, 2);
    EXPECT_EQ(Settings.LanguageNames, (LanguageNameList{"A", "B", "C"}));
    EXPECT_EQ(Settings.UpdateCode, 5);
}

TEST_F(SettingsTest, UpdateAddressesAreReadAtStartupAsTheyStand) {
    const std::string page = "https://mail.example/go?product=mailsift&version=1.0&action=update";
    WriteFileBytes(MainIni(),
                   "SelectedLanguage\t0\r\nLanguage\tA\r\nLanguage\tB\r\nLanguage\tC\r\n"
                   "updatepageaddress=" +
                       page + " \r\n");
    ReadStartupSettings();
    EXPECT_EQ(Settings.UpdatePageAddress, page);
    EXPECT_EQ(Settings.UpdateTextAddress, "") << "no address unless one is configured";
    const std::string text = ReadFileBytes(MainIni());
    EXPECT_NE(text.find("UpdateTextAddress\t\r\n"), std::string::npos);

    LoadSettings();
    SaveSettings();
    EXPECT_EQ(ReadFileBytes(MainIni()).find("UpdatePageAddress"), std::string::npos)
        << "the program never writes the addresses";
}

}  // namespace
}  // namespace mailsift::test
