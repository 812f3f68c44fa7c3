#include "mapi-provider/item_objects.h"

#include <initializer_list>
#include <limits>

#include "mapi-provider/attachment_stream.h"
#include "mapi-provider/store.h"
#include "mapi-provider/tables.h"
#include "mapi/com_object.h"
#include "mapi/guarded.h"
#include "mapi/mapi_tags.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

// A property that an object offers only as a table, opened read-only as IMAPITable.
template <class Object>
struct TableProperty {
    ULONG tag;
    HRESULT (Object::*open)(ULONG, LPMAPITABLE*);
};

template <class Object>
HRESULT OpenTableProperty(Object& object, ULONG tag, LPCIID riid, ULONG flags, LPUNKNOWN* result,
                          std::initializer_list<TableProperty<Object>> tables) {
    if (result == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *result = nullptr;
    if ((flags & (MAPI_CREATE | MAPI_MODIFY)) != 0) {
        return MAPI_E_NO_ACCESS;
    }
    if (riid == nullptr || !(*riid == IID_IMAPITable)) {
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    }
    for (const TableProperty<Object>& table : tables) {
        if (table.tag != tag) continue;
        LPMAPITABLE opened = nullptr;
        const HRESULT hr = (object.*table.open)(0, &opened);
        *result = opened;
        return hr;
    }
    return MAPI_E_NOT_FOUND;
}

}  // namespace

HRESULT Folder::GetContentsTable(ULONG, LPMAPITABLE* table) {
    return OpenChildTable(NodeKind::Message, libpff_folder_get_sub_message, SubMessageCount, table);
}

HRESULT Folder::GetHierarchyTable(ULONG, LPMAPITABLE* table) {
    return OpenChildTable(NodeKind::Folder, libpff_folder_get_sub_folder, SubFolderCount, table);
}

HRESULT Folder::OpenEntry(ULONG size, LPENTRYID entry, LPCIID riid, ULONG, ULONG* objectType,
                          LPUNKNOWN* result) {
    return Guarded(
        [&] { return OpenEntryIn(node_->store, size, entry, riid, objectType, result); });
}

HRESULT Folder::OpenProperty(ULONG tag, LPCIID riid, ULONG, ULONG flags, LPUNKNOWN* result) {
    return OpenTableProperty(*this, tag, riid, flags, result,
                             {{PR_CONTAINER_HIERARCHY, &Folder::GetHierarchyTable},
                              {PR_CONTAINER_CONTENTS, &Folder::GetContentsTable}});
}

