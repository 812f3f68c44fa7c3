#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "export/history_database.h"
#include "support/file_helpers.h"
#include "support/scoped_env.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;

struct HistoryRun {
    int status;
    std::string out;
    std::string err;
};

HistoryRun History(std::vector<std::string> args) {
    args.insert(args.begin(), "history");
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

class CliHistoryTest : public ::testing::Test {
  protected:
    CliHistoryTest() {
        fs::create_directories(store_ + "Inbox");
        test::WriteFileBytes(store_ + "Inbox/1.eml", "x");
        fs::create_directories(home_);
        test::WriteFileBytes(home_ + "/.profile", "keep");
    }

    test::TestProgramFolder program_;
    test::TempDir dir_;
    std::string store_ = dir_ / "store/";
    std::string home_ = dir_ / "home";
    test::ScopedEnv homeEnv_{"HOME", home_};
};

TEST_F(CliHistoryTest, ListsOneTabSeparatedLinePerRowNewestFirst) {
    const HistoryRun empty = History({});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "");
    EXPECT_FALSE(fs::exists(HistoryDatabasePath()));

    NewStorageRecord("MSOutlook", store_, 5'000'000'000, 1234, true, false);
    NewStorageRecord("Eudora", dir_ / "gone/", 0, 7, false, true);
    const HistoryRun run = History({});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<HistoryRow> rows = ReadHistoryRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(run.out, "2\t" + rows[0].DateText + "\tEudora\t1\t0\t7\t0\t" + dir_ / "gone/" +
                           "\t0\n1\t" + rows[1].DateText + "\tMSOutlook\t0\t1\t1,234\t" +
                           "5,000,000,000\t" + store_ + "\t1\n");
}

TEST_F(CliHistoryTest, DeleteNeedsYesAndAKnownId) {
    NewStorageRecord("Thunderbird", store_, 1, 1, false, false);
    NewStorageRecord("Thunderbird", home_ + "/", 1, 1, false, false);

    const HistoryRun unconfirmed = History({"delete", "1"});
    EXPECT_EQ(unconfirmed.status, 2);
    EXPECT_NE(unconfirmed.err.find(store_), std::string::npos);
    EXPECT_NE(unconfirmed.err.find("--yes"), std::string::npos);
    EXPECT_TRUE(fs::exists(store_ + "Inbox/1.eml"));
    EXPECT_TRUE(FindHistoryRow(1).has_value());

    EXPECT_EQ(History({"delete", "9", "--yes"}).status, 1);
    EXPECT_NE(History({"delete", "9", "--yes"}).err.find("no history row with ID 9"),
              std::string::npos);
    EXPECT_EQ(History({"delete", "x1", "--yes"}).status, 2);
    EXPECT_EQ(History({"delete", "1", "2"}).status, 2);
    EXPECT_TRUE(FindHistoryRow(1).has_value());

    const HistoryRun deleted = History({"delete", "--yes", "1"});
    EXPECT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_FALSE(fs::exists(store_));
    EXPECT_FALSE(FindHistoryRow(1).has_value());

    const HistoryRun protectedHome = History({"delete", "2", "--yes"});
    EXPECT_EQ(protectedHome.status, 0);
    EXPECT_NE(protectedHome.err.find("it is the home folder"), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(home_ + "/.profile"), "keep");
    EXPECT_EQ(History({}).out, "");
}

}  // namespace
}  // namespace mailsift
