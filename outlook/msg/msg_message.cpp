#include "outlook/msg/msg_message.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "mapi/com_object.h"
#include "mapi/guarded.h"
#include "mapi/mapi_tags.h"
#include "outlook/msg/msg_blob_stream.h"
#include "outlook/msg/msg_names.h"

namespace mailsift {

using namespace mapi;

namespace {

// What messages and attachments share: properties set, read back and opened as streams.
template <class Iface>
class PropObject : public ComObject<Iface>, public MsgBlobOwner {
  public:
    PropObject(const MsgBuffers& buffers, std::shared_ptr<MsgNameMap> names)
        : buffers_(buffers), names_(std::move(names)) {}

    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        if (count == nullptr || values == nullptr) return MAPI_E_INVALID_PARAMETER;
        *count = 0;
        *values = nullptr;
        return Guarded([&] {
            std::vector<ULONG> wanted;
            if (tags != nullptr) {
                wanted.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
            } else {
                for (const auto& [id, property] : props_) wanted.push_back(property.tag);
            }
            LPVOID root = nullptr;
            const uint64_t size = std::max<uint64_t>(wanted.size(), 1) * sizeof(SPropValue);
            if (size >= kMsgMaxValueSize ||
                buffers_.allocate(static_cast<ULONG>(size), &root) != S_OK) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            auto* array = static_cast<LPSPropValue>(root);
            MsgLinkedBuffers linked(buffers_, root);
            bool missing = false;
            for (size_t i = 0; i < wanted.size(); ++i) {
                array[i] = SPropValue{};
                HRESULT hr = MAPI_E_NOT_FOUND;
                const auto found = props_.find(PROP_ID(wanted[i]));
                if (found != props_.end() &&
                    (PROP_TYPE(wanted[i]) == PT_UNSPECIFIED || found->second.tag == wanted[i])) {
                    hr = FromMsgProperty(found->second, array[i], linked);
                }
                if (FAILED(hr)) {
                    array[i].ulPropTag = CHANGE_PROP_TYPE(wanted[i], PT_ERROR);
                    array[i].Value.err = hr;
                    missing = true;
                }
            }
            *count = static_cast<ULONG>(wanted.size());
            *values = array;
            return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
        });
    }

