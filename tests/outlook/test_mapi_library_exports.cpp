// A stand-in MAPI library for the loader's tests. MAPIInitialize answers with the library's
// marker, so a test can tell which library its entry points lead to. The decorated names are
// given after linking; the build may leave HrGetOneProp out to make a library that lacks it.
#include "mapi/mapi_entry_points.h"

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

using namespace mapi;

TEST_EXPORT HRESULT MAPIInitialize(LPVOID) {
    return TEST_MAPI_LIBRARY_MARKER;
}
TEST_EXPORT void MAPIUninitialize() {}
TEST_EXPORT HRESULT MAPILogonEx(ULONG_PTR, LPCSTR, LPCSTR, ULONG, LPMAPISESSION* session) {
    *session = nullptr;
    return MAPI_E_NOT_FOUND;
}
TEST_EXPORT SCODE MAPIAllocateBuffer(ULONG, LPVOID* buffer) {
    *buffer = nullptr;
    return MAPI_E_NOT_ENOUGH_MEMORY;
}
TEST_EXPORT SCODE MAPIAllocateMore(ULONG, LPVOID, LPVOID* buffer) {
    *buffer = nullptr;
    return MAPI_E_NOT_ENOUGH_MEMORY;
}
TEST_EXPORT ULONG MAPIFreeBuffer(LPVOID) {
    return 0;
}
TEST_EXPORT HRESULT MAPIAdminProfiles(ULONG, LPPROFADMIN* admin) {
    *admin = nullptr;
    return MAPI_E_NOT_FOUND;
}
TEST_EXPORT LPMALLOC MAPIGetDefaultMalloc_0() {
    return nullptr;
}
TEST_EXPORT HRESULT HrQueryAllRows_24(LPMAPITABLE, LPSPropTagArray, LPSRestriction, LPSSortOrderSet,
                                      LONG, LPSRowSet* rows) {
    *rows = nullptr;
    return MAPI_E_NOT_FOUND;
}
TEST_EXPORT void FreeProws_4(LPSRowSet) {}

#ifdef TEST_MAPI_LIBRARY_LACKS_HR_GET_ONE_PROP
// The renaming tool insists on all four decorated names; a weak reference puts this one into
// the dynamic symbol table without defining it, so dlsym does not find it.
extern "C" HRESULT HrGetOneProp_12(LPMAPIPROP, ULONG, LPSPropValue*) __attribute__((weak));
TEST_EXPORT bool TestMapiLibraryHasHrGetOneProp() {
    return HrGetOneProp_12 != nullptr;
}
#else
TEST_EXPORT HRESULT HrGetOneProp_12(LPMAPIPROP, ULONG, LPSPropValue* value) {
    *value = nullptr;
    return MAPI_E_NOT_FOUND;
}
#endif
