#include "mapi-provider/node.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

HRESULT CountOf(int (*counter)(libpff_item_t*, int*, libpff_error_t**), libpff_item_t* item,
                int& count) {
    PffError error;
    count = 0;
    int found = 0;
    if (counter(item, &found, error.get()) != 1 || found < 0) {
        return MAPI_E_CORRUPT_DATA;
    }
    count = found;
    return S_OK;
}

}  // namespace

HRESULT SubFolderCount(libpff_item_t* folder, int& count) {
    return CountOf(libpff_folder_get_number_of_sub_folders, folder, count);
}
HRESULT SubMessageCount(libpff_item_t* folder, int& count) {
    return CountOf(libpff_folder_get_number_of_sub_messages, folder, count);
}
HRESULT AttachmentCount(libpff_item_t* message, int& count) {
    return CountOf(libpff_message_get_number_of_attachments, message, count);
}

ItemPtr RecipientsOf(libpff_item_t* message) {
    PffError error;
    libpff_item_t* raw = nullptr;
    if (libpff_message_get_recipients(message, &raw, error.get()) != 1) {
        return nullptr;
    }
    return ItemPtr(raw);
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
    int count = 0;
    HRESULT hr = AttachmentCount(message.item.get(), count);
    if (FAILED(hr)) {
        return hr;
    }
    if (number < 0 || number >= count) {
        return MAPI_E_NOT_FOUND;
    }
    if (message.attachments == nullptr) {
        message.attachments = std::make_shared<AttachmentItems>();
    }
    AttachmentItems& items = *message.attachments;
    if (items.size() < static_cast<size_t>(count)) {
        items.resize(static_cast<size_t>(count));
    }
    SharedItem& kept = items[static_cast<size_t>(number)];
    if (kept == nullptr) {
        PffError error;
        libpff_item_t* raw = nullptr;
        const int found =
            libpff_message_get_attachment(message.item.get(), number, &raw, error.get());
        ItemPtr opened(raw);
        if (found != 1) {
            return MAPI_E_CORRUPT_DATA;
        }
        kept = std::move(opened);
    }
    item = kept;
    return S_OK;
}

}  // namespace mailsift::mapi_provider
