#pragma once
// The node database of a personal folder file, ANSI or Unicode: the header, the node B-tree
// (read once, at open, into a sorted list), the block B-tree (of which only the places of its
// leaf pages are kept, so that memory does not grow with the number of blocks), blocks decoded
// as the file's encoding asks, data trees and subnode trees. Every structure read is checked
// against its buffer and the file's size, and a tree that leads back into itself ends instead of
// looping.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mailsift::mapi_provider::pst {

enum class Status { Ok, NotFound, Damaged };

// Node identifier types and the nodes every store has.
enum NidType : uint32_t {
    kNidTypeNormalFolder = 0x02,
    kNidTypeSearchFolder = 0x03,
    kNidTypeNormalMessage = 0x04,
    kNidTypeHierarchyTable = 0x0D,
    kNidTypeContentsTable = 0x0E,
};
constexpr uint32_t kNidMessageStore = 0x21;
constexpr uint32_t kNidNameToIdMap = 0x61;
constexpr uint32_t kNidRootFolder = 0x122;
constexpr uint32_t kNidRecipientTable = 0x692;
constexpr uint32_t kNidAttachmentTable = 0x671;

constexpr uint32_t NidType(uint32_t nid) {
    return nid & 0x1F;
}
constexpr bool IsFolderType(uint32_t type) {
    return type == kNidTypeNormalFolder || type == kNidTypeSearchFolder;
}
constexpr bool IsMessageType(uint32_t type) {
    return type == kNidTypeNormalMessage;
}

struct NodeEntry {
    uint32_t nid = 0;
    uint32_t parent = 0;
    uint64_t data = 0;
    uint64_t subnodes = 0;
};

struct SubnodeEntry {
    uint32_t nid = 0;
    uint64_t data = 0;
    uint64_t subnodes = 0;
};
using Subnodes = std::vector<SubnodeEntry>;

// The data blocks of a value, in order, with their sizes from the block B-tree.
struct DataLayout {
    std::vector<uint64_t> blocks;
    std::vector<uint64_t> ends;  // the offset just past each block
    uint64_t size() const { return ends.empty() ? 0 : ends.back(); }
};

class NodeDatabase {
  public:
    // NotFound when the file cannot be opened, Damaged when it is not a personal folder file
    // or its B-trees cannot be read.
    static Status Open(const std::string& path, std::unique_ptr<NodeDatabase>& database);
    NodeDatabase(const NodeDatabase&) = delete;
    NodeDatabase& operator=(const NodeDatabase&) = delete;
    ~NodeDatabase();

    bool unicode() const { return unicode_; }
    // False when a B-tree page below the roots could not be read: the nodes and blocks listed
    // there are missing, and the rest are read all the same.
    bool complete() const { return complete_; }
    const NodeEntry* FindNode(uint32_t nid) const;
    // The nodes whose parent is `parent` and whose type `wanted` accepts, by identifier.
    std::vector<uint32_t> Children(uint32_t parent, bool (*wanted)(uint32_t type)) const;

    // One block's data, decoded.
    Status ReadBlock(uint64_t bid, std::string& data) const;
    // The data blocks under `bid`: the block itself, or the leaves of its data tree.
    Status Layout(uint64_t bid, DataLayout& layout) const;
    // Every block of the data under `bid`, one string each (heaps address them by number).
    Status ReadBlocks(uint64_t bid, std::vector<std::string>& blocks) const;
    // The data under `bid` as one string.
    Status ReadData(uint64_t bid, std::string& data) const;
    // The entries of the subnode tree at `bid` (none for 0), by identifier.
    Status ReadSubnodes(uint64_t bid, Subnodes& subnodes) const;

  private:
    struct BlockEntry {
        uint64_t bid = 0;
        uint64_t offset = 0;
        uint16_t size = 0;
    };
    NodeDatabase() = default;
    Status ReadHeader();
    Status ReadAt(uint64_t offset, size_t size, std::string& out) const;
    // Hands `visit` each entry of the pages at `lowest` level, or of the root when it is
    // lower, with the level of its page.
    template <class Visit>
    Status ReadTree(uint64_t offset, uint8_t type, int lowest, Visit visit);
    std::optional<BlockEntry> FindBlock(uint64_t bid) const;
    bool LeafPage(uint64_t offset, std::string& page) const;
    Status AddLeaves(uint64_t bid, int level, DataLayout& layout) const;
    Status AddSubnodes(uint64_t bid, int level, Subnodes& subnodes) const;
    size_t IdSize() const { return unicode_ ? 8 : 4; }

    int fd_ = -1;
    uint64_t fileSize_ = 0;
    bool unicode_ = true;
    bool complete_ = true;
    uint8_t encoding_ = 0;
    std::vector<NodeEntry> nodes_;
    // The leaf pages of the block B-tree: the least identifier each holds, and where it is.
    std::vector<std::pair<uint64_t, uint64_t>> blockPages_;
    // Leaf pages read last; the blocks of one message mostly share a few.
    struct CachedPage {
        uint64_t offset = UINT64_MAX;
        std::string page;
    };
    mutable std::mutex pagesMutex_;
    mutable std::array<CachedPage, 64> pages_;
    // (parent, child) pairs in order, for the children of a folder.
    std::vector<std::pair<uint32_t, uint32_t>> children_;
};

}  // namespace mailsift::mapi_provider::pst
