#include "mapi-provider/node.h"

namespace mailsift::mapi_provider {

using namespace mapi;

SharedItem RecipientsOf(const StoreFile& file, const pst::Item& message) {
    SharedItem recipients;
    if (file.reader().OpenRecipients(message, recipients) != pst::Status::Ok) {
        return nullptr;
    }
    return recipients;
}

NodePtr NewChild(const NodePtr& parent, SharedItem item, NodeKind kind, ULONG index,
                 bool addressable) {
    auto node = std::make_shared<Node>();
    node->store = parent->store;
    node->parent = parent;
    node->item = std::move(item);
    node->kind = kind;
    node->index = index;
    node->addressable = addressable;
    return node;
}

HRESULT AttachmentItem(Node& message, int number, SharedItem& item) {
    if (message.item->attachmentsDamaged) {
        return MAPI_E_CORRUPT_DATA;
    }
    const size_t count = message.item->attachments.size();
    if (number < 0 || static_cast<size_t>(number) >= count) {
        return MAPI_E_NOT_FOUND;
    }
    if (message.attachments == nullptr) {
        message.attachments = std::make_shared<AttachmentItems>();
    }
    AttachmentItems& items = *message.attachments;
    if (items.size() < count) {
        items.resize(count);
    }
    SharedItem& kept = items[static_cast<size_t>(number)];
    if (kept == nullptr) {
        const HRESULT hr = FromStatus(message.store->file->reader().OpenAttachment(
            *message.item, static_cast<size_t>(number), kept));
        if (FAILED(hr)) {
            return MAPI_E_CORRUPT_DATA;
        }
    }
    item = kept;
    return S_OK;
}

}  // namespace mailsift::mapi_provider
