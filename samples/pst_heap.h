#pragma once
// The heap-on-node of a personal folder file (allocations of up to 3580 bytes in pages of one
// block each) and the B-tree-on-heap that property and table contexts keep their keys in.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mailsift::samples {

// The largest allocation of a heap; larger values go into subnodes.
constexpr size_t kPstMaxHeapItem = 3580;

class PstHeap {
  public:
    // The client signature: 0xBC for a property context, 0x7C for a table context.
    explicit PstHeap(uint8_t clientSignature) : clientSignature_(clientSignature) {}

    // The heap identifier of a new allocation of at most kPstMaxHeapItem bytes.
    uint32_t Allocate(std::string_view bytes);
    void SetUserRoot(uint32_t hid) { userRoot_ = hid; }
    // The pages, each the data of one block.
    std::vector<std::string> Pages() const;

  private:
    struct Page {
        std::vector<std::string> items;
        size_t bytes = 0;
    };
    static size_t HeaderSize(size_t page);

    uint8_t clientSignature_;
    uint32_t userRoot_ = 0;
    std::vector<Page> pages_;
};

// A B-tree on the heap over records (key, data) sorted by key, all keys of cbKey bytes and all
// data of cbData bytes; the heap identifier of its header.
uint32_t WritePstBTree(PstHeap& heap, uint8_t cbKey, uint8_t cbData,
                       const std::vector<std::pair<std::string, std::string>>& records);

}  // namespace mailsift::samples
