#pragma once
// Exports one store at a time into the storage folder: every message of every folder, in the
// chosen form, optionally packed into one archive per store, with one history row per store.
#include <cstdint>
#include <string>

#include "stores/core_types.h"

namespace mailsift {

enum class ExportForm : int {
    MessageFiles = 0,
    TextSummaries = 1,
    HtmlPages = 2,
    AttachmentsOnly = 3,
};

// What a run is told by the settings, so that a caller may change it for one run only.
struct ExportOptions {
    std::string StoragePath;  // ends with "/"
    bool AppendPath = true;   // a sub-folder named by the current date
    bool ZipEmails = false;
    int ExtractOptions = 0;  // an ExportForm; other values write nothing

    static ExportOptions FromSettings();
};

// What one store's export did, for the caller's summary.
struct ExportStoreResult {
    StoreHandle OpenResult = 0;  // the handle, or the code the open gave
    int64_t Messages = 0;        // messages read
    int64_t Files = 0;           // files written (before packing)
    int64_t Bytes = 0;           // bytes in those files
    int64_t TotalSize = 0;       // sum of the messages' sizes
    int64_t WriteFailures = 0;   // messages or attachments that could not be written
    bool Stopped = false;        // the stop flag ended the walk
    bool Failed = false;         // an exception ended the export; nothing was recorded
    std::string Archive;         // the archive written, when packing succeeded
    std::string PackFailure;     // why the files could not be packed; they stay loose

    bool Opened() const { return OpenResult > kMaxResultCode; }
};

class ExportRun {
  public:
    explicit ExportRun(ExportOptions options);

    // Before each client: the settings may have changed, and the total counter, which runs on
    // across the stores of one client, starts again.
    void StartClient(ExportOptions options) {
        options_ = std::move(options);
        counter_ = 0;
    }
    int64_t Counter() const { return counter_; }

    // Exports the store at storePath. Message files are ".eml" files when saveAsEml is set,
    // ".msg" files otherwise (only personal folder files can be written as those); clientName
    // names the archive and the history row ("MSOutlook", "OutlookExpress", "Thunderbird",
    // "Eudora"). Never throws: failures go to the report log.
    ExportStoreResult ExtractAllMessages(const std::string& storePath,
                                         const std::string& clientName, bool saveAsEml);

  private:
    ExportOptions options_;
    int64_t counter_ = 0;
};

// The archive an export of clientName on the current day packs into.
std::string ExportArchivePath(const std::string& storagePath, const std::string& clientName);

}  // namespace mailsift
