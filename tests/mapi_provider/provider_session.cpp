#include "provider_session.h"

#include <gtest/gtest.h>

#include <cstring>

#include "mapi-provider/provider_loader.h"
#include "mapi/utf16.h"

namespace mailsift::test {

using namespace mapi;

const MapiEntryPoints& Provider() {
    static const MapiEntryPoints entries = [] {
        MapiEntryPoints loaded;
        std::string error;
        if (!mapi_provider::LoadMapiLibrary(MAPI_PROVIDER_PATH, loaded, error)) {
            ADD_FAILURE() << error;
        }
        return loaded;
    }();
    return entries;
}

std::string ToUtf8(const WCHAR* text) {
    return text != nullptr ? Utf16ToUtf8(std::u16string(text)) : std::string();
}

ProviderSession::ProviderSession() {
    static int counter = 0;
    profile_ = "TESTPROFILE" + std::to_string(++counter);
    Provider().MAPIInitialize(nullptr);
    if (FAILED(Provider().MAPIAdminProfiles(0, admin_.out())) ||
        FAILED(admin_->CreateProfile(profile_.c_str(), nullptr, 0, 0)) ||
        FAILED(admin_->AdminServices(profile_.c_str(), nullptr, 0, 0, services_.out())) ||
        FAILED(services_->CreateMsgService("MSPST MS", profile_.c_str(), 0, SERVICE_UI_ALLOWED))) {
        ADD_FAILURE() << "cannot set up profile " << profile_;
    }
}

ProviderSession::~ProviderSession() {
    store_.reset();
    session_.reset();
    services_.reset();
    if (admin_.get() != nullptr) {
        admin_->DeleteProfile(profile_.c_str(), 0);
    }
    admin_.reset();
    Provider().MAPIUninitialize();
}

HRESULT ProviderSession::Open(const std::string& path) {
    InterfaceRef<IMAPITable> table;
    HRESULT hr = services_->GetMsgServiceTable(0, table.out());
    if (FAILED(hr)) {
        return hr;
    }
    SizedSPropTagArray<2> columns{2, {PR_SERVICE_UID, PR_DISPLAY_NAME_A}};
    {
        Rows rows;
        hr = Provider().HrQueryAllRows(table.get(), columns.get(), nullptr, nullptr, 0, rows.out());
        if (FAILED(hr) || rows.size() == 0 || rows.at(0, 0).ulPropTag != PR_SERVICE_UID ||
            rows.at(0, 0).Value.bin.cb != sizeof(MAPIUID)) {
            return FAILED(hr) ? hr : MAPI_E_NOT_FOUND;
        }
        std::memcpy(uid_.ab, rows.at(0, 0).Value.bin.lpb, sizeof(MAPIUID));
    }
    std::string pathCopy = path;
    SPropValue value{};
    value.ulPropTag = PR_PST_PATH_A;
    value.Value.lpszA = pathCopy.data();
    hr = services_->ConfigureMsgService(&uid_, 0, SERVICE_UI_ALLOWED, 1, &value);
    if (FAILED(hr)) {
        return hr;
    }
    hr = services_->GetMsgServiceTable(0, table.out());
    std::string serviceName;
    if (SUCCEEDED(hr)) {
        Rows rows;
        hr = Provider().HrQueryAllRows(table.get(), columns.get(), nullptr, nullptr, 0, rows.out());
        if (SUCCEEDED(hr) && rows.size() > 0 && rows.at(0, 1).ulPropTag == PR_DISPLAY_NAME_A) {
            serviceName = rows.at(0, 1).Value.lpszA;
        }
    }
    hr = Provider().MAPILogonEx(0, profile_.c_str(), nullptr,
                                MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL, session_.out());
    if (FAILED(hr)) {
        return hr;
    }
    hr = session_->GetMsgStoresTable(0, table.out());
    if (FAILED(hr)) {
        return hr;
    }
    SizedSPropTagArray<2> storeColumns{2, {PR_ENTRYID, PR_DISPLAY_NAME_A}};
    Rows stores;
    hr = Provider().HrQueryAllRows(table.get(), storeColumns.get(), nullptr, nullptr, 0,
                                   stores.out());
    if (FAILED(hr)) {
        return hr;
    }
    for (ULONG i = 0; i < stores.size(); ++i) {
        if (stores.at(i, 1).ulPropTag == PR_DISPLAY_NAME_A &&
            serviceName == stores.at(i, 1).Value.lpszA) {
            const SBinary& entry = stores.at(i, 0).Value.bin;
            hr = session_->OpenMsgStore(0, entry.cb, reinterpret_cast<LPENTRYID>(entry.lpb),
                                        nullptr, MDB_NO_MAIL, store_.out());
            if (SUCCEEDED(hr)) {
                storeName_ = serviceName;
                return S_OK;
            }
        }
    }
    return MAPI_E_NOT_FOUND;
}

std::string StringProp(IMAPIProp* object, ULONG tag) {
    LPSPropValue value = nullptr;
    std::string text;
    if (SUCCEEDED(Provider().HrGetOneProp(object, tag, &value))) {
        text = PROP_TYPE(tag) == PT_UNICODE ? ToUtf8(value->Value.lpszW) : value->Value.lpszA;
    }
    Provider().MAPIFreeBuffer(value);
    return text;
}

}  // namespace mailsift::test
