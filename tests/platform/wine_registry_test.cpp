#include "platform/wine_registry.h"

#include <gtest/gtest.h>

#include <string>

#include "support/file_helpers.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace mailsift {
namespace {

using namespace std::string_literals;

constexpr const char* kUserReg = R"(WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win32

[Identities] 1600000000
#time=1d6b3f0a1b2c3d4
"Default User ID"="{1A2B-3C4D}"
"Last User ID"=hex:01,02

[Identities\\{1A2B-3C4D}\\Software\\Microsoft\\Outlook Express\\5.0] 1600000001
"Store Root"=str(2):"%UserProfile%\\Local Settings\\Identities\\{1A2B-3C4D}\\Outlook Express"
@="default \"quoted\""

[Software\\Microsoft\\Outlook Express] 1600000002
"Store Root"=str(2):"C:\\Mail\tStore\\\nEnd"
)";

TEST(RegistryView, ReadsOutlookExpressStoreRoots) {
    const RegistryView view = RegistryView::Parse(kUserReg);
    EXPECT_EQ(view.ReadString("\\Software\\Microsoft\\Outlook Express", "Store Root"),
              "C:\\Mail\tStore\\\nEnd");
    const auto id = view.ReadString("\\Identities", "Default User ID");
    ASSERT_EQ(id, "{1A2B-3C4D}");
    const std::string identityKey =
        "\\Identities\\" + *id + "\\Software\\Microsoft\\Outlook Express\\5.0";
    EXPECT_EQ(view.ReadString(identityKey, "Store Root"),
              "%UserProfile%\\Local Settings\\Identities\\{1A2B-3C4D}\\Outlook Express");
    EXPECT_EQ(view.ReadString(identityKey, ""), "default \"quoted\"");
    const auto values = view.Values(identityKey);
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 2u);
    EXPECT_EQ((*values)[0].type, RegistryValueType::ExpandString);
    EXPECT_EQ((*values)[1].name, "");
    EXPECT_EQ((*values)[1].type, RegistryValueType::String);
    // Binary values are no strings.
    EXPECT_EQ(view.ReadString("Identities", "Last User ID"), std::nullopt);
    EXPECT_EQ(view.Values("Identities")->at(1).data, "\x01\x02");
}

TEST(RegistryView, LooksKeysUpWithoutRegardToCaseOrStraySeparators) {
    const RegistryView view = RegistryView::Parse(kUserReg);
    EXPECT_EQ(view.ReadString("SOFTWARE\\microsoft\\OUTLOOK express\\", "store root"),
              "C:\\Mail\tStore\\\nEnd");
    EXPECT_EQ(view.ReadString("\\\\Software\\\\Microsoft\\Outlook Express", "Store Root"),
              "C:\\Mail\tStore\\\nEnd");
    EXPECT_TRUE(view.HasKey("identities"));
    // Keys with only subkeys are not in the file but exist all the same.
    EXPECT_TRUE(view.HasKey("Software"));
    EXPECT_TRUE(view.HasKey("Software\\Microsoft"));
    ASSERT_TRUE(view.Values("Software\\Microsoft").has_value());
    EXPECT_TRUE(view.Values("Software\\Microsoft")->empty());
    EXPECT_FALSE(view.HasKey("Soft"));
    EXPECT_FALSE(view.HasKey("Software\\Microsoft\\Outlook"));
    EXPECT_FALSE(view.HasKey("Software\\Microsoft\\Outlook Express\\5.0"));
    EXPECT_EQ(view.Values("Software\\Nothing"), std::nullopt);
    EXPECT_EQ(view.ReadString("Software\\Microsoft\\Outlook Express", "Missing"), std::nullopt);
}

TEST(RegistryView, KeepsValuesInFileOrder) {
    const RegistryView view = RegistryView::Parse(R"(WINE REGISTRY Version 2
[Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls] 1
"C:\\windows\\system32\\zeta.dll"=dword:00000001
"C:\\Program Files\\Common Files\\System\\Msmapi\\1033\\msmapi32.dll"=dword:0000000a
"C:\\windows\\system32\\alpha.dll"=dword:ffffffff
"c:\\windows\\system32\\ZETA.DLL"=dword:00000002
)");
    const auto values = view.Values("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls");
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 3u);
    EXPECT_EQ((*values)[0].name, "c:\\windows\\system32\\ZETA.DLL");
    EXPECT_EQ((*values)[0].data, "2");
    EXPECT_EQ((*values)[1].name,
              "C:\\Program Files\\Common Files\\System\\Msmapi\\1033\\msmapi32.dll");
    EXPECT_EQ((*values)[1].type, RegistryValueType::Dword);
    EXPECT_EQ((*values)[1].data, "10");
    EXPECT_EQ((*values)[2].data, "4294967295");
}

