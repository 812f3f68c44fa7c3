#include "platform/environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "support/file_helpers.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace mailsift {
namespace {

using test::ScopedEnv;

// Unsets every spelling of the variables that have a fallback, so the fallback shows.
std::vector<std::unique_ptr<ScopedEnv>> WithoutWindowsVariables() {
    std::vector<std::unique_ptr<ScopedEnv>> unset;
    for (const char* name : {"TEMP", "Temp", "temp", "TMP", "Tmp", "tmp", "USERPROFILE",
                             "UserProfile", "PROGRAMFILES", "ProgramFiles", "programfiles"}) {
        unset.push_back(std::make_unique<ScopedEnv>(name, std::nullopt));
    }
    return unset;
}

TEST(ExpandEnvironmentStrings, ReplacesVariablesIgnoringCase) {
    ScopedEnv mixed("MailsiftMixed", "mixed value");
    ScopedEnv upper("MAILSIFT_TWIN", "upper");
    ScopedEnv lower("mailsift_twin", "lower");
    EXPECT_EQ(ExpandEnvironmentStrings("%MailsiftMixed%"), "mixed value");
    EXPECT_EQ(ExpandEnvironmentStrings("a%MAILSIFTMIXED%b%mailsiftmixed%"),
              "amixed valuebmixed value");
    EXPECT_EQ(ExpandEnvironmentStrings("%MAILSIFT_TWIN%/%mailsift_twin%"), "upper/lower");
    EXPECT_EQ(ExpandEnvironmentStrings("no references"), "no references");
    EXPECT_EQ(ExpandEnvironmentStrings(""), "");
}

TEST(ExpandEnvironmentStrings, LeavesUnknownNamesAndLonePercents) {
    ScopedEnv unknown("MAILSIFT_UNSET", std::nullopt);
    ScopedEnv known("MAILSIFT_KNOWN", "k");
    EXPECT_EQ(ExpandEnvironmentStrings("%MAILSIFT_UNSET%\\x"), "%MAILSIFT_UNSET%\\x");
    EXPECT_EQ(ExpandEnvironmentStrings("100%"), "100%");
    EXPECT_EQ(ExpandEnvironmentStrings("%%"), "%%");
    EXPECT_EQ(ExpandEnvironmentStrings("50% of %MAILSIFT_KNOWN%"), "50% of k");
    // The closing "%" of an unknown name can open the next reference, as on Windows.
    EXPECT_EQ(ExpandEnvironmentStrings("%MAILSIFT_UNSET%MAILSIFT_KNOWN%"), "%MAILSIFT_UNSETk");
    EXPECT_EQ(ExpandEnvironmentStrings("%MAILSIFT_KNOWN%%MAILSIFT_KNOWN%"), "kk");
    EXPECT_EQ(ExpandEnvironmentStrings("%a=b%"), "%a=b%");
}

TEST(ExpandEnvironmentStrings, FallsBackForWindowsVariables) {
    const auto unset = WithoutWindowsVariables();
    test::TempDir prefix;
    ScopedEnv home("HOME", "/home/mailsift");
    ScopedEnv winePrefix("WINEPREFIX", prefix.path().string());
    {
        ScopedEnv tmpdir("TMPDIR", std::nullopt);
        EXPECT_EQ(ExpandEnvironmentStrings("%Temp%\\a"), "/tmp\\a");
        EXPECT_EQ(ExpandEnvironmentStrings("%TMP%"), "/tmp");
    }
    ScopedEnv tmpdir("TMPDIR", "/var/scratch/");
    EXPECT_EQ(ExpandEnvironmentStrings("%temp%"), "/var/scratch");
    EXPECT_EQ(ExpandEnvironmentStrings("%USERPROFILE%\\Local Settings"),
              "/home/mailsift\\Local Settings");
    EXPECT_EQ(ExpandEnvironmentStrings("%programfiles%"), "%programfiles%");
    std::filesystem::create_directories(prefix.path() / "drive_c" / "Program Files");
    EXPECT_EQ(ExpandEnvironmentStrings("%programfiles%"),
              (prefix.path() / "drive_c" / "Program Files").string());

    ScopedEnv realTemp("TEMP", "/real");
    EXPECT_EQ(ExpandEnvironmentStrings("%Temp%"), "/real");
}

TEST(Environment, FindsHomeAndWinePrefix) {
    {
        ScopedEnv home("HOME", "/home/someone/");
        ScopedEnv prefix("WINEPREFIX", std::nullopt);
        EXPECT_EQ(HomeFolder(), "/home/someone");
        EXPECT_EQ(WinePrefix(), "/home/someone/.wine");
    }
    ScopedEnv prefix("WINEPREFIX", "/opt/prefix");
    EXPECT_EQ(WinePrefix(), "/opt/prefix");
    ScopedEnv home("HOME", std::nullopt);
    EXPECT_FALSE(HomeFolder().empty());
}

TEST(Environment, ResolvesTheDocumentsFolder) {
    test::TempDir home;
    const std::string homePath = home.path().string();
    ScopedEnv homeEnv("HOME", homePath);
    ScopedEnv configHome("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv documentsEnv("XDG_DOCUMENTS_DIR", std::nullopt);

    EXPECT_EQ(UserDocumentsFolder(), homePath);
    std::filesystem::create_directory(home.path() / "Documents");
    EXPECT_EQ(UserDocumentsFolder(), homePath + "/Documents");

    std::filesystem::create_directory(home.path() / ".config");
    test::WriteFileBytes(home / ".config/user-dirs.dirs",
                         "# written by xdg-user-dirs-update\n"
                         "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                         "XDG_DOCUMENTS_DIR=\"$HOME/My Papers/\"\n");
    EXPECT_EQ(UserDocumentsFolder(), homePath + "/My Papers");

    test::TempDir config;
    ScopedEnv otherConfig("XDG_CONFIG_HOME", config.path().string());
    test::WriteFileBytes(config / "user-dirs.dirs",
                         "XDG_DOCUMENTS_DIR=\"relative/ignored\"\n"
                         "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
    EXPECT_EQ(UserDocumentsFolder(), "/srv/docs");
    test::WriteFileBytes(config / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOMEWORK\"\n");
    EXPECT_EQ(UserDocumentsFolder(), homePath + "/Documents");

    ScopedEnv documents("XDG_DOCUMENTS_DIR", "/from/environment/");
    EXPECT_EQ(UserDocumentsFolder(), "/from/environment");
}

}  // namespace
}  // namespace mailsift
