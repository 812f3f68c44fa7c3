#pragma once
// What the MS Outlook backend writes of one message: its attachments, and the message itself
// as an Outlook .msg file or as an Internet mail (.eml) file.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mapi/mapi_interfaces.h"
#include "stores/core_types.h"

namespace mailsift {

struct OutlookAttachmentRow {
    std::string FileName;  // the long file name, else the short one, else ""
    uint16_t Index = 0;    // the row in the attachment table
    mapi::ULONG Number = 0;
};

// The rows of the message's attachment table that name an attachment number; nullopt when the
// table cannot be opened, an empty list with `read` false when it opened but could not be read.
struct OutlookAttachmentTable {
    bool read = false;
    std::vector<OutlookAttachmentRow> rows;
};
std::optional<OutlookAttachmentTable> ReadAttachmentTable(mapi::IMessage* message);

// Opens the attachment; nullptr when it cannot be opened.
mapi::IAttach* OpenAttachment(mapi::IMessage* message, mapi::ULONG number);

enum class AttachmentCopy { Written, NoData, TargetFailed };
// Copies the attachment's data into `target`, replacing it whole; `size` counts the bytes.
AttachmentCopy CopyAttachmentData(mapi::IAttach* attachment, const std::string& target,
                                  int64_t& size);

// Both give kResultSuccess, or kResultWriteFailed when no whole file was written.
int32_t WriteMsgFile(mapi::IMessage* message, const std::string& target);
int32_t WriteEmlFile(mapi::IMessage* message, const TMessage& record, const std::string& target);

}  // namespace mailsift
