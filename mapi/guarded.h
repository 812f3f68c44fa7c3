#pragma once
// No C++ exception may cross into a MAPI caller: the callers of entry points and object
// methods are C and COM code. Every body that can allocate runs through Guarded.
#include <new>

#include "mapi/mapi_types.h"

namespace mapi {

template <class Body>
HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return MAPI_E_CALL_FAILED;
    }
}

}  // namespace mapi
