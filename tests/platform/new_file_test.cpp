#include "platform/new_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;

std::time_t ModificationTime(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return status.st_mtime;
}

// 2020-05-17 10:20:30 wherever the test runs.
TDateTime LocalDate() {
    return DateTimeFromUnixTime(1589710830);
}

TEST(NewFile, NeverTakesANameThatIsThere) {
    test::TempDir dir;
    const std::string taken = dir / "taken.eml";
    test::WriteFileBytes(taken, "the user's own");
    int error = 0;
    EXPECT_EQ(NewFile::Create(taken, error), nullptr);
    EXPECT_EQ(error, EEXIST);
    // Not even a link that points nowhere is followed or replaced.
    fs::create_symlink(dir / "nowhere", dir / "link.eml");
    EXPECT_EQ(NewFile::Create(dir / "link.eml", error), nullptr);
    EXPECT_EQ(error, EEXIST);
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
    EXPECT_EQ(NewFile::Create(dir / "missing/a.eml", error), nullptr);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(NewFile::Create(dir / (std::string(300, 'n') + ".eml"), error), nullptr);
    EXPECT_EQ(error, ENAMETOOLONG);
    EXPECT_EQ(test::ReadFileBytes(taken), "the user's own");
}

TEST(NewFile, WritesSmallAndLargePiecesInOrderAndDatesTheFile) {
    test::TempDir dir;
    int error = 0;
    const auto file = NewFile::Create(dir / "message.eml", error);
    ASSERT_NE(file, nullptr);
    const std::string large(200 * 1024, 'L');
    EXPECT_TRUE(file->Write("head "));
    EXPECT_TRUE(file->Write(large));
    EXPECT_TRUE(file->Write(" tail"));
    EXPECT_EQ(file->Size(), static_cast<int64_t>(large.size() + 10));
    EXPECT_TRUE(file->WrittenThrough());
    EXPECT_FALSE(file->Untouched());
    EXPECT_TRUE(file->Finish(LocalDate()));
    EXPECT_EQ(test::ReadFileBytes(dir / "message.eml"), "head " + large + " tail");
    EXPECT_EQ(ModificationTime(dir / "message.eml"), 1589710830);
}

TEST(NewFile, ADateOfAFileAWriterReplacedByItsPathGoesToTheNewFile) {
    test::TempDir dir;
    int error = 0;
    const auto file = NewFile::Create(dir / "message.msg", error);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->Untouched());
    test::WriteFileBytes(dir / "other", "written by path");
    fs::rename(dir / "other", dir / "message.msg");
    EXPECT_FALSE(file->WrittenThrough());
    EXPECT_FALSE(file->Untouched());
    EXPECT_TRUE(file->Finish(LocalDate()));
    EXPECT_EQ(ModificationTime(dir / "message.msg"), 1589710830);
}

TEST(NewFile, AdoptsAFinishedFileInItsPlace) {
    test::TempDir dir;
    const std::string decoded = dir / "decoded.tmp";
    test::WriteFileBytes(decoded, "attachment bytes");
    int error = 0;
    const auto file = NewFile::Create(dir / "1 report.pdf", error);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->Adopt(decoded));
    EXPECT_EQ(file->Size(), 16);
    EXPECT_TRUE(file->Finish(LocalDate()));
    EXPECT_FALSE(fs::exists(decoded));
    EXPECT_EQ(test::ReadFileBytes(dir / "1 report.pdf"), "attachment bytes");
    EXPECT_EQ(ModificationTime(dir / "1 report.pdf"), 1589710830);

    const auto second = NewFile::Create(dir / "2 gone.pdf", error);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->Adopt(dir / "missing.tmp"));
}

TEST(NewFile, CopiesAFileFromAnotherFileSystemAndRemovesIt) {
    // tmpfs beside a folder on disk, when the machine has both.
    test::TempDir dir;
    struct statfs disk {};
    struct statfs shm {};
    if (statfs(dir.path().c_str(), &disk) != 0 || statfs("/dev/shm", &shm) != 0 ||
        disk.f_type == shm.f_type) {
        GTEST_SKIP() << "no second file system beside " << dir.path();
    }
    const std::string decoded = "/dev/shm/mailsift-new-file-test-" + std::to_string(getpid());
    test::WriteFileBytes(decoded, std::string(100'000, 'a'));
    int error = 0;
    const auto file = NewFile::Create(dir / "1 data.bin", error);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->Adopt(decoded));
    EXPECT_TRUE(file->Finish(LocalDate()));
    EXPECT_FALSE(fs::exists(decoded));
    EXPECT_EQ(test::ReadFileBytes(dir / "1 data.bin"), std::string(100'000, 'a'));
    EXPECT_EQ(ModificationTime(dir / "1 data.bin"), 1589710830);
}

TEST(NewFile, DiscardRemovesWhatWasWritten) {
    test::TempDir dir;
    int error = 0;
    const auto file = NewFile::Create(dir / "half.eml", error);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->Write("half a message"));
    file->Discard();
    EXPECT_FALSE(fs::exists(dir / "half.eml"));
}

}  // namespace
}  // namespace mailsift
