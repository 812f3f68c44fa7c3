#pragma once
// No C++ exception may leave the library: its callers are C and COM code. Every entry point
// and every object method that can allocate runs its body through Guarded.
#include <new>

#include "mapi/mapi_types.h"

namespace mailsift::mapi_provider {

template <class Body>
mapi::HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return mapi::MAPI_E_CALL_FAILED;
    }
}

}  // namespace mailsift::mapi_provider
