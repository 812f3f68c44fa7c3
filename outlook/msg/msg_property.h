#pragma once
// Properties as the .msg file stores them, converted from the MAPI values a caller sets and
// back into the values GetProps hands out.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mapi/mapi_types.h"
#include "outlook/msg/msg_blob.h"
#include "outlook/msg/msg_storage.h"

namespace mailsift {

// The largest value the file can describe: sizes in the property stream have 32 bits.
inline constexpr uint64_t kMsgMaxValueSize = 0xFFFFFFFFu;
// An array of strings or binary values holds no more values than this.
inline constexpr size_t kMsgMaxArrayStreams = 4096;

// One property as the file stores it. Fixed-size values keep their little-endian bits in
// `fixed`; strings (without their terminator), binary values, GUIDs and arrays of fixed-size
// values are bytes in `blob`; arrays of strings or binary values keep each value in `values`.
struct MsgProperty {
    mapi::ULONG tag = 0;
    uint64_t fixed = 0;
    std::shared_ptr<MsgBlob> blob;
    std::vector<std::string> values;
};
// Keyed by property identifier: one value per identifier, whatever its type.
using MsgPropertyBag = std::map<mapi::ULONG, MsgProperty>;

// The bytes a fixed-size type takes in a property entry; 0 for types kept in streams.
size_t MsgFixedValueSize(mapi::ULONG type);
// Whether a type is an array of strings or binary values, kept one stream per value.
bool MsgIsVariableArray(mapi::ULONG type);

// Stores one value; S_FALSE for a value that is not kept (an error value), a failure for
// one that cannot be.
mapi::HRESULT ToMsgProperty(const mapi::SPropValue& in, MsgProperty& out);

// Allocation linked to the root buffer of a GetProps answer.
class MsgLinkedBuffers {
  public:
    MsgLinkedBuffers(const MsgBuffers& buffers, void* root) : buffers_(buffers), root_(root) {}
    void* Get(uint64_t size);

  private:
    const MsgBuffers& buffers_;
    void* root_;
};

// Gives `property` back as `out`, copying its bytes into the answer's buffers. Values kept
// in a temporary file are too large to hand out whole: they are read through a stream.
mapi::HRESULT FromMsgProperty(const MsgProperty& property, mapi::SPropValue& out,
                              MsgLinkedBuffers& buffers);

// A copy of `bag` for a saved state; its blobs are frozen, shared with `bag`.
MsgPropertyBag MsgSnapshot(const MsgPropertyBag& bag);

}  // namespace mailsift
