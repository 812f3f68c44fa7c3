#include "mapi-provider/node_properties.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "mapi-provider/allocator.h"
#include "mapi-provider/property_values.h"
#include "mapi-provider/stored_props.h"
#include "mapi/mapi_tags.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

std::vector<BYTE> MakeEntryId(const StoreContext& store, uint32_t id) {
    std::vector<BYTE> entry(kEntryIdSize, 0);
    std::memcpy(entry.data() + 4, store.file->uid().ab, sizeof(MAPIUID));
    for (int i = 0; i < 4; ++i) {
        entry[20 + i] = static_cast<BYTE>(id >> (8 * i));
    }
    return entry;
}

// Properties MAPI derives from the structure of the store rather than reading them.
HRESULT ReadComputedProp(const NodeView& node, ULONG tag, SPropValue& out, void* parent) {
    out.ulPropTag = tag;
    switch (tag) {
        case PR_ENTRYID: {
            if (!node.addressable) {
                return MAPI_E_NOT_FOUND;
            }
            return EntryIdValue(*node.store, node.item->id, out, parent);
        }
        case PR_OBJECT_TYPE:
            switch (node.kind) {
                case NodeKind::Folder:
                    out.Value.l = MAPI_FOLDER;
                    return S_OK;
                case NodeKind::Message:
                    out.Value.l = MAPI_MESSAGE;
                    return S_OK;
                case NodeKind::Attachment:
                    out.Value.l = MAPI_ATTACH;
                    return S_OK;
                case NodeKind::Recipient:
                    out.Value.l = MAPI_MAILUSER;
                    return S_OK;
            }
            return MAPI_E_NOT_FOUND;
        case PR_ATTACH_NUM:
            if (node.kind != NodeKind::Attachment) {
                return MAPI_E_NOT_FOUND;
            }
            out.Value.l = static_cast<LONG>(node.index);
            return S_OK;
        case PR_ROWID:
            if (node.kind != NodeKind::Recipient) {
                return MAPI_E_NOT_FOUND;
            }
            out.Value.l = static_cast<LONG>(node.index);
            return S_OK;
        case PR_CONTENT_COUNT: {
            if (node.kind != NodeKind::Folder) {
                return MAPI_E_NOT_FOUND;
            }
            std::vector<uint32_t> ids;
            const HRESULT hr =
                FromStatus(node.store->file->reader().SubMessages(node.item->id, ids));
            out.Value.l = static_cast<LONG>(ids.size());
            return hr;
        }
        case PR_SUBFOLDERS: {
            if (node.kind != NodeKind::Folder) {
                return MAPI_E_NOT_FOUND;
            }
            std::vector<uint32_t> ids;
            const HRESULT hr =
                FromStatus(node.store->file->reader().SubFolders(node.item->id, ids));
            out.Value.b = ids.empty() ? 0 : 1;
            return hr;
        }
        default:
            return MAPI_E_NOT_FOUND;
    }
}

bool IsComputedTag(ULONG tag) {
    switch (tag) {
        case PR_ENTRYID:
        case PR_ATTACH_NUM:
        case PR_ROWID:
        case PR_CONTENT_COUNT:
        case PR_SUBFOLDERS:
            return true;
        default:
            return false;
    }
}

}  // namespace

HRESULT EntryIdValue(const StoreContext& store, uint32_t id, SPropValue& out, void* parent) {
    out.ulPropTag = PR_ENTRYID;
    return CopyBinary(MakeEntryId(store, id), out, parent);
}

HRESULT ReadNodeProp(const NodeView& node, ULONG tag, SPropValue& out, void* parent) {
    if (IsComputedTag(tag)) {
        return ReadComputedProp(node, tag, out, parent);
    }
    HRESULT hr = ReadStoredProp({node.store->file.get(), node.item, node.set}, tag, out, parent);
    if (hr == MAPI_E_NOT_FOUND && tag == PR_OBJECT_TYPE) {
        hr = ReadComputedProp(node, tag, out, parent);
    }
    return hr;
}

std::vector<ULONG> NodeTags(const NodeView& node) {
    std::vector<ULONG> tags;
    for (ULONG tag : ListStoredTags({node.store->file.get(), node.item, node.set})) {
        if (PROP_TYPE(tag) != PT_OBJECT) {
            tags.push_back(tag);
        }
    }
    for (ULONG tag :
         {PR_ENTRYID, PR_OBJECT_TYPE, PR_ATTACH_NUM, PR_ROWID, PR_CONTENT_COUNT, PR_SUBFOLDERS}) {
        const bool stored = std::any_of(tags.begin(), tags.end(),
                                        [tag](ULONG t) { return PROP_ID(t) == PROP_ID(tag); });
        SPropValue probe{};
        BufferPtr<BYTE> scratch(AllocateRoot<BYTE>());
        // A value that exists but cannot be read is listed, so that it shows as an error.
        if (!stored && ReadComputedProp(node, tag, probe, scratch.get()) != MAPI_E_NOT_FOUND) {
            tags.push_back(tag);
        }
    }
    return tags;
}

void ReadNodeRow(const NodeView& node, const std::vector<ULONG>& tags, SPropValue* values,
                 void* parent) {
    for (size_t i = 0; i < tags.size(); ++i) {
        HRESULT hr = ReadNodeProp(node, tags[i], values[i], parent);
        if (FAILED(hr)) {
            SetErrorValue(values[i], tags[i], hr);
        }
    }
}

}  // namespace mailsift::mapi_provider
