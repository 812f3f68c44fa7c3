#include "stores/store_facade.h"

#include <filesystem>
#include <optional>
#include <string_view>

#include "config/report_log.h"
#include "platform/text_match.h"
#include "stores/express_backend.h"
#include "stores/mailbox_backend.h"
#include "stores/store_backend.h"
#include "stores/store_log.h"

namespace mailsift {

StoreBackends& ActiveStoreBackends() {
    // The MS Outlook slot is filled from above (UseDefaultStoreBackends); until then personal
    // folder files are a kind this build cannot read.
    static StoreBackends backends{.OutlookExpress = &OutlookExpressBackend(),
                                  .Mailbox = &MailboxBackend()};
    return backends;
}

namespace {

// The last path component carries a "." (so "Inbox" has no extension, "Inbox.mbx" and
// ".hidden" have one).
bool HasExtension(const std::string& path) {
    return std::filesystem::path(path).filename().string().find('.') != std::string::npos;
}

StoreHandle OpenWith(StoreBackend* backend, const std::string& path, TFolderList& folders) {
    return backend != nullptr ? backend->Open(path, folders)
                              : static_cast<StoreHandle>(kResultNothingFound);
}

StoreBackend* BackendOfKind(StoreKind kind) {
    const StoreBackends& backends = ActiveStoreBackends();
    switch (kind) {
        case StoreKind::PersonalFolders:
            return backends.MSOutlook;
        case StoreKind::OutlookExpress:
            return backends.OutlookExpress;
        case StoreKind::MailboxFile:
        case StoreKind::MailboxMbx:
        case StoreKind::MailboxFolder:
            return backends.Mailbox;
    }
    return nullptr;
}

StoreHandle DispatchOpen(const std::string& path, TFolderList& folders, StoreKind& kind) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::is_regular_file(status) && !std::filesystem::is_directory(status)) {
        return kResultNoSuchPath;
    }
    const std::optional<StoreKind> found = StoreKindOfPath(path);
    if (!found) return kResultNothingFound;
    kind = *found;
    return OpenWith(BackendOfKind(kind), path, folders);
}

// Offers the call to each backend in dispatch order until one owns the handle.
int32_t ReadFromBackends(StoreHandle handle, const TMessageExtractionOptions& options,
                         const TFolder& folder, int32_t index, TMessage& message) {
    int32_t result = kResultNotMyHandle;
    for (StoreBackend* backend : ActiveStoreBackends().InDispatchOrder()) {
        if (backend == nullptr) continue;
        result =
            backend->ReadMessage(handle, options, folder, static_cast<uint32_t>(index), message);
        if (result != kResultNotMyHandle) break;
    }
    if (result == kResultNotMyHandle) message = TMessage{};
    return result;
}

bool IsHandle(StoreHandle handle) {
    return handle > kMaxResultCode;
}

// The header and body reads log the sender once the backends have answered.
int32_t ReadLoggingSender(std::string_view logKey, StoreHandle handle,
                          const TMessageExtractionOptions& options, const TFolder& folder,
                          int32_t index, TMessage& message) {
    if (!IsHandle(handle)) return kResultBadHandle;
    const int32_t result = ReadFromBackends(handle, options, folder, index, message);
    if (ReportHeard()) WriteReport(StoreLogLine(logKey, {message.FromName, message.FromAddress}));
    return result;
}

// The saves write to targetFile, or into target when the caller created it; they pass a record
// of their own to the backend and discard it.
int32_t Save(StoreHandle handle, const TFolder& folder, int32_t index,
             TMessageExtractionOptions options, const std::string& targetFile, NewFile* target) {
    options.TargetFile = targetFile;
    options.Target = target;
    TMessage scratch;
    return ReadFromBackends(handle, options, folder, index, scratch);
}

int32_t SaveAttachment(StoreHandle handle, const TFolder& folder, int32_t index,
                       uint16_t attachmentIndex, const std::string& targetFile, NewFile* target) {
    if (!IsHandle(handle)) return kResultBadHandle;
    TMessageExtractionOptions options;
    options.SaveAttachment = true;
    options.AttachmentIndex = attachmentIndex;
    const int32_t result = Save(handle, folder, index, options, targetFile, target);
    if (ReportHeard()) {
        WriteReport(StoreLogLine("GetMessageAttachToFile",
                                 {std::filesystem::path(targetFile).filename().string()}));
    }
    return result;
}

