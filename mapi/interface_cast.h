#pragma once
// Methods that open an object (OpenEntry, OpenProperty) hand it out as IUnknown, whatever
// interface the caller asked for.
#include "mapi/mapi_interfaces.h"

namespace mapi {

// An object handed out as IUnknown, taken as the interface it was asked for.
template <class T>
T* As(IUnknown* unknown) {
    return static_cast<T*>(unknown);
}

}  // namespace mapi
