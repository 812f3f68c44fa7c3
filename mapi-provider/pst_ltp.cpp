#include "mapi-provider/pst_ltp.h"

#include <algorithm>
#include <unordered_set>

#include "mapi-provider/pst_bytes.h"

namespace mailsift::mapi_provider::pst {

namespace {

constexpr uint8_t kHeapSignature = 0xEC;
constexpr uint8_t kPropertyContext = 0xBC;
constexpr uint8_t kTableContext = 0x7C;
constexpr uint8_t kBTreeOnHeap = 0xB5;
constexpr int kMaxBTreeLevels = 8;

// The size of a value kept in place of a reference, by its type; 0 for values kept elsewhere.
size_t FixedSize(uint16_t type) {
    switch (type) {
        case 0x0002:  // PT_I2
            return 2;
        case 0x0003:  // PT_LONG
        case 0x0004:  // PT_R4
        case 0x000A:  // PT_ERROR
            return 4;
        case 0x000B:  // PT_BOOLEAN
            return 1;
        case 0x0005:  // PT_DOUBLE
        case 0x0006:  // PT_CURRENCY
        case 0x0007:  // PT_APPTIME
        case 0x0014:  // PT_I8
        case 0x0040:  // PT_SYSTIME
            return 8;
        default:
            return 0;
    }
}

// A reference to a value: a heap allocation when its low five bits are clear, else a subnode.
Status AddReferenced(const Heap& heap, uint32_t hnid, Entry& entry, Record& record) {
    if (hnid != 0 && (hnid & 0x1F) != 0) {
        entry.subnode = hnid;
        return Status::Ok;
    }
    std::string_view value;
    const Status status = heap.Get(hnid, value);
    if (status != Status::Ok) return status;
    entry.offset = static_cast<uint32_t>(record.bytes.size());
    entry.size = static_cast<uint32_t>(value.size());
    record.bytes.append(value);
    return Status::Ok;
}

void AddInline(std::string_view value, Entry& entry, Record& record) {
    entry.offset = static_cast<uint32_t>(record.bytes.size());
    entry.size = static_cast<uint32_t>(value.size());
    record.bytes.append(value);
}

// The records of a B-tree on the heap, each its key followed by its data.
Status ReadHeapBTree(const Heap& heap, uint32_t header, size_t keySize, size_t dataSize,
                     std::vector<std::string_view>& records) {
    std::string_view bytes;
    Status status = heap.Get(header, bytes);
    if (status != Status::Ok) return status;
    if (bytes.size() < 8 || static_cast<uint8_t>(bytes[0]) != kBTreeOnHeap ||
        static_cast<uint8_t>(bytes[1]) != keySize || static_cast<uint8_t>(bytes[2]) != dataSize) {
        return Status::Damaged;
    }
    const int levels = static_cast<uint8_t>(bytes[3]);
    if (levels > kMaxBTreeLevels) return Status::Damaged;
    struct Pending {
        uint32_t hid;
        int level;
    };
    std::vector<Pending> pending{{LittleEndian<uint32_t>(bytes, 4, 4), levels}};
    // A node reached twice would repeat its records: damage, not data.
    std::unordered_set<uint32_t> seen;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (next.hid == 0 || !seen.insert(next.hid).second) continue;
        std::string_view node;
        status = heap.Get(next.hid, node);
        if (status != Status::Ok) return status;
        const size_t recordSize = next.level == 0 ? keySize + dataSize : keySize + 4;
        if (node.size() % recordSize != 0) return Status::Damaged;
        const size_t count = node.size() / recordSize;
        if (next.level == 0) {
            for (size_t i = 0; i < count; ++i)
                records.push_back(node.substr(i * recordSize, recordSize));
            continue;
        }
        for (size_t i = count; i-- > 0;) {
            pending.push_back(
                {LittleEndian<uint32_t>(node, i * recordSize + keySize, 4), next.level - 1});
        }
    }
    return Status::Ok;
}

}  // namespace

const Entry* Record::Find(uint16_t id) const {
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [id](const Entry& entry) { return entry.id == id; });
    return found != entries.end() ? &*found : nullptr;
}

Status Heap::Open(std::vector<std::string> blocks, Heap& heap) {
    if (blocks.empty() || blocks[0].size() < 12 ||
        static_cast<uint8_t>(blocks[0][2]) != kHeapSignature) {
        return Status::Damaged;
    }
    heap.clientSignature_ = static_cast<uint8_t>(blocks[0][3]);
    heap.userRoot_ = LittleEndian<uint32_t>(blocks[0], 4, 4);
    heap.blocks_ = std::move(blocks);
    return Status::Ok;
}

Status Heap::Get(uint32_t hid, std::string_view& item) const {
    item = {};
    if (hid == 0) return Status::Ok;
    const size_t index = (hid >> 5) & 0x7FF;
    const size_t blockIndex = hid >> 16;
    if ((hid & 0x1F) != 0 || index == 0 || blockIndex >= blocks_.size()) return Status::NotFound;
    const std::string_view block = blocks_[blockIndex];
    if (block.size() < 2) return Status::Damaged;
    const size_t map = LittleEndian<uint32_t>(block, 0, 2);
    if (map + 4 > block.size()) return Status::Damaged;
    const size_t allocations = LittleEndian<uint32_t>(block, map, 2);
    if (index > allocations || map + 4 + 2 * (allocations + 1) > block.size()) {
        return Status::NotFound;
    }
    const size_t start = LittleEndian<uint32_t>(block, map + 4 + 2 * (index - 1), 2);
    const size_t end = LittleEndian<uint32_t>(block, map + 4 + 2 * index, 2);
    if (start > end || end > map) return Status::Damaged;
    item = block.substr(start, end - start);
    return Status::Ok;
}