HRESULT Folder::OpenChildTable(NodeKind kind, SubItemGetter getter,
                               HRESULT (*counter)(libpff_item_t*, int&), LPMAPITABLE* table) {
    if (table == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *table = nullptr;
    return Guarded([&] {
        int count = 0;
        const HRESULT hr = counter(node_->item.get(), count);
        if (FAILED(hr)) {
            return hr;
        }
        *table = NewTable(MakeChildRows(node_, kind, getter, count, true), DefaultColumns());
        return S_OK;
    });
}

int AttachmentType(libpff_item_t* attachment) {
    PffError error;
    int type = LIBPFF_ATTACHMENT_TYPE_UNDEFINED;
    if (libpff_attachment_get_type(attachment, &type, error.get()) != 1) {
        return LIBPFF_ATTACHMENT_TYPE_UNDEFINED;
    }
    return type;
}

HRESULT Attach::OpenProperty(ULONG tag, LPCIID riid, ULONG, ULONG flags, LPUNKNOWN* result) {
    if (result == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *result = nullptr;
    if ((flags & (MAPI_CREATE | MAPI_MODIFY)) != 0) {
        return MAPI_E_NO_ACCESS;
    }
    return Guarded([&] {
        const int type = AttachmentType(node_->item.get());
        if (tag == PR_ATTACH_DATA_BIN) {
            if (riid == nullptr || !(*riid == IID_IStream)) {
                return MAPI_E_INTERFACE_NOT_SUPPORTED;
            }
            if (type != LIBPFF_ATTACHMENT_TYPE_DATA) {
                return MAPI_E_NOT_FOUND;
            }
            PffError error;
            size64_t size = 0;
            if (libpff_attachment_get_data_size(node_->item.get(), &size, error.get()) != 1) {
                return MAPI_E_CORRUPT_DATA;
            }
            *result = NewAttachmentStream(node_, size);
            return S_OK;
        }
        if (tag == PR_ATTACH_DATA_OBJ) {
            if (riid == nullptr || !(*riid == IID_IMessage)) {
                return MAPI_E_INTERFACE_NOT_SUPPORTED;
            }
            if (type != LIBPFF_ATTACHMENT_TYPE_ITEM) {
                return MAPI_E_NOT_FOUND;
            }
            Message* message = nullptr;
            HRESULT hr = NewEmbeddedMessage(node_, &message);
            *result = message;
            return hr;
        }
        return MAPI_E_NOT_FOUND;
    });
}

HRESULT Message::GetAttachmentTable(ULONG, LPMAPITABLE* table) {
    if (table == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *table = nullptr;
    return Guarded([&] {
        int count = 0;
        const HRESULT hr = AttachmentCount(node_->item.get(), count);
        if (FAILED(hr)) {
            return hr;
        }
        *table = NewTable(
            MakeChildRows(node_, NodeKind::Attachment, libpff_message_get_attachment, count, false),
            {PR_ATTACH_NUM});
        return S_OK;
    });
}

HRESULT Message::OpenAttach(ULONG number, LPCIID riid, ULONG flags, LPATTACH* result) {
    if (result == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *result = nullptr;
    if ((flags & MAPI_MODIFY) != 0) {
        return MAPI_E_NO_ACCESS;
    }
    return Guarded([&] {
        NodePtr attachment;
        HRESULT hr = AttachmentNode(number, attachment);
        if (FAILED(hr)) {
            return hr;
        }
        return HandOut<IAttach>(new Attach(attachment), riid, result);
    });
}

HRESULT Message::CreateAttach(LPCIID, ULONG, ULONG*, LPATTACH* result) {
    if (result != nullptr) {
        *result = nullptr;
    }
    return MAPI_E_NO_ACCESS;
}

HRESULT Message::GetRecipientTable(ULONG, LPMAPITABLE* table) {
    if (table == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *table = nullptr;
    return Guarded([&] {
        *table = NewTable(MakeRecipientRows(node_, RecipientsOf(node_->item.get())),
                          {PR_ROWID, PR_DISPLAY_NAME_W, PR_RECIPIENT_TYPE});
        return S_OK;
    });
}

HRESULT Message::OpenProperty(ULONG tag, LPCIID riid, ULONG, ULONG flags, LPUNKNOWN* result) {
    return OpenTableProperty(*this, tag, riid, flags, result,
                             {{PR_MESSAGE_ATTACHMENTS, &Message::GetAttachmentTable},
                              {PR_MESSAGE_RECIPIENTS, &Message::GetRecipientTable}});
}

HRESULT Message::AttachmentNode(ULONG number, NodePtr& attachment) {
    if (number > static_cast<ULONG>(std::numeric_limits<int>::max())) {
        return MAPI_E_NOT_FOUND;
    }
    SharedItem item;
    const HRESULT hr = AttachmentItem(*node_, static_cast<int>(number), item);
    if (FAILED(hr)) {
        return hr;
    }
    attachment = NewChild(node_, std::move(item), NodeKind::Attachment, number, false);
    return S_OK;
}

HRESULT NewEmbeddedMessage(const NodePtr& attachment, Message** message) {
    // libpff hands out an attachment item's message only once, and the attachment items of a
    // message are shared: the message is taken from an attachment item of its own.
    PffError error;
    libpff_item_t* rawAttachment = nullptr;
    const int found = libpff_message_get_attachment(attachment->parent->item.get(),
                                                    static_cast<int>(attachment->index),
                                                    &rawAttachment, error.get());
    ItemPtr ownAttachment(rawAttachment);
    if (found != 1) {
        return MAPI_E_CORRUPT_DATA;
    }
    libpff_item_t* raw = nullptr;
    if (libpff_attachment_get_item(ownAttachment.get(), &raw, error.get()) != 1) {
        ItemPtr discard(raw);
        return MAPI_E_CORRUPT_DATA;
    }
    const NodePtr holder = NewChild(attachment->parent, std::move(ownAttachment),
                                    NodeKind::Attachment, attachment->index, false);
    *message = new Message(NewChild(holder, SharedItem(ItemPtr(raw)), NodeKind::Message, 0, false));
    return S_OK;
}

}  // namespace mailsift::mapi_provider
