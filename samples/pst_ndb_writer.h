#pragma once
// The node database of a Unicode personal folder file, written front to back: blocks with their
// trailers as they come, the data trees and subnode trees over them, and at the end the node and
// block B-trees, the allocation maps, the density list and the header. Only the B-tree entries
// are kept in memory, so a store of any size is written in bounded memory.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace mailsift::samples {

// Node identifier types.
enum PstNidType : uint32_t {
    kNidTypeHid = 0x00,
    kNidTypeInternal = 0x01,
    kNidTypeNormalFolder = 0x02,
    kNidTypeNormalMessage = 0x04,
    kNidTypeAttachment = 0x05,
    kNidTypeHierarchyTable = 0x0D,
    kNidTypeContentsTable = 0x0E,
    kNidTypeAssocContentsTable = 0x0F,
    kNidTypeLtp = 0x1F,
};

constexpr uint32_t PstNid(uint32_t type, uint32_t index) {
    return type | (index << 5);
}
constexpr uint32_t PstNidIndex(uint32_t nid) {
    return nid >> 5;
}

// The largest data a block carries.
constexpr size_t kPstMaxBlockData = 8176;

struct PstSubnode {
    uint32_t nid = 0;
    uint64_t bidData = 0;
    uint64_t bidSub = 0;
};

class PstNdbWriter {
  public:
    // Throws std::runtime_error when the file cannot be written.
    explicit PstNdbWriter(const std::string& path);
    PstNdbWriter(const PstNdbWriter&) = delete;
    PstNdbWriter& operator=(const PstNdbWriter&) = delete;

    // One block of at most kPstMaxBlockData bytes; its identifier.
    uint64_t WriteBlock(std::string_view data, bool internal = false);
    // Data of any size: one block, or a data tree over blocks of the largest size.
    uint64_t WriteData(std::string_view data);
    // Data already cut into blocks (a heap's pages, a table's rows): one block, or a data tree.
    uint64_t WriteBlocks(const std::vector<std::string>& blocks);
    // The subnode tree of a node, its entries in any order; 0 when there are none.
    uint64_t WriteSubnodes(std::vector<PstSubnode> entries);

    void AddNode(uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t nidParent);
    // Keeps the next free index of each node type above the ones given out.
    void UseNid(uint32_t nid);

    // The B-trees, maps and header; the file is complete afterwards.
    void Finish();

  private:
    struct NodeEntry {
        uint64_t nid;
        uint64_t bidData;
        uint64_t bidSub;
        uint32_t nidParent;
        uint64_t key() const { return nid; }
    };
    struct BlockEntry {
        uint64_t bid;
        uint64_t ib;
        uint16_t cb;
        uint64_t key() const { return bid; }
    };
    struct PageRef {
        uint64_t key;
        uint64_t bid;
        uint64_t ib;
    };

    uint64_t Allocate(size_t size, size_t alignment);
    void WriteAt(uint64_t ib, std::string_view bytes);
    uint64_t WriteTree(const std::vector<uint64_t>& bids, uint64_t total);
    template <typename Entry, typename Fill>
    PageRef WriteBTree(const std::vector<Entry>& entries, uint8_t pageType, size_t entrySize,
                       Fill fill);
    void WritePage(uint64_t ib, std::string data, uint8_t pageType, uint64_t bid);
    void WriteMaps();
    void WriteHeader(const PageRef& nodes, const PageRef& blocks);

    std::ofstream file_;
    uint64_t end_ = 0;
    uint64_t nextBlockIndex_ = 1;
    uint64_t nextPageBid_ = 1;
    std::vector<NodeEntry> nodes_;
    std::vector<BlockEntry> blocks_;
    std::vector<std::string> amaps_;  // one bitmap of 496 bytes per allocation map interval
    uint32_t nextNidIndex_[32] = {};
};

}  // namespace mailsift::samples
