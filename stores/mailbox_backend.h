#pragma once
// The store backend for the mailbox files of Thunderbird and Eudora: a directory tree scanned
// for mailbox files, or one mailbox file, each file listed as one folder.
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mime/message.h"
#include "stores/store_backend.h"

namespace mailsift {

class MailboxStoreBackend final : public StoreBackend {
  public:
    MailboxStoreBackend() = default;
    ~MailboxStoreBackend() override;
    MailboxStoreBackend(const MailboxStoreBackend&) = delete;
    MailboxStoreBackend& operator=(const MailboxStoreBackend&) = delete;

    // A directory is scanned for mailbox files, any other path opens as one mailbox file. The
    // folders of the last path opened are kept after the close: opening that same path again
    // lists them without a new scan, unless one of their files has changed or a stop cut the
    // scan short.
    StoreHandle Open(const std::string& path, TFolderList& folders) override;
    // Reads only message index of the folder's file, a window at a time. kResultBadMessageIndex for
    // an index outside the folder, kResultFolderMissing when the file is gone or the message could
    // not be parsed or saved. Throws std::system_error when the file cannot be opened.
    int32_t ReadMessage(StoreHandle handle, const TMessageExtractionOptions& options,
                        const TFolder& folder, uint32_t index, TMessage& message) override;
    int32_t Close(StoreHandle handle) override;

  private:
    void Scan(const std::string& path);
    bool CachedFilesUnchanged() const;
    // Reads the first window of message index into head_ and finds where it lies in its file.
    void ReadHead(const TFolder& folder, uint32_t index, int64_t fileSize);
    // Opens the folder's file, or keeps it open, and gives its size; none when it is no
    // regular file. Throws std::system_error when it cannot be opened.
    std::optional<int64_t> OpenStoreFile(const std::string& path);
    void CloseStoreFile();
    // Parses the message as far as options need, then RecordFromParse.
    int32_t FillRecord(const TMessageExtractionOptions& options, std::istream& input, int64_t size,
                       TMessage& message);
    // Fills the record from parsed_ and saves what options ask; kResultNoAttachments when the
    // attachment asked for is not one.
    int32_t RecordFromParse(const TMessageExtractionOptions& options, int64_t size,
                            TMessage& message);
    // Whether parsed_ holds message index of the folder, parsed whole, with the content of
    // attachment part still in it.
    bool ParsedAttachmentHeld(const TFolder& folder, uint32_t index, uint16_t part) const;

    StoreHandle handle_ = 0;
    std::optional<std::string> cachedPath_;
    // Not changed while a store is open: the folder lists handed out point into it.
    std::vector<TFolder> cachedFolders_;
    std::vector<std::filesystem::file_time_type> cachedTimes_;
    std::unique_ptr<TIdMessage> parsed_;
    // The message parsed_ holds whole (with its attachments), and its size; file empty when none.
    struct ParsedKey {
        std::string file;
        uint32_t index = 0;
        int64_t offset = 0;
        int64_t size = 0;
    } parsedFrom_;
    std::unique_ptr<char[]> window_;  // the read window, kept between reads
    // The first bytes of the message read last, from start on in its file, which runs to end.
    struct Head {
        std::string file;  // empty when the next read may not take them
        uint32_t index = 0;
        int64_t offset = 0;  // the folder's offset of the message when it was read
        int64_t start = 0;
        int64_t end = 0;
        std::unique_ptr<char[]> bytes;
        size_t length = 0;
    } head_;
    int fd_ = -1;
    std::string fdPath_;
};

// The program's mailbox backend.
StoreBackend& MailboxBackend();

}  // namespace mailsift
