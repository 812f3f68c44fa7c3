#include "export/export_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>

#include "config/language.h"
#include "config/report_log.h"
#include "config/settings.h"
#include "export/history_database.h"
#include "export/zip_packer.h"
#include "platform/date_time.h"
#include "platform/file_system.h"
#include "platform/safe_path_component.h"
#include "platform/work_hooks.h"
#include "stores/output_formats.h"
#include "stores/store_facade.h"

namespace mailsift {

ExportOptions ExportOptions::FromSettings() {
    return {.StoragePath = Settings.StoragePath,
            .AppendPath = Settings.AppendPath,
            .ZipEmails = Settings.ZipEmails,
            .ExtractOptions = Settings.ExtractOptions};
}

ExportRun::ExportRun(ExportOptions options) : options_(std::move(options)) {}

std::string ExportArchivePath(const std::string& storagePath, const std::string& clientName) {
    std::string path = storagePath;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + clientName + " " + FormatDate(NowDateTime()) + ".zip";
}

namespace {

// When this run started, in the clock of the file system it writes to: the change time of a
// file made there now. A file system that stamps whole seconds, or a share whose clock differs
// from ours, then still tells this run's files from older ones; at worst an older file of the
// same second counts as this run's and is kept rather than replaced.
timespec RunStartMark(const std::string& storagePath) {
    timespec mark{};
    if (ForceDirectories(storagePath)) {
        std::string probe = WithoutTrailingSlashes(storagePath) + "/.mailsift-run-XXXXXX";
        const int fd = mkstemp(probe.data());
        if (fd >= 0) {
            struct stat status {};
            const bool stamped = fstat(fd, &status) == 0;
            close(fd);
            unlink(probe.c_str());
            if (stamped) return status.st_ctim;
        }
    }
    // The coarse clock is the one file systems stamp changes with.
    clock_gettime(CLOCK_REALTIME_COARSE, &mark);
    return mark;
}

std::string CounterPrefix() {
    return LanguageString("TotalEmailsExtract") + " ";
}

void AppendPathPart(std::string& path, const std::string& part) {
    if (!path.empty() && path.back() != '/') path += '/';
    path += part;
}

// Where the messages of one store folder go: the storage folder, the day's folder when asked
// for, and the folder's display path (or another name for it).
std::string ExportFolderPath(const ExportOptions& options, const std::string& today,
                             const std::string& folderPath) {
    std::string path = options.StoragePath;
    if (options.AppendPath) AppendPathPart(path, today);
    AppendPathPart(path, folderPath);
    if (path.empty() || path.back() != '/') path += '/';
    return CollapseDoubleSeparators(path);
}

// The walk over one open store; the run's counter is shared with the stores before it.
class StoreExport {
  public:
    StoreExport(const ExportOptions& options, int64_t& counter, timespec runStarted,
                ExportStoreResult& result, ZipPacker* packer)
        : options_(options),
          runStarted_(runStarted),
          form_(static_cast<ExportForm>(options.ExtractOptions)),
          counter_(counter),
          result_(result),
          packer_(packer),
          today_(FormatDate(NowDateTime())),
          counterPrefix_(CounterPrefix()) {}

    void Run(StoreHandle handle, const TFolderList& folders, bool saveAsEml) {
        for (const TFolder* folder : folders) {
            if (StopRequested()) break;
            maximum_ += folder->MessageCount;
        }
        ReportProgress(0, maximum_);
        for (const TFolder* folder : folders) {
            if (StopRequested()) break;
            if (folder->MessageCount <= 0) continue;
            ExportFolder(handle, *folder, saveAsEml);
        }
        result_.Stopped = StopRequested();
    }

