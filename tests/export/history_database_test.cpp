#include "export/history_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/file_helpers.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;

// Runs SQL on the history file directly, as another tool would, and returns the first column
// of every result row joined by "|".
std::string Sql(const std::string& sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(HistoryDatabasePath().c_str(), &db), SQLITE_OK);
    std::string result;
    auto collect = [](void* out, int, char** values, char**) {
        auto& text = *static_cast<std::string*>(out);
        text += (text.empty() ? "" : "|") + std::string(values[0] ? values[0] : "NULL");
        return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), collect, &result, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
    return result;
}

std::vector<int64_t> ListedIds() {
    std::vector<int64_t> ids;
    for (const HistoryRow& row : ReadHistoryRows()) ids.push_back(row.Id);
    return ids;
}

class HistoryDatabaseTest : public ::testing::Test {
  protected:
    test::TestProgramFolder program_;
    test::TempDir dir_;
};

TEST_F(HistoryDatabaseTest, FirstRecordCreatesTheTableAndKeepsEveryFieldWhole) {
    EXPECT_TRUE(ReadHistoryRows().empty());
    EXPECT_FALSE(fs::exists(HistoryDatabasePath())) << "reading creates nothing";

    NewStorageRecord("Thunderbird", "/srv/out/", 5'000'000'000, 4'294'967'297, true, false);
    EXPECT_EQ(Sql(R"(SELECT name || ' ' || type FROM pragma_table_info('main'))"),
              "ID INTEGER|Date TEXT|OutlookClient TEXT|OnlyAttach INTEGER|ZIP INTEGER|"
              "Count INTEGER|TotalSize INTEGER|RootFolder TEXT");
    EXPECT_EQ(Sql(R"(SELECT Count || ' ' || TotalSize || ' ' || ZIP || OnlyAttach FROM main)"),
              "4294967297 5000000000 10");
    EXPECT_EQ(Sql(R"(SELECT datetime(Date) = Date FROM main)"), "1")
        << "stored as SQLite's own date-time text";

    const std::vector<HistoryRow> rows = ReadHistoryRows();
    ASSERT_EQ(rows.size(), 1u);
    const HistoryRow& row = rows[0];
    EXPECT_EQ(row.Count, 4'294'967'297);
    EXPECT_EQ(row.TotalSize, 5'000'000'000);
    EXPECT_EQ(row.CountText, "4,294,967,297");
    EXPECT_EQ(row.TotalSizeText, "5,000,000,000");
    EXPECT_LT(std::fabs(row.Date - NowDateTime()), 5.0 / 86400);
    EXPECT_EQ(row.DateText, FormatDate(row.Date) + " " + FormatLongTime(row.Date));
    EXPECT_EQ(row.ImageIndex, 1);

    NewStorageRecord("MSOutlook", "/srv/out/", 0, 0, false, true);
    EXPECT_EQ(ListedIds(), (std::vector<int64_t>{2, 1}));
    EXPECT_EQ(FindHistoryRow(2)->ImageIndex, 2);
    EXPECT_FALSE(FindHistoryRow(3).has_value());
}

TEST_F(HistoryDatabaseTest, ListsNewestFirstAndEqualDatesByNewestId) {
    const std::string existing = dir_ / "existing/";
    fs::create_directories(existing);
    for (const char* client : {"MSOutlook", "Eudora", "OutlookExpress", "MSOutlook", "Eudora"}) {
        NewStorageRecord(client, existing, 1234567, 1000, false, false);
    }
    Sql(R"(UPDATE main SET Date = '2024-03-01 10:00:00' WHERE ID IN (1, 2);
           UPDATE main SET Date = '2023-12-31 23:59:59', RootFolder = '/gone/' WHERE ID = 3;
           UPDATE main SET Date = '2024-03-02T08:00:00.250' WHERE ID = 4;
           UPDATE main SET Date = '2024-02-30 10:00:00' WHERE ID = 5;)");

    EXPECT_EQ(ListedIds(), (std::vector<int64_t>{4, 2, 1, 5, 3}));
    const std::vector<HistoryRow> rows = ReadHistoryRows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].DateText, "02.03.2024 08:00:00");
    EXPECT_EQ(rows[2].DateText, "01.03.2024 10:00:00");
    EXPECT_EQ(rows[2].CountText, "1,000");
    EXPECT_EQ(rows[2].TotalSizeText, "1,234,567");
    EXPECT_TRUE(rows[2].FolderExists);
    EXPECT_EQ(rows[3].DateText, "2024-02-30 10:00:00") << "no such day: shown as stored";
    EXPECT_EQ(rows[3].Date, 0.0);
    EXPECT_FALSE(rows[4].FolderExists);
}

