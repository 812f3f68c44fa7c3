#include "mapi-provider/objects.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "mapi-provider/allocator.h"
#include "mapi/com_object.h"
#include "mapi/guarded.h"
#include "mapi/interface_cast.h"
#include "mapi/interface_ref.h"
#include "mapi/utf16.h"

namespace mailsift::mapi_provider {

using namespace mapi;

void SetErrorValue(SPropValue& value, ULONG tag, HRESULT reason) {
    value.ulPropTag = CHANGE_PROP_TYPE(tag, PT_ERROR);
    value.Value.err = reason;
}

namespace {

// ---------------------------------------------------------------------------------------
// Tables

class Table final : public ComObject<IMAPITable> {
  public:
    Table(std::unique_ptr<RowSource> rows, std::vector<ULONG> columns)
        : rows_(std::move(rows)), columns_(std::move(columns)) {}

    HRESULT SetColumns(LPSPropTagArray tags, ULONG) override {
        if (tags == nullptr) {
            return MAPI_E_INVALID_PARAMETER;
        }
        return Guarded([&] {
            columns_.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
            return S_OK;
        });
    }

    HRESULT GetRowCount(ULONG, ULONG* count) override {
        if (count == nullptr) {
            return MAPI_E_INVALID_PARAMETER;
        }
        *count = rows_->Count();
        return S_OK;
    }

    HRESULT SeekRow(BOOKMARK origin, LONG rowCount, LONG* sought) override {
        const auto total = static_cast<int64_t>(rows_->Count());
        int64_t start = 0;
        if (origin == BOOKMARK_CURRENT) {
            start = position_;
        } else if (origin == BOOKMARK_END) {
            start = total;
        } else if (origin != BOOKMARK_BEGINNING) {
            return MAPI_E_INVALID_PARAMETER;
        }
        const int64_t target = std::clamp<int64_t>(start + rowCount, 0, total);
        if (sought != nullptr) {
            *sought = static_cast<LONG>(target - start);
        }
        position_ = static_cast<ULONG>(target);
        return S_OK;
    }

    HRESULT QueryRows(LONG rowCount, ULONG, LPSRowSet* result) override {
        if (result == nullptr) {
            return MAPI_E_INVALID_PARAMETER;
        }
        *result = nullptr;
        if (rowCount < 0) {
            return MAPI_E_NO_SUPPORT;
        }
        return Guarded([&] {
            const ULONG total = rows_->Count();
            const ULONG first = std::min(position_, total);
            const ULONG count = std::min(total - first, static_cast<ULONG>(rowCount));
            LPVOID raw = nullptr;
            if (AllocateBuffer(static_cast<ULONG>(CbNewSRowSet(count)), &raw) != S_OK) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            std::unique_ptr<SRowSet, RowSetDeleter> set(static_cast<LPSRowSet>(raw));
            for (ULONG i = 0; i < count; ++i) {
                auto* values = AllocateRoot<SPropValue>(std::max<size_t>(columns_.size(), 1));
                if (values == nullptr) {
                    return MAPI_E_NOT_ENOUGH_MEMORY;
                }
                set->aRow[i].cValues = static_cast<ULONG>(columns_.size());
                set->aRow[i].lpProps = values;
                set->cRows = i + 1;
                rows_->ReadRow(first + i, columns_, values, values);
            }
            position_ = first + count;
            *result = set.release();
            return S_OK;
        });
    }

    static void FreeRowSet(LPSRowSet set) {
        for (ULONG i = 0; i < set->cRows; ++i) {
            FreeBuffer(set->aRow[i].lpProps);
        }
        FreeBuffer(set);
    }
    struct RowSetDeleter {
        void operator()(LPSRowSet set) const { FreeRowSet(set); }
    };

  private:
    bool Supports(REFIID riid) const override { return riid == IID_IMAPITable; }

    std::unique_ptr<RowSource> rows_;
    std::vector<ULONG> columns_;
    ULONG position_ = 0;
};

class FixedRows final : public RowSource {
  public:
    explicit FixedRows(std::vector<FixedRow> rows) : rows_(std::move(rows)) {}
    ULONG Count() override { return static_cast<ULONG>(rows_.size()); }
    void ReadRow(ULONG row, const std::vector<ULONG>& tags, SPropValue* values,
                 void* parent) override {
        for (size_t i = 0; i < tags.size(); ++i) {
            SetErrorValue(values[i], tags[i], MAPI_E_NOT_FOUND);
            for (const FixedValue& value : rows_[row]) {
                if (PROP_ID(value.tag) == PROP_ID(tags[i]) &&
                    SUCCEEDED(ReadFixedValue(value, tags[i], values[i], parent))) {
                    break;
                }
            }
        }
    }

  private:
    std::vector<FixedRow> rows_;
};

// ---------------------------------------------------------------------------------------
// Nodes: one libpff item (or one record set of it) seen as a MAPI object

enum class NodeKind { Folder, Message, Attachment, Recipient };

struct StoreContext {
    std::shared_ptr<PffFile> file;
    std::vector<BYTE> entryId;
};

// What reading properties needs of a node; it borrows the item and owns nothing.
struct NodeView {
    const StoreContext* store = nullptr;
    libpff_item_t* item = nullptr;
    NodeKind kind = NodeKind::Message;
    int set = 0;
    ULONG index = 0;
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
    ULONG index = 0;
    // Folders and stored messages have entry identifiers; embedded messages do not.
    bool addressable = false;

