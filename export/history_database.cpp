#include "export/history_database.h"

#include <sqlite3.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "config/folders.h"
#include "export/folder_tree.h"
#include "platform/thousands.h"

namespace mailsift {

namespace {

// The window and the command line may write at the same moment; a writer waits this long for
// the other's lock before it gives up.
constexpr int kBusyTimeoutMs = 5000;

// Count and TotalSize are 64-bit integers, so a store above 4 GB keeps its true size. Date is
// local time as "YYYY-MM-DD HH:MM:SS": it sorts as text in time order, reads plainly in any
// SQLite tool and is what SQLite's own date functions understand.
constexpr const char* kCreateTable = R"(CREATE TABLE IF NOT EXISTS main (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    Date TEXT NOT NULL,
    OutlookClient TEXT NOT NULL,
    OnlyAttach INTEGER NOT NULL,
    ZIP INTEGER NOT NULL,
    Count INTEGER NOT NULL,
    TotalSize INTEGER NOT NULL,
    RootFolder TEXT NOT NULL))";

constexpr const char* kInsertRow = R"(INSERT INTO main
    (OutlookClient, RootFolder, TotalSize, Count, Date, ZIP, OnlyAttach)
    VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7))";

constexpr const char* kSelectRows = R"(SELECT ID, Date, OutlookClient, OnlyAttach, ZIP,
    Count, TotalSize, RootFolder FROM main)";

constexpr const char* kHasTable =
    R"(SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'main')";

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

class Connection;

// A prepared statement whose parameters are bound by position, never spliced into its text.
class Statement {
  public:
    Statement(const Connection& connection, const char* sql);

    void Bind(int index, std::string_view text);
    void Bind(int index, int64_t value);
    // True while there is a row to read; throws on failure.
    bool Step();

    int64_t Integer(int column) const { return sqlite3_column_int64(handle_.get(), column); }
    std::string Text(int column) const;

  private:
    const Connection& connection_;
    StatementHandle handle_;
};

class Connection {
  public:
    Connection(const std::string& path, int flags) : path_(path) {
        sqlite3* db = nullptr;
        const int result = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
        db_.reset(db);
        if (result != SQLITE_OK) Fail();
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
    }

    sqlite3* get() const { return db_.get(); }

    void Execute(const char* sql) const {
        Statement statement(*this, sql);
        while (statement.Step()) {
        }
    }

    bool HasHistoryTable() const {
        Statement statement(*this, kHasTable);
        return statement.Step();
    }

    [[noreturn]] void Fail() const {
        const char* message = db_ ? sqlite3_errmsg(db_.get()) : "out of memory";
        throw std::runtime_error("history database " + path_ + ": " + message);
    }

  private:
    std::string path_;
    std::unique_ptr<sqlite3, DatabaseCloser> db_;
};

Statement::Statement(const Connection& connection, const char* sql) : connection_(connection) {
    sqlite3_stmt* statement = nullptr;
    const int result = sqlite3_prepare_v2(connection.get(), sql, -1, &statement, nullptr);
    handle_.reset(statement);
    if (result != SQLITE_OK) connection_.Fail();
}

void Statement::Bind(int index, std::string_view text) {
    if (text.size() > INT_MAX) throw std::length_error("history database: text too long");
    if (sqlite3_bind_text(handle_.get(), index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
        connection_.Fail();
    }
}

void Statement::Bind(int index, int64_t value) {
    if (sqlite3_bind_int64(handle_.get(), index, value) != SQLITE_OK) connection_.Fail();
}

bool Statement::Step() {
    const int result = sqlite3_step(handle_.get());
    if (result == SQLITE_ROW) return true;
    if (result == SQLITE_DONE) return false;
    connection_.Fail();
}

std::string Statement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(handle_.get(), column);
    if (text == nullptr) return {};
    const int size = sqlite3_column_bytes(handle_.get(), column);
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
}

std::string StoredDateText(TDateTime value) {
    const DateTimeParts parts = DecodeDateTime(value);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", parts.year, parts.month,
                  parts.day, parts.hour, parts.minute, parts.second);
    return text;
}

// Reads the stored form back; "T" between date and time and a fraction of a second, as other
// SQLite tools may write them, are accepted too.
std::optional<TDateTime> ParseStoredDate(std::string_view text) {
    constexpr size_t kFieldStart[] = {0, 5, 8, 11, 14, 17};
    constexpr size_t kFieldLength[] = {4, 2, 2, 2, 2, 2};
    if (text.size() < 19) return std::nullopt;
    if (text[4] != '-' || text[7] != '-' || (text[10] != ' ' && text[10] != 'T') ||
        text[13] != ':' || text[16] != ':' || (text.size() > 19 && text[19] != '.')) {
        return std::nullopt;
    }
    int fields[6] = {};
    for (size_t i = 0; i < 6; ++i) {
        for (size_t at = kFieldStart[i]; at < kFieldStart[i] + kFieldLength[i]; ++at) {
            if (text[at] < '0' || text[at] > '9') return std::nullopt;
            fields[i] = fields[i] * 10 + (text[at] - '0');
        }
    }
    DateTimeParts parts;
    parts.year = fields[0];
    parts.month = fields[1];
    parts.day = fields[2];
    parts.hour = fields[3];
    parts.minute = fields[4];
    parts.second = fields[5];
    if (parts.month < 1 || parts.month > 12 || parts.day < 1 || parts.hour > 23 ||
        parts.minute > 59 || parts.second > 59) {
        return std::nullopt;
    }
    const TDateTime value = EncodeDateTime(parts);
    // A day past the end of its month would roll over into the next one.
    if (DecodeDateTime(value).day != parts.day) return std::nullopt;
    return value;
}

