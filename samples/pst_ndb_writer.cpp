#include "samples/pst_ndb_writer.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

#include "samples/pst_bytes.h"

namespace mailsift::samples {

namespace {

constexpr size_t kHeaderSize = 564;
constexpr uint64_t kDensityListAt = 0x4200;
constexpr uint64_t kFirstMapAt = 0x4400;
// Each allocation map page covers this many bytes from its own position on, 64 bytes a bit.
constexpr uint64_t kMapInterval = 496 * 8 * 64;
// Every eighth interval also begins with a page map after its allocation map.
constexpr uint64_t kPageMapEvery = 8;
constexpr size_t kPageSize = 512;
constexpr size_t kPageData = 496;
constexpr size_t kBTreeEntryBytes = 488;
constexpr size_t kBlockTrailer = 16;
constexpr size_t kMaxTreeEntries = (kPstMaxBlockData - 8) / 8;
constexpr size_t kMaxSubnodeEntries = (kPstMaxBlockData - 8) / 24;
constexpr size_t kMaxSubnodeIndexEntries = (kPstMaxBlockData - 8) / 16;
constexpr uint32_t kFirstFreeNidIndex = 0x400;

constexpr uint8_t kPageBlockTree = 0x80;
constexpr uint8_t kPageNodeTree = 0x81;
constexpr uint8_t kPagePageMap = 0x83;
constexpr uint8_t kPageAllocationMap = 0x84;
constexpr uint8_t kPageDensityList = 0x86;

constexpr uint64_t RoundUp(uint64_t value, uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

uint64_t IntervalBase(size_t interval) {
    return kFirstMapAt + interval * kMapInterval;
}

void MarkAllocated(std::string& map, uint64_t from, uint64_t to) {
    for (uint64_t slot = from / 64; slot < (to + 63) / 64; ++slot) {
        map[slot / 8] =
            static_cast<char>(static_cast<uint8_t>(map[slot / 8]) | (0x80 >> (slot % 8)));
    }
}

}  // namespace

PstNdbWriter::PstNdbWriter(const std::string& path)
    : file_(path, std::ios::binary | std::ios::trunc), end_(kFirstMapAt) {
    if (!file_) throw std::runtime_error("Cannot write " + path);
    for (uint32_t& next : nextNidIndex_) next = kFirstFreeNidIndex;
}

uint64_t PstNdbWriter::Allocate(size_t size, size_t alignment) {
    for (;;) {
        uint64_t at = RoundUp(end_, alignment);
        const size_t interval = static_cast<size_t>((at - kFirstMapAt) / kMapInterval);
        const uint64_t base = IntervalBase(interval);
        while (amaps_.size() <= interval) {
            std::string map(kPageData, '\0');
            const bool pageMap = amaps_.size() % kPageMapEvery == 0;
            MarkAllocated(map, 0, pageMap ? 2 * kPageSize : kPageSize);
            amaps_.push_back(std::move(map));
        }
        const uint64_t reserved =
            base + kPageSize + (interval % kPageMapEvery == 0 ? kPageSize : 0);
        at = RoundUp(std::max(at, reserved), alignment);
        if (at + size > base + kMapInterval) {
            end_ = base + kMapInterval;
            continue;
        }
        MarkAllocated(amaps_[interval], at - base, at - base + size);
        end_ = at + size;
        return at;
    }
}

void PstNdbWriter::WriteAt(uint64_t ib, std::string_view bytes) {
    file_.seekp(static_cast<std::streamoff>(ib));
    file_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file_) throw std::runtime_error("Cannot write the personal folder file");
}

uint64_t PstNdbWriter::WriteBlock(std::string_view data, bool internal) {
    if (data.size() > kPstMaxBlockData) throw std::logic_error("block too large");
    const uint64_t bid = (nextBlockIndex_++ << 2) | (internal ? 2 : 0);
    const size_t total = static_cast<size_t>(RoundUp(data.size() + kBlockTrailer, 64));
    const uint64_t ib = Allocate(total, 64);
    std::string block(data);
    block.resize(total - kBlockTrailer, '\0');
    PutLe(block, data.size(), 2);
    PutLe(block, PstSignature(ib, bid), 2);
    PutLe(block, PstCrc(data), 4);
    PutLe(block, bid, 8);
    WriteAt(ib, block);
    blocks_.push_back({bid, ib, static_cast<uint16_t>(data.size())});
    return bid;
}

uint64_t PstNdbWriter::WriteData(std::string_view data) {
    if (data.size() <= kPstMaxBlockData) return WriteBlock(data);
    std::vector<uint64_t> bids;
    for (size_t at = 0; at < data.size(); at += kPstMaxBlockData) {
        bids.push_back(WriteBlock(data.substr(at, kPstMaxBlockData)));
    }
    return WriteTree(bids, data.size());
}

uint64_t PstNdbWriter::WriteBlocks(const std::vector<std::string>& blocks) {
    if (blocks.size() == 1) return WriteBlock(blocks.front());
    std::vector<uint64_t> bids;
    uint64_t total = 0;
    for (const std::string& block : blocks) {
        bids.push_back(WriteBlock(block));
        total += block.size();
    }
    return WriteTree(bids, total);
}

// One level of block identifiers for up to 1021 blocks, two levels beyond. The second level
// needs the size under each first-level block; all blocks but the last are full there.
uint64_t PstNdbWriter::WriteTree(const std::vector<uint64_t>& bids, uint64_t total) {
    const auto xblock = [&](uint8_t level, const uint64_t* first, size_t count, uint64_t bytes) {
        std::string block;
        block.push_back(1);
        block.push_back(static_cast<char>(level));
        PutLe(block, count, 2);
        PutLe(block, bytes, 4);
        for (size_t i = 0; i < count; ++i) PutLe(block, first[i], 8);
        return WriteBlock(block, true);
    };
    if (bids.size() <= kMaxTreeEntries) return xblock(1, bids.data(), bids.size(), total);
    std::vector<uint64_t> middle;
    uint64_t left = total;
    for (size_t at = 0; at < bids.size(); at += kMaxTreeEntries) {
        const size_t count = std::min(kMaxTreeEntries, bids.size() - at);
        const uint64_t bytes = std::min<uint64_t>(left, count * kPstMaxBlockData);
        middle.push_back(xblock(1, bids.data() + at, count, bytes));
        left -= bytes;
    }
    return xblock(2, middle.data(), middle.size(), total);
}

uint64_t PstNdbWriter::WriteSubnodes(std::vector<PstSubnode> entries) {
    if (entries.empty()) return 0;
    std::sort(entries.begin(), entries.end(),
              [](const PstSubnode& a, const PstSubnode& b) { return a.nid < b.nid; });
    const auto leaf = [&](size_t from, size_t count) {
        std::string block{2, 0};
        PutLe(block, count, 2);
        PutLe(block, 0, 4);
        for (size_t i = from; i < from + count; ++i) {
            PutLe(block, entries[i].nid, 8);
            PutLe(block, entries[i].bidData, 8);
            PutLe(block, entries[i].bidSub, 8);
        }
        return WriteBlock(block, true);
    };
    if (entries.size() <= kMaxSubnodeEntries) return leaf(0, entries.size());
    std::string index{2, 1};
    const size_t leaves = (entries.size() + kMaxSubnodeEntries - 1) / kMaxSubnodeEntries;
    if (leaves > kMaxSubnodeIndexEntries) throw std::logic_error("too many subnodes");
    PutLe(index, leaves, 2);
    PutLe(index, 0, 4);
    for (size_t at = 0; at < entries.size(); at += kMaxSubnodeEntries) {
        const uint64_t bid = leaf(at, std::min(kMaxSubnodeEntries, entries.size() - at));
        PutLe(index, entries[at].nid, 8);
        PutLe(index, bid, 8);
    }
    return WriteBlock(index, true);
}

void PstNdbWriter::AddNode(uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t nidParent) {
    nodes_.push_back({nid, bidData, bidSub, nidParent});
    UseNid(nid);
}

void PstNdbWriter::UseNid(uint32_t nid) {
    uint32_t& next = nextNidIndex_[nid & 0x1F];
    next = std::max(next, PstNidIndex(nid) + 1);
}

void PstNdbWriter::WritePage(uint64_t ib, std::string data, uint8_t pageType, uint64_t bid) {
    data.resize(kPageData, '\0');
    const bool tree = pageType == kPageBlockTree || pageType == kPageNodeTree;
    const uint32_t crc = PstCrc(data);
    data.push_back(static_cast<char>(pageType));
    data.push_back(static_cast<char>(pageType));
    PutLe(data, tree ? PstSignature(ib, bid) : 0, 2);
    PutLe(data, crc, 4);
    PutLe(data, bid, 8);
    WriteAt(ib, data);
}

template <typename Entry, typename Fill>
PstNdbWriter::PageRef PstNdbWriter::WriteBTree(const std::vector<Entry>& entries, uint8_t pageType,
                                               size_t entrySize, Fill fill) {
    const auto page = [&](size_t count, size_t size, uint8_t level, const auto& put) {
        std::string data;
        for (size_t i = 0; i < count; ++i) put(data, i);
        data.resize(kBTreeEntryBytes, '\0');
        data.push_back(static_cast<char>(count));
        data.push_back(static_cast<char>(kBTreeEntryBytes / size));
        data.push_back(static_cast<char>(size));
        data.push_back(static_cast<char>(level));
        PutLe(data, 0, 4);
        const uint64_t bid = nextPageBid_++;
        const uint64_t ib = Allocate(kPageSize, kPageSize);
        WritePage(ib, std::move(data), pageType, bid);
        return std::pair{bid, ib};
    };
    std::vector<PageRef> level;
    const size_t perLeaf = kBTreeEntryBytes / entrySize;
    for (size_t at = 0; at == 0 || at < entries.size(); at += perLeaf) {
        const size_t count = std::min(perLeaf, entries.size() - at);
        const auto [bid, ib] = page(
            count, entrySize, 0, [&](std::string& out, size_t i) { fill(out, entries[at + i]); });
        level.push_back({count > 0 ? entries[at].key() : 0, bid, ib});
    }
    for (uint8_t depth = 1; level.size() > 1; ++depth) {
        std::vector<PageRef> upper;
        const size_t perPage = kBTreeEntryBytes / 24;
        for (size_t at = 0; at < level.size(); at += perPage) {
            const size_t count = std::min(perPage, level.size() - at);
            const auto [bid, ib] = page(count, 24, depth, [&](std::string& out, size_t i) {
                PutLe(out, level[at + i].key, 8);
                PutLe(out, level[at + i].bid, 8);
                PutLe(out, level[at + i].ib, 8);
            });
            upper.push_back({level[at].key, bid, ib});
        }
        level = std::move(upper);
    }
    return level.front();
}

void PstNdbWriter::WriteMaps() {
    for (size_t interval = 0; interval < amaps_.size(); ++interval) {
        const uint64_t base = IntervalBase(interval);
        WritePage(base, amaps_[interval], kPageAllocationMap, base);
        // Page maps are no longer kept up to date; every page counts as in use.
        if (interval % kPageMapEvery == 0) {
            WritePage(base + kPageSize, std::string(kPageData, '\xFF'), kPagePageMap,
                      base + kPageSize);
        }
    }
    WritePage(kDensityListAt, std::string(), kPageDensityList, kDensityListAt);
}

void PstNdbWriter::WriteHeader(const PageRef& nodes, const PageRef& blocks) {
    uint64_t freeBytes = 0;
    for (const std::string& map : amaps_) {
        for (const char bits : map)
            freeBytes += 64 * (8 - std::popcount(static_cast<uint8_t>(bits)));
    }
    std::string header;
    header += "!BDN";
    PutLe(header, 0, 4);
    header += "SM";
    PutLe(header, 23, 2);  // Unicode
    PutLe(header, 19, 2);
    header.push_back(1);
    header.push_back(1);
    PutLe(header, 0, 8);
    PutLe(header, 0, 8);
    PutLe(header, nextPageBid_, 8);
    PutLe(header, 1, 4);
    for (uint32_t type = 0; type < 32; ++type) PutLe(header, PstNid(type, nextNidIndex_[type]), 4);
    PutLe(header, 0, 8);
    PutLe(header, 0, 4);
    PutLe(header, end_, 8);
    PutLe(header, IntervalBase(amaps_.size() - 1), 8);
    PutLe(header, freeBytes, 8);
    PutLe(header, 0, 8);
    PutLe(header, nodes.bid, 8);
    PutLe(header, nodes.ib, 8);
    PutLe(header, blocks.bid, 8);
    PutLe(header, blocks.ib, 8);
    header.push_back(2);  // the allocation maps are valid
    header.push_back(0);
    PutLe(header, 0, 2);
    PutLe(header, 0, 4);
    header.append(256, '\xFF');
    header.push_back('\x80');
    header.push_back(0);  // not encoded
    PutLe(header, 0, 2);
    PutLe(header, nextBlockIndex_ << 2, 8);
    PutLe(header, 0, 4);
    header.resize(kHeaderSize, '\0');
    SetLe(header, 4, PstCrc(std::string_view(header).substr(8, 471)), 4);
    SetLe(header, 524, PstCrc(std::string_view(header).substr(8, 516)), 4);
    WriteAt(0, header);
}

void PstNdbWriter::Finish() {
    std::sort(nodes_.begin(), nodes_.end(),
              [](const NodeEntry& a, const NodeEntry& b) { return a.nid < b.nid; });
    std::sort(blocks_.begin(), blocks_.end(),
              [](const BlockEntry& a, const BlockEntry& b) { return a.bid < b.bid; });
    const PageRef nodeRoot =
        WriteBTree(nodes_, kPageNodeTree, 32, [](std::string& out, const NodeEntry& e) {
            PutLe(out, e.nid, 8);
            PutLe(out, e.bidData, 8);
            PutLe(out, e.bidSub, 8);
            PutLe(out, e.nidParent, 4);
            PutLe(out, 0, 4);
        });
    const PageRef blockRoot =
        WriteBTree(blocks_, kPageBlockTree, 24, [](std::string& out, const BlockEntry& e) {
            PutLe(out, e.bid, 8);
            PutLe(out, e.ib, 8);
            PutLe(out, e.cb, 2);
            PutLe(out, 2, 2);
            PutLe(out, 0, 4);
        });
    WriteMaps();
    WriteHeader(nodeRoot, blockRoot);
    file_.flush();
    if (!file_) throw std::runtime_error("Cannot write the personal folder file");
    file_.close();
}

}  // namespace mailsift::samples
