#include "export/export_run.h"

#include <sys/stat.h>

#include <exception>
#include <filesystem>
#include <memory>

#include "config/language.h"
#include "config/report_log.h"
#include "config/settings.h"
#include "export/history_database.h"
#include "export/zip_packer.h"
#include "platform/date_time.h"
#include "platform/file_system.h"
#include "platform/new_file.h"
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
    StoreExport(const ExportOptions& options, int64_t& counter, ExportStoreResult& result,
                ZipPacker* packer)
        : options_(options),
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
                WriteFile(folderPath + std::to_string(index + 1) + " " + SafePathComponent(sender) +
                              (saveAsEml ? ".eml" : ".msg"),
                          message.Received, [&](NewFile& file) {
                              return SaveMessageToFile(handle, folder, index, file, saveAsEml);
                          });
                break;
            }
            case ExportForm::TextSummaries:
                WriteFile(SummaryPath(folderPath, message, ".txt"), message.Received,
                          [&](NewFile& file) {
                              return SaveMessageToTextFile(handle, folder, index, file);
                          });
                break;
            case ExportForm::HtmlPages:
                WriteFile(SummaryPath(folderPath, message, ".htm"), message.Received,
                          [&](NewFile& file) {
                              return SaveMessageToHTMLFile(handle, folder, index, file);
                          });
                break;
            case ExportForm::AttachmentsOnly:
                ExportAttachments(handle, folder, index, message.Received, folderPath);
                break;
        }
        // Any other form writes nothing: the messages are still read and counted.
    }

    std::string SummaryPath(const std::string& folderPath, const TMessage& message,
                            const char* extension) const {
        return folderPath + std::to_string(counter_) + " " + SafePathComponent(message.FromName) +
               extension;
    }

    void ExportAttachments(StoreHandle handle, const TFolder& folder, int32_t index,
                           TDateTime received, const std::string& folderPath) {
        TMessage listed;
        if (GetMessageAttachFilesList(handle, folder, index, listed) != kResultSuccess ||
            !listed.Attachments) {
            return;
        }
        for (const TAttachFile& attachment : *listed.Attachments) {
            const std::string path = folderPath + std::to_string(counter_) + " " +
                                     SafePathComponent(attachment.FileName);
            ++counter_;
            try {
                WriteFile(path, received, [&](NewFile& file) {
                    return SaveAttachToFile(handle, folder, index, attachment.Index, file);
                });
            } catch (const std::exception& failure) {
                ++result_.WriteFailures;
                WriteReport("Cannot export attachment " + path + ": " + failure.what());
            }
        }
    }

    // Writes one file with save and dates it. A save that failed (an unreadable message, a full
    // disk) leaves nothing behind to date, count or pack.
    template <typename Save>
    void WriteFile(const std::string& path, TDateTime received, Save save) {
        std::unique_ptr<NewFile> file = CreateUnusedFile(path);
        int32_t saved = kResultWriteFailed;
        try {
            saved = save(*file);
        } catch (...) {
            file->Discard();
            throw;
        }
        // A backend may answer success for a message it could not read and write nothing. A
        // message without a date keeps the time it was exported at rather than 1899.
        if (saved != kResultSuccess || file->Untouched() || !file->Finish(received)) {
            file->Discard();
            ++result_.WriteFailures;
            return;
        }
        ++result_.Files;
        result_.Bytes += file->WrittenThrough() ? file->Size() : SizeOnDisk(file->Path());
        if (packer_ != nullptr) packer_->AddFile(file->Path());
    }

    // The size of a file that a backend wrote by its path.
    static int64_t SizeOnDisk(const std::string& path) {
        struct stat status {};
        return stat(path.c_str(), &status) == 0 ? status.st_size : 0;
    }

    const ExportOptions& options_;
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
    // A line per message goes to the log while DebugMode is on.
    const ReportLogKeptOpen log;
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
            StoreExport(options_, counter_, result, packer.get()).Run(handle, folders, saveAsEml);
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
