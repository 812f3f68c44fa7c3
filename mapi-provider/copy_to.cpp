#include "mapi-provider/item_objects.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "mapi-provider/allocator.h"
#include "mapi-provider/name_map.h"
#include "mapi-provider/stored_props.h"
#include "mapi-provider/tables.h"
#include "mapi/guarded.h"
#include "mapi/interface_cast.h"
#include "mapi/interface_ref.h"
#include "mapi/mapi_tags.h"
#include "mapi/property_name.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

// Embedded messages nest. Cycles are caught by identifier; this bounds the chains of a
// damaged file whose identifiers never repeat.
constexpr size_t kMaxEmbeddingDepth = 32;

bool IsExcluded(const std::vector<ULONG>& excludedIds, ULONG tag) {
    return std::find(excludedIds.begin(), excludedIds.end(), PROP_ID(tag)) != excludedIds.end();
}

// Named properties keep their names, not their numbers: each takes the identifier the
// destination has, or makes, for its name. A value whose name is unknown here or refused there
// is left out and counts as lost. Returns the number of values kept, packed at the front.
ULONG RenumberNamed(const NodeView& node, IMAPIProp* destination, SPropValue* values, ULONG count,
                    bool& lost) {
    std::vector<ULONG> named;
    std::vector<PropertyName> names;
    for (ULONG i = 0; i < count; ++i) {
        if (PROP_ID(values[i].ulPropTag) < MIN_NAMED_PROP_ID) continue;
        const PropertyName* name = NamesOf(*node.store).Find(PROP_ID(values[i].ulPropTag));
        if (name == nullptr) {
            values[i].ulPropTag = PT_ERROR;
            lost = true;
            continue;
        }
        named.push_back(i);
        names.push_back(*name);
    }
    if (!named.empty()) {
        std::vector<MAPINAMEID> ids(names.size());
        std::vector<LPMAPINAMEID> pointers;
        for (size_t k = 0; k < names.size(); ++k) {
            ids[k] = NameIdOf(names[k]);
            pointers.push_back(&ids[k]);
        }
        LPSPropTagArray raw = nullptr;
        const HRESULT hr = destination->GetIDsFromNames(static_cast<ULONG>(pointers.size()),
                                                        pointers.data(), MAPI_CREATE, &raw);
        BufferPtr<SPropTagArray> mapped(raw);
        for (size_t k = 0; k < named.size(); ++k) {
            SPropValue& value = values[named[k]];
            const bool given = SUCCEEDED(hr) && mapped != nullptr && k < mapped->cValues &&
                               PROP_TYPE(mapped->aulPropTag[k]) != PT_ERROR &&
                               PROP_ID(mapped->aulPropTag[k]) >= MIN_NAMED_PROP_ID;
            value.ulPropTag =
                given ? CHANGE_PROP_TYPE(mapped->aulPropTag[k], PROP_TYPE(value.ulPropTag))
                      : PT_ERROR;
            lost = lost || !given;
        }
    }
    ULONG kept = 0;
    for (ULONG i = 0; i < count; ++i) {
        if (values[i].ulPropTag != PT_ERROR) values[kept++] = values[i];
    }
    return kept;
}

// The properties of one node as they are to be copied to `destination`, in one buffer of
// their own: every stored property, strings widened so that no text is lost to a code page,
// named ones under the destination's identifiers. Values the file holds but cannot give make
// the result MAPI_W_ERRORS_RETURNED.
HRESULT CollectProps(const NodeView& node, IMAPIProp* destination,
                     const std::vector<ULONG>& skippedIds, BufferPtr<SPropValue>& result,
                     ULONG* count) {
    std::vector<ULONG> tags;
    for (ULONG tag : ListStoredTags({node.store->file.get(), node.item, node.set})) {
        if (PROP_TYPE(tag) != PT_OBJECT && !IsExcluded(skippedIds, tag)) {
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
        const HRESULT hr =
            ReadStoredProp({node.store->file.get(), node.item, node.set},
                           CHANGE_PROP_TYPE(tag, wanted), values.get()[filled], values.get());
        if (SUCCEEDED(hr)) {
            ++filled;
        } else if (hr != MAPI_E_NOT_FOUND) {
            lost = true;
        }
    }
    filled = RenumberNamed(node, destination, values.get(), filled, lost);
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
    const HRESULT collected = CollectProps(source, destination, skippedIds, values, &count);
    if (FAILED(collected)) {
        return collected;
    }
    const HRESULT hr = SetPropsOn(destination, count, values.get());
    return FAILED(hr) ? hr : collected;
}

}  // namespace

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
        Ancestors ancestors{node_->item->data};
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
    if (node_->item->attachmentsDamaged) {
        outcome.Add(MAPI_E_CORRUPT_DATA);
    }
    const size_t count = node_->item->attachments.size();
    for (size_t i = 0; i < count; ++i) {
        outcome.Add(CopyAttachment(destination, static_cast<ULONG>(i), ancestors));
    }
}

