#pragma once
// The message and attachment objects of a .msg storage, and the state they keep when saved:
// that saved state is what the storage writes into the file.
#include <cstddef>
#include <memory>
#include <vector>

#include "mapi/property_name.h"
#include "outlook/msg/msg_property.h"
#include "outlook/msg/msg_storage.h"

namespace mailsift {

// Outlook opens no more recipients or attachments than this per message.
inline constexpr size_t kMsgMaxRows = 2048;
// Embedded messages nest no deeper than this.
inline constexpr unsigned kMsgMaxEmbeddingDepth = 32;

struct MsgSavedMessage;

struct MsgSavedAttachment {
    MsgPropertyBag props;
    std::shared_ptr<const MsgSavedMessage> embedded;
};

struct MsgSavedMessage {
    MsgPropertyBag props;
    // The names of the named properties of the whole file, when the message is not embedded.
    std::vector<mapi::PropertyName> names;
    std::vector<MsgPropertyBag> recipients;
    std::vector<std::shared_ptr<const MsgSavedAttachment>> attachments;
};

// A new top-level message holding one reference for the caller; its buffers come from
// `buffers`.
mapi::IMessage* NewMsgMessage(const MsgBuffers& buffers);
// What `message` (made by NewMsgMessage) saved last; an empty message before its first save.
std::shared_ptr<const MsgSavedMessage> SavedMessageOf(mapi::IMessage* message);

}  // namespace mailsift
