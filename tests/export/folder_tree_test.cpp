#include "export/folder_tree.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "config/folders.h"
#include "support/file_helpers.h"
#include "support/scoped_env.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;

// A fake home with a documents folder beside it, so that nothing here reaches the real home.
class FolderTreeTest : public ::testing::Test {
  protected:
    FolderTreeTest() : homeEnv_("HOME", home_), documentsEnv_("XDG_DOCUMENTS_DIR", documents_) {
        fs::create_directories(home_);
        fs::create_directories(documents_);
        test::WriteFileBytes(home_ + "/.profile", "keep");
        test::WriteFileBytes(documents_ + "/letter.txt", "keep");
    }

    // A storage folder as an export leaves it: sub-folders, dot files, empty folders.
    std::string MakeTree(const std::string& name) const {
        const std::string root = dir_ / name;
        fs::create_directories(root + "/Inbox/2024/empty");
        test::WriteFileBytes(root + "/Inbox/2024/a message.eml", "x");
        test::WriteFileBytes(root + "/Inbox/.hidden", "x");
        test::WriteFileBytes(root + "/store.zip", "x");
        return root;
    }

    test::TestProgramFolder program_;
    test::TempDir dir_;
    std::string home_ = dir_ / "users/me";
    std::string documents_ = dir_ / "docs";
    test::ScopedEnv homeEnv_;
    test::ScopedEnv documentsEnv_;
};

TEST_F(FolderTreeTest, DeletesTheWholeTreeAndOnlyFolders) {
    const std::string root = MakeTree("out");
    EXPECT_EQ(DeleteFolderTree(root + "/"), 0u);
    EXPECT_FALSE(fs::exists(root));
    EXPECT_EQ(DeleteFolderTree(root), 0u) << "a folder already gone leaves nothing";
    const std::string file = dir_ / "file.txt";
    test::WriteFileBytes(file, "x");
    EXPECT_EQ(DeleteFolderTree(file + "/"), 1u);
    EXPECT_TRUE(fs::exists(file));
}

TEST_F(FolderTreeTest, SymbolicLinksAreRemovedNeverFollowed) {
    const std::string outside = dir_ / "outside";
    fs::create_directories(outside);
    test::WriteFileBytes(outside + "/keep.txt", "keep");
    const std::string root = MakeTree("out");
    fs::create_directory_symlink(home_, root + "/home link");
    fs::create_directory_symlink(outside, root + "/Inbox/outside link");
    fs::create_symlink(outside + "/keep.txt", root + "/file link");
    fs::create_symlink(dir_ / "nowhere", root + "/dangling");

    EXPECT_EQ(DeleteFolderTree(root + "/"), 0u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(root)));
    EXPECT_EQ(test::ReadFileBytes(home_ + "/.profile"), "keep");
    EXPECT_EQ(test::ReadFileBytes(outside + "/keep.txt"), "keep");

    // A storage folder named through a link is where the export wrote: its target goes too.
    const std::string target = MakeTree("target");
    const std::string link = dir_ / "storage";
    fs::create_directory_symlink(target, link);
    EXPECT_EQ(DeleteFolderTree(link + "/"), 0u);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(FolderTreeTest, EntriesThatCannotBeRemovedArePassedOver) {
    if (geteuid() == 0) GTEST_SKIP() << "root may remove files from a read-only folder";
    const std::string root = MakeTree("out");
    const std::string locked = root + "/locked";
    fs::create_directories(locked);
    test::WriteFileBytes(locked + "/a", "x");
    test::WriteFileBytes(locked + "/b", "x");
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);

    // The two files, their folder and the root stay; everything else is gone.
    EXPECT_EQ(DeleteFolderTree(root), 4u);
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_TRUE(fs::exists(locked + "/a"));
    EXPECT_FALSE(fs::exists(root + "/Inbox"));
    EXPECT_FALSE(fs::exists(root + "/store.zip"));
}

TEST_F(FolderTreeTest, RefusesRootsAndFoldersThatHoldHomeDocumentsOrProgram) {
    const std::string program = ProgramFolder();
    const std::string homeLink = dir_ / "home link";
    fs::create_directory_symlink(home_, homeLink);
    const std::string file = dir_ / "file.txt";
    test::WriteFileBytes(file, "x");
    for (const std::string& path :
         {std::string(), std::string("relative/out/"), dir_ / "out" + std::string("\0/sub/", 6),
          std::string("/"), std::string("//"), std::string("/."), file, home_ + "/",
          home_ + "/../me/", home_ + "/Documents/..", homeLink + "/", dir_ / "users",
          documents_ + "/", program, program + "/..//"}) {
        EXPECT_NE(FolderDeletionRefusal(path), "") << path;
    }
    EXPECT_NE(FolderDeletionRefusal(home_).find("is the home folder"), std::string::npos);
    EXPECT_NE(FolderDeletionRefusal(dir_ / "users").find("holds the home folder"),
              std::string::npos);
    EXPECT_NE(FolderDeletionRefusal(documents_).find("documents folder"), std::string::npos);
    EXPECT_NE(FolderDeletionRefusal(program + "/").find("program folder"), std::string::npos);
    for (const std::string& path : {home_ + "/Messages Store/", documents_ + "/Messages Store/",
                                    program + "/out/", dir_ / "not there yet/"}) {
        EXPECT_EQ(FolderDeletionRefusal(path), "") << path;
    }

    EXPECT_NE(DeleteStorageFolder(homeLink + "/").Refusal, "");
    EXPECT_EQ(test::ReadFileBytes(home_ + "/.profile"), "keep");
}

}  // namespace
}  // namespace mailsift
