#include "mapi-provider/session.h"

#include <cstring>
#include <map>
#include <mutex>
#include <random>

#include "mapi-provider/store.h"
#include "mapi-provider/store_file.h"
#include "mapi-provider/tables.h"
#include "mapi/com_object.h"
#include "mapi/guarded.h"
#include "mapi/utf16.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

// The only message service this library provides: personal folder files.
constexpr const char* kPstServiceName = "MSPST MS";
constexpr ULONG PR_PST_PATH_W = PROP_TAG(PT_UNICODE, PROP_ID(PR_PST_PATH_A));

// Identifies this provider in the store entry identifiers it hands out.
constexpr MAPIUID kProviderUid = {{0x6D, 0x61, 0x69, 0x6C, 0x73, 0x69, 0x66, 0x74, 0x2D, 0x70, 0x73,
                                   0x74, 0x2D, 0x75, 0x69, 0x64}};
constexpr size_t kStoreEntryIdSize = 4 + 2 * sizeof(MAPIUID);

struct Service {
    MAPIUID uid{};
    std::string name;
    std::string displayName;
    std::string path;
    // Opened when the service is configured, and handed to the store: opening a large file
    // reads its whole index, which is not to be done twice.
    std::shared_ptr<StoreFile> file;
};

struct Profile {
    std::vector<Service> services;
};

// Profiles live as long as the process; nothing is written to disk.
struct Registry {
    std::mutex mutex;
    std::map<std::string, Profile> profiles;
    int initializations = 0;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

MAPIUID NewUid() {
    static std::mt19937_64 generator{std::random_device{}()};
    MAPIUID uid{};
    for (size_t i = 0; i < sizeof(uid.ab); i += 8) {
        const uint64_t bits = generator();
        std::memcpy(uid.ab + i, &bits, 8);
    }
    return uid;
}

bool SameUid(const MAPIUID& a, const MAPIUID& b) {
    return std::memcmp(a.ab, b.ab, sizeof(a.ab)) == 0;
}

std::vector<BYTE> UidBytes(const MAPIUID& uid) {
    return std::vector<BYTE>(uid.ab, uid.ab + sizeof(uid.ab));
}

std::vector<BYTE> StoreEntryId(const MAPIUID& service) {
    std::vector<BYTE> entry(kStoreEntryIdSize, 0);
    std::memcpy(entry.data() + 4, kProviderUid.ab, sizeof(MAPIUID));
    std::memcpy(entry.data() + 4 + sizeof(MAPIUID), service.ab, sizeof(MAPIUID));
    return entry;
}

bool IsInitialized() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return registry.initializations > 0;
}

class ServiceAdmin final : public ComObject<IMsgServiceAdmin> {
  public:
    explicit ServiceAdmin(std::string profile) : profile_(std::move(profile)) {}

    HRESULT GetMsgServiceTable(ULONG, LPMAPITABLE* table) override {
        return Guarded([&] {
            if (table == nullptr) {
                return MAPI_E_INVALID_PARAMETER;
            }
            *table = nullptr;
            return WithProfile([&](Profile& profile) {
                std::vector<FixedRow> rows;
                for (const Service& service : profile.services) {
                    rows.push_back({{PR_SERVICE_UID, UidBytes(service.uid)},
                                    {PR_DISPLAY_NAME_A, service.displayName},
                                    {PR_SERVICE_NAME_A, service.name}});
                }
                *table =
                    NewTable(MakeFixedRows(std::move(rows)), {PR_SERVICE_UID, PR_DISPLAY_NAME_A});
                return S_OK;
            });
        });
    }

    HRESULT CreateMsgService(LPCSTR serviceName, LPCSTR displayName, ULONG_PTR, ULONG) override {
        return Guarded([&] {
            if (serviceName == nullptr) {
                return MAPI_E_INVALID_PARAMETER;
            }
            if (std::strcmp(serviceName, kPstServiceName) != 0) {
                return MAPI_E_NOT_FOUND;
            }
            return WithProfile([&](Profile& profile) {
                Service service;
                service.uid = NewUid();
                service.name = serviceName;
                service.displayName = displayName != nullptr ? displayName : "";
                profile.services.push_back(std::move(service));
                return S_OK;
            });
        });
    }

