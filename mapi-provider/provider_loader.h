#pragma once
// Loads a MAPI library with dlopen and resolves its eleven entry points by their export names,
// the way the MS Outlook backend does. The library stays loaded until the process ends.
#include <dlfcn.h>

#include <string>

#include "outlook/mapi/mapi_entry_points.h"

namespace mailsift::mapi_provider {

// Fills `entries` and returns true, or returns false with the reason in `error`.
inline bool LoadMapiLibrary(const std::string& path, mapi::MapiEntryPoints& entries,
                            std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "cannot load " + path;
        return false;
    }
    void* found[std::size(mapi::kMapiEntryPointNames)] = {};
    for (size_t i = 0; i < std::size(mapi::kMapiEntryPointNames); ++i) {
        found[i] = dlsym(handle, mapi::kMapiEntryPointNames[i]);
        if (found[i] == nullptr) {
            error = std::string("missing entry point ") + mapi::kMapiEntryPointNames[i];
            return false;
        }
    }
    // dlsym gives object pointers; POSIX guarantees they convert to function pointers.
    auto as = [&found](size_t i, auto& target) {
        target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(found[i]);
    };
    as(0, entries.MAPIInitialize);
    as(1, entries.MAPIUninitialize);
    as(2, entries.MAPILogonEx);
    as(3, entries.MAPIAllocateBuffer);
    as(4, entries.MAPIAllocateMore);
    as(5, entries.MAPIFreeBuffer);
    as(6, entries.MAPIAdminProfiles);
    as(7, entries.MAPIGetDefaultMalloc);
    as(8, entries.HrQueryAllRows);
    as(9, entries.FreeProws);
    as(10, entries.HrGetOneProp);
    return true;
}

}  // namespace mailsift::mapi_provider
