#include "fake_message.h"

#include <algorithm>

#include "mapi/mapi_tags.h"
#include "mapi/property_name.h"
#include "mapi/utf16.h"
#include "tests/mapi_provider/provider_session.h"

namespace mailsift::test {

using namespace mapi;

namespace {

CopiedProp Detach(const SPropValue& value) {
    CopiedProp copy;
    copy.tag = value.ulPropTag;
    switch (PROP_TYPE(value.ulPropTag)) {
        case PT_UNICODE:
            copy.text = Utf16ToUtf8(std::u16string(value.Value.lpszW));
            break;
        case PT_STRING8:
            copy.text = value.Value.lpszA;
            break;
        case PT_BINARY:
            copy.bytes.assign(value.Value.bin.lpb, value.Value.bin.lpb + value.Value.bin.cb);
            break;
        case PT_LONG:
            copy.number = value.Value.l;
            break;
        case PT_BOOLEAN:
            copy.number = value.Value.b;
            break;
        case PT_SYSTIME:
            copy.number =
                static_cast<int64_t>((static_cast<uint64_t>(value.Value.ft.dwHighDateTime) << 32) |
                                     value.Value.ft.dwLowDateTime);
            break;
        default:
            break;
    }
    return copy;
}

void Record(CopiedProps& props, ULONG count, LPSPropValue values) {
    for (ULONG i = 0; i < count; ++i) {
        props.push_back(Detach(values[i]));
    }
}

// Answers with a tag array from the provider's allocator, which the caller frees.
HRESULT NumberNames(std::vector<PropertyName>& names, ULONG count, LPMAPINAMEID* given,
                    LPSPropTagArray* tags) {
    LPVOID raw = nullptr;
    if (Provider().MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(count)), &raw) !=
        S_OK) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    auto* array = static_cast<LPSPropTagArray>(raw);
    array->cValues = count;
    for (ULONG i = 0; i < count; ++i) {
        PropertyName name;
        if (!NameFromNameId(given[i], name)) {
            array->aulPropTag[i] = PT_ERROR;
            continue;
        }
        auto found = std::find(names.begin(), names.end(), name);
        if (found == names.end()) found = names.insert(names.end(), name);
        array->aulPropTag[i] =
            PROP_TAG(PT_UNSPECIFIED, MIN_NAMED_PROP_ID + static_cast<ULONG>(found - names.begin()));
    }
    *tags = array;
    return S_OK;
}

}  // namespace

const CopiedProp* FindProp(const CopiedProps& props, ULONG tag) {
    for (const CopiedProp& prop : props) {
        if (prop.tag == tag) {
            return &prop;
        }
    }
    return nullptr;
}

HRESULT FakeStream::QueryInterface(REFIID, LPVOID*) {
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
}
HRESULT FakeStream::Read(void*, ULONG, ULONG* read) {
    if (read != nullptr) {
        *read = 0;
    }
    return STG_E_ACCESSDENIED;
}
HRESULT FakeStream::Write(const void* bytes, ULONG count, ULONG* written) {
    const auto* first = static_cast<const uint8_t*>(bytes);
    data_.insert(data_.end(), first, first + count);
    largestWrite = std::max<size_t>(largestWrite, count);
    if (written != nullptr) {
        *written = count;
    }
    return S_OK;
}
HRESULT FakeStream::Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT FakeAttach::QueryInterface(REFIID, LPVOID*) {
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
}
HRESULT FakeAttach::SaveChanges(ULONG) {
    ++saves;
    return S_OK;
}
HRESULT FakeAttach::GetProps(LPSPropTagArray, ULONG, ULONG*, LPSPropValue*) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeAttach::GetPropList(ULONG, LPSPropTagArray*) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeAttach::OpenProperty(ULONG tag, LPCIID riid, ULONG, ULONG flags, LPUNKNOWN* out) {
    if (tag == PR_ATTACH_DATA_BIN && offersStreams && riid != nullptr && *riid == IID_IStream &&
        (flags & MAPI_CREATE) != 0) {
        stream = std::make_unique<FakeStream>(streamed);
        stream->AddRef();
        *out = stream.get();
        return S_OK;
    }
    if (tag != PR_ATTACH_DATA_OBJ || riid == nullptr || !(*riid == IID_IMessage) ||
        (flags & MAPI_CREATE) == 0) {
        return MAPI_E_NO_SUPPORT;
    }
    embedded = std::make_unique<FakeMessage>();
    embedded->AddRef();
    *out = embedded.get();
    return S_OK;
}
HRESULT FakeAttach::SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) {
    Record(props, count, values);
    if (problems != nullptr) {
        *problems = nullptr;
    }
    return S_OK;
}
HRESULT FakeAttach::CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID,
                           LPVOID, ULONG, LPSPropProblemArray*) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeAttach::GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeAttach::GetIDsFromNames(ULONG count, LPMAPINAMEID* given, ULONG,
                                    LPSPropTagArray* tags) {
    return NumberNames(names, count, given, tags);
}

HRESULT FakeMessage::QueryInterface(REFIID, LPVOID*) {
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
}
HRESULT FakeMessage::SaveChanges(ULONG) {
    ++saves;
    return S_OK;
}
HRESULT FakeMessage::GetProps(LPSPropTagArray, ULONG, ULONG*, LPSPropValue*) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeMessage::GetPropList(ULONG, LPSPropTagArray*) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeMessage::OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeMessage::SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) {
    Record(props, count, values);
    if (problems != nullptr) {
        *problems = nullptr;
    }
    return S_OK;
}
HRESULT FakeMessage::CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID,
                            LPVOID, ULONG, LPSPropProblemArray*) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeMessage::GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeMessage::GetIDsFromNames(ULONG count, LPMAPINAMEID* given, ULONG,
                                     LPSPropTagArray* tags) {
    return NumberNames(names, count, given, tags);
}
HRESULT FakeMessage::GetAttachmentTable(ULONG, LPMAPITABLE*) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeMessage::OpenAttach(ULONG, LPCIID, ULONG, LPATTACH*) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeMessage::CreateAttach(LPCIID, ULONG, ULONG* number, LPATTACH* attach) {
    attachments.push_back(std::make_unique<FakeAttach>());
    attachments.back()->AddRef();
    attachments.back()->offersStreams = attachmentsOfferStreams;
    attachments.back()->number = nextAttachNumber++;
    *number = attachments.back()->number;
    *attach = attachments.back().get();
    return S_OK;
}
HRESULT FakeMessage::DeleteAttach(ULONG number, ULONG_PTR, LPMAPIPROGRESS, ULONG) {
    const auto erased = std::erase_if(attachments, [number](const std::unique_ptr<FakeAttach>& a) {
        return a->number == number;
    });
    return erased > 0 ? S_OK : MAPI_E_NOT_FOUND;
}
HRESULT FakeMessage::GetRecipientTable(ULONG, LPMAPITABLE*) {
    return MAPI_E_NO_SUPPORT;
}
HRESULT FakeMessage::ModifyRecipients(ULONG flags, LPADRLIST list) {
    if (flags != MODRECIP_ADD) {
        return MAPI_E_NO_SUPPORT;
    }
    for (ULONG i = 0; i < list->cRows; ++i) {
        recipients.emplace_back();
        Record(recipients.back(), list->aRow[i].cValues, list->aRow[i].lpProps);
    }
    return S_OK;
}

}  // namespace mailsift::test
