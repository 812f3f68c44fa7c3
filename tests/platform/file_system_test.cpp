#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <iterator>
#include <stdexcept>

#include "support/file_helpers.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace mailsift {
namespace {

TEST(SetFileDate, SetsTheModificationTimeFromLocalTime) {
    test::TempDir dir;
    const std::string file = dir / "message.eml";
    test::WriteFileBytes(file, "x");
    {
        test::ScopedEnv zone("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
        // 2020-05-17 12:20:30.700 in summer time is 10:20:30 UTC, milliseconds dropped.
        SetFileDate(file, EncodeDateTime(DateTimeParts{2020, 5, 17, 12, 20, 30, 700}));
    }
    tzset();
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1589710830);
    EXPECT_EQ(info.st_mtim.tv_nsec, 0);

    EXPECT_NO_THROW(SetFileDate(dir / "missing.eml", 45000.5));
    EXPECT_NO_THROW(SetFileDate("", 45000.5));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.eml"));
}

TEST(ForceDirectories, CreatesEveryMissingFolder) {
    test::TempDir dir;
    const std::string nested = dir / "Messages Store/Inbox/2024";
    EXPECT_TRUE(ForceDirectories(nested));
    EXPECT_TRUE(std::filesystem::is_directory(nested));
    EXPECT_TRUE(ForceDirectories(nested));
    EXPECT_TRUE(ForceDirectories(dir / "trailing/"));
    EXPECT_FALSE(ForceDirectories(""));

    test::WriteFileBytes(dir / "file", "in the way");
    EXPECT_FALSE(ForceDirectories(dir / "file"));
    EXPECT_FALSE(ForceDirectories(dir / "file/below"));
}

TEST(WriteWholeFile, ReplacesAFileOnlyWithAWholeSuccessor) {
    test::TempDir dir;
    const std::string path = dir / "addresses.txt";
    WriteWholeFile(path, "old list\n");
    WriteWholeFile(path, "new list\n");
    EXPECT_EQ(test::ReadFileBytes(path), "new list\n");

    // A write that breaks off leaves the earlier file as it was, and nothing beside it.
    EXPECT_THROW(WriteFileFrom(path,
                               [](std::ostream& out) {
                                   out << "half a li";
                                   throw std::runtime_error("disk full");
                               }),
                 std::runtime_error);
    EXPECT_EQ(test::ReadFileBytes(path), "new list\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);

    // A file that was not there before is not left half-written either.
    const std::string fresh = dir / "fresh.txt";
    EXPECT_THROW(WriteFileFrom(fresh, [](std::ostream&) { throw std::runtime_error("full"); }),
                 std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(fresh));
}

}  // namespace
}  // namespace mailsift