HistoryRow ReadRow(const Statement& statement) {
    HistoryRow row;
    row.Id = statement.Integer(0);
    const std::string stored = statement.Text(1);
    if (const std::optional<TDateTime> date = ParseStoredDate(stored)) {
        row.Date = *date;
        row.DateText = FormatDate(*date) + " " + FormatLongTime(*date);
    } else {
        row.DateText = stored;
    }
    row.OutlookClient = statement.Text(2);
    row.OnlyAttach = statement.Integer(3) != 0;
    row.Zip = statement.Integer(4) != 0;
    row.Count = statement.Integer(5);
    row.TotalSize = statement.Integer(6);
    row.CountText = FormatThousands(row.Count);
    row.TotalSizeText = FormatThousands(row.TotalSize);
    row.RootFolder = statement.Text(7);
    std::error_code error;
    row.FolderExists =
        !row.RootFolder.empty() && std::filesystem::is_directory(row.RootFolder, error);
    row.ImageIndex = (row.OutlookClient == "MSOutlook" ? 0 : 1) + (row.OnlyAttach ? 2 : 0);
    return row;
}

bool DatabaseFileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

std::optional<HistoryRow> FindRow(const Connection& connection, int64_t id) {
    Statement statement(connection, (std::string(kSelectRows) + R"( WHERE ID = ?1)").c_str());
    statement.Bind(1, id);
    if (!statement.Step()) return std::nullopt;
    return ReadRow(statement);
}

}  // namespace

std::string HistoryDatabasePath() {
    if (ProgramFolder().empty()) {
        throw std::runtime_error("history database: the program folder is not set up");
    }
    return ProgramFolder() + "/main.mdb";
}

void NewStorageRecord(const std::string& client, const std::string& rootFolder, int64_t totalSize,
                      int64_t count, bool zip, bool onlyAttach) {
    // A file that is not an SQLite database makes the first statement fail before anything is
    // written, so a damaged or foreign "main.mdb" is reported and left as it is.
    const Connection connection(HistoryDatabasePath(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    connection.Execute(kCreateTable);
    Statement insert(connection, kInsertRow);
    insert.Bind(1, client);
    insert.Bind(2, rootFolder);
    insert.Bind(3, totalSize);
    insert.Bind(4, count);
    insert.Bind(5, StoredDateText(NowDateTime()));
    insert.Bind(6, int64_t{zip ? 1 : 0});
    insert.Bind(7, int64_t{onlyAttach ? 1 : 0});
    insert.Step();
}

std::vector<HistoryRow> ReadHistoryRows() {
    const std::string path = HistoryDatabasePath();
    std::vector<HistoryRow> rows;
    if (!DatabaseFileExists(path)) return rows;
    const Connection connection(path, SQLITE_OPEN_READONLY);
    if (!connection.HasHistoryTable()) return rows;
    Statement select(connection,
                     (std::string(kSelectRows) + R"( ORDER BY Date DESC, ID DESC)").c_str());
    while (select.Step()) rows.push_back(ReadRow(select));
    return rows;
}

std::optional<HistoryRow> FindHistoryRow(int64_t id) {
    const std::string path = HistoryDatabasePath();
    if (!DatabaseFileExists(path)) return std::nullopt;
    const Connection connection(path, SQLITE_OPEN_READONLY);
    if (!connection.HasHistoryTable()) return std::nullopt;
    return FindRow(connection, id);
}

HistoryDeletion DeleteHistoryRow(int64_t id) {
    HistoryDeletion result;
    const std::string path = HistoryDatabasePath();
    if (!DatabaseFileExists(path)) return result;
    const Connection connection(path, SQLITE_OPEN_READWRITE);
    if (!connection.HasHistoryTable()) return result;
    // SQLite falls back to reading a file it may not write; the folder must not go when its
    // row is bound to stay.
    if (sqlite3_db_readonly(connection.get(), "main") == 1) {
        throw std::runtime_error("history database " + path + ": the file is read-only");
    }
    const std::optional<HistoryRow> row = FindRow(connection, id);
    if (!row) return result;
    result.Found = true;
    result.RootFolder = row->RootFolder;
    // No statement is open while the folder goes, so the file stays unlocked for the others.
    const StorageFolderDeletion folder = DeleteStorageFolder(row->RootFolder);
    result.Refusal = folder.Refusal;
    result.EntriesLeft = folder.EntriesLeft;
    Statement remove(connection, R"(DELETE FROM main WHERE ID = ?1)");
    remove.Bind(1, id);
    remove.Step();
    return result;
}

}  // namespace mailsift
