#pragma once
// The provider library loaded once per test program, and a store opened through it with the
// calls the MS Outlook backend makes.
#include <string>

#include "mapi/interface_ref.h"
#include "mapi/mapi_entry_points.h"
#include "mapi/mapi_tags.h"

namespace mailsift::test {

const mapi::MapiEntryPoints& Provider();

// Rows from HrQueryAllRows or QueryRows, freed with FreeProws.
class Rows {
  public:
    Rows() = default;
    Rows(const Rows&) = delete;
    Rows& operator=(const Rows&) = delete;
    ~Rows() { Provider().FreeProws(rows_); }
    mapi::LPSRowSet* out() { return &rows_; }
    mapi::ULONG size() const { return rows_ != nullptr ? rows_->cRows : 0; }
    const mapi::SPropValue& at(mapi::ULONG row, mapi::ULONG column) const {
        return rows_->aRow[row].lpProps[column];
    }

  private:
    mapi::LPSRowSet rows_ = nullptr;
};

std::string ToUtf8(const mapi::WCHAR* text);

// Initializes MAPI, creates a uniquely named profile with one personal-folders service and
// logs on; the destructor undoes all of it.
class ProviderSession {
  public:
    ProviderSession();
    ~ProviderSession();
    ProviderSession(const ProviderSession&) = delete;
    ProviderSession& operator=(const ProviderSession&) = delete;

    // Configures the service for `path`, logs on and opens the store listed under the
    // service's display name. Returns the first failing result.
    mapi::HRESULT Open(const std::string& path);

    const std::string& profile() const { return profile_; }
    const std::string& storeName() const { return storeName_; }
    mapi::IMsgServiceAdmin* services() const { return services_.get(); }
    mapi::IMAPISession* session() const { return session_.get(); }
    mapi::IMsgStore* store() const { return store_.get(); }
    const mapi::MAPIUID& serviceUid() const { return uid_; }

  private:
    std::string profile_;
    std::string storeName_;
    mapi::MAPIUID uid_{};
    mapi::InterfaceRef<mapi::IProfAdmin> admin_;
    mapi::InterfaceRef<mapi::IMsgServiceAdmin> services_;
    mapi::InterfaceRef<mapi::IMAPISession> session_;
    mapi::InterfaceRef<mapi::IMsgStore> store_;
};

// Reads one string property as UTF-8; "" when it is missing.
std::string StringProp(mapi::IMAPIProp* object, mapi::ULONG tag);

}  // namespace mailsift::test
