#include "stores/mailbox_backend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <istream>
#include <limits>
#include <streambuf>
#include <system_error>
#include <vector>

#include "config/report_log.h"
#include "platform/file_system.h"
#include "platform/positioned_io.h"
#include "platform/work_hooks.h"
#include "stores/mailbox_scan.h"
#include "stores/parsed_message.h"
#include "stores/store_handles.h"

namespace mailsift {

namespace {

constexpr size_t kCopyChunk = 64 * 1024;  // what the message reader asks for at once
constexpr std::string_view kSeparatorStart = "From ";

// Hands the message reader and the raw save the bytes of one message: first its head, the
// bytes the backend has read already, then the rest straight from the file, a window at a time,
// so that a message of any size needs no more memory than the two.
class FileRangeReader final : public std::streambuf {
  public:
    // window holds kCopyChunk bytes; head and window outlive the reader. next is where the rest
    // of the message begins in the file.
    FileRangeReader(int fd, std::string_view head, int64_t next, int64_t end, char* window)
        : fd_(fd), next_(next), end_(end), window_(window) {
        char* start = const_cast<char*>(head.data());
        setg(start, start, start + head.size());
    }

    // Writes the bytes not yet read to target; false when a write failed.
    bool CopyTo(NewFile& target) {
        while (sgetc() != traits_type::eof()) {
            if (!target.Write({gptr(), static_cast<size_t>(egptr() - gptr())})) return false;
            setg(egptr(), egptr(), egptr());
        }
        return true;
    }

  protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (next_ >= end_) return traits_type::eof();
        const auto want =
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kCopyChunk), end_ - next_));
        const size_t got = ReadUpToAt(fd_, window_, want, static_cast<uint64_t>(next_));
        if (got == 0) return traits_type::eof();
        next_ += static_cast<int64_t>(got);
        setg(window_, window_, window_ + got);
        return traits_type::to_int_type(*gptr());
    }

  private:
    int fd_;
    int64_t next_;
    int64_t end_;
    char* window_;
};

}  // namespace

MailboxStoreBackend::~MailboxStoreBackend() {
    if (handle_ != 0) ReleaseStoreHandle(handle_);
    CloseStoreFile();
}

std::optional<int64_t> MailboxStoreBackend::OpenStoreFile(const std::string& path) {
    struct stat status {};
    // The file already open answers for its path while it still has a name: one deleted, or
    // replaced by another (a client compacting it), has none left, and the path is looked up
    // again. Each lookup would walk the whole path.
    if (fd_ >= 0 && path == fdPath_ && fstat(fd_, &status) == 0 && status.st_nlink > 0) {
        return status.st_size;
    }
    CloseStoreFile();
    // Non-blocking, so that a FIFO planted under a mailbox file's name cannot stall the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw std::system_error(errno, std::generic_category(), "Cannot open file " + path);
    }
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    fd_ = fd;
    fdPath_ = path;
    return status.st_size;
}

void MailboxStoreBackend::CloseStoreFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    fdPath_.clear();
    head_.length = 0;
    head_.file.clear();
    parsedFrom_.file.clear();
}

StoreHandle MailboxStoreBackend::Open(const std::string& path, TFolderList& folders) {
    WriteReport("Find message boxes files.");
    if (handle_ != 0) return kResultAlreadyOpen;
    if (cachedPath_ != path || !CachedFilesUnchanged()) Scan(path);
    if (cachedFolders_.empty()) return kResultNothingFound;
    for (const TFolder& folder : cachedFolders_) folders.push_back(&folder);
    handle_ = NewStoreHandle();
    return handle_;
}

void MailboxStoreBackend::Scan(const std::string& path) {
    std::error_code error;
    cachedFolders_ = std::filesystem::is_directory(path, error) ? ScanMailboxDirectory(path)
                                                                : ScanMailboxFile(path);
    // A scan cut short by a stop lists only part of the mail; opening the path again must scan
    // it again rather than serve the part as the whole.
    cachedPath_ = StopRequested() ? std::nullopt : std::optional<std::string>(path);
    cachedTimes_.clear();
    for (const TFolder& folder : cachedFolders_) {
        cachedTimes_.push_back(std::filesystem::last_write_time(folder.StoreFile, error));
    }
}

