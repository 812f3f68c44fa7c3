#include "mapi/mapi_entry_points.h"

#include <dlfcn.h>

#include <type_traits>

namespace mapi {

bool ResolveMapiEntryPoints(void* library, MapiEntryPoints& entries, std::string& missing) {
    MapiEntryPoints found;
    const char* lacking = nullptr;
    auto resolve = [library, &lacking](const char* name, auto& target) {
        if (lacking != nullptr) return;
        void* symbol = dlsym(library, name);
        if (symbol == nullptr) {
            lacking = name;
            return;
        }
        // dlsym gives object pointers; POSIX guarantees they convert to function pointers.
        target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(symbol);
    };
    resolve(kMapiInitializeName, found.MAPIInitialize);
    resolve(kMapiUninitializeName, found.MAPIUninitialize);
    resolve(kMapiLogonExName, found.MAPILogonEx);
    resolve(kMapiAllocateBufferName, found.MAPIAllocateBuffer);
    resolve(kMapiAllocateMoreName, found.MAPIAllocateMore);
    resolve(kMapiFreeBufferName, found.MAPIFreeBuffer);
    resolve(kMapiAdminProfilesName, found.MAPIAdminProfiles);
    resolve(kMapiGetDefaultMallocName, found.MAPIGetDefaultMalloc);
    resolve(kHrQueryAllRowsName, found.HrQueryAllRows);
    resolve(kFreeProwsName, found.FreeProws);
    resolve(kHrGetOnePropName, found.HrGetOneProp);
    if (lacking != nullptr) {
        missing = lacking;
        return false;
    }
    entries = found;
    return true;
}

}  // namespace mapi
