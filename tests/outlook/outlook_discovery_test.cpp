#include "outlook/outlook_discovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "config/folders.h"
#include "config/settings.h"
#include "outlook/mapi_library.h"
#include "support/file_helpers.h"
#include "support/scoped_env.h"
#include "support/test_program_folder.h"

namespace mailsift::test {
namespace {

namespace fs = std::filesystem;

class OutlookDiscoveryTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return folder_.dir() / name; }
    // In the profile's Outlook data folder and in a Wine user's profile.
    std::string Data(const std::string& name) const {
        return Path("home/Local Settings/Application Data/Microsoft/Outlook/" + name);
    }
    std::string Wine(const std::string& name) const {
        return Path("wine/drive_c/users/me/" + name);
    }
    static void WriteFile(const std::string& path) {
        fs::create_directories(fs::path(path).parent_path());
        WriteFileBytes(path, "x");
    }
    void WriteSharedDlls(const std::string& values) {
        fs::create_directories(Path("wine"));
        WriteFileBytes(Path("wine/system.reg"),
                       "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                       "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\SharedDlls] "
                       "1700000000\n" +
                           values);
    }

    TestProgramFolder folder_;
    ScopedEnv prefix_{"WINEPREFIX", folder_.dir() / "wine"};
    ScopedEnv profile_{"USERPROFILE", std::nullopt};
};

TEST_F(OutlookDiscoveryTest, LibraryPathComesFromTheSharedLibraries) {
    const std::string programFolder = Path("program");
    EXPECT_EQ(FindMapiLibraryPath(programFolder), "");
    WriteSharedDlls(
        "\"C:\\\\Windows\\\\system32\\\\mapi32.dll\"=dword:00000001\n"
        "\"C:\\\\Program Files\\\\Office10\\\\MsMapi32.Dll.old\"=dword:00000001\n"
        "\"C:\\\\Program Files\\\\Office12\\\\MSMAPI32.DLL\"=dword:00000002\n");
    EXPECT_EQ(FindMapiLibraryPath(programFolder), "C:\\Program Files\\Office10\\MsMapi32.Dll.old");

    WriteFile(Path("program/msmapi32.dll.so"));
    EXPECT_EQ(FindMapiLibraryPath(programFolder), Path("program/msmapi32.dll.so"));
}

TEST_F(OutlookDiscoveryTest, DefaultPstFilesAreTickedOrAdded) {
    EXPECT_EQ(DefaultOutlookDataFolder(), "");
    for (const char* name : {"b.pst", "A.PST", "notes.txt"}) WriteFile(Data(name));
    fs::create_directories(Data("folder.pst"));
    WriteFile(Wine("AppData/Local/Microsoft/Outlook/c.pst"));
    WriteFile(Wine("Documents/Outlook Files/d.pst"));
    // The same profile reached under a second name adds nothing twice.
    fs::create_directory_symlink(Wine(""), Path("wine/drive_c/users/zz-alias"));
    EXPECT_EQ(DefaultOutlookDataFolder(), Data(""));

    std::vector<TMSOutlookStore> stores = {{Data("b.pst"), false, true}, {"/x.pst", false, false}};
    FindDefaultPstFiles(stores);
    ASSERT_EQ(stores.size(), 5u);
    EXPECT_TRUE(stores[0].Selected);
    EXPECT_FALSE(stores[1].Selected);
    EXPECT_EQ(stores[2].Path, Data("A.PST"));
    EXPECT_EQ(stores[3].Path, Wine("AppData/Local/Microsoft/Outlook/c.pst"));
    EXPECT_EQ(stores[4].Path, Wine("Documents/Outlook Files/d.pst"));
    for (size_t i = 2; i < stores.size(); ++i) {
        EXPECT_TRUE(stores[i].Selected && stores[i].Exists) << stores[i].Path;
    }

    ScopedEnv elsewhere("USERPROFILE", Path("nobody"));
    EXPECT_EQ(DefaultOutlookDataFolder(), "");
}

TEST_F(OutlookDiscoveryTest, ActivationFillsOnlyWhatIsMissing) {
    WriteFile(Data("one.pst"));
    WriteFile(Data("two.pst"));
    WriteSharedDlls("\"C:\\\\Office\\\\msmapi32.dll\"=dword:00000001\n");
    WriteSetting("MSOutlookLibraryPath", Path("gone.dll"));
    RunOutlookActivationDiscovery();
    // The provider built beside this program comes before what the registry lists.
    EXPECT_EQ(ReadSetting("MSOutlookLibraryPath"),
              (fs::path(ExecutablePath()).parent_path() / "msmapi32.dll.so").string());
    std::vector<TMSOutlookStore> stores = LoadMSOutlookFileList();
    ASSERT_EQ(stores.size(), 2u);
    EXPECT_EQ(stores[0].Path, Data("one.pst"));
    EXPECT_EQ(stores[1].Path, Data("two.pst"));
    EXPECT_TRUE(stores[0].Selected && stores[1].Selected);

    WriteFile(Path("mine.dll"));
    WriteSetting("MSOutlookLibraryPath", Path("mine.dll"));
    SaveMSOutlookFileList({{Data("two.pst"), false, true}});
    RunOutlookActivationDiscovery();
    EXPECT_EQ(ReadSetting("MSOutlookLibraryPath"), Path("mine.dll"));
    stores = LoadMSOutlookFileList();
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_FALSE(stores[0].Selected);

    // A list that cannot be written is passed over.
    fs::remove(ConfigFolder() + "MSOutlook.lst");
    fs::create_directory(ConfigFolder() + "MSOutlook.lst");
    EXPECT_NO_THROW(RunOutlookActivationDiscovery());
}

}  // namespace
}  // namespace mailsift::test
