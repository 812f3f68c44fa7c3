#include "mapi-provider/pst_ndb.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_set>

#include "mapi-provider/pst_bytes.h"
#include "mapi-provider/pst_encoding.h"

namespace mailsift::mapi_provider::pst {

namespace {

constexpr size_t kPageSize = 512;
// The Unicode header is the longer of the two.
constexpr size_t kHeaderSize = 564;
constexpr uint8_t kPageBlockTree = 0x80;
constexpr uint8_t kPageNodeTree = 0x81;
constexpr uint8_t kBlockTypeDataTree = 0x01;
constexpr uint8_t kBlockTypeSubnodeTree = 0x02;
// A bid's lowest bit is reserved and the next marks a block of the database's own structure,
// which is never encoded.
constexpr uint64_t kBidReserved = 0x1;
constexpr uint64_t kBidInternal = 0x2;
// B-trees deeper than this are damage; real ones have a handful of levels.
constexpr int kMaxTreeLevels = 16;

}  // namespace

NodeDatabase::~NodeDatabase() {
    if (fd_ >= 0) close(fd_);
}

Status NodeDatabase::Open(const std::string& path, std::unique_ptr<NodeDatabase>& database) {
    std::unique_ptr<NodeDatabase> opened(new NodeDatabase());
    opened->fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (opened->fd_ < 0 || fstat(opened->fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        return Status::NotFound;
    }
    opened->fileSize_ = static_cast<uint64_t>(info.st_size);
    posix_fadvise(opened->fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    const Status status = opened->ReadHeader();
    if (status != Status::Ok) return status;
    database = std::move(opened);
    return Status::Ok;
}

Status NodeDatabase::ReadAt(uint64_t offset, size_t size, std::string& out) const {
    if (offset > fileSize_ || size > fileSize_ - offset) return Status::Damaged;
    out.resize(size);
    size_t done = 0;
    while (done < size) {
        const ssize_t got =
            pread(fd_, out.data() + done, size - done, static_cast<off_t>(offset + done));
        if (got <= 0) return Status::Damaged;
        done += static_cast<size_t>(got);
    }
    return Status::Ok;
}

Status NodeDatabase::ReadHeader() {
    std::string header;
    if (ReadAt(0, kHeaderSize, header) != Status::Ok || header.compare(0, 4, "!BDN") != 0 ||
        header.compare(8, 2, "SM") != 0) {
        return Status::Damaged;
    }
    const auto version = static_cast<uint16_t>(LittleEndian(header, 10, 2));
    if (version == 14 || version == 15) {
        unicode_ = false;
    } else if (version >= 23 && version < 36) {
        unicode_ = true;
    } else {
        return Status::Damaged;
    }
    // The roots of the two B-trees, where their pages are.
    uint64_t nodeRootAt = 0, blockRootAt = 0;
    if (unicode_) {
        nodeRootAt = LittleEndian(header, 224, 8);
        blockRootAt = LittleEndian(header, 240, 8);
        encoding_ = static_cast<uint8_t>(header[513]);
    } else {
        nodeRootAt = LittleEndian(header, 188, 4);
        blockRootAt = LittleEndian(header, 196, 4);
        encoding_ = static_cast<uint8_t>(header[461]);
    }
    if (encoding_ > kEncodingCyclic) return Status::Damaged;

    const size_t id = IdSize();
    Status status = ReadTree(blockRootAt, kPageBlockTree, 1, [&](const char* entry, int level) {
        if (level == 1) {
            blockPages_.emplace_back(LittleEndian(entry, id), LittleEndian(entry + 2 * id, id));
        } else if (blockPages_.empty()) {
            // The root is the only leaf.
            blockPages_.emplace_back(0, blockRootAt);
        }
    });
    if (status != Status::Ok) return status;
    status = ReadTree(nodeRootAt, kPageNodeTree, 0, [&](const char* entry, int) {
        nodes_.push_back({static_cast<uint32_t>(LittleEndian(entry, 4)),
                          static_cast<uint32_t>(LittleEndian(entry + 3 * id, 4)),
                          LittleEndian(entry + id, id), LittleEndian(entry + 2 * id, id)});
    });
    if (status != Status::Ok) return status;

    // Pages and nodes in key order; the first entry of a node identifier counts, as a lookup
    // from the root would find it.
    std::stable_sort(blockPages_.begin(), blockPages_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::stable_sort(nodes_.begin(), nodes_.end(),
                     [](const NodeEntry& a, const NodeEntry& b) { return a.nid < b.nid; });
    nodes_.erase(std::unique(nodes_.begin(), nodes_.end(),
                             [](const NodeEntry& a, const NodeEntry& b) { return a.nid == b.nid; }),
                 nodes_.end());
    children_.reserve(nodes_.size());
    for (const NodeEntry& node : nodes_) {
        if (node.parent != node.nid) children_.emplace_back(node.parent, node.nid);
    }
    std::sort(children_.begin(), children_.end());
    blockPages_.shrink_to_fit();
    nodes_.shrink_to_fit();
    return Status::Ok;
}

// Walks a B-tree from its root page, handing each leaf entry to `leaf`. A page must be of the
// tree's type and one level below the page that points to it, so the walk ends; a page
// reached a second time is skipped, so a damaged tree cannot make it read the file over and
// over. A damaged page below the root costs only what it lists.
template <class Visit>
Status NodeDatabase::ReadTree(uint64_t offset, uint8_t type, int lowest, Visit visit) {
    const size_t id = IdSize();
    const size_t entriesEnd = unicode_ ? 488 : 496;
    const size_t leafSize = type == kPageBlockTree ? 2 * id + 4 : 3 * id + 4;
    std::unordered_set<uint64_t> seen;
    struct Pending {
        uint64_t offset;
        int level;
    };
    std::vector<Pending> pending{{offset, -1}};
    std::string page;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (!seen.insert(next.offset).second) continue;
        const bool root = next.level < 0;
        if (ReadAt(next.offset, kPageSize, page) != Status::Ok) {
            if (root) return Status::Damaged;
            complete_ = false;
            continue;
        }
        const auto count = static_cast<uint8_t>(page[entriesEnd]);
        const auto entrySize = static_cast<uint8_t>(page[entriesEnd + 2]);
        const auto level = static_cast<uint8_t>(page[entriesEnd + 3]);
        const auto pageType = static_cast<uint8_t>(page[unicode_ ? 496 : 500]);
        const size_t minimum = level == 0 ? leafSize : 3 * id;
        if (pageType != type || level > kMaxTreeLevels ||
            (next.level >= 0 && level != next.level) || entrySize < minimum ||
            static_cast<size_t>(count) * entrySize > entriesEnd) {
            if (root) return Status::Damaged;
            complete_ = false;
            continue;
        }
        if (level <= lowest) {
            for (size_t i = 0; i < count; ++i) visit(page.data() + i * entrySize, level);
            continue;
        }
        // Children go on the stack last first, so leaves come out in key order.
        for (size_t i = count; i-- > 0;) {
            const size_t at = i * entrySize;
            pending.push_back({LittleEndian(page, at + 2 * id, id), level - 1});
        }
    }
    return Status::Ok;
}

const NodeEntry* NodeDatabase::FindNode(uint32_t nid) const {
    const auto found = std::lower_bound(nodes_.begin(), nodes_.end(), nid,
                                        [](const NodeEntry& e, uint32_t n) { return e.nid < n; });
    return found != nodes_.end() && found->nid == nid ? &*found : nullptr;
}

std::vector<uint32_t> NodeDatabase::Children(uint32_t parent, bool (*wanted)(uint32_t)) const {
    std::vector<uint32_t> found;
    auto at = std::lower_bound(children_.begin(), children_.end(), std::make_pair(parent, 0u));
    for (; at != children_.end() && at->first == parent; ++at) {
        if (wanted(NidType(at->second))) found.push_back(at->second);
    }
    return found;
}

// One leaf page of the block B-tree, checked as the pages above it were at open.
bool NodeDatabase::LeafPage(uint64_t offset, std::string& page) const {
    CachedPage& cached = pages_[(offset / kPageSize) % pages_.size()];
    {
        std::lock_guard lock(pagesMutex_);
        if (cached.offset == offset) {
            page = cached.page;
            return true;
        }
    }
    const size_t entriesEnd = unicode_ ? 488 : 496;
    if (ReadAt(offset, kPageSize, page) != Status::Ok ||
        static_cast<uint8_t>(page[unicode_ ? 496 : 500]) != kPageBlockTree ||
        page[entriesEnd + 3] != 0 ||
        static_cast<uint8_t>(page[entriesEnd + 2]) < 2 * IdSize() + 2 ||
        static_cast<size_t>(static_cast<uint8_t>(page[entriesEnd])) *
                static_cast<uint8_t>(page[entriesEnd + 2]) >
            entriesEnd) {
        return false;
    }
    std::lock_guard lock(pagesMutex_);
    cached.offset = offset;
    cached.page = page;
    return true;
}

std::optional<NodeDatabase::BlockEntry> NodeDatabase::FindBlock(uint64_t bid) const {
    bid &= ~kBidReserved;
    auto leaf = std::upper_bound(blockPages_.begin(), blockPages_.end(), bid,
                                 [](uint64_t b, const auto& page) { return b < page.first; });
    if (leaf == blockPages_.begin()) return std::nullopt;
    std::string page;
    if (!LeafPage(std::prev(leaf)->second, page)) return std::nullopt;
    const size_t entriesEnd = unicode_ ? 488 : 496;
    const size_t count = static_cast<uint8_t>(page[entriesEnd]);
    const size_t entrySize = static_cast<uint8_t>(page[entriesEnd + 2]);
    const size_t id = IdSize();
    for (size_t i = 0; i < count; ++i) {
        const char* entry = page.data() + i * entrySize;
        if ((LittleEndian(entry, id) & ~kBidReserved) == bid) {
            return BlockEntry{bid, LittleEndian(entry + id, id),
                              static_cast<uint16_t>(LittleEndian(entry + 2 * id, 2))};
        }
    }
    return std::nullopt;
}

Status NodeDatabase::ReadBlock(uint64_t bid, std::string& data) const {
    const std::optional<BlockEntry> block = FindBlock(bid);
    if (!block) return Status::NotFound;
    if (ReadAt(block->offset, block->size, data) != Status::Ok) return Status::Damaged;
    if ((bid & kBidInternal) == 0) {
        DecodeBlock(encoding_, static_cast<uint32_t>(bid), reinterpret_cast<uint8_t*>(data.data()),
                    data.size());
    }
    return Status::Ok;
}

// The leaves below one block of a data tree: a data block is a leaf itself, a tree block lists
// the blocks one level down.
Status NodeDatabase::AddLeaves(uint64_t bid, int level, DataLayout& layout) const {
    if ((bid & kBidInternal) == 0) {
        if (level > 0) return Status::Damaged;
        const std::optional<BlockEntry> block = FindBlock(bid);
        if (!block) return Status::NotFound;
        // A value cannot be larger than the file: a tree listing the same blocks over and
        // over ends here.
        if (layout.size() + block->size > fileSize_) return Status::Damaged;
        layout.blocks.push_back(bid);
        layout.ends.push_back(layout.size() + block->size);
        return Status::Ok;
    }
    std::string tree;
    Status status = ReadBlock(bid, tree);
    if (status != Status::Ok) return status;
    const size_t id = IdSize();
    if (tree.size() < 8 || static_cast<uint8_t>(tree[0]) != kBlockTypeDataTree) {
        return Status::Damaged;
    }
    const int treeLevel = static_cast<uint8_t>(tree[1]);
    const auto count = static_cast<size_t>(LittleEndian(tree, 2, 2));
    if (treeLevel < 1 || treeLevel > 2 || (level >= 0 && treeLevel != level) ||
        8 + count * id > tree.size()) {
        return Status::Damaged;
    }
    for (size_t i = 0; i < count; ++i) {
        status = AddLeaves(LittleEndian(tree, 8 + i * id, id), treeLevel - 1, layout);
        if (status != Status::Ok) return status;
    }
    return Status::Ok;
}

Status NodeDatabase::Layout(uint64_t bid, DataLayout& layout) const {
    layout = {};
    return AddLeaves(bid, -1, layout);
}

Status NodeDatabase::ReadBlocks(uint64_t bid, std::vector<std::string>& blocks) const {
    DataLayout layout;
    Status status = Layout(bid, layout);
    blocks.assign(layout.blocks.size(), {});
    for (size_t i = 0; i < layout.blocks.size() && status == Status::Ok; ++i) {
        status = ReadBlock(layout.blocks[i], blocks[i]);
    }
    return status;
}

Status NodeDatabase::ReadData(uint64_t bid, std::string& data) const {
    DataLayout layout;
    Status status = Layout(bid, layout);
    data.clear();
    if (status != Status::Ok) return status;
    data.reserve(static_cast<size_t>(layout.size()));
    std::string block;
    for (uint64_t leaf : layout.blocks) {
        status = ReadBlock(leaf, block);
        if (status != Status::Ok) return status;
        data += block;
    }
    return Status::Ok;
}

Status NodeDatabase::AddSubnodes(uint64_t bid, int level, Subnodes& subnodes) const {
    std::string block;
    Status status = ReadBlock(bid, block);
    if (status != Status::Ok) return status;
    const size_t id = IdSize();
    if (block.size() < 4 || static_cast<uint8_t>(block[0]) != kBlockTypeSubnodeTree) {
        return Status::Damaged;
    }
    const int blockLevel = static_cast<uint8_t>(block[1]);
    const auto count = static_cast<size_t>(LittleEndian(block, 2, 2));
    const size_t first = unicode_ ? 8 : 4;
    const size_t entrySize = blockLevel == 0 ? 3 * id : 2 * id;
    if (blockLevel > 1 || (level >= 0 && blockLevel != level) ||
        first + count * entrySize > block.size()) {
        return Status::Damaged;
    }
    for (size_t i = 0; i < count; ++i) {
        const size_t at = first + i * entrySize;
        if (blockLevel == 0) {
            subnodes.push_back({static_cast<uint32_t>(LittleEndian(block, at, 4)),
                                LittleEndian(block, at + id, id),
                                LittleEndian(block, at + 2 * id, id)});
            continue;
        }
        status = AddSubnodes(LittleEndian(block, at + id, id), 0, subnodes);
        if (status != Status::Ok) return status;
    }
    return Status::Ok;
}

Status NodeDatabase::ReadSubnodes(uint64_t bid, Subnodes& subnodes) const {
    subnodes.clear();
    if (bid == 0) return Status::Ok;
    const Status status = AddSubnodes(bid, -1, subnodes);
    std::stable_sort(subnodes.begin(), subnodes.end(),
                     [](const SubnodeEntry& a, const SubnodeEntry& b) { return a.nid < b.nid; });
    return status;
}

}  // namespace mailsift::mapi_provider::pst
