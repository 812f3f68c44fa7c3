#pragma once
// Nodes: one item of the file (or one record of it) seen as a MAPI object, and the items
// reached from a node.
#include <cstddef>
#include <memory>
#include <vector>

#include "mapi-provider/name_map.h"
#include "mapi-provider/store_file.h"

namespace mailsift::mapi_provider {

enum class NodeKind { Folder, Message, Attachment, Recipient };

// A message's attachment items by number, each read once: the attachment table, the
// attachments opened and every later open of the message share one item per attachment.
using AttachmentItems = std::vector<SharedItem>;

// The message opened last, with its attachments, for the next open of the same message: a
// message is commonly read for its record and at once again to be saved.
struct LastMessage {
    uint32_t id = 0;
    SharedItem item;
    std::shared_ptr<AttachmentItems> attachments;
};

struct StoreContext {
    std::shared_ptr<StoreFile> file;
    std::vector<mapi::BYTE> entryId;
    LastMessage lastMessage;
    // The names of the named properties, read when first asked for (NamesOf).
    mutable std::shared_ptr<const NameMap> names;
};

// What reading properties needs of a node; it borrows the item and owns nothing.
struct NodeView {
    const StoreContext* store = nullptr;
    const pst::Item* item = nullptr;
    NodeKind kind = NodeKind::Message;
    int set = 0;
    mapi::ULONG index = 0;
    bool addressable = false;
};

struct Node {
    std::shared_ptr<StoreContext> store;
    // Items reached through another item (attachments, embedded messages, recipients) keep
    // their parent alive for as long as they are used.
    std::shared_ptr<Node> parent;
    SharedItem item;
    // Messages only: made when the first attachment is asked for.
    std::shared_ptr<AttachmentItems> attachments;
    NodeKind kind = NodeKind::Message;
    int set = 0;
    mapi::ULONG index = 0;
    // Folders and stored messages have entry identifiers; embedded messages do not.
    bool addressable = false;

    NodeView view() const { return {store.get(), item.get(), kind, set, index, addressable}; }
};
using NodePtr = std::shared_ptr<Node>;

constexpr size_t kEntryIdSize = 4 + sizeof(mapi::MAPIUID) + 4;

NodePtr NewChild(const NodePtr& parent, SharedItem item, NodeKind kind, mapi::ULONG index,
                 bool addressable);

// The attachment `number` of a message node, made once and then shared.
mapi::HRESULT AttachmentItem(Node& message, int number, SharedItem& item);

// The recipients of a message: one record per recipient, in one item; null when their table
// is damaged.
SharedItem RecipientsOf(const StoreFile& file, const pst::Item& message);

}  // namespace mailsift::mapi_provider
