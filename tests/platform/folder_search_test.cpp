#include "platform/folder_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/work_hooks.h"
#include "support/temp_dir.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, size_t size) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << std::string(size, 'x');
}

struct Walked {
    std::vector<std::string> found;
    std::vector<int64_t> sizes;
    std::vector<std::string> folders;
};

FolderSearch Recording(Walked& walked, const std::string& mask) {
    return {.Mask = mask,
            .Stopped = nullptr,
            .FolderEntered = [&walked](const std::string& f) { walked.folders.push_back(f); },
            .Found =
                [&walked](const FoundFile& file) {
                    walked.found.push_back(file.Path);
                    walked.sizes.push_back(file.Size);
                },
            .StayOnFileSystem = false};
}

std::vector<std::string> Sorted(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(FolderSearch, FindsMatchesAtEveryDepthInAnyLetterCaseAndWalksMatchingFolders) {
    test::TempDir root;
    WriteFile(root / "Outlook.PST", 1234);
    WriteFile(root / "a/b/c/deep.pst", 5);
    WriteFile(root / "a/notes.txt", 1);
    WriteFile(root / "a/pst", 1);
    fs::create_directories(root / "folder.pst/inner");
    WriteFile(root / "folder.pst/inner/x.pst", 7);

    Walked walked;
    // A trailing "/" on the root is the same folder.
    EXPECT_TRUE(SearchFolderTree(root.path().string() + "/", Recording(walked, "*.pst")));
    EXPECT_EQ(Sorted(walked.found), Sorted({root / "Outlook.PST", root / "a/b/c/deep.pst",
                                            root / "folder.pst", root / "folder.pst/inner/x.pst"}));
    const auto outlook = std::find(walked.found.begin(), walked.found.end(), root / "Outlook.PST");
    EXPECT_EQ(walked.sizes[static_cast<size_t>(outlook - walked.found.begin())], 1234);
    EXPECT_EQ(walked.folders.front(), root.path().string());
    EXPECT_NE(std::find(walked.folders.begin(), walked.folders.end(), root / "a/b/c"),
              walked.folders.end());
}

TEST(FolderSearch, LinksToFoldersAreListedButNeverWalked) {
    test::TempDir root;
    WriteFile(root / "real/inside.pst", 3);
    // A loop: each folder links back to its parent and to the root.
    fs::create_directory_symlink(root.path(), root / "real/up");
    fs::create_directory_symlink(root / "real", root / "real/self.pst");
    fs::create_symlink(root / "real/inside.pst", root / "link.pst");
    fs::create_symlink(root / "missing", root / "dangling.pst");

    Walked walked;
    EXPECT_TRUE(SearchFolderTree(root.path().string(), Recording(walked, "*.pst")));
    EXPECT_EQ(Sorted(walked.found), Sorted({root / "real/inside.pst", root / "real/self.pst",
                                            root / "link.pst", root / "dangling.pst"}));
    // The link to a file shows the file's size.
    const auto link = std::find(walked.found.begin(), walked.found.end(), root / "link.pst");
    EXPECT_EQ(walked.sizes[static_cast<size_t>(link - walked.found.begin())], 3);
    EXPECT_EQ(Sorted(walked.folders), Sorted({root.path().string(), root / "real"}));
}

TEST(FolderSearch, StopEndsTheWalkAtTheNextEntryAndEventsRunMeanwhile) {
    test::TempDir root;
    for (int i = 0; i < 50; ++i) WriteFile(root / ("f" + std::to_string(i) + ".pst"), 1);

    int yields = 0;
    ScopedWorkHooks hooks({.Yield = [&yields] { ++yields; },
                           .CounterChanged = nullptr,
                           .ProgressChanged = nullptr,
                           .StatusChanged = nullptr});
    bool stop = false;
    std::vector<std::string> found;
    FolderSearch search{.Mask = "*.pst",
                        .Stopped = [&stop] { return stop; },
                        .FolderEntered = nullptr,
                        .Found =
                            [&](const FoundFile& file) {
                                found.push_back(file.Path);
                                if (found.size() == 3) stop = true;
                            },
                        .StayOnFileSystem = false};
    EXPECT_FALSE(SearchFolderTree(root.path().string(), search));
    EXPECT_EQ(found.size(), 3u);
    EXPECT_GE(yields, 1);
}

TEST(FolderSearch, AMissingOrUnreadableRootFindsNothing) {
    test::TempDir root;
    Walked walked;
    EXPECT_TRUE(SearchFolderTree(root / "absent", Recording(walked, "*")));
    EXPECT_TRUE(walked.found.empty());
    WriteFile(root / "file.pst", 1);
    EXPECT_TRUE(SearchFolderTree(root / "file.pst", Recording(walked, "*")));
    EXPECT_TRUE(walked.found.empty());
}

}  // namespace
}  // namespace mailsift