  private:
    void ExportFolder(StoreHandle handle, const TFolder& folder, bool saveAsEml) {
        std::string folderPath = ExportFolderPath(options_, today_, folder.Path);
        if (!ForceDirectories(folderPath)) {
            // A folder name the file system refuses (too long, or with characters a FAT stick
            // does not take) costs the folder its place in the tree, not its messages.
            const std::string standIn =
                ExportFolderPath(options_, today_, "NoName folder " + std::to_string(folder.Id));
            WriteReport("Cannot create the folder " + folderPath + "; its messages go to " +
                        standIn);
            folderPath = standIn;
        }
        if (!ForceDirectories(folderPath)) {
            WriteReport("Cannot create the folder " + folderPath + "; its " +
                        std::to_string(folder.MessageCount) + " messages are not exported");
            result_.WriteFailures += folder.MessageCount;
            return;
        }
        for (int32_t index = 0; index < folder.MessageCount && !StopRequested(); ++index) {
            LetMessageLoopRun();
            TMessage message;
            GetMessageHeaders(handle, folder, index, message);
            result_.TotalSize += static_cast<uint32_t>(message.Size);
            ++counter_;
            ++result_.Messages;
            try {
                ExportMessage(handle, folder, index, message, folderPath, saveAsEml);
            } catch (const std::exception& failure) {
                // One message that cannot be written must not cost the messages after it.
                ++result_.WriteFailures;
                WriteReport("Cannot export message " + std::to_string(index + 1) + " of " +
                            folder.Path + ": " + failure.what());
            }
            ReportCounter(counterPrefix_ + std::to_string(counter_));
            ReportProgress(counter_, maximum_);
        }
    }

    void ExportMessage(StoreHandle handle, const TFolder& folder, int32_t index,
                       const TMessage& message, const std::string& folderPath, bool saveAsEml) {
        switch (form_) {
            case ExportForm::MessageFiles: {
                const std::string& sender =
                    message.FromName.empty() ? message.FromAddress : message.FromName;
                bool exists = false;
                const std::string name = UnwrittenName(
                    MakeSafeFileName(folderPath + std::to_string(index + 1) + " " +
                                     SafePathComponent(sender) + (saveAsEml ? ".eml" : ".msg")),
                    exists);
                std::error_code ignored;
                if (exists) std::filesystem::remove(name, ignored);
                TakeWrittenFile(name, message.Received,
                                SaveMessageToFile(handle, folder, index, name, saveAsEml));
                break;
            }
            case ExportForm::TextSummaries: {
                const std::string name = SummaryName(folderPath, message, ".txt");
                TakeWrittenFile(name, message.Received,
                                SaveMessageToTextFile(handle, folder, index, name));
                break;
            }
            case ExportForm::HtmlPages: {
                const std::string name = SummaryName(folderPath, message, ".htm");
                TakeWrittenFile(name, message.Received,
                                SaveMessageToHTMLFile(handle, folder, index, name));
                break;
            }
            case ExportForm::AttachmentsOnly:
                ExportAttachments(handle, folder, index, message.Received, folderPath);
                break;
        }
        // Any other form writes nothing: the messages are still read and counted.
    }

    // A file of an earlier export is replaced, as a new export of the same store is meant to;
    // one this run wrote (the same folder, number and sender in another store of the run) is
    // kept, and the new file goes beside it.
    // exists tells whether something stands under the name chosen.
    std::string UnwrittenName(const std::string& name, bool& exists) const {
        if (!WrittenByThisRun(name, exists)) return name;
        const std::filesystem::path path(name);
        const std::string stem = (path.parent_path() / path.stem()).string();
        for (int n = 2;; ++n) {
            // The longer name must pass the file system's rules too.
            std::string candidate =
                MakeSafeFileName(stem + " (" + std::to_string(n) + ")" + path.extension().string());
            if (!WrittenByThisRun(candidate, exists)) return candidate;
        }
    }

    // The change time, not the modification time: that one is set to the message's date.
    bool WrittenByThisRun(const std::string& name, bool& exists) const {
        struct stat status {};
        exists = lstat(name.c_str(), &status) == 0;
        if (!exists || !S_ISREG(status.st_mode)) return false;
        return status.st_ctim.tv_sec > runStarted_.tv_sec ||
               (status.st_ctim.tv_sec == runStarted_.tv_sec &&
                status.st_ctim.tv_nsec >= runStarted_.tv_nsec);
    }

    std::string SummaryName(const std::string& folderPath, const TMessage& message,
                            const char* extension) const {
        bool exists = false;
        return UnwrittenName(MakeSafeFileName(folderPath + std::to_string(counter_) + " " +
                                              SafePathComponent(message.FromName) + extension),
                             exists);
    }

