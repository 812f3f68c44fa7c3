#include "outlook/msg/msg_message.h"

#include <algorithm>
#include <cstddef>
#include <new>

#include "mapi/com_object.h"
#include "mapi/guarded.h"
#include "mapi/mapi_tags.h"
#include "outlook/msg/msg_blob_stream.h"

namespace mailsift {

using namespace mapi;

namespace {

// What messages and attachments share: properties set, read back and opened as streams.
template <class Iface>
class PropObject : public ComObject<Iface>, public MsgBlobOwner {
  public:
    explicit PropObject(const MsgBuffers& buffers) : buffers_(buffers) {}

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

    HRESULT SetOne(const SPropValue& value) {
        const ULONG id = PROP_ID(value.ulPropTag);
        if (id == 0 || id >= MIN_NAMED_PROP_ID) return MAPI_E_INVALID_PARAMETER;
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
    MsgPropertyBag props_;
};

class Message;

class Attach final : public PropObject<IAttach> {
  public:
    // `parent` is referenced for as long as the attachment lives.
    Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers);
    Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers,
           const MsgSavedAttachment& saved);
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
    Message(const MsgBuffers& buffers, unsigned depth)
        : PropObject(buffers), depth_(depth), saved_(std::make_shared<MsgSavedMessage>()) {}

    Message(const MsgBuffers& buffers, unsigned depth,
            const std::shared_ptr<const MsgSavedMessage>& saved)
        : PropObject(buffers), depth_(depth), saved_(saved) {
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
            Attach* attach = found->second != nullptr
                                 ? new Attach(this, number, depth_, buffers_, *found->second)
                                 : new Attach(this, number, depth_, buffers_);
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
            auto* attach = new Attach(this, assigned, depth_, buffers_);
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
    static MsgPropertyBag RecipientBag(const ADRENTRY& entry) {
        MsgPropertyBag bag;
        for (ULONG i = 0; entry.lpProps != nullptr && i < entry.cValues; ++i) {
            const ULONG id = PROP_ID(entry.lpProps[i].ulPropTag);
            MsgProperty property;
            if (id != 0 && id < MIN_NAMED_PROP_ID && id != PROP_ID(PR_ROWID) &&
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

Attach::Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers)
    : PropObject(buffers), parent_(parent), number_(number), depth_(depth) {
    parent_->AddRef();
    SetFixed(PR_ATTACH_NUM, number);
}

Attach::Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers,
               const MsgSavedAttachment& saved)
    : Attach(parent, number, depth, buffers) {
    props_ = saved.props;
    SetFixed(PR_ATTACH_NUM, number);
    if (saved.embedded != nullptr) embedded_ = new Message(buffers, depth + 1, saved.embedded);
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
        auto* created = new Message(buffers_, depth_ + 1);
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
        return new Message(buffers, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::shared_ptr<const MsgSavedMessage> SavedMessageOf(IMessage* message) {
    return static_cast<Message*>(message)->saved();
}

}  // namespace mailsift
