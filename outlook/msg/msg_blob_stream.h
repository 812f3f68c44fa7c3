#pragma once
// The stream OpenProperty hands out on the blob of a message's or attachment's property.
#include <memory>

#include "mapi/mapi_interfaces.h"
#include "outlook/msg/msg_blob.h"

namespace mailsift {

// Whoever holds the properties a stream writes to.
class MsgBlobOwner {
  public:
    // Puts `replacement` in place of `current` when the property still holds it.
    virtual void ReplaceBlob(mapi::ULONG id, const std::shared_ptr<MsgBlob>& current,
                             const std::shared_ptr<MsgBlob>& replacement) = 0;

  protected:
    ~MsgBlobOwner() = default;
};

// A stream on `blob`, the value of property `id` held by `blobs`, holding one reference for the
// caller; `owner` stays referenced while the stream lives. A write to a frozen blob goes to a
// copy, which takes the blob's place in `blobs`.
mapi::IStream* NewMsgBlobStream(mapi::IUnknown* owner, MsgBlobOwner* blobs, mapi::ULONG id,
                                std::shared_ptr<MsgBlob> blob, bool writable);

}  // namespace mailsift