Status ReadPropertyContext(const Heap& heap, Record& record) {
    record = {};
    if (heap.clientSignature() != kPropertyContext) return Status::Damaged;
    std::vector<std::string_view> stored;
    Status status = ReadHeapBTree(heap, heap.userRoot(), 2, 6, stored);
    if (status != Status::Ok) return status;
    record.entries.reserve(stored.size());
    for (std::string_view property : stored) {
        Entry entry;
        entry.id = static_cast<uint16_t>(LittleEndian<uint32_t>(property, 0, 2));
        entry.type = static_cast<uint16_t>(LittleEndian<uint32_t>(property, 2, 2));
        const size_t fixed = FixedSize(entry.type);
        if (fixed > 0 && fixed <= 4) {
            AddInline(property.substr(4, fixed), entry, record);
        } else if (AddReferenced(heap, LittleEndian<uint32_t>(property, 4, 4), entry, record) !=
                   Status::Ok) {
            // One unreadable value does not cost the others.
            continue;
        }
        record.entries.push_back(entry);
    }
    return Status::Ok;
}

const SubnodeEntry* FindSubnode(const Subnodes& subnodes, uint32_t nid) {
    const auto found =
        std::lower_bound(subnodes.begin(), subnodes.end(), nid,
                         [](const SubnodeEntry& e, uint32_t n) { return e.nid < n; });
    return found != subnodes.end() && found->nid == nid ? &*found : nullptr;
}

Status ReadTableContext(const Heap& heap, const NodeDatabase& database, const Subnodes& subnodes,
                        std::vector<Record>& rows) {
    rows.clear();
    if (heap.clientSignature() != kTableContext) return Status::Damaged;
    std::string_view info;
    Status status = heap.Get(heap.userRoot(), info);
    if (status != Status::Ok) return status;
    if (info.size() < 22 || static_cast<uint8_t>(info[0]) != kTableContext) return Status::Damaged;
    const size_t columns = static_cast<uint8_t>(info[1]);
    const size_t rowSize = LittleEndian<uint32_t>(info, 8, 2);
    const size_t bitmapAt = LittleEndian<uint32_t>(info, 6, 2);
    const uint32_t rowsAt = LittleEndian<uint32_t>(info, 14, 4);
    if (info.size() < 22 + 8 * columns || bitmapAt > rowSize ||
        rowSize < bitmapAt + (columns + 7) / 8 || rowSize == 0) {
        return Status::Damaged;
    }
    struct Column {
        uint16_t id, type;
        size_t at, size, bit;
    };
    std::vector<Column> layout;
    for (size_t i = 0; i < columns; ++i) {
        const std::string_view column = info.substr(22 + 8 * i, 8);
        const uint32_t tag = LittleEndian<uint32_t>(column, 0, 4);
        Column c{static_cast<uint16_t>(tag >> 16), static_cast<uint16_t>(tag & 0xFFFF),
                 LittleEndian<uint32_t>(column, 4, 2), static_cast<uint8_t>(column[6]),
                 static_cast<uint8_t>(column[7])};
        if (c.at + c.size > rowSize || bitmapAt + c.bit / 8 >= rowSize) return Status::Damaged;
        layout.push_back(c);
    }

    // Rows never cross a block: each block holds as many whole rows as fit.
    std::vector<std::string> owned;
    std::vector<std::string_view> blocks;
    if (rowsAt != 0 && (rowsAt & 0x1F) != 0) {
        const SubnodeEntry* subnode = FindSubnode(subnodes, rowsAt);
        if (subnode == nullptr) return Status::NotFound;
        status = database.ReadBlocks(subnode->data, owned);
        if (status != Status::Ok) return status;
        blocks.assign(owned.begin(), owned.end());
    } else {
        std::string_view all;
        status = heap.Get(rowsAt, all);
        if (status != Status::Ok) return status;
        blocks.push_back(all);
    }
    for (std::string_view block : blocks) {
        for (size_t at = 0; at + rowSize <= block.size(); at += rowSize) {
            const std::string_view row = block.substr(at, rowSize);
            Record& record = rows.emplace_back();
            for (const Column& column : layout) {
                const auto bits = static_cast<uint8_t>(row[bitmapAt + column.bit / 8]);
                if ((bits & (0x80 >> (column.bit % 8))) == 0) continue;
                Entry entry;
                entry.id = column.id;
                entry.type = column.type;
                const size_t fixed = FixedSize(column.type);
                if (fixed > 0) {
                    AddInline(row.substr(column.at, std::min(fixed, column.size)), entry, record);
                } else if (column.size < 4 ||
                           AddReferenced(heap, LittleEndian<uint32_t>(row, column.at, 4), entry,
                                         record) != Status::Ok) {
                    continue;
                }
                record.entries.push_back(entry);
            }
        }
    }
    return Status::Ok;
}

}  // namespace mailsift::mapi_provider::pst
