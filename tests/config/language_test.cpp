#include "config/language.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "config_fixture.h"
#include "support/file_helpers.h"

namespace mailsift::test {
namespace {

class LanguageTest : public ConfigTest {
  protected:
    void SetUp() override {
        ConfigTest::SetUp();
        Settings.LanguageNames = {"English", "Russian", "French"};
        Settings.SelectedLanguage = 1;
        std::filesystem::create_directories(ConfigFolder() + "Russian");
    }
};

TEST_F(LanguageTest, LooksUpTheSelectedLanguageFile) {
    EXPECT_EQ(LanguageFilePath(), ConfigFolder() + "Russian/language.ini");
    WriteFileBytes(LanguageFilePath(),
                   "MessageViewForm.Caption\tИсходный текст\r\nItems\tЗаписей:/lnвсего\r\n");
    EXPECT_EQ(LanguageString("messageviewform.caption"), "Исходный текст");
    EXPECT_EQ(LanguageString("Items"), "Записей:\r\nвсего");
    EXPECT_EQ(LanguageString("ZipComplete"), "%ZipComplete");
    EXPECT_EQ(ReadFileBytes(LanguageFilePath()),
              "MessageViewForm.Caption\tИсходный текст\r\nItems\tЗаписей:/lnвсего\r\n"
              "ZipComplete\t\r\n");

    Settings.SelectedLanguage = 3;
    EXPECT_THROW(LanguageFilePath(), std::out_of_range);
}

TEST_F(LanguageTest, DefaultIsStoredOnlyWhenTheTextIsMissing) {
    WriteFileBytes(LanguageFilePath(), "SetupForm.Label1.Caption\tПапка\r\n");
    EXPECT_EQ(LanguageStringDef("SetupForm.Label1.Caption", "Folder"), "Папка");
    EXPECT_EQ(LanguageStringDef("SetupForm.Label2.Caption", "Two\r\nlines"), "Two\r\nlines");
    EXPECT_EQ(LanguageString("SetupForm.Label2.Caption"), "Two\r\nlines");
    EXPECT_EQ(ReadFileBytes(LanguageFilePath()),
              "SetupForm.Label1.Caption\tПапка\r\nSetupForm.Label2.Caption\tTwo/lnlines\r\n");
}

TEST_F(LanguageTest, MissingLanguageFolderFails) {
    Settings.SelectedLanguage = 2;
    EXPECT_THROW(LanguageString("Items"), std::system_error);
}

// The shipped configuration, seeded into the test's program folder, names three languages whose
// files hold every message key: a lookup of any of them leaves the file as it was.
TEST_F(LanguageTest, ShippedLanguageFilesHoldEveryMessageKey) {
    InitFolders(std::string(MAILSIFT_SOURCE_DIR) + "/data/mailsift");
    ReadStartupSettings();
    EXPECT_EQ(Settings.LanguageNames, (std::array<std::string, 3>{"English", "Russian", "French"}));
    EXPECT_TRUE(Settings.DebugMode);
    std::istringstream keys(
        "TotalEmailsExtract MSOutlookNotAdjusted OutlookExpressNotAdjusted "
        "ThunderbirdNotAdjusted EudoraNotAdjusted NoOneEmailClientSelected Zip "
        "ZipComplete NoEmailAddressesFileExistst RedyToUpdate NoUpdateForThisVersion "
        "BeginOpenMessageStore OpenMessageStoreOK GetMessageHeader GetMessageBody "
        "GetMessageAttachToFile GetMessageSaveToTextFile CloseMessageStore Items "
        "StorageManagerForm.AreYouSure SearchLibraryForm.SearchLibraryCaption "
        "SearchLibraryForm.SearchPSTFilesCaption "
        "MSOutlookStepByStepForm.TheMailsiftCould MessageViewForm.Caption Engish Russian "
        "France");
    for (int language = 0; language < 3; ++language) {
        Settings.SelectedLanguage = language;
        std::string before = ReadFileBytes(LanguageFilePath());
        keys.clear();
        keys.seekg(0);
        for (std::string key; keys >> key;) {
            EXPECT_FALSE(IsNotSet(LanguageString(key))) << key << " in " << LanguageFilePath();
        }
        EXPECT_EQ(ReadFileBytes(LanguageFilePath()), before);
        EXPECT_NE(LanguageString("MSOutlookStepByStepForm.TheMailsiftCould").find("%s"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace mailsift::test
