#include "config/key_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "config_fixture.h"
#include "support/file_helpers.h"

namespace mailsift::test {
namespace {

using KeyFileTest = ConfigTest;

TEST_F(KeyFileTest, MissingKeyIsAppendedOnceAndReadsAsMarker) {
    std::string file = ConfigFolder() + "new.ini";
    EXPECT_EQ(ReadKey(file, "StoragePath"), "%StoragePath");
    EXPECT_EQ(ReadFileBytes(file), "StoragePath\t\r\n");

    WriteFileBytes(MainIni(), "");
    EXPECT_EQ(ReadSetting("StoragePath"), "%StoragePath");
    EXPECT_EQ(ReadSetting("storagePATH"), "%storagePATH");
    EXPECT_EQ(ReadFileBytes(MainIni()), "StoragePath\t\r\n");
    EXPECT_EQ(KeyCursor(), 0);
}

TEST_F(KeyFileTest, KeyEndsAtBlankTabOrEqualsOnly) {
    WriteFileBytes(MainIni(), "storagepath=/data\nExtractOptions:2\nZipEmailsX\t-1\nAB\r\n");
    EXPECT_EQ(ReadSetting("StoragePath"), "/data");
    EXPECT_EQ(ReadSetting("ZipEmails"), "%ZipEmails");
    EXPECT_EQ(ReadSetting("ExtractOptions"), "%ExtractOptions");
    EXPECT_EQ(ReadFileBytes(MainIni()),
              "storagepath=/data\r\nExtractOptions:2\r\nZipEmailsX\t-1\r\nAB\r\n"
              "ZipEmails\t\r\nExtractOptions\t\r\n");
}

TEST_F(KeyFileTest, LinesShorterThanThreeCharactersHaveNoValue) {
    WriteFileBytes(MainIni(), "A=\r\nB=x\r\n");
    EXPECT_EQ(ReadSetting("A"), "%A");
    EXPECT_EQ(ReadSetting("B"), "x");
    EXPECT_EQ(ReadFileBytes(MainIni()), "A=\r\nB=x\r\n");
}

TEST_F(KeyFileTest, ByteOrderMarkIsNoPartOfTheFirstKey) {
    WriteFileBytes(MainIni(),
                   "\xEF\xBB\xBF"
                   "DebugMode\t0\r\n");
    EXPECT_EQ(ReadSetting("DebugMode"), "0");
    EXPECT_EQ(ReadFileBytes(MainIni()),
              "\xEF\xBB\xBF"
              "DebugMode\t0\r\n");
}

TEST_F(KeyFileTest, RewritingKeepsTheFileModeAndLeavesNothingBehind) {
    WriteFileBytes(MainIni(), "A\t1\r\n");
    std::filesystem::permissions(
        MainIni(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    WriteSetting("B", "2");
    EXPECT_EQ(ReadFileBytes(MainIni()), "A\t1\r\nB\t2\r\n");
    EXPECT_EQ(std::filesystem::status(MainIni()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ConfigFolder())) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 1u) << "no temporary file is left beside main.ini";
}

TEST_F(KeyFileTest, ValuesAreNormalised) {
    WriteFileBytes(MainIni(),
                   "Path\t  /my  docs/a = b \r"
                   "Note\tfirst/lnsecond\r\n"
                   "Colon C:x\r\n"
                   "Blank\t \t\r\n");
    EXPECT_EQ(ReadSetting("Path"), "/my docs/a b");
    EXPECT_EQ(ReadSetting("Note"), "first\r\nsecond");
    EXPECT_EQ(ReadSetting("Colon"), "C:x");
    EXPECT_EQ(ReadSetting("Blank"), "%Blank");
    EXPECT_EQ(KeyCursor(), 3);
}

TEST_F(KeyFileTest, WriteKeyReplacesFirstLineAndKeepsOthers) {
    WriteFileBytes(MainIni(), "  junk = x\n\nLanguage\tEnglish\r\nLanguage\tRussian\r\nz");
    EXPECT_TRUE(WriteSetting("LANGUAGE", "German"));
    EXPECT_EQ(KeyCursor(), 2);
    EXPECT_EQ(ReadNextSetting("Language"), "Russian");
    EXPECT_EQ(ReadFileBytes(MainIni()),
              "  junk = x\r\n\r\nLANGUAGE\tGerman\r\nLanguage\tRussian\r\nz\r\n");

    EXPECT_TRUE(WriteSetting("Caption", "two\r\nlines\nand\rmore"));
    EXPECT_EQ(KeyCursor(), -1);
    EXPECT_EQ(ReadSetting("Caption"), "two\r\nlines\r\nand\r\nmore");
    EXPECT_EQ(ReadFileBytes(MainIni()),
              "  junk = x\r\n\r\nLANGUAGE\tGerman\r\nLanguage\tRussian\r\nz\r\n"
              "Caption\ttwo/lnlines/lnand/lnmore\r\n");
}

TEST_F(KeyFileTest, ReadNextKeyContinuesAfterTheCursorOnly) {
    WriteFileBytes(MainIni(), "Language\tEnglish\r\nOther\t1\r\nLanguage\tRussian\r\n");
    EXPECT_EQ(ReadNextSetting("Language"), "%Language");
    EXPECT_EQ(KeyCursor(), -1);
    EXPECT_EQ(ReadSetting("Language"), "English");
    EXPECT_EQ(ReadNextSetting("Language"), "Russian");
    EXPECT_EQ(KeyCursor(), 2);
    EXPECT_EQ(ReadNextSetting("Language"), "%Language");
    EXPECT_EQ(KeyCursor(), 2);
    EXPECT_EQ(ReadFileBytes(MainIni()), "Language\tEnglish\r\nOther\t1\r\nLanguage\tRussian\r\n");

    std::string missing = ConfigFolder() + "missing.ini";
    EXPECT_EQ(ReadNextKey(missing, "Key"), "%Key");
    EXPECT_EQ(ReadFileBytes(missing), "Key\t\r\n");
}

TEST_F(KeyFileTest, FileThatCannotBeCreatedThrowsWithItsPath) {
    std::string file = ConfigFolder() + "no-such-folder/language.ini";
    try {
        ReadKey(file, "Items");
        FAIL() << "no exception";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
        EXPECT_NE(std::string(error.what()).find(file), std::string::npos);
    }
    EXPECT_THROW(WriteKey(file, "Items", "x"), std::system_error);
}

TEST(GetFieldTest, SplitsOnAnyOneSeparator) {
    EXPECT_EQ(GetField("one two three", 2), "two");
    EXPECT_EQ(GetField("one two three", 3), "three");
    EXPECT_EQ(GetField("English (UK)", 1), "English");
    EXPECT_EQ(GetField("a=b:c\td", 3), "c");
    EXPECT_EQ(GetField("", 1), "%1");
    EXPECT_EQ(GetField("a  b", 2), "%2");
    EXPECT_EQ(GetField("single", 2), "%2");
}

TEST(KeyFileHelpersTest, NulCharsAndMarker) {
    EXPECT_EQ(RemoveNulChars(std::string("a\0b\0", 4)), "ab");
    EXPECT_TRUE(IsNotSet("%Key"));
    EXPECT_FALSE(IsNotSet("Key%"));
    EXPECT_FALSE(IsNotSet(""));
}

}  // namespace
}  // namespace mailsift::test