    NodeView view() const { return {store.get(), item.get(), kind, set, index, addressable}; }
};
using NodePtr = std::shared_ptr<Node>;

constexpr size_t kEntryIdSize = 4 + sizeof(MAPIUID) + 4;
// Embedded messages nest. Cycles are caught by identifier; this bounds the chains of a
// damaged file whose identifiers never repeat.
constexpr size_t kMaxEmbeddingDepth = 32;

std::vector<BYTE> MakeEntryId(const StoreContext& store, uint32_t id) {
    std::vector<BYTE> entry(kEntryIdSize, 0);
    std::memcpy(entry.data() + 4, store.file->uid().ab, sizeof(MAPIUID));
    for (int i = 0; i < 4; ++i) {
        entry[20 + i] = static_cast<BYTE>(id >> (8 * i));
    }
    return entry;
}

HRESULT CopyBinary(const std::vector<BYTE>& bytes, SPropValue& out, void* parent) {
    out.Value.bin.cb = static_cast<ULONG>(bytes.size());
    out.Value.bin.lpb = CopyBytes(bytes.data(), bytes.size(), parent);
    return out.Value.bin.lpb != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

// A damaged sub-item table is reported, never taken for an empty one.
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

HRESULT SubFolderCount(libpff_item_t* folder, int& count) {
    return CountOf(libpff_folder_get_number_of_sub_folders, folder, count);
}
HRESULT SubMessageCount(libpff_item_t* folder, int& count) {
    return CountOf(libpff_folder_get_number_of_sub_messages, folder, count);
}
HRESULT AttachmentCount(libpff_item_t* message, int& count) {
    return CountOf(libpff_message_get_number_of_attachments, message, count);
}

// The recipients of a message: one record set per recipient, in one libpff item.
ItemPtr RecipientsOf(libpff_item_t* message) {
    PffError error;
    libpff_item_t* raw = nullptr;
    if (libpff_message_get_recipients(message, &raw, error.get()) != 1) {
        return nullptr;
    }
    return ItemPtr(raw);
}

// Properties MAPI derives from the structure of the store rather than reading them.
HRESULT ReadComputedProp(const NodeView& node, ULONG tag, SPropValue& out, void* parent) {
    out.ulPropTag = tag;
    switch (tag) {
        case PR_ENTRYID: {
            uint32_t id = 0;
            if (!node.addressable || FAILED(ItemId(node.item, id))) {
                return MAPI_E_NOT_FOUND;
            }
            return CopyBinary(MakeEntryId(*node.store, id), out, parent);
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
            int count = 0;
            const HRESULT hr = SubMessageCount(node.item, count);
            out.Value.l = count;
            return hr;
        }
        case PR_SUBFOLDERS: {
            if (node.kind != NodeKind::Folder) {
                return MAPI_E_NOT_FOUND;
            }
            int count = 0;
            const HRESULT hr = SubFolderCount(node.item, count);
            out.Value.b = count > 0 ? 1 : 0;
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

HRESULT ReadNodeProp(const NodeView& node, ULONG tag, SPropValue& out, void* parent) {
    if (IsComputedTag(tag)) {
        return ReadComputedProp(node, tag, out, parent);
    }
    HRESULT hr = ReadStoredProp({node.item, node.set}, tag, out, parent);
    if (hr == MAPI_E_NOT_FOUND && tag == PR_OBJECT_TYPE) {
        hr = ReadComputedProp(node, tag, out, parent);
    }
    return hr;
}

std::vector<ULONG> NodeTags(const NodeView& node) {
    std::vector<ULONG> tags;
    for (ULONG tag : ListStoredTags({node.item, node.set})) {
        if (PROP_ID(tag) < MIN_NAMED_PROP_ID && PROP_TYPE(tag) != PT_OBJECT) {
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

void FillErrorRow(const std::vector<ULONG>& tags, SPropValue* values, HRESULT reason) {
    for (size_t i = 0; i < tags.size(); ++i) {
        SetErrorValue(values[i], tags[i], reason);
    }
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

// Sub-folders, messages and attachments of one item, opened row by row.
class ChildRows final : public RowSource {
  public:
    using Getter = int (*)(libpff_item_t*, int, libpff_item_t**, libpff_error_t**);

    ChildRows(NodePtr owner, NodeKind kind, Getter getter, int count, bool addressable)
        : owner_(std::move(owner)),
          kind_(kind),
          getter_(getter),
          count_(count),
          addressable_(addressable) {}

    ULONG Count() override { return static_cast<ULONG>(count_); }

    void ReadRow(ULONG row, const std::vector<ULONG>& tags, SPropValue* values,
                 void* parent) override {
        PffError error;
        libpff_item_t* raw = nullptr;
        if (getter_(owner_->item.get(), static_cast<int>(row), &raw, error.get()) != 1) {
            ItemPtr discard(raw);
            FillErrorRow(tags, values, MAPI_E_CORRUPT_DATA);
            return;
        }
        ItemPtr item(raw);
        ReadNodeRow({owner_->store.get(), item.get(), kind_, 0, row, addressable_}, tags, values,
                    parent);
    }

  private:
    NodePtr owner_;
    NodeKind kind_;
    Getter getter_;
    int count_;
    bool addressable_;
};

class RecipientRows final : public RowSource {
  public:
    RecipientRows(NodePtr message, ItemPtr recipients)
        : message_(std::move(message)), recipients_(std::move(recipients)) {
        if (recipients_ != nullptr) {
            PffError error;
            if (libpff_item_get_number_of_record_sets(recipients_.get(), &count_, error.get()) !=
                    1 ||
                count_ < 0) {
                count_ = 0;
            }
        }
    }
    ~RecipientRows() override = default;

    ULONG Count() override { return static_cast<ULONG>(count_); }

    void ReadRow(ULONG row, const std::vector<ULONG>& tags, SPropValue* values,
                 void* parent) override {
        ReadNodeRow({message_->store.get(), recipients_.get(), NodeKind::Recipient,
                     static_cast<int>(row), row, false},
                    tags, values, parent);
    }

  private:
    NodePtr message_;
    ItemPtr recipients_;
    int count_ = 0;
};

std::vector<ULONG> DefaultColumns() {
    return {PR_ENTRYID, PR_DISPLAY_NAME_W};
}

// ---------------------------------------------------------------------------------------
// Objects with properties

template <class Iface>
class PropObject : public ComObject<Iface> {
  public:
    HRESULT SaveChanges(ULONG) override { return MAPI_E_NO_ACCESS; }

    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        if (count == nullptr || values == nullptr) {
            return MAPI_E_INVALID_PARAMETER;
        }
        *count = 0;
        *values = nullptr;
        return Guarded([&] {
            std::vector<ULONG> wanted =
                tags != nullptr
                    ? std::vector<ULONG>(tags->aulPropTag, tags->aulPropTag + tags->cValues)
                    : PropTags();
            BufferPtr<SPropValue> array(
                AllocateRoot<SPropValue>(std::max<size_t>(wanted.size(), 1)));
            if (array == nullptr) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            bool missing = false;
            for (size_t i = 0; i < wanted.size(); ++i) {
                HRESULT hr = ReadProp(wanted[i], array.get()[i], array.get());
                if (FAILED(hr)) {
                    SetErrorValue(array.get()[i], wanted[i], hr);
                    missing = true;
                }
            }
            *count = static_cast<ULONG>(wanted.size());
            *values = array.release();
            return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
        });
    }

    HRESULT GetPropList(ULONG, LPSPropTagArray* result) override {
        if (result == nullptr) {
            return MAPI_E_INVALID_PARAMETER;
        }
        *result = nullptr;
        return Guarded([&] {
            std::vector<ULONG> tags = PropTags();
            LPVOID raw = nullptr;
            if (AllocateBuffer(
                    static_cast<ULONG>(CbNewSPropTagArray(static_cast<ULONG>(tags.size()))),
                    &raw) != S_OK) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            auto* array = static_cast<LPSPropTagArray>(raw);
            array->cValues = static_cast<ULONG>(tags.size());
            std::copy(tags.begin(), tags.end(), array->aulPropTag);
            *result = array;
            return S_OK;
        });
    }

    HRESULT OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* result) override {
        if (result != nullptr) {
            *result = nullptr;
        }
        return MAPI_E_NO_SUPPORT;
    }

    HRESULT SetProps(ULONG, LPSPropValue, LPSPropProblemArray* problems) override {
        if (problems != nullptr) {
            *problems = nullptr;
        }
        return MAPI_E_NO_ACCESS;
    }

    HRESULT CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                   LPSPropProblemArray* problems) override {
        if (problems != nullptr) {
            *problems = nullptr;
        }
        return MAPI_E_NO_SUPPORT;
    }

  protected:
    virtual HRESULT ReadProp(ULONG tag, SPropValue& out, void* parent) = 0;
    virtual std::vector<ULONG> PropTags() = 0;
};

template <class Iface>
class NodeObject : public PropObject<Iface> {
  public:
    explicit NodeObject(NodePtr node) : node_(std::move(node)) {}
    const NodePtr& node() const { return node_; }

  protected:
    HRESULT ReadProp(ULONG tag, SPropValue& out, void* parent) override {
        return ReadNodeProp(node_->view(), tag, out, parent);
    }
    std::vector<ULONG> PropTags() override { return NodeTags(node_->view()); }

    NodePtr node_;
};

HRESULT OpenEntryIn(const std::shared_ptr<StoreContext>& store, ULONG size, LPENTRYID entry,
                    LPCIID riid, ULONG* objectType, LPUNKNOWN* result);

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

class Folder final : public NodeObject<IMAPIFolder> {
  public:
    using NodeObject::NodeObject;

    HRESULT GetContentsTable(ULONG, LPMAPITABLE* table) override {
        return OpenChildTable(NodeKind::Message, libpff_folder_get_sub_message, SubMessageCount,
                              table);
    }

    HRESULT GetHierarchyTable(ULONG, LPMAPITABLE* table) override {
        return OpenChildTable(NodeKind::Folder, libpff_folder_get_sub_folder, SubFolderCount,
                              table);
    }

    HRESULT OpenEntry(ULONG size, LPENTRYID entry, LPCIID riid, ULONG, ULONG* objectType,
                      LPUNKNOWN* result) override {
        return Guarded(
            [&] { return OpenEntryIn(node_->store, size, entry, riid, objectType, result); });
    }

    HRESULT OpenProperty(ULONG tag, LPCIID riid, ULONG, ULONG flags, LPUNKNOWN* result) override {
        return OpenTableProperty(*this, tag, riid, flags, result,
                                 {{PR_CONTAINER_HIERARCHY, &Folder::GetHierarchyTable},
                                  {PR_CONTAINER_CONTENTS, &Folder::GetContentsTable}});
    }

  private:
    bool Supports(REFIID riid) const override {
        return riid == IID_IMAPIProp || riid == IID_IMAPIContainer || riid == IID_IMAPIFolder;
    }

    HRESULT OpenChildTable(NodeKind kind, ChildRows::Getter getter,
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
            *table = NewTable(std::make_unique<ChildRows>(node_, kind, getter, count, true),
                              DefaultColumns());
            return S_OK;
        });
    }
};

class Stream final : public ComObject<IStream> {
  public:
    Stream(NodePtr attachment, uint64_t size) : attachment_(std::move(attachment)), size_(size) {}

    HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
        if (read != nullptr) {
            *read = 0;
        }
        if (buffer == nullptr && count > 0) {
            return MAPI_E_INVALID_PARAMETER;
        }
        ULONG done = 0;
        auto* bytes = static_cast<uint8_t*>(buffer);
        bool damaged = false;
        while (done < count && position_ < size_ && !damaged) {
            PffError error;
            // Each read starts from this stream's own position, so streams on one attachment
            // do not disturb each other.
            if (libpff_attachment_data_seek_offset(attachment_->item.get(),
                                                   static_cast<off64_t>(position_), SEEK_SET,
                                                   error.get()) < 0) {
                damaged = true;
                break;
            }
            const size_t want =
                static_cast<size_t>(std::min<uint64_t>(count - done, size_ - position_));
            const ssize_t got = libpff_attachment_data_read_buffer(attachment_->item.get(),
                                                                   bytes + done, want, error.get());
            // Ending before the declared size is damage as much as an error is.
            damaged = got <= 0;
            if (got > 0) {
                done += static_cast<ULONG>(got);
                position_ += static_cast<uint64_t>(got);
            }
        }
        if (read != nullptr) {
            *read = done;
        }
        // What was read is handed out first; the next read reports the damage.
        return damaged && done == 0 ? MAPI_E_CORRUPT_DATA : S_OK;
    }

    HRESULT Write(const void*, ULONG, ULONG* written) override {
        if (written != nullptr) {
            *written = 0;
        }
        return STG_E_ACCESSDENIED;
    }

    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        int64_t base = 0;
        if (origin == STREAM_SEEK_CUR) {
            base = static_cast<int64_t>(position_);
        } else if (origin == STREAM_SEEK_END) {
            base = static_cast<int64_t>(size_);
        } else if (origin != STREAM_SEEK_SET) {
            return STG_E_INVALIDFUNCTION;
        }
        const int64_t target = base + move.QuadPart;
        if (target < 0) {
            return STG_E_INVALIDFUNCTION;
        }
        position_ = static_cast<uint64_t>(target);
        if (newPosition != nullptr) {
            newPosition->QuadPart = position_;
        }
        return S_OK;
    }

  private:
    bool Supports(REFIID riid) const override { return riid == IID_IStream; }

    NodePtr attachment_;
    uint64_t size_;
    uint64_t position_ = 0;
};

int AttachmentType(libpff_item_t* attachment) {
    PffError error;
    int type = LIBPFF_ATTACHMENT_TYPE_UNDEFINED;
    if (libpff_attachment_get_type(attachment, &type, error.get()) != 1) {
        return LIBPFF_ATTACHMENT_TYPE_UNDEFINED;
    }
    return type;
}

class Message;
HRESULT NewEmbeddedMessage(const NodePtr& attachment, Message** message);

class Attach final : public NodeObject<IAttach> {
  public:
    using NodeObject::NodeObject;

    HRESULT OpenProperty(ULONG tag, LPCIID riid, ULONG, ULONG flags, LPUNKNOWN* result) override;

  private:
    bool Supports(REFIID riid) const override {
        return riid == IID_IMAPIProp || riid == IID_IAttachment;
    }
};

class Message final : public NodeObject<IMessage> {
  public:
    using NodeObject::NodeObject;

    HRESULT GetAttachmentTable(ULONG, LPMAPITABLE* table) override {
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
            *table =
                NewTable(std::make_unique<ChildRows>(node_, NodeKind::Attachment,
                                                     libpff_message_get_attachment, count, false),
                         {PR_ATTACH_NUM});
            return S_OK;
        });
    }

