#pragma once
// Nodes: one libpff item (or one record set of it) seen as a MAPI object, and the items
// reached from a node.
#include <cstddef>
#include <memory>
#include <vector>

#include "mapi-provider/pff.h"

namespace mailsift::mapi_provider {

enum class NodeKind { Folder, Message, Attachment, Recipient };

struct StoreContext {
    std::shared_ptr<PffFile> file;
    std::vector<mapi::BYTE> entryId;
};

// What reading properties needs of a node; it borrows the item and owns nothing.
struct NodeView {
    const StoreContext* store = nullptr;
    libpff_item_t* item = nullptr;
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
    ItemPtr item;
    NodeKind kind = NodeKind::Message;
    int set = 0;
    mapi::ULONG index = 0;
    // Folders and stored messages have entry identifiers; embedded messages do not.
    bool addressable = false;

    NodeView view() const { return {store.get(), item.get(), kind, set, index, addressable}; }
};
using NodePtr = std::shared_ptr<Node>;

constexpr size_t kEntryIdSize = 4 + sizeof(mapi::MAPIUID) + 4;

NodePtr NewChild(const NodePtr& parent, libpff_item_t* item, NodeKind kind, mapi::ULONG index,
                 bool addressable);

// A damaged sub-item table is reported, never taken for an empty one.
mapi::HRESULT SubFolderCount(libpff_item_t* folder, int& count);
mapi::HRESULT SubMessageCount(libpff_item_t* folder, int& count);
mapi::HRESULT AttachmentCount(libpff_item_t* message, int& count);

// The recipients of a message: one record set per recipient, in one libpff item.
ItemPtr RecipientsOf(libpff_item_t* message);

}  // namespace mailsift::mapi_provider
