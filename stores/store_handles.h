#pragma once
#include "stores/core_types.h"

namespace mailsift {

// A new handle for a store being opened: the tick count plus 3840, moved on past any value
// that would read as a result code (the tick count wraps after 49 days) and past the handles
// other backends hold, so the facade never confuses two stores. The handle is taken until
// ReleaseStoreHandle.
StoreHandle NewStoreHandle();
// The same, starting from a given tick count.
StoreHandle NewStoreHandleFrom(uint32_t tickCount);
void ReleaseStoreHandle(StoreHandle handle);

}  // namespace mailsift
