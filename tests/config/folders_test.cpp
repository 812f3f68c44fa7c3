#include "config/folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/file_helpers.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace mailsift::test {
namespace {

namespace fs = std::filesystem;

class FoldersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(temp_.path() / "bin/Config/English");
        WriteFileBytes(temp_ / "bin/Config/main.ini", "shipped main\r\n");
        WriteFileBytes(temp_ / "bin/Config/English/language.ini", "shipped english\r\n");
    }

    TempDir temp_;
};

TEST_F(FoldersTest, HomeFolderIsSeededWithoutOverwriting) {
    fs::create_directories(temp_.path() / "home/Config");
    WriteFileBytes(temp_ / "home/Config/main.ini", "user main\r\n");
    ScopedEnv home("MAILSIFT_HOME", temp_ / "home/");
    fs::path before = fs::current_path();

    InitFolders(temp_ / "bin/mailsift");
    EXPECT_EQ(ProgramFolder(), temp_ / "home");
    EXPECT_EQ(ConfigFolder(), temp_ / "home/Config/");
    EXPECT_EQ(ReadFileBytes(ConfigFolder() + "main.ini"), "user main\r\n");
    EXPECT_EQ(ReadFileBytes(ConfigFolder() + "English/language.ini"), "shipped english\r\n");
    EXPECT_EQ(fs::current_path(), before);
}

TEST_F(FoldersTest, MissingHomeFolderIsCreated) {
    ScopedEnv home("MAILSIFT_HOME", temp_ / "new/home");
    InitFolders(temp_ / "bin/mailsift");
    EXPECT_EQ(ReadFileBytes(ConfigFolder() + "main.ini"), "shipped main\r\n");
}

TEST_F(FoldersTest, WritableExecutableFolderIsTheProgramFolder) {
    ScopedEnv home("MAILSIFT_HOME", std::nullopt);
    InitFolders(temp_ / "bin/mailsift");
    EXPECT_EQ(ProgramFolder(), temp_ / "bin");
    EXPECT_EQ(ConfigFolder(), temp_ / "bin/Config/");
    EXPECT_FALSE(ExecutablePath().empty());
}

TEST_F(FoldersTest, ReadOnlyExecutableFolderFallsBackToUserData) {
    if (geteuid() == 0) GTEST_SKIP() << "every folder is writable for root";
    ScopedEnv home("MAILSIFT_HOME", std::nullopt);
    ScopedEnv data("XDG_DATA_HOME", temp_ / "data");
    fs::permissions(temp_.path() / "bin", fs::perms::owner_write, fs::perm_options::remove);
    InitFolders(temp_ / "bin/mailsift");
    fs::permissions(temp_.path() / "bin", fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(ProgramFolder(), temp_ / "data/mailsift");
    EXPECT_EQ(ReadFileBytes(ConfigFolder() + "main.ini"), "shipped main\r\n");
}

}  // namespace
}  // namespace mailsift::test
