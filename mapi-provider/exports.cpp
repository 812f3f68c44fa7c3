// The eleven functions the library exports. Four of them carry the standard-call decoration
// of the Windows library in their names ("HrQueryAllRows@24"); linkers read "@" as a version
// marker, so they are defined here with "_" in its place and renamed in the finished library
// by mapi_export_names.
#include <algorithm>

#include "mapi-provider/allocator.h"
#include "mapi-provider/session.h"
#include "mapi/guarded.h"
#include "mapi/mapi_entry_points.h"
#include "mapi/mapi_tags.h"

using namespace mapi;
namespace provider = mailsift::mapi_provider;

#define MAPI_EXPORT extern "C" __attribute__((visibility("default")))

MAPI_EXPORT HRESULT MAPIInitialize(LPVOID) {
    return Guarded([] { return provider::Initialize(); });
}

MAPI_EXPORT void MAPIUninitialize() {
    Guarded([] {
        provider::Uninitialize();
        return S_OK;
    });
}

MAPI_EXPORT HRESULT MAPILogonEx(ULONG_PTR, LPCSTR profileName, LPCSTR, ULONG,
                                LPMAPISESSION* session) {
    return Guarded([&] { return provider::LogonEx(profileName, session); });
}

MAPI_EXPORT SCODE MAPIAllocateBuffer(ULONG size, LPVOID* buffer) {
    return provider::AllocateBuffer(size, buffer);
}

MAPI_EXPORT SCODE MAPIAllocateMore(ULONG size, LPVOID parent, LPVOID* buffer) {
    return provider::AllocateMore(size, parent, buffer);
}

MAPI_EXPORT ULONG MAPIFreeBuffer(LPVOID buffer) {
    return provider::FreeBuffer(buffer);
}

MAPI_EXPORT HRESULT MAPIAdminProfiles(ULONG, LPPROFADMIN* admin) {
    return Guarded([&] { return provider::AdminProfiles(admin); });
}

MAPI_EXPORT LPMALLOC MAPIGetDefaultMalloc_0() {
    return provider::DefaultMalloc();
}

MAPI_EXPORT void FreeProws_4(LPSRowSet rows) {
    if (rows == nullptr) {
        return;
    }
    for (ULONG i = 0; i < rows->cRows; ++i) {
        provider::FreeBuffer(rows->aRow[i].lpProps);
    }
    provider::FreeBuffer(rows);
}

MAPI_EXPORT HRESULT HrQueryAllRows_24(LPMAPITABLE table, LPSPropTagArray tags,
                                      LPSRestriction restriction, LPSSortOrderSet sortOrder,
                                      LONG maxRows, LPSRowSet* rows) {
    if (table == nullptr || rows == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *rows = nullptr;
    return Guarded([&] {
        // The tables here can neither filter nor sort.
        if (restriction != nullptr || sortOrder != nullptr) {
            return MAPI_E_TOO_COMPLEX;
        }
        HRESULT hr = S_OK;
        if (tags != nullptr) {
            hr = table->SetColumns(tags, TBL_BATCH);
        }
        if (SUCCEEDED(hr)) {
            hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
        }
        ULONG count = 0;
        if (SUCCEEDED(hr)) {
            hr = table->GetRowCount(0, &count);
        }
        if (FAILED(hr)) {
            return hr;
        }
        if (maxRows > 0 && count > static_cast<ULONG>(maxRows)) {
            return MAPI_E_TABLE_TOO_BIG;
        }
        const auto wanted = static_cast<LONG>(std::min<ULONG>(count, 0x7FFFFFFF));
        return table->QueryRows(wanted, 0, rows);
    });
}

MAPI_EXPORT HRESULT HrGetOneProp_12(LPMAPIPROP object, ULONG tag, LPSPropValue* value) {
    if (object == nullptr || value == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *value = nullptr;
    return Guarded([&] {
        SizedSPropTagArray<1> tags{1, {tag}};
        ULONG count = 0;
        LPSPropValue values = nullptr;
        HRESULT hr = object->GetProps(tags.get(), 0, &count, &values);
        if (FAILED(hr)) {
            return hr;
        }
        if (values == nullptr || count != 1) {
            provider::FreeBuffer(values);
            return MAPI_E_CALL_FAILED;
        }
        if (PROP_TYPE(values->ulPropTag) == PT_ERROR) {
            hr = values->Value.err != S_OK ? values->Value.err : MAPI_E_NOT_FOUND;
            provider::FreeBuffer(values);
            return hr;
        }
        *value = values;
        return S_OK;
    });
}
