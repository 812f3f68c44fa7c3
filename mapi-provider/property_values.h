#pragma once
// Single property values filled in place: error cells, and bytes copied into a buffer chain.
#include <vector>

#include "mapi/mapi_types.h"

namespace mailsift::mapi_provider {

// An error cell: the tag's type becomes PT_ERROR and the value the reason.
void SetErrorValue(mapi::SPropValue& value, mapi::ULONG tag, mapi::HRESULT reason);

// Gives `out` the binary value `bytes`, copied into the buffer chain of `parent`.
mapi::HRESULT CopyBinary(const std::vector<mapi::BYTE>& bytes, mapi::SPropValue& out, void* parent);

}  // namespace mailsift::mapi_provider
