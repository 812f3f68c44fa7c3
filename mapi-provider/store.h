#pragma once
// An opened personal folder file as a message store, and the folders and messages opened in
// it by entry identifier.
#include <memory>
#include <vector>

#include "mapi-provider/node.h"
#include "mapi/mapi_interfaces.h"

namespace mailsift::mapi_provider {

// Opens the personal folder file as a message store whose own entry identifier is `entryId`.
mapi::HRESULT OpenStore(std::shared_ptr<StoreFile> file, std::vector<mapi::BYTE> entryId,
                        mapi::LPMDB* store);

// Opens the folder or message of `store` that `entry` names, or the root folder when `size`
// is 0.
mapi::HRESULT OpenEntryIn(const std::shared_ptr<StoreContext>& store, mapi::ULONG size,
                          mapi::LPENTRYID entry, mapi::LPCIID riid, mapi::ULONG* objectType,
                          mapi::LPUNKNOWN* result);

}  // namespace mailsift::mapi_provider