    HRESULT OpenAttach(ULONG number, LPCIID riid, ULONG flags, LPATTACH* result) override {
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

    HRESULT CreateAttach(LPCIID, ULONG, ULONG*, LPATTACH* result) override {
        if (result != nullptr) {
            *result = nullptr;
        }
        return MAPI_E_NO_ACCESS;
    }

    HRESULT DeleteAttach(ULONG, ULONG_PTR, LPMAPIPROGRESS, ULONG) override {
        return MAPI_E_NO_ACCESS;
    }

    HRESULT GetRecipientTable(ULONG, LPMAPITABLE* table) override {
        if (table == nullptr) {
            return MAPI_E_INVALID_PARAMETER;
        }
        *table = nullptr;
        return Guarded([&] {
            *table =
                NewTable(std::make_unique<RecipientRows>(node_, RecipientsOf(node_->item.get())),
                         {PR_ROWID, PR_DISPLAY_NAME_W, PR_RECIPIENT_TYPE});
            return S_OK;
        });
    }

    HRESULT ModifyRecipients(ULONG, LPADRLIST) override { return MAPI_E_NO_ACCESS; }

    HRESULT OpenProperty(ULONG tag, LPCIID riid, ULONG, ULONG flags, LPUNKNOWN* result) override {
        return OpenTableProperty(*this, tag, riid, flags, result,
                                 {{PR_MESSAGE_ATTACHMENTS, &Message::GetAttachmentTable},
                                  {PR_MESSAGE_RECIPIENTS, &Message::GetRecipientTable}});
    }

    HRESULT CopyTo(ULONG excludedInterfaces, LPCIID interfaces, LPSPropTagArray excluded, ULONG_PTR,
                   LPMAPIPROGRESS, LPCIID riid, LPVOID destination, ULONG,
                   LPSPropProblemArray* problems) override;

  private:
    // The identifiers of the messages a copy is inside of, outermost first: an embedded
    // message found among them would lead the copy round in a circle.
    using Ancestors = std::vector<uint32_t>;
    class CopyOutcome;

    bool Supports(REFIID riid) const override {
        return riid == IID_IMAPIProp || riid == IID_IMessage;
    }

    HRESULT AttachmentNode(ULONG number, NodePtr& attachment) {
        int count = 0;
        HRESULT hr = AttachmentCount(node_->item.get(), count);
        if (FAILED(hr)) {
            return hr;
        }
        if (number >= static_cast<ULONG>(count)) {
            return MAPI_E_NOT_FOUND;
        }
        PffError error;
        libpff_item_t* raw = nullptr;
        if (libpff_message_get_attachment(node_->item.get(), static_cast<int>(number), &raw,
                                          error.get()) != 1) {
            ItemPtr discard(raw);
            return MAPI_E_CORRUPT_DATA;
        }
        attachment = NewChild(node_, raw, NodeKind::Attachment, number, false);
        return S_OK;
    }

    void CopyInto(IMessage* destination, const std::vector<ULONG>& excludedIds,
                  Ancestors& ancestors, CopyOutcome& outcome);
    void CopyRecipients(IMessage* destination, CopyOutcome& outcome);
    HRESULT CopyAttachment(IMessage* destination, ULONG index, Ancestors& ancestors);
    HRESULT CopyAttachmentContent(IAttach* target, const NodePtr& source, Ancestors& ancestors);
    static HRESULT CopyAttachmentData(IAttach* target, const Node& source);
    static HRESULT StreamAttachmentData(IStream* stream, const Node& source, size64_t size);
};

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
            *result = new Stream(node_, size);
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

HRESULT NewEmbeddedMessage(const NodePtr& attachment, Message** message) {
    PffError error;
    libpff_item_t* raw = nullptr;
    if (libpff_attachment_get_item(attachment->item.get(), &raw, error.get()) != 1) {
        ItemPtr discard(raw);
        return MAPI_E_CORRUPT_DATA;
    }
    *message = new Message(NewChild(attachment, raw, NodeKind::Message, 0, false));
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// CopyTo

bool IsExcluded(const std::vector<ULONG>& excludedIds, ULONG tag) {
    return std::find(excludedIds.begin(), excludedIds.end(), PROP_ID(tag)) != excludedIds.end();
}

// A copy goes on past the parts it cannot copy. It succeeds fully when every part was
// copied, with MAPI_W_ERRORS_RETURNED when some were lost, and fails with the first failure
// only when nothing at all could be copied.
class Message::CopyOutcome {
  public:
    void Add(HRESULT hr) {
        if (FAILED(hr)) {
            if (firstFailure_ == S_OK) {
                firstFailure_ = hr;
            }
            return;
        }
        copied_ = true;
        partial_ = partial_ || hr == MAPI_W_ERRORS_RETURNED;
    }
    HRESULT Result() const {
        if (firstFailure_ == S_OK) {
            return partial_ ? MAPI_W_ERRORS_RETURNED : S_OK;
        }
        return copied_ ? MAPI_W_ERRORS_RETURNED : firstFailure_;
    }

  private:
    HRESULT firstFailure_ = S_OK;
    bool copied_ = false;
    bool partial_ = false;
};

// The properties of one node as they are to be copied, in one buffer of their own: every
// stored property with a numeric identifier, strings widened so that no text is lost to a
// code page. Values the file holds but cannot give make the result MAPI_W_ERRORS_RETURNED.
HRESULT CollectProps(const NodeView& node, const std::vector<ULONG>& skippedIds,
                     BufferPtr<SPropValue>& result, ULONG* count) {
    std::vector<ULONG> tags;
    for (ULONG tag : ListStoredTags({node.item, node.set})) {
        if (PROP_ID(tag) < MIN_NAMED_PROP_ID && PROP_TYPE(tag) != PT_OBJECT &&
            !IsExcluded(skippedIds, tag)) {
            tags.push_back(tag);
        }
    }
    BufferPtr<SPropValue> values(AllocateRoot<SPropValue>(tags.size() + 1));
    if (values == nullptr) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    ULONG filled = 0;
    bool lost = false;
    for (ULONG tag : tags) {
        ULONG wanted = PROP_TYPE(tag);
        if (wanted == PT_STRING8) {
            wanted = PT_UNICODE;
        } else if (wanted == PT_MV_STRING8) {
            wanted = PT_MV_UNICODE;
        }
        // Types this provider does not convert are left out without counting as lost.
        const HRESULT hr = ReadStoredProp({node.item, node.set}, CHANGE_PROP_TYPE(tag, wanted),
                                          values.get()[filled], values.get());
        if (SUCCEEDED(hr)) {
            ++filled;
        } else if (hr != MAPI_E_NOT_FOUND) {
            lost = true;
        }
    }
    result = std::move(values);
    *count = filled;
    return lost ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT SetPropsOn(IMAPIProp* destination, ULONG count, LPSPropValue values) {
    if (count == 0) {
        return S_OK;
    }
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = destination->SetProps(count, values, &problems);
    FreeBuffer(problems);
    return hr;
}

HRESULT CopyPropsOf(IMAPIProp* destination, const NodeView& source,
                    const std::vector<ULONG>& skippedIds) {
    BufferPtr<SPropValue> values;
    ULONG count = 0;
    const HRESULT collected = CollectProps(source, skippedIds, values, &count);
    if (FAILED(collected)) {
        return collected;
    }
    const HRESULT hr = SetPropsOn(destination, count, values.get());
    return FAILED(hr) ? hr : collected;
}

HRESULT Message::CopyTo(ULONG excludedInterfaces, LPCIID interfaces, LPSPropTagArray excluded,
                        ULONG_PTR, LPMAPIPROGRESS, LPCIID riid, LPVOID destination, ULONG,
                        LPSPropProblemArray* problems) {
    if (problems != nullptr) {
        *problems = nullptr;
    }
    if (destination == nullptr || (riid != nullptr && !(*riid == IID_IMessage))) {
        return MAPI_E_INVALID_PARAMETER;
    }
    for (ULONG i = 0; interfaces != nullptr && i < excludedInterfaces; ++i) {
        if (interfaces[i] == IID_IMessage) {
            return S_OK;
        }
    }
    return Guarded([&] {
        std::vector<ULONG> excludedIds;
        for (ULONG i = 0; excluded != nullptr && i < excluded->cValues; ++i) {
            excludedIds.push_back(PROP_ID(excluded->aulPropTag[i]));
        }
        Ancestors ancestors;
        uint32_t id = 0;
        if (SUCCEEDED(ItemId(node_->item.get(), id))) {
            ancestors.push_back(id);
        }
        CopyOutcome outcome;
        CopyInto(static_cast<IMessage*>(destination), excludedIds, ancestors, outcome);
        return outcome.Result();
    });
}

void Message::CopyInto(IMessage* destination, const std::vector<ULONG>& excludedIds,
                       Ancestors& ancestors, CopyOutcome& outcome) {
    outcome.Add(CopyPropsOf(destination, node_->view(), excludedIds));
    if (!IsExcluded(excludedIds, PR_MESSAGE_RECIPIENTS)) {
        CopyRecipients(destination, outcome);
    }
    if (IsExcluded(excludedIds, PR_MESSAGE_ATTACHMENTS)) {
        return;
    }
    int count = 0;
    const HRESULT hr = AttachmentCount(node_->item.get(), count);
    if (FAILED(hr)) {
        outcome.Add(hr);
    }
    for (int i = 0; i < count; ++i) {
        outcome.Add(CopyAttachment(destination, static_cast<ULONG>(i), ancestors));
    }
}

void Message::CopyRecipients(IMessage* destination, CopyOutcome& outcome) {
    ItemPtr recipients = RecipientsOf(node_->item.get());
    int count = 0;
    PffError error;
    if (recipients == nullptr ||
        libpff_item_get_number_of_record_sets(recipients.get(), &count, error.get()) != 1 ||
        count <= 0) {
        return;
    }
    const auto n = static_cast<ULONG>(count);
    LPVOID raw = nullptr;
    if (AllocateBuffer(static_cast<ULONG>(CbNewADRLIST(n)), &raw) != S_OK) {
        outcome.Add(MAPI_E_NOT_ENOUGH_MEMORY);
        return;
    }
    std::unique_ptr<ADRLIST, Table::RowSetDeleter> list(static_cast<LPADRLIST>(raw));
    for (ULONG i = 0; i < n; ++i) {
        ADRENTRY& entry = list->aRow[list->cRows];
        BufferPtr<SPropValue> values;
        const HRESULT hr = CollectProps({node_->store.get(), recipients.get(), NodeKind::Recipient,
                                         static_cast<int>(i), i, false},
                                        {PROP_ID(PR_ROWID)}, values, &entry.cValues);
        if (FAILED(hr)) {
            outcome.Add(hr);
            continue;
        }
        // A recipient that lost some of its values is still worth having.
        if (hr != S_OK) {
            outcome.Add(hr);
        }
        entry.lpProps = values.release();
        ++list->cRows;
    }
    if (list->cRows > 0) {
        outcome.Add(destination->ModifyRecipients(MODRECIP_ADD, list.get()));
    }
}

// Copies attachment `index` into a new attachment of `destination`. An attachment that cannot
// be copied whole is removed again rather than left half made.
HRESULT Message::CopyAttachment(IMessage* destination, ULONG index, Ancestors& ancestors) {
    NodePtr source;
    HRESULT hr = AttachmentNode(index, source);
    if (FAILED(hr)) {
        return hr;
    }
    InterfaceRef<IAttach> target;
    ULONG number = 0;
    hr = destination->CreateAttach(nullptr, 0, &number, target.out());
    if (FAILED(hr)) {
        return hr;
    }
    hr = CopyAttachmentContent(target.get(), source, ancestors);
    if (SUCCEEDED(hr)) {
        const HRESULT saved = target->SaveChanges(KEEP_OPEN_READWRITE);
        hr = FAILED(saved) ? saved : hr;
    }
    if (FAILED(hr)) {
        target.reset();
        destination->DeleteAttach(number, 0, nullptr, 0);
    }
    return hr;
}

HRESULT Message::CopyAttachmentContent(IAttach* target, const NodePtr& source,
                                       Ancestors& ancestors) {
    const int type = AttachmentType(source->item.get());
    if (type == LIBPFF_ATTACHMENT_TYPE_ITEM) {
        Message* embedded = nullptr;
        HRESULT hr = NewEmbeddedMessage(source, &embedded);
        if (FAILED(hr)) {
            return hr;
        }
        InterfaceRef<IMessage> sourceMessage;
        *sourceMessage.out() = embedded;
        uint32_t id = 0;
        if (FAILED(ItemId(embedded->node_->item.get(), id)) ||
            std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end() ||
            ancestors.size() > kMaxEmbeddingDepth) {
            return MAPI_E_CORRUPT_DATA;
        }
        const HRESULT propsCopied = CopyPropsOf(target, source->view(), {PROP_ID(PR_ATTACH_NUM)});
        if (FAILED(propsCopied)) {
            return propsCopied;
        }
        InterfaceRef<IUnknown> created;
        hr = target->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_CREATE | MAPI_MODIFY,
                                  created.out());
        if (FAILED(hr)) {
            return hr;
        }
        if (!created) {
            return MAPI_E_CALL_FAILED;
        }
        auto* destination = As<IMessage>(created.get());
        // The exclusions name properties of the message copied, not of the messages inside it.
        CopyOutcome outcome;
        outcome.Add(propsCopied);
        ancestors.push_back(id);
        embedded->CopyInto(destination, {}, ancestors, outcome);
        ancestors.pop_back();
        hr = outcome.Result();
        if (FAILED(hr)) {
            return hr;
        }
        const HRESULT saved = destination->SaveChanges(KEEP_OPEN_READWRITE);
        return FAILED(saved) ? saved : hr;
    }
    if (type != LIBPFF_ATTACHMENT_TYPE_DATA) {
        return CopyPropsOf(target, source->view(), {PROP_ID(PR_ATTACH_NUM)});
    }
    // The data is copied by itself below, in pieces where the target allows it.
    const HRESULT propsCopied =
        CopyPropsOf(target, source->view(), {PROP_ID(PR_ATTACH_NUM), PROP_ID(PR_ATTACH_DATA_BIN)});
    if (FAILED(propsCopied)) {
        return propsCopied;
    }
    const HRESULT hr = CopyAttachmentData(target, *source);
    return FAILED(hr) ? hr : propsCopied;
}

HRESULT Message::CopyAttachmentData(IAttach* target, const Node& source) {
    PffError error;
    size64_t size = 0;
    if (libpff_attachment_get_data_size(source.item.get(), &size, error.get()) != 1) {
        return MAPI_E_CORRUPT_DATA;
    }
    InterfaceRef<IUnknown> stream;
    if (SUCCEEDED(target->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0,
                                       MAPI_CREATE | MAPI_MODIFY, stream.out())) &&
        stream) {
        return StreamAttachmentData(As<IStream>(stream.get()), source, size);
    }
    // A target without streams takes the data as one value.
    if (size >= 0xFFFFFFFFu) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    BufferPtr<SPropValue> value(AllocateRoot<SPropValue>());
    if (value == nullptr) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    value->ulPropTag = PR_ATTACH_DATA_BIN;
    value->Value.bin.lpb = AllocateLinked<BYTE>(value.get(), static_cast<size_t>(size) + 1);
    if (value->Value.bin.lpb == nullptr) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    if (libpff_attachment_data_seek_offset(source.item.get(), 0, SEEK_SET, error.get()) < 0) {
        return MAPI_E_CORRUPT_DATA;
    }
    size64_t done = 0;
    while (done < size) {
        const ssize_t got =
            libpff_attachment_data_read_buffer(source.item.get(), value->Value.bin.lpb + done,
                                               static_cast<size_t>(size - done), error.get());
        if (got <= 0) {
            return MAPI_E_CORRUPT_DATA;
        }
        done += static_cast<size64_t>(got);
    }
    value->Value.bin.cb = static_cast<ULONG>(done);
    return SetPropsOn(target, 1, value.get());
}

HRESULT Message::StreamAttachmentData(IStream* stream, const Node& source, size64_t size) {
    PffError error;
    if (libpff_attachment_data_seek_offset(source.item.get(), 0, SEEK_SET, error.get()) < 0) {
        return MAPI_E_CORRUPT_DATA;
    }
    constexpr size_t kChunk = 64 * 1024;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<size64_t>(size, kChunk)));
    size64_t done = 0;
    while (done < size) {
        const size_t want = static_cast<size_t>(std::min<size64_t>(size - done, kChunk));
        const ssize_t got =
            libpff_attachment_data_read_buffer(source.item.get(), buffer.data(), want, error.get());
        if (got <= 0) {
            return MAPI_E_CORRUPT_DATA;
        }
        ULONG written = 0;
        const HRESULT hr = stream->Write(buffer.data(), static_cast<ULONG>(got), &written);
        if (FAILED(hr)) {
            return hr;
        }
        if (written != static_cast<ULONG>(got)) {
            return MAPI_E_CALL_FAILED;
        }
        done += static_cast<size64_t>(got);
    }
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Store

bool HasMessageClass(libpff_item_t* item) {
    BufferPtr<SPropValue> value(AllocateRoot<SPropValue>());
    return value != nullptr &&
           SUCCEEDED(ReadStoredProp({item, 0}, PR_MESSAGE_CLASS_W, *value, value.get()));
}

HRESULT OpenEntryIn(const std::shared_ptr<StoreContext>& store, ULONG size, LPENTRYID entry,
                    LPCIID riid, ULONG* objectType, LPUNKNOWN* result) {
    if (result == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *result = nullptr;
    ItemPtr item;
    HRESULT hr = S_OK;
    if (size == 0) {
        hr = store->file->RootFolder(item);
    } else if (entry == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    } else {
        const auto* bytes = reinterpret_cast<const BYTE*>(entry);
        if (size != kEntryIdSize ||
            std::memcmp(bytes + 4, store->file->uid().ab, sizeof(MAPIUID)) != 0) {
            return MAPI_E_INVALID_ENTRYID;
        }
        uint32_t id = 0;
        for (int i = 0; i < 4; ++i) {
            id |= static_cast<uint32_t>(bytes[20 + i]) << (8 * i);
        }
        hr = store->file->ItemById(id, item);
    }
    if (FAILED(hr)) {
        return hr;
    }
    uint8_t type = LIBPFF_ITEM_TYPE_UNDEFINED;
    hr = ItemType(item.get(), type);
    if (FAILED(hr)) {
        return hr;
    }
    auto node = std::make_shared<Node>();
    node->store = store;
    node->item = std::move(item);
    node->addressable = true;
    switch (type) {
        case LIBPFF_ITEM_TYPE_FOLDER:
            node->kind = NodeKind::Folder;
            if (objectType != nullptr) {
                *objectType = MAPI_FOLDER;
            }
            return HandOut<IMAPIFolder>(new Folder(node), riid, result);
        case LIBPFF_ITEM_TYPE_ATTACHMENT:
        case LIBPFF_ITEM_TYPE_ATTACHMENTS:
        case LIBPFF_ITEM_TYPE_RECIPIENTS:
        case LIBPFF_ITEM_TYPE_SUB_ASSOCIATED_CONTENTS:
        case LIBPFF_ITEM_TYPE_SUB_FOLDERS:
        case LIBPFF_ITEM_TYPE_SUB_MESSAGES:
            return MAPI_E_NOT_FOUND;
        case LIBPFF_ITEM_TYPE_UNDEFINED:
            // libpff leaves message classes it does not know (free/busy data, for one)
            // undefined; such a node is a message when it has a message class at all.
            if (!HasMessageClass(node->item.get())) {
                return MAPI_E_NOT_FOUND;
            }
            [[fallthrough]];
        default:
            node->kind = NodeKind::Message;
            if (objectType != nullptr) {
                *objectType = MAPI_MESSAGE;
            }
            return HandOut<IMessage>(new Message(node), riid, result);
    }
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

LPMAPITABLE NewTable(std::unique_ptr<RowSource> rows, std::vector<ULONG> columns) {
    return new Table(std::move(rows), std::move(columns));
}

std::unique_ptr<RowSource> MakeFixedRows(std::vector<FixedRow> rows) {
    return std::make_unique<FixedRows>(std::move(rows));
}

HRESULT ReadFixedValue(const FixedValue& value, ULONG tag, SPropValue& out, void* parent) {
    out.ulPropTag = tag;
    const ULONG type = PROP_TYPE(tag);
    if (const auto* number = std::get_if<ULONG>(&value.value)) {
        if (type != PROP_TYPE(value.tag) && type != PT_UNSPECIFIED) {
            return MAPI_E_NOT_FOUND;
        }
        out.ulPropTag = value.tag;
        out.Value.ul = *number;
        return S_OK;
    }
    if (const auto* text = std::get_if<std::string>(&value.value)) {
        if (type == PT_STRING8) {
            out.Value.lpszA = CopyString8(*text, parent);
            return out.Value.lpszA != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        }
        if (type == PT_UNICODE || type == PT_UNSPECIFIED) {
            out.ulPropTag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
            out.Value.lpszW = CopyString16(Utf8ToUtf16(*text), parent);
            return out.Value.lpszW != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        }
        return MAPI_E_NOT_FOUND;
    }
    const auto& bytes = std::get<std::vector<BYTE>>(value.value);
    if (type != PT_BINARY && type != PT_UNSPECIFIED) {
        return MAPI_E_NOT_FOUND;
    }
    out.ulPropTag = CHANGE_PROP_TYPE(tag, PT_BINARY);
    return CopyBinary(bytes, out, parent);
}

HRESULT OpenStore(const std::string& path, std::vector<BYTE> entryId, LPMDB* store) {
    if (store == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *store = nullptr;
    auto context = std::make_shared<StoreContext>();
    HRESULT hr = PffFile::Open(path, context->file);
    if (FAILED(hr)) {
        return hr;
    }
    context->entryId = std::move(entryId);
    *store = new Store(std::move(context));
    return S_OK;
}

}  // namespace mailsift::mapi_provider