    void ExportAttachments(StoreHandle handle, const TFolder& folder, int32_t index,
                           TDateTime received, const std::string& folderPath) {
        TMessage listed;
        if (GetMessageAttachFilesList(handle, folder, index, listed) != kResultSuccess ||
            !listed.Attachments) {
            return;
        }
        for (const TAttachFile& attachment : *listed.Attachments) {
            // A name the file system refuses would lose the attachment; it gets a "NoName" name.
            bool exists = false;
            const std::string name =
                UnwrittenName(MakeSafeFileName(folderPath + std::to_string(counter_) + " " +
                                               SafePathComponent(attachment.FileName)),
                              exists);
            ++counter_;
            try {
                TakeWrittenFile(name, received,
                                SaveAttachToFile(handle, folder, index, attachment.Index, name));
            } catch (const std::exception& failure) {
                ++result_.WriteFailures;
                WriteReport("Cannot export attachment " + name + ": " + failure.what());
            }
        }
    }

    // A save that failed (an unreadable message, a full disk) leaves nothing to date, count or
    // pack, even where an earlier export left a file of that name.
    void TakeWrittenFile(const std::string& path, TDateTime received, int32_t saved) {
        struct stat status {};
        if (saved != kResultSuccess || stat(path.c_str(), &status) != 0 ||
            !S_ISREG(status.st_mode)) {
            ++result_.WriteFailures;
            return;
        }
        // A message without a date keeps the time it was exported at rather than 1899.
        if (received != 0) SetFileDate(path, received);
        ++result_.Files;
        result_.Bytes += status.st_size;
        if (packer_ != nullptr) packer_->AddFile(path);
    }

    const ExportOptions& options_;
    const timespec runStarted_;
    const ExportForm form_;
    int64_t& counter_;
    ExportStoreResult& result_;
    ZipPacker* packer_;
    const std::string today_;
    const std::string counterPrefix_;
    int64_t maximum_ = 0;
};

void PackArchive(ZipPacker& packer, ExportStoreResult& result) {
    if (packer.Files().empty()) return;
    const std::string failure = packer.Pack();
    if (!failure.empty()) {
        result.PackFailure = failure;
        WriteReport("Cannot pack " + packer.ArchivePath() + ": " + failure +
                    "; the exported files stay where they were written");
        return;
    }
    packer.RemoveFiles();
    result.Archive = packer.ArchivePath();
}

}  // namespace

ExportStoreResult ExportRun::ExtractAllMessages(const std::string& storePath,
                                                const std::string& clientName, bool saveAsEml) {
    ExportStoreResult result;
    ReportCounter(CounterPrefix() + std::to_string(counter_));
    TFolderList folders;
    StoreHandle handle = 0;
    try {
        handle = OpenMessageStore(storePath, folders);
        result.OpenResult = handle;
        std::unique_ptr<ZipPacker> packer;
        if (options_.ZipEmails) {
            packer =
                std::make_unique<ZipPacker>(ExportArchivePath(options_.StoragePath, clientName));
        }
        if (result.Opened()) {
            if (!started_) started_ = RunStartMark(options_.StoragePath);
            StoreExport(options_, counter_, *started_, result, packer.get())
                .Run(handle, folders, saveAsEml);
        }
        if (packer) PackArchive(*packer, result);
        // A run whose packing failed left its files loose, and its row says so.
        NewStorageRecord(clientName, options_.StoragePath, result.TotalSize, counter_,
                         options_.ZipEmails && result.PackFailure.empty(),
                         options_.ExtractOptions == static_cast<int>(ExportForm::AttachmentsOnly));
    } catch (const std::exception& failure) {
        result.Failed = true;
        WriteReport(std::string("Extract exception: ") + failure.what());
    }
    try {
        CloseMessageStore(handle);
        ReportProgress(0, 0);
        ReportStatus("");
    } catch (const std::exception& failure) {
        WriteReport(std::string("Extract exception(2): ") + failure.what());
    }
    return result;
}

}  // namespace mailsift
