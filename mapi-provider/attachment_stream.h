#pragma once
// The data of a stored attachment, read as a stream.
#include <cstdint>

#include "mapi-provider/node.h"
#include "mapi/mapi_interfaces.h"

namespace mailsift::mapi_provider {

// A read-only stream over the `size` bytes of data of `attachment`, holding one reference for
// the caller.
mapi::IStream* NewAttachmentStream(NodePtr attachment, uint64_t size);

}  // namespace mailsift::mapi_provider
