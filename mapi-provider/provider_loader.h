#pragma once
// Loads a MAPI library with dlopen and resolves its eleven entry points by their export names,
// the way the MS Outlook backend does. The library stays loaded until the process ends.
#include <dlfcn.h>

#include <string>

#include "mapi/mapi_entry_points.h"

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
    std::string missing;
    if (!ResolveMapiEntryPoints(handle, entries, missing)) {
        error = "missing entry point " + missing;
        dlclose(handle);
        return false;
    }
    return true;
}

}  // namespace mailsift::mapi_provider
