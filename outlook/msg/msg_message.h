#pragma once
// The message, attachment and stream objects of a .msg storage, and the state they keep when
// saved: that saved state is what the storage writes into the file.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "outlook/msg/msg_storage.h"

namespace mailsift {

// The largest value the file can describe: sizes in the property stream have 32 bits.
inline constexpr uint64_t kMsgMaxValueSize = 0xFFFFFFFFu;
// Values up to this size stay in memory; larger ones move to an unnamed temporary file.
inline constexpr uint64_t kMsgBlobMemoryLimit = 1u << 20;
// Outlook opens no more recipients or attachments than this per message.
inline constexpr size_t kMsgMaxRows = 2048;
// An array of strings or binary values holds no more values than this.
inline constexpr size_t kMsgMaxArrayStreams = 4096;
// Embedded messages nest no deeper than this.
inline constexpr unsigned kMsgMaxEmbeddingDepth = 32;

// The bytes of one value, in memory while small and in an unnamed temporary file beyond
// kMsgBlobMemoryLimit. A saved state shares the blob with the object it was saved from and
// freezes it; whoever writes to a frozen blob writes to a copy instead.
class MsgBlob {
  public:
    MsgBlob() = default;
    ~MsgBlob();
    MsgBlob(const MsgBlob&) = delete;
    MsgBlob& operator=(const MsgBlob&) = delete;

    uint64_t size() const { return size_; }
    bool inMemory() const { return file_ < 0; }
    // The bytes, while the blob is in memory.
    const std::vector<uint8_t>& memory() const { return memory_; }
    // Writes at offset, zero-filling any gap; false when the temporary file fails.
    bool WriteAt(uint64_t offset, const void* data, size_t count);
    // Reads count bytes at offset (all inside size()); false when the temporary file fails.
    bool ReadAt(uint64_t offset, void* data, size_t count) const;
    // An unfrozen copy, made in pieces; nullptr when the temporary file fails.
    std::shared_ptr<MsgBlob> Clone() const;

    void Freeze() { frozen_ = true; }
    bool frozen() const { return frozen_; }

  private:
    bool MoveToFile();

    std::vector<uint8_t> memory_;
    int file_ = -1;
    uint64_t size_ = 0;
    bool frozen_ = false;
};

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

struct MsgSavedMessage;

struct MsgSavedAttachment {
    MsgPropertyBag props;
    std::shared_ptr<const MsgSavedMessage> embedded;
};

struct MsgSavedMessage {
    MsgPropertyBag props;
    std::vector<MsgPropertyBag> recipients;
    std::vector<std::shared_ptr<const MsgSavedAttachment>> attachments;
};

// The bytes a fixed-size type takes in a property entry; 0 for types kept in streams.
size_t MsgFixedValueSize(mapi::ULONG type);
// Whether a type is an array of strings or binary values, kept one stream per value.
bool MsgIsVariableArray(mapi::ULONG type);

// A new top-level message holding one reference for the caller; its buffers come from
// `buffers`.
mapi::IMessage* NewMsgMessage(const MsgBuffers& buffers);
// What `message` (made by NewMsgMessage) saved last; an empty message before its first save.
std::shared_ptr<const MsgSavedMessage> SavedMessageOf(mapi::IMessage* message);

}  // namespace mailsift
