#include "stores/mailbox_backend.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <istream>
#include <limits>
#include <streambuf>
#include <system_error>

#include "config/report_log.h"
#include "platform/file_system.h"
#include "platform/work_hooks.h"
#include "stores/mailbox_scan.h"
#include "stores/parsed_message.h"
#include "stores/store_handles.h"

namespace mailsift {

namespace {

constexpr int64_t kCopyChunk = 61440;
constexpr std::string_view kSeparatorStart = "From ";

// Lets the message reader take its input straight from the message buffer, without the copy
// an istringstream would make.
class BufferReader final : public std::streambuf {
  public:
    explicit BufferReader(std::string& bytes) {
        setg(bytes.data(), bytes.data(), bytes.data() + bytes.size());
    }
};

int64_t FileSizeOf(std::ifstream& file) {
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    return size < 0 ? 0 : static_cast<int64_t>(size);
}

}  // namespace

MailboxStoreBackend::~MailboxStoreBackend() {
    if (handle_ != 0) ReleaseStoreHandle(handle_);
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
    std::error_code error;
    if (!std::filesystem::is_regular_file(folder.StoreFile, error)) return kResultFolderMissing;
    LoadMessage(folder, index);
    if (!parsed_) parsed_ = std::make_unique<TIdMessage>();
    try {
        if (!options.SaveMessage) return FillRecord(options, message);
        WriteWholeFile(options.TargetFile, buffer_);
        return kResultSuccess;
    } catch (const std::exception& failure) {
        WriteReport(std::string("Extract exception: ") + failure.what());
        return kResultFolderMissing;
    }
}

void MailboxStoreBackend::LoadMessage(const TFolder& folder, uint32_t index) {
    std::ifstream file(folder.StoreFile, std::ios::binary);
    if (!file) {
        throw std::system_error(errno, std::generic_category(),
                                "Cannot open file " + folder.StoreFile);
    }
    // The file may have changed since it was counted; whatever the offsets say, only bytes of
    // the file are read.
    const int64_t fileSize = FileSizeOf(file);
    const int64_t start = std::clamp<int64_t>(folder.MessageOffsets[index], 0, fileSize);
    const int64_t end = index + 1 < folder.MessageOffsets.size()
                            ? std::clamp<int64_t>(folder.MessageOffsets[index + 1], start, fileSize)
                            : fileSize;
    buffer_.clear();
    file.seekg(start);
    buffer_.resize(static_cast<size_t>(end - start));
    size_t kept = 0;
    bool firstChunk = true;
    for (int64_t remaining = end - start; remaining > 0 && file;) {
        const int64_t want = std::min(kCopyChunk, remaining);
        file.read(buffer_.data() + kept, static_cast<std::streamsize>(want));
        auto got = static_cast<size_t>(file.gcount());
        remaining -= static_cast<int64_t>(got);
        // A message that does not begin at its separator (the file changed under the offsets)
        // is realigned to the first separator of its first chunk.
        if (firstChunk) {
            const size_t from = std::string_view(buffer_.data(), got).find(kSeparatorStart);
            if (from != std::string_view::npos && from > 0) {
                std::memmove(buffer_.data(), buffer_.data() + from, got - from);
                got -= from;
            }
            firstChunk = false;
        }
        kept += got;
    }
    buffer_.resize(kept);
}

int32_t MailboxStoreBackend::FillRecord(const TMessageExtractionOptions& options,
                                        TMessage& message) {
    TIdMessage& parsed = *parsed_;
    BufferReader reader(buffer_);
    std::istream input(&reader);
    bool saved = true;
    if (options.WantAttachments || options.SaveAttachment) {
        parsed.ReadFromStream(input, false, MessageForm::Raw);
        saved = ListAttachments(parsed, options, message.Attachments.emplace());
        message.HasAttachments = !message.Attachments->empty();
    } else if (options.WantBody) {
        parsed.ReadFromStream(input, false, MessageForm::Raw);
        message.Headers = parsed.Headers.Text();
        message.Body = BodyText(parsed);
    } else {
        parsed.ReadFromStream(input, true, MessageForm::Raw);
    }
    message.Size =
        static_cast<int32_t>(std::min<size_t>(buffer_.size(), std::numeric_limits<int32_t>::max()));
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
    std::string().swap(buffer_);
    WriteReport("Mail Box closed and free memory");
    return kResultSuccess;
}

StoreBackend& MailboxBackend() {
    static MailboxStoreBackend backend;
    return backend;
}

}  // namespace mailsift
