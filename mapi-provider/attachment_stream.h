#pragma once
// The data of a stored attachment, read as a stream.
#include "mapi-provider/attachment_data.h"
#include "mapi-provider/node.h"
#include "mapi/mapi_interfaces.h"

namespace mailsift::mapi_provider {

// A read-only stream over the data of `attachment`, holding one reference for the caller.
mapi::IStream* NewAttachmentStream(NodePtr attachment, AttachmentData data);

}  // namespace mailsift::mapi_provider