// Offsets counted in a file that has changed since (new mail appended, the file compacted)
// would cut its messages in the wrong places.
bool MailboxStoreBackend::CachedFilesUnchanged() const {
    for (size_t i = 0; i < cachedFolders_.size(); ++i) {
        std::error_code error;
        const auto size = std::filesystem::file_size(cachedFolders_[i].StoreFile, error);
        if (error || static_cast<int64_t>(size) != cachedFolders_[i].Size) return false;
        const auto time = std::filesystem::last_write_time(cachedFolders_[i].StoreFile, error);
        if (error || time != cachedTimes_[i]) return false;
    }
    return true;
}

int32_t MailboxStoreBackend::ReadMessage(StoreHandle handle,
                                         const TMessageExtractionOptions& options,
                                         const TFolder& folder, uint32_t index, TMessage& message) {
    message = TMessage{};
    if (handle_ == 0 || handle != handle_) return kResultNotMyHandle;
    if (folder.MessageCount <= 0 || index >= static_cast<uint32_t>(folder.MessageCount) ||
        index >= folder.MessageOffsets.size()) {
        return kResultBadMessageIndex;
    }
    if (options.SaveAttachment && ParsedAttachmentHeld(folder, index, options.AttachmentIndex)) {
        // The list of the message's attachments has parsed it just now and its decoded files are
        // still there: the attachment is neither read nor decoded again.
        try {
            return RecordFromParse(options, parsedFrom_.size, message);
        } catch (const std::exception& failure) {
            WriteReport(std::string("Extract exception: ") + failure.what());
            return kResultFolderMissing;
        }
    }
    if (!head_.bytes) head_.bytes = std::make_unique_for_overwrite<char[]>(kCopyChunk);
    if (!window_) window_ = std::make_unique_for_overwrite<char[]>(kCopyChunk);
    // The save (or attachment list) that follows a header read reads nothing again that the
    // header read has read, and asks nothing again about the file. Only that one: any other read
    // looks again.
    const bool follows = options.SaveMessage || options.SaveAttachment || options.WantAttachments;
    if (follows && head_.file == folder.StoreFile && head_.index == index &&
        head_.offset == folder.MessageOffsets[index]) {
        head_.file.clear();
    } else {
        const std::optional<int64_t> fileSize = OpenStoreFile(folder.StoreFile);
        if (!fileSize) return kResultFolderMissing;
        ReadHead(folder, index, *fileSize);
    }
    FileRangeReader reader(fd_, {head_.bytes.get(), head_.length},
                           head_.start + static_cast<int64_t>(head_.length), head_.end,
                           window_.get());
    if (!parsed_) parsed_ = std::make_unique<TIdMessage>();
    try {
        if (!options.SaveMessage) {
            std::istream input(&reader);
            const int32_t result = FillRecord(options, input, head_.end - head_.start, message);
            if (options.WantAttachments || options.SaveAttachment) {
                parsedFrom_ = {folder.StoreFile, index, folder.MessageOffsets[index],
                               head_.end - head_.start};
            }
            return result;
        }
        if (options.Target != nullptr) {
            return reader.CopyTo(*options.Target) ? kResultSuccess : kResultWriteFailed;
        }
        WriteFileFrom(options.TargetFile, [&reader](std::ostream& out) {
            if (reader.sgetc() != std::char_traits<char>::eof()) out << &reader;
        });
        return kResultSuccess;
    } catch (const std::exception& failure) {
        WriteReport(std::string("Extract exception: ") + failure.what());
        return kResultFolderMissing;
    }
}