int32_t SaveMessage(StoreHandle handle, const TFolder& folder, int32_t index,
                    const std::string& targetFile, NewFile* target, bool saveAsEml) {
    if (!IsHandle(handle)) return kResultBadHandle;
    TMessageExtractionOptions options;
    options.SaveMessage = true;
    options.SaveAsEml = saveAsEml;
    return Save(handle, folder, index, options, targetFile, target);
}

}  // namespace

std::optional<StoreKind> StoreKindOfPath(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status)) return StoreKind::MailboxFolder;
    if (!std::filesystem::is_regular_file(status)) return std::nullopt;
    // Each later mask overrides an earlier one, as in the store kinds' order of precedence.
    std::optional<StoreKind> kind;
    if (MatchesMask(path, "*.PST")) kind = StoreKind::PersonalFolders;
    if (MatchesMask(path, "*.DBX")) kind = StoreKind::OutlookExpress;
    if (MatchesMask(path, "*.MBX")) kind = StoreKind::MailboxMbx;
    if (!HasExtension(path)) kind = StoreKind::MailboxFile;
    return kind;
}

StoreHandle OpenMessageStoreOfKind(const std::string& path, TFolderList& folders, StoreKind& kind) {
    WriteReport(StoreLogLine("BeginOpenMessageStore"));
    const StoreHandle result = DispatchOpen(path, folders, kind);
    WriteReport(StoreLogLine("OpenMessageStoreOK", {std::to_string(result)}));
    return result;
}

StoreHandle OpenMessageStore(const std::string& path, TFolderList& folders) {
    StoreKind unused = StoreKind::PersonalFolders;
    return OpenMessageStoreOfKind(path, folders, unused);
}

int32_t GetMessageHeaders(StoreHandle handle, const TFolder& folder, int32_t index,
                          TMessage& message) {
    return ReadLoggingSender("GetMessageHeader", handle, {}, folder, index, message);
}

int32_t GetMessageBody(StoreHandle handle, const TFolder& folder, int32_t index,
                       TMessage& message) {
    TMessageExtractionOptions options;
    options.WantBody = true;
    return ReadLoggingSender("GetMessageBody", handle, options, folder, index, message);
}

int32_t GetMessageAttachFilesList(StoreHandle handle, const TFolder& folder, int32_t index,
                                  TMessage& message) {
    if (!IsHandle(handle)) return kResultBadHandle;
    TMessageExtractionOptions options;
    options.WantAttachments = true;
    return ReadFromBackends(handle, options, folder, index, message);
}

int32_t SaveAttachToFile(StoreHandle handle, const TFolder& folder, int32_t index,
                         uint16_t attachmentIndex, const std::string& targetFile) {
    return SaveAttachment(handle, folder, index, attachmentIndex, targetFile, nullptr);
}

int32_t SaveAttachToFile(StoreHandle handle, const TFolder& folder, int32_t index,
                         uint16_t attachmentIndex, NewFile& target) {
    return SaveAttachment(handle, folder, index, attachmentIndex, target.Path(), &target);
}

int32_t SaveMessageToFile(StoreHandle handle, const TFolder& folder, int32_t index,
                          const std::string& targetFile, bool saveAsEml) {
    return SaveMessage(handle, folder, index, targetFile, nullptr, saveAsEml);
}

int32_t SaveMessageToFile(StoreHandle handle, const TFolder& folder, int32_t index, NewFile& target,
                          bool saveAsEml) {
    return SaveMessage(handle, folder, index, target.Path(), &target, saveAsEml);
}

int32_t CloseMessageStore(StoreHandle handle) {
    WriteReport(StoreLogLine("CloseMessageStore"));
    // The owner's answer counts, also a failure to close: asking the other backends after it
    // would turn that failure into "not my handle".
    int32_t result = kResultNotMyHandle;
    for (StoreBackend* backend : ActiveStoreBackends().InDispatchOrder()) {
        if (backend == nullptr) continue;
        result = backend->Close(handle);
        if (result != kResultNotMyHandle) break;
    }
    return result;
}

}  // namespace mailsift
