#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "provider_session.h"

namespace mailsift::test {
namespace {

using namespace mapi;

TEST(MapiProviderLibraryTest, ExportsTheElevenNamesWithTheirDecorations) {
    void* handle = dlopen(MAPI_PROVIDER_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    for (const char* name : kMapiEntryPointNames) {
        EXPECT_NE(dlsym(handle, name), nullptr) << name;
    }
    // The decorated names are the only ones: neither the plain nor the link-time spelling.
    EXPECT_EQ(dlsym(handle, "HrQueryAllRows"), nullptr);
    EXPECT_EQ(dlsym(handle, "HrQueryAllRows_24"), nullptr);
    EXPECT_EQ(dlsym(handle, "MAPIGetDefaultMalloc_0"), nullptr);
    dlclose(handle);
}

TEST(MapiProviderLibraryTest, BufferChainsAreZeroedAndFreedTogether) {
    const MapiEntryPoints& mapi = Provider();
    LPVOID root = nullptr;
    ASSERT_EQ(mapi.MAPIAllocateBuffer(64, &root), S_OK);
    LPVOID more = nullptr;
    ASSERT_EQ(mapi.MAPIAllocateMore(128, root, &more), S_OK);
    // A block added to a linked block joins the same chain.
    LPVOID deeper = nullptr;
    ASSERT_EQ(mapi.MAPIAllocateMore(256, more, &deeper), S_OK);
    EXPECT_EQ(static_cast<unsigned char*>(deeper)[255], 0);
    std::memset(root, 1, 64);
    std::memset(more, 2, 128);
    std::memset(deeper, 3, 256);
    EXPECT_NE(mapi.MAPIAllocateMore(8, nullptr, &more), S_OK);
    // Freeing a linked block alone is ignored; the root frees all three (no leak under ASan).
    EXPECT_EQ(mapi.MAPIFreeBuffer(deeper), 0u);
    EXPECT_EQ(mapi.MAPIFreeBuffer(root), 0u);
    EXPECT_EQ(mapi.MAPIFreeBuffer(nullptr), 0u);
}

TEST(MapiProviderLibraryTest, DefaultMallocKnowsBlockSizes) {
    LPMALLOC malloc = Provider().MAPIGetDefaultMalloc();
    ASSERT_NE(malloc, nullptr);
    void* block = malloc->Alloc(10);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(malloc->GetSize(block), 10u);
    std::memset(block, 7, 10);
    block = malloc->Realloc(block, 1000);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(malloc->GetSize(block), 1000u);
    EXPECT_EQ(static_cast<unsigned char*>(block)[9], 7);
    malloc->Free(block);
    LPVOID same = nullptr;
    EXPECT_EQ(malloc->QueryInterface(IID_IMalloc, &same), S_OK);
    EXPECT_EQ(same, malloc);
}

TEST(MapiProviderLibraryTest, ProfilesNeedInitializationAndExistence) {
    const MapiEntryPoints& mapi = Provider();
    InterfaceRef<IProfAdmin> admin;
    InterfaceRef<IMAPISession> session;
    EXPECT_EQ(mapi.MAPIAdminProfiles(0, admin.out()), MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(mapi.MAPILogonEx(0, "ANY", nullptr, MAPI_EXTENDED, session.out()),
              MAPI_E_NOT_INITIALIZED);

    ASSERT_EQ(mapi.MAPIInitialize(nullptr), S_OK);
    ASSERT_EQ(mapi.MAPIAdminProfiles(0, admin.out()), S_OK);
    EXPECT_EQ(admin->CreateProfile("LIFECYCLE", nullptr, 0, 0), S_OK);
    EXPECT_TRUE(FAILED(admin->CreateProfile("LIFECYCLE", nullptr, 0, 0)));

    InterfaceRef<IMsgServiceAdmin> services;
    EXPECT_TRUE(FAILED(admin->AdminServices("NO SUCH PROFILE", nullptr, 0, 0, services.out())));
    ASSERT_EQ(admin->AdminServices("LIFECYCLE", nullptr, 0, 0, services.out()), S_OK);
    EXPECT_TRUE(FAILED(services->CreateMsgService("MSEMS", "Exchange", 0, 0)));
    ASSERT_EQ(services->CreateMsgService("MSPST MS", "LIFECYCLE", 0, 0), S_OK);
    MAPIUID unknown{};
    SPropValue path{};
    path.ulPropTag = PR_PST_PATH_A;
    char missing[] = "/nonexistent/file.pst";
    path.Value.lpszA = missing;
    EXPECT_EQ(services->ConfigureMsgService(&unknown, 0, 0, 1, &path), MAPI_E_NOT_FOUND);

    // An unconfigured service lists no store.
    ASSERT_EQ(
        mapi.MAPILogonEx(0, "LIFECYCLE", nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION, session.out()),
        S_OK);
    InterfaceRef<IMAPITable> stores;
    ASSERT_EQ(session->GetMsgStoresTable(0, stores.out()), S_OK);
    ULONG count = 99;
    EXPECT_EQ(stores->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 0u);
    InterfaceRef<IMsgStore> store;
    BYTE garbage[36] = {};
    EXPECT_EQ(session->OpenMsgStore(0, sizeof garbage, reinterpret_cast<LPENTRYID>(garbage),
                                    nullptr, MDB_NO_MAIL, store.out()),
              MAPI_E_INVALID_ENTRYID);

    EXPECT_EQ(admin->DeleteProfile("LIFECYCLE", 0), S_OK);
    EXPECT_EQ(admin->DeleteProfile("LIFECYCLE", 0), MAPI_E_NOT_FOUND);
    EXPECT_EQ(mapi.MAPILogonEx(0, "LIFECYCLE", nullptr, MAPI_EXTENDED, session.out()),
              MAPI_E_LOGON_FAILED);
    mapi.MAPIUninitialize();
}

TEST(MapiProviderLibraryTest, ConfiguringAMissingOrForeignFileFails) {
    ProviderSession session;
    EXPECT_EQ(session.Open("/nonexistent/mailsift.pst"), MAPI_E_NOT_FOUND);
    EXPECT_EQ(session.Open(MAPI_PROVIDER_PATH), MAPI_E_CORRUPT_DATA);
}

}  // namespace
}  // namespace mailsift::test