void Message::CopyRecipients(IMessage* destination, CopyOutcome& outcome) {
    const SharedItem recipients = RecipientsOf(*node_->store->file, *node_->item);
    if (recipients == nullptr) {
        outcome.Add(MAPI_E_CORRUPT_DATA);
        return;
    }
    if (recipients->records.empty()) {
        return;
    }
    const auto n = static_cast<ULONG>(recipients->records.size());
    LPVOID raw = nullptr;
    if (AllocateBuffer(static_cast<ULONG>(CbNewADRLIST(n)), &raw) != S_OK) {
        outcome.Add(MAPI_E_NOT_ENOUGH_MEMORY);
        return;
    }
    std::unique_ptr<ADRLIST, RowSetDeleter> list(static_cast<LPADRLIST>(raw));
    for (ULONG i = 0; i < n; ++i) {
        ADRENTRY& entry = list->aRow[list->cRows];
        BufferPtr<SPropValue> values;
        const HRESULT hr = CollectProps({node_->store.get(), recipients.get(), NodeKind::Recipient,
                                         static_cast<int>(i), i, false},
                                        destination, {PROP_ID(PR_ROWID)}, values, &entry.cValues);
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
    const AttachmentContent content = ContentOf(*source->item);
    if (content == AttachmentContent::Message) {
        Message* embedded = nullptr;
        HRESULT hr = NewEmbeddedMessage(source, &embedded);
        if (FAILED(hr)) {
            return hr;
        }
        InterfaceRef<IMessage> sourceMessage;
        *sourceMessage.out() = embedded;
        const uint64_t id = embedded->node_->item->data;
        if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end() ||
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
    if (content != AttachmentContent::Data) {
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
    AttachmentData data;
    const HRESULT located = LocateAttachmentData(*source.store->file, *source.item, data);
    if (FAILED(located)) {
        return located;
    }
    const uint64_t size = data.size();
    InterfaceRef<IUnknown> stream;
    if (SUCCEEDED(target->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0,
                                       MAPI_CREATE | MAPI_MODIFY, stream.out())) &&
        stream) {
        return StreamAttachmentData(As<IStream>(stream.get()), source, data);
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
    size_t got = 0;
    const HRESULT hr =
        data.Read(*source.store->file, 0, value->Value.bin.lpb, static_cast<size_t>(size), got);
    if (FAILED(hr) || got != size) {
        return MAPI_E_CORRUPT_DATA;
    }
    value->Value.bin.cb = static_cast<ULONG>(got);
    return SetPropsOn(target, 1, value.get());
}

HRESULT Message::StreamAttachmentData(IStream* stream, const Node& source, AttachmentData& data) {
    constexpr size_t kChunk = 64 * 1024;
    const uint64_t size = data.size();
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size, kChunk)));
    uint64_t done = 0;
    while (done < size) {
        size_t got = 0;
        const HRESULT hr = data.Read(*source.store->file, done, buffer.data(), buffer.size(), got);
        if (FAILED(hr) || got == 0) {
            return MAPI_E_CORRUPT_DATA;
        }
        ULONG written = 0;
        const HRESULT writtenHr = stream->Write(buffer.data(), static_cast<ULONG>(got), &written);
        if (FAILED(writtenHr)) {
            return writtenHr;
        }
        if (written != static_cast<ULONG>(got)) {
            return MAPI_E_CALL_FAILED;
        }
        done += got;
    }
    return S_OK;
}

}  // namespace mailsift::mapi_provider