void MailboxStoreBackend::ReadHead(const TFolder& folder, uint32_t index, int64_t fileSize) {
    head_.file.clear();
    // The file may have changed since it was counted; whatever the offsets say, only bytes of
    // the file are read.
    head_.start = std::clamp<int64_t>(folder.MessageOffsets[index], 0, fileSize);
    head_.end = index + 1 < folder.MessageOffsets.size()
                    ? std::clamp<int64_t>(folder.MessageOffsets[index + 1], head_.start, fileSize)
                    : fileSize;
    const int64_t want = std::min<int64_t>(kCopyChunk, head_.end - head_.start);
    char* bytes = head_.bytes.get();
    head_.length =
        ReadUpToAt(fd_, bytes, static_cast<size_t>(want), static_cast<uint64_t>(head_.start));
    // A file shorter now than when it was counted ends the message where it ends.
    if (static_cast<int64_t>(head_.length) < want) {
        head_.end = head_.start + static_cast<int64_t>(head_.length);
    }
    // A message that does not begin at its separator (the file changed under the offsets) is
    // realigned to the first separator of its head.
    const std::string_view head(bytes, head_.length);
    if (!head.starts_with(kSeparatorStart)) {
        const size_t from = head.find(kSeparatorStart);
        if (from != std::string_view::npos) {
            std::memmove(bytes, bytes + from, head_.length - from);
            head_.length -= from;
            head_.start += static_cast<int64_t>(from);
        }
    }
    head_.file = folder.StoreFile;
    head_.index = index;
    head_.offset = folder.MessageOffsets[index];
}

int32_t MailboxStoreBackend::FillRecord(const TMessageExtractionOptions& options,
                                        std::istream& input, int64_t size, TMessage& message) {
    parsedFrom_.file.clear();
    const bool whole = options.WantAttachments || options.SaveAttachment || options.WantBody;
    parsed_->ReadFromStream(input, !whole);
    return RecordFromParse(options, size, message);
}

bool MailboxStoreBackend::ParsedAttachmentHeld(const TFolder& folder, uint32_t index,
                                               uint16_t part) const {
    return parsed_ && !parsedFrom_.file.empty() && parsedFrom_.file == folder.StoreFile &&
           parsedFrom_.index == index && parsedFrom_.offset == folder.MessageOffsets[index] &&
           HoldsAttachmentContent(*parsed_, part);
}

int32_t MailboxStoreBackend::RecordFromParse(const TMessageExtractionOptions& options, int64_t size,
                                             TMessage& message) {
    TIdMessage& parsed = *parsed_;
    bool saved = true;
    if (options.WantAttachments || options.SaveAttachment) {
        saved = ListAttachments(parsed, options, message.Attachments.emplace());
        message.HasAttachments = !message.Attachments->empty();
    } else if (options.WantBody) {
        message.Headers = parsed.Headers.Text();
        message.Body = BodyText(parsed);
    }
    message.Size =
        static_cast<int32_t>(std::min<int64_t>(size, std::numeric_limits<int32_t>::max()));
    const TIdEmailAddressItem from = parsed.From();
    message.FromName = from.Name;
    message.FromAddress = from.Address;
    message.Subject = parsed.Subject;
    if (!parsed.Recipients.empty()) {
        message.ToName = parsed.Recipients.front().Name;
        message.ToAddress = parsed.Recipients.front().Address;
    }
    message.Created = parsed.Date;
    message.Received = parsed.Date;
    return saved ? kResultSuccess : kResultNoAttachments;
}

int32_t MailboxStoreBackend::Close(StoreHandle handle) {
    if (handle_ == 0 || handle != handle_) return kResultNotMyHandle;
    ReleaseStoreHandle(handle_);
    handle_ = 0;
    parsed_.reset();
    CloseStoreFile();
    WriteReport("Mail Box closed and free memory");
    return kResultSuccess;
}

StoreBackend& MailboxBackend() {
    static MailboxStoreBackend backend;
    return backend;
}

}  // namespace mailsift
