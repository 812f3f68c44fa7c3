#include "stores/store_handles.h"

#include <algorithm>
#include <vector>

#include "platform/tick_count.h"

namespace mailsift {

namespace {

// Three backends hold at most three handles, so a small vector beats any set. Constant
// initialised at namespace scope, it outlives every backend: a backend that still holds a store
// at exit gives its handle back from its own destructor.
std::vector<StoreHandle> handlesInUse;

bool InUse(StoreHandle handle) {
    const auto& handles = handlesInUse;
    return std::find(handles.begin(), handles.end(), handle) != handles.end();
}

}  // namespace

StoreHandle NewStoreHandle() {
    return NewStoreHandleFrom(GetTickCount());
}

StoreHandle NewStoreHandleFrom(uint32_t tickCount) {
    StoreHandle handle = tickCount + kMaxResultCode;
    while (handle <= kMaxResultCode || InUse(handle)) {
        handle = handle <= kMaxResultCode ? kMaxResultCode + 1 : handle + 1;
    }
    handlesInUse.push_back(handle);
    return handle;
}

void ReleaseStoreHandle(StoreHandle handle) {
    auto& handles = handlesInUse;
    handles.erase(std::remove(handles.begin(), handles.end(), handle), handles.end());
}

}  // namespace mailsift
