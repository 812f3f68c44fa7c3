#include "mapi-provider/store.h"

#include <cstring>

#include "mapi-provider/allocator.h"
#include "mapi-provider/item_objects.h"
#include "mapi-provider/prop_object.h"
#include "mapi-provider/tables.h"
#include "mapi/com_object.h"
#include "mapi/guarded.h"
#include "mapi/mapi_tags.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

// Makes `message` the store's last message, or gives it the attachments of the last one when it
// is that message again.
void RememberOrReuse(StoreContext& store, Node& message) {
    LastMessage& last = store.lastMessage;
    const uint32_t id = message.item->id;
    if (last.item == nullptr || last.id != id) {
        last.id = id;
        last.item = message.item;
        last.attachments = std::make_shared<AttachmentItems>();
    }
    message.attachments = last.attachments;
}

class Store final : public PropObject<IMsgStore> {
  public:
    explicit Store(std::shared_ptr<StoreContext> store) : store_(std::move(store)) {}

    HRESULT OpenEntry(ULONG size, LPENTRYID entry, LPCIID riid, ULONG, ULONG* objectType,
                      LPUNKNOWN* result) override {
        return Guarded([&] { return OpenEntryIn(store_, size, entry, riid, objectType, result); });
    }

  protected:
    HRESULT ReadProp(ULONG tag, SPropValue& out, void* parent) override {
        out.ulPropTag = tag;
        for (const FixedValue& value : StoreValues()) {
            if (PROP_ID(value.tag) == PROP_ID(tag)) {
                return ReadFixedValue(value, tag, out, parent);
            }
        }
        return MAPI_E_NOT_FOUND;
    }

    std::vector<ULONG> PropTags() override {
        std::vector<ULONG> tags;
        for (const FixedValue& value : StoreValues()) {
            tags.push_back(value.tag);
        }
        return tags;
    }

    const NameMap* Names() override { return &NamesOf(*store_); }

  private:
    bool Supports(REFIID riid) const override {
        return riid == IID_IMAPIProp || riid == IID_IMsgStore;
    }

    std::vector<FixedValue> StoreValues() const {
        const MAPIUID& uid = store_->file->uid();
        return {
            {PR_ENTRYID, store_->entryId},
            {PR_RECORD_KEY, std::vector<BYTE>(uid.ab, uid.ab + sizeof(uid.ab))},
            {PR_DISPLAY_NAME_W, store_->file->displayName()},
            {PR_OBJECT_TYPE, MAPI_STORE},
        };
    }

    std::shared_ptr<StoreContext> store_;
};

}  // namespace

HRESULT OpenEntryIn(const std::shared_ptr<StoreContext>& store, ULONG size, LPENTRYID entry,
                    LPCIID riid, ULONG* objectType, LPUNKNOWN* result) {
    if (result == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *result = nullptr;
    uint32_t id = pst::kNidRootFolder;
    if (size != 0) {
        if (entry == nullptr) {
            return MAPI_E_INVALID_PARAMETER;
        }
        const auto* bytes = reinterpret_cast<const BYTE*>(entry);
        if (size != kEntryIdSize ||
            std::memcmp(bytes + 4, store->file->uid().ab, sizeof(MAPIUID)) != 0) {
            return MAPI_E_INVALID_ENTRYID;
        }
        id = 0;
        for (int i = 0; i < 4; ++i) {
            id |= static_cast<uint32_t>(bytes[20 + i]) << (8 * i);
        }
    }
    // Only folders and messages are opened by their identifier.
    const uint32_t type = pst::NidType(id);
    if (!pst::IsFolderType(type) && !pst::IsMessageType(type)) {
        return MAPI_E_NOT_FOUND;
    }
    auto node = std::make_shared<Node>();
    node->store = store;
    node->addressable = true;
    if (pst::IsMessageType(type) && store->lastMessage.id == id &&
        store->lastMessage.item != nullptr) {
        node->item = store->lastMessage.item;
    } else {
        const HRESULT hr = store->file->ItemById(id, node->item);
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (pst::IsFolderType(type)) {
        node->kind = NodeKind::Folder;
        if (objectType != nullptr) {
            *objectType = MAPI_FOLDER;
        }
        return HandOut<IMAPIFolder>(new Folder(node), riid, result);
    }
    node->kind = NodeKind::Message;
    RememberOrReuse(*store, *node);
    if (objectType != nullptr) {
        *objectType = MAPI_MESSAGE;
    }
    return HandOut<IMessage>(new Message(node), riid, result);
}

HRESULT OpenStore(std::shared_ptr<StoreFile> file, std::vector<BYTE> entryId, LPMDB* store) {
    if (store == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *store = nullptr;
    if (file == nullptr) {
        return MAPI_E_NOT_FOUND;
    }
    auto context = std::make_shared<StoreContext>();
    context->file = std::move(file);
    context->entryId = std::move(entryId);
    *store = new Store(std::move(context));
    return S_OK;
}

}  // namespace mailsift::mapi_provider