    HRESULT GetPropList(ULONG, LPSPropTagArray* result) override {
        if (result == nullptr) return MAPI_E_INVALID_PARAMETER;
        *result = nullptr;
        LPVOID root = nullptr;
        const auto count = static_cast<ULONG>(props_.size());
        if (buffers_.allocate(static_cast<ULONG>(CbNewSPropTagArray(count)), &root) != S_OK) {
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        auto* array = static_cast<LPSPropTagArray>(root);
        array->cValues = 0;
        for (const auto& [id, property] : props_) {
            array->aulPropTag[array->cValues++] = property.tag;
        }
        *result = array;
        return S_OK;
    }

    HRESULT SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override {
        if (problems != nullptr) *problems = nullptr;
        if (count > 0 && values == nullptr) return MAPI_E_INVALID_PARAMETER;
        return Guarded([&] {
            std::vector<SPropProblem> found;
            for (ULONG i = 0; i < count; ++i) {
                const HRESULT hr = SetOne(values[i]);
                if (FAILED(hr)) found.push_back({i, values[i].ulPropTag, hr});
            }
            if (!found.empty() && problems != nullptr) *problems = ProblemArray(found);
            return S_OK;
        });
    }

    HRESULT OpenProperty(ULONG tag, LPCIID riid, ULONG, ULONG flags, LPUNKNOWN* result) override {
        if (result == nullptr) return MAPI_E_INVALID_PARAMETER;
        *result = nullptr;
        return Guarded([&] { return Open(tag, riid, flags, result); });
    }

    HRESULT CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                   LPSPropProblemArray* problems) override {
        if (problems != nullptr) *problems = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    HRESULT GetNamesFromIDs(LPSPropTagArray* tags, LPGUID set, ULONG, ULONG* count,
                            LPMAPINAMEID** names) override {
        if (tags == nullptr || count == nullptr || names == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *count = 0;
        *names = nullptr;
        return Guarded([&] { return NamesFromIds(tags, set, count, names); });
    }

    HRESULT GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                            LPSPropTagArray* tags) override {
        if (tags == nullptr || count == 0 || names == nullptr) return MAPI_E_INVALID_PARAMETER;
        *tags = nullptr;
        return Guarded([&] {
            LPVOID root = nullptr;
            if (buffers_.allocate(static_cast<ULONG>(CbNewSPropTagArray(count)), &root) != S_OK) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            auto* array = static_cast<LPSPropTagArray>(root);
            array->cValues = count;
            bool missing = false;
            for (ULONG i = 0; i < count; ++i) {
                PropertyName name;
                const ULONG id = NameFromNameId(names[i], name)
                                     ? names_->IdOf(name, (flags & MAPI_CREATE) != 0)
                                     : 0;
                array->aulPropTag[i] = id != 0 ? PROP_TAG(PT_UNSPECIFIED, id) : PT_ERROR;
                missing = missing || id == 0;
            }
            *tags = array;
            return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
        });
    }

    void ReplaceBlob(ULONG id, const std::shared_ptr<MsgBlob>& current,
                     const std::shared_ptr<MsgBlob>& replacement) override {
        const auto found = props_.find(id);
        if (found != props_.end() && found->second.blob == current) {
            found->second.blob = replacement;
        }
    }

  protected:
    // Properties the object sets itself and the caller cannot.
    virtual bool IsComputed(ULONG) const { return false; }
    // Called before the property `id` takes a value of its own.
    virtual void Replacing(ULONG) {}

    virtual HRESULT Open(ULONG tag, LPCIID riid, ULONG flags, LPUNKNOWN* result) {
        if (PROP_TYPE(tag) != PT_BINARY) return MAPI_E_NO_SUPPORT;
        if (riid == nullptr || !(*riid == IID_IStream)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
        const ULONG id = PROP_ID(tag);
        std::shared_ptr<MsgBlob> blob;
        if ((flags & MAPI_CREATE) != 0) {
            if (IsComputed(id)) return MAPI_E_NO_ACCESS;
            Replacing(id);
            blob = std::make_shared<MsgBlob>();
            MsgProperty& property = props_[id];
            property = MsgProperty{};
            property.tag = tag;
            property.blob = blob;
        } else {
            const auto found = props_.find(id);
            if (found == props_.end() || found->second.tag != tag) return MAPI_E_NOT_FOUND;
            blob = found->second.blob;
        }
        *result = NewMsgBlobStream(this, this, id, std::move(blob),
                                   (flags & (MAPI_CREATE | MAPI_MODIFY)) != 0);
        return S_OK;
    }

    // Named properties are kept only under identifiers that name something.
    bool Settable(ULONG id) const {
        return id != 0 && (id < MIN_NAMED_PROP_ID || names_->Find(id) != nullptr);
    }

    HRESULT SetOne(const SPropValue& value) {
        const ULONG id = PROP_ID(value.ulPropTag);
        if (!Settable(id)) return MAPI_E_INVALID_PARAMETER;
        if (IsComputed(id)) return MAPI_E_NO_ACCESS;
        MsgProperty property;
        const HRESULT hr = ToMsgProperty(value, property);
        if (hr != S_OK) return hr;
        Replacing(id);
        props_[id] = std::move(property);
        return S_OK;
    }

    LPSPropProblemArray ProblemArray(const std::vector<SPropProblem>& found) {
        LPVOID root = nullptr;
        const size_t size =
            offsetof(SPropProblemArray, aProblem) + sizeof(SPropProblem) * found.size();
        if (size >= kMsgMaxValueSize ||
            buffers_.allocate(static_cast<ULONG>(size), &root) != S_OK) {
            return nullptr;
        }
        auto* array = static_cast<LPSPropProblemArray>(root);
        array->cProblem = static_cast<ULONG>(found.size());
        std::copy(found.begin(), found.end(), array->aProblem);
        return array;
    }

    void SetFixed(ULONG tag, uint64_t value) {
        MsgProperty& property = props_[PROP_ID(tag)];
        property = MsgProperty{};
        property.tag = tag;
        property.fixed = value;
    }

    MsgBuffers buffers_;
    std::shared_ptr<MsgNameMap> names_;
    MsgPropertyBag props_;

  private:
    // Either the tags asked for or, when none are, every name (of `set` when one is given).
    HRESULT NamesFromIds(LPSPropTagArray* tags, LPGUID set, ULONG* count, LPMAPINAMEID** names) {
        std::vector<ULONG> ids;
        if (*tags != nullptr) {
            ids.assign((*tags)->aulPropTag, (*tags)->aulPropTag + (*tags)->cValues);
        } else {
            for (size_t i = 0; i < names_->names().size(); ++i) {
                if (set == nullptr || names_->names()[i].set == *set) {
                    ids.push_back(
                        PROP_TAG(PT_UNSPECIFIED, MIN_NAMED_PROP_ID + static_cast<ULONG>(i)));
                }
            }
        }
        LPVOID root = nullptr;
        if (buffers_.allocate(
                static_cast<ULONG>(std::max<size_t>(ids.size(), 1) * sizeof(LPMAPINAMEID)),
                &root) != S_OK) {
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        auto* array = static_cast<LPMAPINAMEID*>(root);
        MsgLinkedBuffers linked(buffers_, root);
        // The tags listed are a buffer of their own, which the caller frees apart.
        LPVOID listed = nullptr;
        if (*tags == nullptr) {
            if (buffers_.allocate(
                    static_cast<ULONG>(CbNewSPropTagArray(static_cast<ULONG>(ids.size()))),
                    &listed) != S_OK) {
                buffers_.free(root);
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            auto* listedTags = static_cast<LPSPropTagArray>(listed);
            listedTags->cValues = static_cast<ULONG>(ids.size());
            std::copy(ids.begin(), ids.end(), listedTags->aulPropTag);
        }
        bool missing = false;
        for (size_t i = 0; i < ids.size(); ++i) {
            const PropertyName* name = names_->Find(PROP_ID(ids[i]));
            array[i] = name != nullptr ? CopyName(*name, linked) : nullptr;
            if (name != nullptr && array[i] == nullptr) {
                buffers_.free(root);
                if (listed != nullptr) buffers_.free(listed);
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            missing = missing || name == nullptr;
        }
        *count = static_cast<ULONG>(ids.size());
        *names = array;
        if (listed != nullptr) *tags = static_cast<LPSPropTagArray>(listed);
        return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
    }

    static LPMAPINAMEID CopyName(const PropertyName& name, MsgLinkedBuffers& linked) {
        auto* copy = static_cast<LPMAPINAMEID>(linked.Get(sizeof(MAPINAMEID)));
        auto* set = static_cast<GUID*>(linked.Get(sizeof(GUID)));
        if (copy == nullptr || set == nullptr) return nullptr;
        *set = name.set;
        copy->lpguid = set;
        copy->ulKind = name.byString ? MNID_STRING : MNID_ID;
        if (!name.byString) {
            copy->Kind.lID = name.number;
            return copy;
        }
        const size_t bytes = (name.text.size() + 1) * sizeof(char16_t);
        auto* text = static_cast<char16_t*>(linked.Get(bytes));
        if (text == nullptr) return nullptr;
        std::memcpy(text, name.text.c_str(), bytes);
        copy->Kind.lpwstrName = text;
        return copy;
    }
};

class Message;

class Attach final : public PropObject<IAttach> {
  public:
    // `parent` is referenced for as long as the attachment lives.
    Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers,
           std::shared_ptr<MsgNameMap> names);
    Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers,
           std::shared_ptr<MsgNameMap> names, const MsgSavedAttachment& saved);
    ~Attach() override;

    HRESULT SaveChanges(ULONG flags) override;

  protected:
    bool IsComputed(ULONG id) const override { return id == PROP_ID(PR_ATTACH_NUM); }
    // A data value and an embedded message share the identifier: the newer one wins.
    void Replacing(ULONG id) override;
    HRESULT Open(ULONG tag, LPCIID riid, ULONG flags, LPUNKNOWN* result) override;

  private:
    bool Supports(REFIID riid) const override {
        return riid == IID_IMAPIProp || riid == IID_IAttachment;
    }

    Message* parent_;
    ULONG number_;
    unsigned depth_;
    Message* embedded_ = nullptr;
};

class Message final : public PropObject<IMessage> {
  public:
    // An embedded message shares the names of the message it is in.
    Message(const MsgBuffers& buffers, std::shared_ptr<MsgNameMap> names, unsigned depth)
        : PropObject(buffers, std::move(names)),
          depth_(depth),
          saved_(std::make_shared<MsgSavedMessage>()) {}

    Message(const MsgBuffers& buffers, std::shared_ptr<MsgNameMap> names, unsigned depth,
            const std::shared_ptr<const MsgSavedMessage>& saved)
        : PropObject(buffers, std::move(names)), depth_(depth), saved_(saved) {
        props_ = saved->props;
        recipients_ = saved->recipients;
        for (const MsgPropertyBag& recipient : recipients_) {
            const auto rowId = recipient.find(PROP_ID(PR_ROWID));
            if (rowId != recipient.end() && rowId->second.fixed >= nextRowId_) {
                nextRowId_ = static_cast<ULONG>(rowId->second.fixed + 1);
            }
        }
        for (const auto& attachment : saved->attachments) {
            slots_[nextAttachNum_++] = attachment;
        }
    }

    std::shared_ptr<const MsgSavedMessage> saved() const { return saved_; }

    HRESULT SaveChanges(ULONG) override {
        return Guarded([&] {
            auto saved = std::make_shared<MsgSavedMessage>();
            saved->props = MsgSnapshot(props_);
            if (depth_ == 0) saved->names = names_->names();
            for (const MsgPropertyBag& recipient : recipients_) {
                saved->recipients.push_back(MsgSnapshot(recipient));
            }
            for (const auto& [number, attachment] : slots_) {
                if (attachment != nullptr) saved->attachments.push_back(attachment);
            }
            saved_ = std::move(saved);
            return S_OK;
        });
    }

    HRESULT GetAttachmentTable(ULONG, LPMAPITABLE* table) override {
        if (table != nullptr) *table = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    HRESULT GetRecipientTable(ULONG, LPMAPITABLE* table) override {
        if (table != nullptr) *table = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    HRESULT OpenAttach(ULONG number, LPCIID riid, ULONG, LPATTACH* result) override {
        if (result == nullptr) return MAPI_E_INVALID_PARAMETER;
        *result = nullptr;
        return Guarded([&] {
            const auto found = slots_.find(number);
            if (found == slots_.end()) return MAPI_E_NOT_FOUND;
            Attach* attach =
                found->second != nullptr
                    ? new Attach(this, number, depth_, buffers_, names_, *found->second)
                    : new Attach(this, number, depth_, buffers_, names_);
            return HandOut<IAttach>(attach, riid, result);
        });
    }

    HRESULT CreateAttach(LPCIID riid, ULONG, ULONG* number, LPATTACH* result) override {
        if (result == nullptr) return MAPI_E_INVALID_PARAMETER;
        *result = nullptr;
        if (slots_.size() >= kMsgMaxRows || nextAttachNum_ == 0xFFFFFFFFu) {
            return MAPI_E_TABLE_TOO_BIG;
        }
        return Guarded([&] {
            const ULONG assigned = nextAttachNum_;
            auto* attach = new Attach(this, assigned, depth_, buffers_, names_);
            slots_[assigned] = nullptr;
            ++nextAttachNum_;
            if (number != nullptr) *number = assigned;
            return HandOut<IAttach>(attach, riid, result);
        });
    }

    HRESULT DeleteAttach(ULONG number, ULONG_PTR, LPMAPIPROGRESS, ULONG) override {
        return slots_.erase(number) > 0 ? S_OK : MAPI_E_NOT_FOUND;
    }

    HRESULT ModifyRecipients(ULONG flags, LPADRLIST list) override {
        if (list == nullptr) return MAPI_E_INVALID_PARAMETER;
        return Guarded([&] { return Modify(flags, *list); });
    }

    // Keeps what an attachment saved, unless the attachment was deleted meanwhile.
    HRESULT StoreAttachment(ULONG number, std::shared_ptr<const MsgSavedAttachment> saved) {
        const auto found = slots_.find(number);
        if (found == slots_.end()) return MAPI_E_INVALID_OBJECT;
        found->second = std::move(saved);
        return S_OK;
    }

  private:
    bool Supports(REFIID riid) const override {
        return riid == IID_IMAPIProp || riid == IID_IMessage;
    }

    // A recipient's properties as given; values that cannot be kept are left out, as
    // SetProps leaves them out.
    MsgPropertyBag RecipientBag(const ADRENTRY& entry) const {
        MsgPropertyBag bag;
        for (ULONG i = 0; entry.lpProps != nullptr && i < entry.cValues; ++i) {
            const ULONG id = PROP_ID(entry.lpProps[i].ulPropTag);
            MsgProperty property;
            if (Settable(id) && id != PROP_ID(PR_ROWID) &&
                ToMsgProperty(entry.lpProps[i], property) == S_OK) {
                bag[id] = std::move(property);
            }
        }
        return bag;
    }

    static bool RowIdOf(const ADRENTRY& entry, ULONG& rowId) {
        for (ULONG i = 0; entry.lpProps != nullptr && i < entry.cValues; ++i) {
            if (entry.lpProps[i].ulPropTag == PR_ROWID) {
                rowId = entry.lpProps[i].Value.ul;
                return true;
            }
        }
        return false;
    }

    std::vector<MsgPropertyBag>::iterator FindRow(ULONG rowId) {
        return std::find_if(recipients_.begin(), recipients_.end(), [rowId](const auto& bag) {
            const auto found = bag.find(PROP_ID(PR_ROWID));
            return found != bag.end() && found->second.fixed == rowId;
        });
    }

    HRESULT Modify(ULONG flags, const ADRLIST& list) {
        const bool adding = flags == 0 || (flags & MODRECIP_ADD) != 0;
        if (adding) {
            const size_t kept = flags == 0 ? 0 : recipients_.size();
            // Past the limit the first recipients are kept rather than none at all.
            const auto taken = static_cast<ULONG>(std::min<size_t>(list.cRows, kMsgMaxRows - kept));
            if (flags == 0) recipients_.clear();
            for (ULONG i = 0; i < taken; ++i) {
                MsgPropertyBag bag = RecipientBag(list.aRow[i]);
                MsgProperty& rowId = bag[PROP_ID(PR_ROWID)];
                rowId.tag = PR_ROWID;
                rowId.fixed = nextRowId_++;
                recipients_.push_back(std::move(bag));
            }
            return taken < list.cRows ? MAPI_W_ERRORS_RETURNED : S_OK;
        }
        if ((flags & (MODRECIP_MODIFY | MODRECIP_REMOVE)) == 0) return MAPI_E_INVALID_PARAMETER;
        for (ULONG i = 0; i < list.cRows; ++i) {
            ULONG rowId = 0;
            if (!RowIdOf(list.aRow[i], rowId)) return MAPI_E_INVALID_PARAMETER;
            const auto row = FindRow(rowId);
            if (row == recipients_.end()) return MAPI_E_NOT_FOUND;
            if ((flags & MODRECIP_REMOVE) != 0) {
                recipients_.erase(row);
                continue;
            }
            MsgPropertyBag bag = RecipientBag(list.aRow[i]);
            bag[PROP_ID(PR_ROWID)] = (*row)[PROP_ID(PR_ROWID)];
            *row = std::move(bag);
        }
        return S_OK;
    }

    unsigned depth_;
    std::shared_ptr<const MsgSavedMessage> saved_;
    std::vector<MsgPropertyBag> recipients_;
    ULONG nextRowId_ = 0;
    // Attachments by number; null until the attachment saves for the first time.
    std::map<ULONG, std::shared_ptr<const MsgSavedAttachment>> slots_;
    ULONG nextAttachNum_ = 0;
};

Attach::Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers,
               std::shared_ptr<MsgNameMap> names)
    : PropObject(buffers, std::move(names)), parent_(parent), number_(number), depth_(depth) {
    parent_->AddRef();
    SetFixed(PR_ATTACH_NUM, number);
}

Attach::Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers,
               std::shared_ptr<MsgNameMap> names, const MsgSavedAttachment& saved)
    : Attach(parent, number, depth, buffers, std::move(names)) {
    props_ = saved.props;
    SetFixed(PR_ATTACH_NUM, number);
    if (saved.embedded != nullptr) {
        embedded_ = new Message(buffers, names_, depth + 1, saved.embedded);
    }
}

Attach::~Attach() {
    if (embedded_ != nullptr) embedded_->Release();
    parent_->Release();
}

HRESULT Attach::SaveChanges(ULONG) {
    return Guarded([&] {
        auto saved = std::make_shared<MsgSavedAttachment>();
        saved->props = MsgSnapshot(props_);
        if (embedded_ != nullptr) saved->embedded = embedded_->saved();
        return parent_->StoreAttachment(number_, std::move(saved));
    });
}

void Attach::Replacing(ULONG id) {
    if (id == PROP_ID(PR_ATTACH_DATA_OBJ) && embedded_ != nullptr) {
        embedded_->Release();
        embedded_ = nullptr;
    }
}

HRESULT Attach::Open(ULONG tag, LPCIID riid, ULONG flags, LPUNKNOWN* result) {
    if (tag != PR_ATTACH_DATA_OBJ) return PropObject::Open(tag, riid, flags, result);
    if (riid == nullptr || !(*riid == IID_IMessage)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    if ((flags & MAPI_CREATE) != 0) {
        if (depth_ + 1 > kMsgMaxEmbeddingDepth) return MAPI_E_TOO_COMPLEX;
        auto* created = new Message(buffers_, names_, depth_ + 1);
        Replacing(PROP_ID(tag));
        props_.erase(PROP_ID(tag));
        embedded_ = created;
    } else if (embedded_ == nullptr) {
        return MAPI_E_NOT_FOUND;
    }
    embedded_->AddRef();
    *result = static_cast<IMessage*>(embedded_);
    return S_OK;
}

}  // namespace

IMessage* NewMsgMessage(const MsgBuffers& buffers) {
    try {
        return new Message(buffers, std::make_shared<MsgNameMap>(), 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::shared_ptr<const MsgSavedMessage> SavedMessageOf(IMessage* message) {
    return static_cast<Message*>(message)->saved();
}

}  // namespace mailsift