    HRESULT DeleteMsgService(LPMAPIUID uid) override {
        return Guarded([&] {
            if (uid == nullptr) {
                return MAPI_E_INVALID_PARAMETER;
            }
            return WithProfile([&](Profile& profile) {
                auto& services = profile.services;
                const auto before = services.size();
                std::erase_if(services, [uid](const Service& s) { return SameUid(s.uid, *uid); });
                return services.size() != before ? S_OK : MAPI_E_NOT_FOUND;
            });
        });
    }

    HRESULT ConfigureMsgService(LPMAPIUID uid, ULONG_PTR, ULONG, ULONG count,
                                LPSPropValue props) override {
        return Guarded([&] {
            if (uid == nullptr || (count > 0 && props == nullptr)) {
                return MAPI_E_INVALID_PARAMETER;
            }
            std::string path;
            bool havePath = false;
            for (ULONG i = 0; i < count; ++i) {
                if (props[i].ulPropTag == PR_PST_PATH_A && props[i].Value.lpszA != nullptr) {
                    path = props[i].Value.lpszA;
                    havePath = true;
                } else if (props[i].ulPropTag == PR_PST_PATH_W && props[i].Value.lpszW != nullptr) {
                    path = Utf16ToUtf8(std::u16string(props[i].Value.lpszW));
                    havePath = true;
                }
            }
            // The file is checked now, as Outlook's service does, so that a bad path fails here
            // and not at logon.
            std::shared_ptr<StoreFile> file;
            if (havePath) {
                HRESULT hr = StoreFile::Open(path, file);
                if (FAILED(hr)) {
                    return hr;
                }
            }
            return WithProfile([&](Profile& profile) {
                for (Service& service : profile.services) {
                    if (SameUid(service.uid, *uid)) {
                        if (!havePath) {
                            return service.path.empty() ? MAPI_E_UNCONFIGURED : S_OK;
                        }
                        service.path = path;
                        service.displayName = file->displayName();
                        service.file = std::move(file);
                        return S_OK;
                    }
                }
                return MAPI_E_NOT_FOUND;
            });
        });
    }

  private:
    bool Supports(REFIID riid) const override { return riid == IID_IMsgServiceAdmin; }

    // Runs body on this admin's profile with the registry locked; MAPI_E_NOT_FOUND when the
    // profile has been deleted meanwhile.
    template <class Body>
    HRESULT WithProfile(Body&& body) {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        auto it = registry.profiles.find(profile_);
        return it != registry.profiles.end() ? body(it->second) : MAPI_E_NOT_FOUND;
    }

    std::string profile_;
};

class ProfAdmin final : public ComObject<IProfAdmin> {
  public:
    HRESULT CreateProfile(LPCSTR name, LPCSTR, ULONG_PTR, ULONG) override {
        return Guarded([&] {
            if (name == nullptr || *name == '\0') {
                return MAPI_E_INVALID_PARAMETER;
            }
            Registry& registry = TheRegistry();
            std::lock_guard lock(registry.mutex);
            return registry.profiles.try_emplace(name).second ? S_OK : MAPI_E_NO_ACCESS;
        });
    }

    HRESULT DeleteProfile(LPCSTR name, ULONG) override {
        return Guarded([&] {
            if (name == nullptr) {
                return MAPI_E_INVALID_PARAMETER;
            }
            Registry& registry = TheRegistry();
            std::lock_guard lock(registry.mutex);
            return registry.profiles.erase(name) > 0 ? S_OK : MAPI_E_NOT_FOUND;
        });
    }