TEST(RegistryView, DecodesValueTypes) {
    const RegistryView view = RegistryView::Parse(
        "WINE REGISTRY Version 2\r\n"
        "[Types]\r\n"
        "\"Expand\"=hex(2):25,00,54,00,65,00,6d,00,70,00,25,00,5c,00,e9,00,00,00\r\n"
        "\"Wrapped\"=hex(2):41,00,\\\r\n"
        "  42,00,\\\r\n"
        "  00,00\r\n"
        "\"Multi\"=str(7):\"one\\0two\\0\"\r\n"
        "\"MultiHex\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        "\"Cut\"=str(1):\"shown\\0hidden\"\r\n"
        "\"DwordHex\"=hex(4):2a,01,00,00\r\n"
        "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
        "\"Empty\"=hex:\r\n"
        "\"After\"=\"still read\"\r\n");
    EXPECT_EQ(view.ReadString("Types", "Expand"), "%Temp%\\\xC3\xA9");
    EXPECT_EQ(view.ReadString("Types", "Wrapped"), "AB");
    EXPECT_EQ(view.ReadString("Types", "Multi"), "one\0two"s);
    EXPECT_EQ(view.ReadString("Types", "MultiHex"), "a\0b"s);
    EXPECT_EQ(view.ReadString("Types", "Cut"), "shown");
    EXPECT_EQ(view.ReadString("Types", "After"), "still read");
    const auto values = view.Values("Types");
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 9u);
    EXPECT_EQ((*values)[0].type, RegistryValueType::ExpandString);
    EXPECT_EQ((*values)[2].type, RegistryValueType::MultiString);
    EXPECT_EQ((*values)[5].type, RegistryValueType::Dword);
    EXPECT_EQ((*values)[5].data, "298");
    EXPECT_EQ((*values)[6].type, RegistryValueType::Other);
    EXPECT_EQ((*values)[6].data, "\x01\0\0\0\0\0\0\0"s);
    EXPECT_EQ((*values)[7].type, RegistryValueType::Binary);
    EXPECT_EQ((*values)[7].data, "");
}

TEST(RegistryView, DecodesEscapesToUtf8) {
    const RegistryView view = RegistryView::Parse(R"(WINE REGISTRY Version 2
[Software\\Caf\xe9\\\x4e2d\x6587] 1
"Pair"="\xd83d\xde00!"
"Short"="\x41\x0042"
"Octal"="\101\60\0"
"Controls"="\a\b\e\f\v\r"
"Lone"="[\xd800]"
"Other"="\q\[\]\x"
)");
    const std::string key = "SOFTWARE\\CAF\xC3\xA9\\\xE4\xB8\xAD\xE6\x96\x87";
    ASSERT_TRUE(view.HasKey(key));
    EXPECT_EQ(view.ReadString(key, "Pair"), "\xF0\x9F\x98\x80!");
    EXPECT_EQ(view.ReadString(key, "Short"), "AB");
    EXPECT_EQ(view.ReadString(key, "Octal"), "A0");
    EXPECT_EQ(view.ReadString(key, "Controls"), "\a\b\x1B\f\v\r");
    EXPECT_EQ(view.ReadString(key, "Lone"), "[\xEF\xBF\xBD]");
    EXPECT_EQ(view.ReadString(key, "Other"), "q[]x");
}

TEST(RegistryView, PassesOverDamagedLines) {
    const RegistryView view = RegistryView::Parse(
        "WINE REGISTRY Version 2\n"
        "[Broken\\\\Key\n"
        "\"Orphan\"=\"belongs nowhere\"\n"
        "[Good]\n"
        "\"Open\"=\"no end\n"
        "\"BadHex\"=hex:0g,01\n"
        "\"LongHex\"=hex:123\n"
        "\"BadDword\"=dword:123456789\n"
        "\"BadType\"=str(zz):\"x\"\n"
        "\"Unknown\"=float:1.5\n"
        "\"NoEquals\" \"x\"\n"
        "\"Escape at end\\\n"
        "garbage line\n"
        "\"Odd\"=hex(2):41,00,42\n"
        "\"Fine\"=\"yes\"\n"
        "\"Cont\"=hex:01,\\");
    EXPECT_FALSE(view.HasKey("Broken"));
    EXPECT_EQ(view.ReadString("Good", "Fine"), "yes");
    EXPECT_EQ(view.ReadString("Good", "Odd"), "A");
    const auto values = view.Values("Good");
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 3u);
    EXPECT_EQ((*values)[2].name, "Cont");
    EXPECT_EQ((*values)[2].data, "\x01");

    EXPECT_FALSE(RegistryView::Parse("REGEDIT4\n[Good]\n\"Fine\"=\"yes\"\n").HasKey("Good"));
    EXPECT_FALSE(RegistryView::Parse("").HasKey(""));
}

TEST(RegistryView, OpensTheHivesOfTheWinePrefix) {
    test::TempDir prefix;
    test::ScopedEnv winePrefix("WINEPREFIX", prefix.path().string());
    EXPECT_FALSE(RegistryView::OpenHive(RegistryHive::CurrentUser).HasKey("Identities"));
    test::WriteFileBytes(prefix / "user.reg", kUserReg);
    test::WriteFileBytes(prefix / "system.reg",
                         "WINE REGISTRY Version 2\n[Software\\\\Classes]\n@=\"machine\"\n");
    EXPECT_TRUE(RegistryView::OpenHive(RegistryHive::CurrentUser).HasKey("Identities"));
    EXPECT_FALSE(RegistryView::OpenHive(RegistryHive::LocalMachine).HasKey("Identities"));
    EXPECT_EQ(
        RegistryView::OpenHive(RegistryHive::LocalMachine).ReadString("Software\\Classes", ""),
        "machine");
    EXPECT_FALSE(RegistryView::LoadFile(prefix / "missing.reg").HasKey(""));
}

}  // namespace
}  // namespace mailsift
