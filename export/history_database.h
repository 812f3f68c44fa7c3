#pragma once
// The export history: one row per export of one store, in the SQLite file "main.mdb" of the
// program folder, table `main`. The window and the command line may use the file at the same
// time; each call opens it, does its work and closes it again.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/date_time.h"

namespace mailsift {

// ProgramFolder() + "/main.mdb"; throws std::runtime_error before the program folder is known.
std::string HistoryDatabasePath();

// Appends a row stamped with the current local date and time, creating the file and the table
// when they are missing. Count and size are kept whole. Failures throw std::runtime_error.
void NewStorageRecord(const std::string& client, const std::string& rootFolder, int64_t totalSize,
                      int64_t count, bool zip, bool onlyAttach);

// One history row in the form the storage manager lists it.
struct HistoryRow {
    int64_t Id = 0;
    TDateTime Date = 0;
    // FormatDate, a blank and FormatLongTime of Date; the stored text itself when that is not
    // a date-time this program wrote.
    std::string DateText;
    std::string OutlookClient;
    bool OnlyAttach = false;
    bool Zip = false;
    int64_t Count = 0;
    int64_t TotalSize = 0;
    std::string CountText;      // FormatThousands
    std::string TotalSizeText;  // FormatThousands
    std::string RootFolder;
    bool FolderExists = false;  // whether RootFolder is a folder now
    // 0 MS Outlook, 1 another client; 2 more when only attachments were saved.
    int ImageIndex = 0;
};

// Every row, newest first; rows of the same date newest ID first. A missing file or table is
// an empty history: reading creates neither. Failures, a file that is not an SQLite database
// among them, throw std::runtime_error.
std::vector<HistoryRow> ReadHistoryRows();
// The row with this ID, or nullopt.
std::optional<HistoryRow> FindHistoryRow(int64_t id);

struct HistoryDeletion {
    bool Found = false;      // whether the row existed (and is now gone)
    std::string RootFolder;  // the row's storage folder
    std::string Refusal;     // why the folder was kept (see FolderDeletionRefusal), or ""
    size_t EntriesLeft = 0;  // entries below the folder that could not be removed
};

// Deletes the row's storage folder with everything below it, unless the folder is protected,
// then the row. Other rows that name the same folder stay; their folder is gone as well.
HistoryDeletion DeleteHistoryRow(int64_t id);

}  // namespace mailsift