    HRESULT AdminServices(LPCSTR name, LPCSTR, ULONG_PTR, ULONG, LPSERVICEADMIN* admin) override {
        return Guarded([&] {
            if (name == nullptr || admin == nullptr) {
                return MAPI_E_INVALID_PARAMETER;
            }
            *admin = nullptr;
            Registry& registry = TheRegistry();
            std::lock_guard lock(registry.mutex);
            if (registry.profiles.count(name) == 0) {
                return MAPI_E_NOT_FOUND;
            }
            *admin = new ServiceAdmin(name);
            return S_OK;
        });
    }

  private:
    bool Supports(REFIID riid) const override { return riid == IID_IProfAdmin; }
};

class Session final : public ComObject<IMAPISession> {
  public:
    explicit Session(std::vector<Service> services) : services_(std::move(services)) {}

    HRESULT GetMsgStoresTable(ULONG, LPMAPITABLE* table) override {
        return Guarded([&] {
            if (table == nullptr) {
                return MAPI_E_INVALID_PARAMETER;
            }
            std::vector<FixedRow> rows;
            for (const Service& service : services_) {
                if (!service.path.empty()) {
                    rows.push_back({{PR_ENTRYID, StoreEntryId(service.uid)},
                                    {PR_DISPLAY_NAME_A, service.displayName},
                                    {PR_SERVICE_UID, UidBytes(service.uid)}});
                }
            }
            *table = NewTable(MakeFixedRows(std::move(rows)), {PR_ENTRYID, PR_DISPLAY_NAME_A});
            return S_OK;
        });
    }

    HRESULT OpenMsgStore(ULONG_PTR, ULONG size, LPENTRYID entry, LPCIID riid, ULONG,
                         LPMDB* store) override {
        return Guarded([&] {
            if (store == nullptr) {
                return MAPI_E_INVALID_PARAMETER;
            }
            *store = nullptr;
            if (entry == nullptr || size != kStoreEntryIdSize) {
                return MAPI_E_INVALID_ENTRYID;
            }
            if (riid != nullptr && !(*riid == IID_IMsgStore) && !(*riid == IID_IMAPIProp) &&
                !(*riid == IID_IUnknown)) {
                return MAPI_E_INTERFACE_NOT_SUPPORTED;
            }
            const auto* bytes = reinterpret_cast<const BYTE*>(entry);
            if (std::memcmp(bytes + 4, kProviderUid.ab, sizeof(MAPIUID)) != 0) {
                return MAPI_E_INVALID_ENTRYID;
            }
            MAPIUID uid{};
            std::memcpy(uid.ab, bytes + 4 + sizeof(MAPIUID), sizeof(MAPIUID));
            for (const Service& service : services_) {
                if (SameUid(service.uid, uid) && !service.path.empty()) {
                    return OpenStore(service.file, StoreEntryId(service.uid), store);
                }
            }
            return MAPI_E_NOT_FOUND;
        });
    }

    HRESULT Logoff(ULONG_PTR, ULONG, ULONG) override { return S_OK; }

  private:
    bool Supports(REFIID riid) const override { return riid == IID_IMAPISession; }

    // The profile's services as they were at logon.
    std::vector<Service> services_;
};

}  // namespace

HRESULT Initialize() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    ++registry.initializations;
    return S_OK;
}

void Uninitialize() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    if (registry.initializations > 0) {
        --registry.initializations;
    }
}

HRESULT AdminProfiles(LPPROFADMIN* admin) {
    if (admin == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *admin = nullptr;
    if (!IsInitialized()) {
        return MAPI_E_NOT_INITIALIZED;
    }
    *admin = new ProfAdmin();
    return S_OK;
}

HRESULT LogonEx(LPCSTR profileName, LPMAPISESSION* session) {
    if (session == nullptr) {
        return MAPI_E_INVALID_PARAMETER;
    }
    *session = nullptr;
    if (!IsInitialized()) {
        return MAPI_E_NOT_INITIALIZED;
    }
    if (profileName == nullptr) {
        return MAPI_E_LOGON_FAILED;
    }
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.profiles.find(profileName);
    if (it == registry.profiles.end()) {
        return MAPI_E_LOGON_FAILED;
    }
    *session = new Session(it->second.services);
    return S_OK;
}

}  // namespace mailsift::mapi_provider
