#pragma once
// The bytes of property values, kept in memory or in a temporary file by their size.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace mailsift {

// Values up to this size stay in memory; larger ones move to an unnamed temporary file.
inline constexpr uint64_t kMsgBlobMemoryLimit = 1u << 20;

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

}  // namespace mailsift
