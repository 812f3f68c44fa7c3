#pragma once
// The records that every store backend and every caller of the store facade share.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/date_time.h"
#include "platform/new_file.h"

namespace mailsift {

// A store handle is above kMaxResultCode; an open that returns a value at or below it
// returns a result code.
using StoreHandle = uint32_t;
constexpr StoreHandle kMaxResultCode = 3840;

// Result codes shared by the facade and all backends.
enum StoreResult : int32_t {
    kResultSuccess = 0,
    kResultNothingFound = 1,
    kResultNoSuchPath = 2,
    kResultMapiUnavailable = 3,
    kResultMapiOpenFailed = 4,
    kResultMapiCloseFailed = 5,
    kResultNoFolders = 6,
    kResultAlreadyOpen = 7,
    kResultNotMyHandle = 8,
    kResultFolderMissing = 9,
    kResultBadMessageIndex = 10,
    kResultBadHandle = 11,
    kResultNoAttachments = 13,
    kResultWriteFailed = 14,
};

// Byte offsets where each message of a mailbox file starts.
using TMessageOffset = std::vector<int64_t>;

struct TFolder {
    std::string Name;
    std::string Path;       // display path: names from the top of the store, joined by "/"
    std::string StoreFile;  // the file holding the folder's messages
    std::string Comment;
    int32_t Id = 0;
    int32_t ParentId = 0;
    int32_t MessageCount = 0;
    int64_t Size = 0;
    TMessageOffset MessageOffsets;
};

// Folder records belong to the backend that listed them and stay valid until its store closes.
using TFolderList = std::vector<const TFolder*>;

struct TAttachFile {
    std::string FileName;
    uint16_t Index = 0;
    int64_t Size = 0;
};

struct TMessage {
    std::string MessageId;
    std::string Headers;
    std::string FromName;
    std::string FromAddress;
    std::string Subject;
    TDateTime Created = 0;
    TDateTime Received = 0;
    std::string ToName;
    std::string ToAddress;
    int32_t Size = 0;
    std::string Body;
    bool Tag0BPresent = false;
    bool HasAttachments = false;
    std::optional<std::vector<TAttachFile>> Attachments;
};

struct TMessageExtractionOptions {
    bool WantBody = false;
    bool SaveMessage = false;
    bool WantAttachments = false;
    bool SaveAttachment = false;
    uint16_t AttachmentIndex = 0;
    bool SaveAsEml = false;
    std::string TargetFile;
    // When set, the file created at TargetFile to write into: a backend that writes through it
    // saves the lookups and the second open of the path. One that knows only paths replaces the
    // file at TargetFile instead.
    NewFile* Target = nullptr;
};

}  // namespace mailsift