TEST_F(HistoryDatabaseTest, DeletingARowTakesTheFolderThatOtherRowsShare) {
    const std::string shared = dir_ / "shared/";
    const std::string other = dir_ / "other/";
    fs::create_directories(shared + "Inbox");
    fs::create_directories(other);
    test::WriteFileBytes(shared + "Inbox/1.eml", "x");
    NewStorageRecord("Eudora", shared, 1, 1, false, false);
    NewStorageRecord("Thunderbird", shared, 1, 1, false, false);
    NewStorageRecord("Thunderbird", other, 1, 1, false, false);

    const HistoryDeletion deletion = DeleteHistoryRow(1);
    EXPECT_TRUE(deletion.Found);
    EXPECT_EQ(deletion.RootFolder, shared);
    EXPECT_EQ(deletion.Refusal, "");
    EXPECT_EQ(deletion.EntriesLeft, 0u);
    EXPECT_FALSE(fs::exists(shared));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_EQ(ListedIds(), (std::vector<int64_t>{3, 2}));
    EXPECT_FALSE(FindHistoryRow(2)->FolderExists);

    EXPECT_FALSE(DeleteHistoryRow(1).Found);
    EXPECT_TRUE(DeleteHistoryRow(2).Found) << "a row whose folder is gone can still go";
    EXPECT_EQ(ListedIds(), (std::vector<int64_t>{3}));
}

TEST_F(HistoryDatabaseTest, DamagedOrForeignFilesAreReportedAndLeftAlone) {
    const std::string path = HistoryDatabasePath();
    const std::string foreign = std::string("\0\1\0\0Standard Jet DB\0", 21) + "rows";
    test::WriteFileBytes(path, foreign);
    EXPECT_THROW(NewStorageRecord("Eudora", "/srv/", 1, 1, false, false), std::runtime_error);
    EXPECT_THROW(ReadHistoryRows(), std::runtime_error);
    EXPECT_THROW(DeleteHistoryRow(1), std::runtime_error);
    try {
        FindHistoryRow(1);
        ADD_FAILURE() << "a foreign file must not read as a history";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(path + ": file is not a database"),
                  std::string::npos);
    }
    EXPECT_EQ(test::ReadFileBytes(path), foreign);

    // A real database whose pages were overwritten after its header.
    fs::remove(path);
    NewStorageRecord("Eudora", "/srv/", 1, 1, false, false);
    std::string bytes = test::ReadFileBytes(path);
    bytes.replace(100, bytes.size() - 100, std::string(bytes.size() - 100, '\xff'));
    test::WriteFileBytes(path, bytes);
    EXPECT_THROW(ReadHistoryRows(), std::runtime_error);
    EXPECT_THROW(NewStorageRecord("Eudora", "/srv/", 1, 1, false, false), std::runtime_error);
    EXPECT_EQ(test::ReadFileBytes(path), bytes);

    // Someone else's table of that name.
    fs::remove(path);
    Sql("CREATE TABLE main (Name TEXT)");
    EXPECT_THROW(NewStorageRecord("Eudora", "/srv/", 1, 1, false, false), std::runtime_error);
    EXPECT_THROW(ReadHistoryRows(), std::runtime_error);
}

}  // namespace
}  // namespace mailsift
