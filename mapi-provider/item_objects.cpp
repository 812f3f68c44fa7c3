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
    return OpenChildTable(NodeKind::Message, table);
}

HRESULT Folder::GetHierarchyTable(ULONG, LPMAPITABLE* table) {
    return OpenChildTable(NodeKind::Folder, table);
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

HRESULT Folder::OpenChildTable(NodeKind kind, LPMAPITABLE* table) {
    if (table == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *table = nullptr;
    return Guarded([&] {
        const pst::ItemReader& reader = node_->store->file->reader();
        std::vector<uint32_t> ids;
        const HRESULT hr =
            FromStatus(kind == NodeKind::Folder ? reader.SubFolders(node_->item->id, ids)
                                                : reader.SubMessages(node_->item->id, ids));
        if (FAILED(hr)) {
            return hr;
        }
        *table = NewTable(MakeChildRows(node_, kind, std::move(ids)), DefaultColumns());
        return S_OK;
    });
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
        const AttachmentContent content = ContentOf(*node_->item);
        if (tag == PR_ATTACH_DATA_BIN) {
            if (riid == nullptr || !(*riid == IID_IStream)) {
                return MAPI_E_INTERFACE_NOT_SUPPORTED;
            }
            AttachmentData data;
            const HRESULT hr = LocateAttachmentData(*node_->store->file, *node_->item, data);
            if (FAILED(hr)) {
                return hr;
            }
            *result = NewAttachmentStream(node_, std::move(data));
            return S_OK;
        }
        if (tag == PR_ATTACH_DATA_OBJ) {
            if (riid == nullptr || !(*riid == IID_IMessage)) {
                return MAPI_E_INTERFACE_NOT_SUPPORTED;
            }
            if (content != AttachmentContent::Message) {
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
        if (node_->item->attachmentsDamaged) {
            return MAPI_E_CORRUPT_DATA;
        }
        *table = NewTable(MakeAttachmentRows(node_), {PR_ATTACH_NUM});
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
        SharedItem recipients = RecipientsOf(*node_->store->file, *node_->item);
        if (recipients == nullptr) {
            return MAPI_E_CORRUPT_DATA;
        }
        *table = NewTable(MakeRecipientRows(node_, std::move(recipients)),
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
    SharedItem embedded;
    const HRESULT hr = FromStatus(
        attachment->store->file->reader().OpenAttachedMessage(*attachment->item, embedded));
    if (FAILED(hr)) {
        return MAPI_E_CORRUPT_DATA;
    }
    *message = new Message(NewChild(attachment, std::move(embedded), NodeKind::Message, 0, false));
    return S_OK;
}

}  // namespace mailsift::mapi_provider
