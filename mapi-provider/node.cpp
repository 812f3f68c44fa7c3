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

NodePtr NewChild(const NodePtr& parent, libpff_item_t* item, NodeKind kind, ULONG index,
                 bool addressable) {
    auto node = std::make_shared<Node>();
    node->store = parent->store;
    node->parent = parent;
    node->item.reset(item);
    node->kind = kind;
    node->index = index;
    node->addressable = addressable;
    return node;
}

}  // namespace mailsift::mapi_provider
