#pragma once
#include <array>
#include <string>

#include "stores/core_types.h"

namespace mailsift {

// One kind of store behind the facade. A backend holds at most one open store and answers
// only calls that carry that store's handle.
class StoreBackend {
  public:
    virtual ~StoreBackend() = default;

    // Appends one record per folder and returns the new handle, or a result code:
    // kResultAlreadyOpen while a store is open, another code when nothing could be opened.
    virtual StoreHandle Open(const std::string& path, TFolderList& folders) = 0;
    // Clears the record, then fills it and does what the options ask.
    // kResultNotMyHandle when the handle is not this backend's open store.
    virtual int32_t ReadMessage(StoreHandle handle, const TMessageExtractionOptions& options,
                                const TFolder& folder, uint32_t index, TMessage& message) = 0;
    // kResultSuccess when the store was closed, kResultNotMyHandle when it is not ours.
    virtual int32_t Close(StoreHandle handle) = 0;
};

// The backends in the order the facade offers them a handle. An empty slot stands for a
// store kind this build cannot read: it opens nothing and owns no handle.
struct StoreBackends {
    StoreBackend* MSOutlook = nullptr;
    StoreBackend* OutlookExpress = nullptr;
    StoreBackend* Mailbox = nullptr;

    std::array<StoreBackend*, 3> InDispatchOrder() const {
        return {MSOutlook, OutlookExpress, Mailbox};
    }
};

// The program's backends: those of this layer until a program puts in its own (see
// outlook/default_store_backends.h). Tests may replace them; the returned reference stays
// valid.
StoreBackends& ActiveStoreBackends();

}  // namespace mailsift
