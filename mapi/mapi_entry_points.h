#pragma once
// The eleven functions of the MAPI library that the program resolves at run time, with the
// export names it looks them up by (the last four carry the standard-call decoration of the
// Windows library).
#include <string>

#include "mapi/mapi_interfaces.h"

namespace mapi {

using LPMAPIINITIALIZE = HRESULT (*)(LPVOID lpMapiInit);
using LPMAPIUNINITIALIZE = void (*)();
using LPMAPILOGONEX = HRESULT (*)(ULONG_PTR ulUIParam, LPCSTR lpszProfileName, LPCSTR lpszPassword,
                                  ULONG ulFlags, LPMAPISESSION* lppSession);
using LPMAPIALLOCATEBUFFER = SCODE (*)(ULONG cbSize, LPVOID* lppBuffer);
using LPMAPIALLOCATEMORE = SCODE (*)(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
using LPMAPIFREEBUFFER = ULONG (*)(LPVOID lpBuffer);
using LPMAPIADMINPROFILES = HRESULT (*)(ULONG ulFlags, LPPROFADMIN* lppProfAdmin);
using LPMAPIGETDEFAULTMALLOC = LPMALLOC (*)();
using LPHRQUERYALLROWS = HRESULT (*)(LPMAPITABLE lpTable, LPSPropTagArray lpPropTags,
                                     LPSRestriction lpRestriction, LPSSortOrderSet lpSortOrderSet,
                                     LONG crowsMax, LPSRowSet* lppRows);
using LPFREEPROWS = void (*)(LPSRowSet lpRows);
using LPHRGETONEPROP = HRESULT (*)(LPMAPIPROP lpMapiProp, ULONG ulPropTag, LPSPropValue* lppProp);

inline constexpr const char* kMapiInitializeName = "MAPIInitialize";
inline constexpr const char* kMapiUninitializeName = "MAPIUninitialize";
inline constexpr const char* kMapiLogonExName = "MAPILogonEx";
inline constexpr const char* kMapiAllocateBufferName = "MAPIAllocateBuffer";
inline constexpr const char* kMapiAllocateMoreName = "MAPIAllocateMore";
inline constexpr const char* kMapiFreeBufferName = "MAPIFreeBuffer";
inline constexpr const char* kMapiAdminProfilesName = "MAPIAdminProfiles";
inline constexpr const char* kMapiGetDefaultMallocName = "MAPIGetDefaultMalloc@0";
inline constexpr const char* kHrQueryAllRowsName = "HrQueryAllRows@24";
inline constexpr const char* kFreeProwsName = "FreeProws@4";
inline constexpr const char* kHrGetOnePropName = "HrGetOneProp@12";

// The entry points in the order the loader resolves them.
inline constexpr const char* kMapiEntryPointNames[] = {
    kMapiInitializeName,   kMapiUninitializeName, kMapiLogonExName,       kMapiAllocateBufferName,
    kMapiAllocateMoreName, kMapiFreeBufferName,   kMapiAdminProfilesName, kMapiGetDefaultMallocName,
    kHrQueryAllRowsName,   kFreeProwsName,        kHrGetOnePropName,
};

struct MapiEntryPoints {
    LPMAPIINITIALIZE MAPIInitialize = nullptr;
    LPMAPIUNINITIALIZE MAPIUninitialize = nullptr;
    LPMAPILOGONEX MAPILogonEx = nullptr;
    LPMAPIALLOCATEBUFFER MAPIAllocateBuffer = nullptr;
    LPMAPIALLOCATEMORE MAPIAllocateMore = nullptr;
    LPMAPIFREEBUFFER MAPIFreeBuffer = nullptr;
    LPMAPIADMINPROFILES MAPIAdminProfiles = nullptr;
    LPMAPIGETDEFAULTMALLOC MAPIGetDefaultMalloc = nullptr;
    LPHRQUERYALLROWS HrQueryAllRows = nullptr;
    LPFREEPROWS FreeProws = nullptr;
    LPHRGETONEPROP HrGetOneProp = nullptr;
};

// Looks up the eleven entry points in a library opened with dlopen. Fills `entries` only when
// every one is found; otherwise leaves it alone, names the first missing export in `missing`
// and returns false, so that nothing is ever called through a missing entry.
bool ResolveMapiEntryPoints(void* library, MapiEntryPoints& entries, std::string& missing);

}  // namespace mapi
