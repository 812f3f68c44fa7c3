#include "samples/pst_contexts.h"

#include <algorithm>
#include <map>

#include "samples/pst_bytes.h"
#include "samples/pst_heap.h"

namespace mailsift::samples {

namespace {

constexpr uint16_t kTypeShort = 0x0002;
constexpr uint16_t kTypeLong = 0x0003;
constexpr uint16_t kTypeFloat = 0x0004;
constexpr uint16_t kTypeError = 0x000A;
constexpr uint16_t kTypeBoolean = 0x000B;
constexpr uint16_t kTypeDouble = 0x0005;
constexpr uint16_t kTypeCurrency = 0x0006;
constexpr uint16_t kTypeAppTime = 0x0007;
constexpr uint16_t kTypeLongLong = 0x0014;
constexpr uint16_t kTypeTime = 0x0040;

uint16_t TypeOf(uint32_t tag) {
    return static_cast<uint16_t>(tag & 0xFFFF);
}

// Bytes of a value kept in place of its heap identifier; 0 for values kept elsewhere.
size_t InlineSize(uint16_t type) {
    switch (type) {
        case kTypeBoolean:
            return 1;
        case kTypeShort:
            return 2;
        case kTypeLong:
        case kTypeFloat:
        case kTypeError:
            return 4;
        default:
            return 0;
    }
}

// Bytes of a value in a table row; variable values are kept as a heap or subnode identifier.
size_t CellSize(uint16_t type) {
    switch (type) {
        case kTypeDouble:
        case kTypeCurrency:
        case kTypeAppTime:
        case kTypeLongLong:
        case kTypeTime:
            return 8;
        default:
            return InlineSize(type) != 0 ? InlineSize(type) : 4;
    }
}

// Where a value of variable size goes: the heap when it is small enough, else a subnode.
uint32_t StoreValue(const std::string& value, PstHeap& heap, PstSubnodeList& subnodes) {
    if (value.empty()) return 0;
    if (value.size() <= kPstMaxHeapItem) return heap.Allocate(value);
    return subnodes.AddData(value);
}

}  // namespace

PstProperty PstLong(uint32_t tag, int64_t value) {
    PstProperty property{tag, {}};
    PutLe(property.value, static_cast<uint64_t>(value), static_cast<int>(CellSize(TypeOf(tag))));
    return property;
}

PstProperty PstBool(uint32_t tag, bool value) {
    return {tag, std::string(1, value ? 1 : 0)};
}

PstProperty PstTime(uint32_t tag, uint64_t fileTime) {
    PstProperty property{tag, {}};
    PutLe(property.value, fileTime, 8);
    return property;
}

PstProperty PstText(uint32_t tag, std::string_view utf8) {
    return {tag, PstUtf16(utf8)};
}

PstProperty PstBinary(uint32_t tag, std::string_view bytes) {
    return {tag, std::string(bytes)};
}

PstProperty PstTexts(uint32_t tag, const std::vector<std::string>& utf8) {
    // The count, one offset per value from the start, then the values one after another.
    PstProperty property{tag, {}};
    PutLe(property.value, utf8.size(), 4);
    std::string values;
    const size_t start = 4 + 4 * utf8.size();
    for (const std::string& text : utf8) {
        PutLe(property.value, start + values.size(), 4);
        values += PstUtf16(text);
    }
    property.value += values;
    return property;
}

uint32_t PstSubnodeList::AddData(std::string_view data) {
    const uint32_t nid = NewNid(kNidTypeLtp);
    entries_.push_back({nid, ndb_.WriteData(data), 0});
    return nid;
}

uint32_t PstSubnodeList::AddBlocks(const std::vector<std::string>& blocks) {
    const uint32_t nid = NewNid(kNidTypeLtp);
    entries_.push_back({nid, ndb_.WriteBlocks(blocks), 0});
    return nid;
}

std::vector<std::string> BuildPropertyContext(PstProperties properties, PstSubnodeList& subnodes) {
    std::sort(properties.begin(), properties.end(),
              [](const PstProperty& a, const PstProperty& b) { return a.tag >> 16 < b.tag >> 16; });
    PstHeap heap(0xBC);
    std::vector<std::pair<std::string, std::string>> records;
    for (const PstProperty& property : properties) {
        const uint16_t type = TypeOf(property.tag);
        std::string key;
        PutLe(key, property.tag >> 16, 2);
        std::string data;
        PutLe(data, type, 2);
        if (InlineSize(type) != 0) {
            std::string value = property.value;
            value.resize(4, '\0');
            data += value;
        } else {
            PutLe(data, StoreValue(property.value, heap, subnodes), 4);
        }
        records.emplace_back(std::move(key), std::move(data));
    }
    heap.SetUserRoot(WritePstBTree(heap, 2, 6, records));
    return heap.Pages();
}

std::vector<std::string> BuildTableContext(std::vector<uint32_t> columns,
                                           const std::vector<PstProperties>& rows,
                                           PstSubnodeList& subnodes) {
    columns.push_back(kPstTagRowId);
    columns.push_back(kPstTagRowVersion);
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());

    // The row identifier and version come first, then the values by size, largest first.
    struct Cell {
        uint16_t offset = 0;
        uint8_t size = 0;
        uint8_t bit = 0;
    };
    // Readers find a column's existence bit by its place in the row, the row identifier first.
    std::map<uint32_t, Cell> cells;
    cells[kPstTagRowId] = {0, 4, 0};
    cells[kPstTagRowVersion] = {4, 4, 1};
    uint8_t nextBit = 2;
    uint16_t end = 8;
    uint16_t ends[3] = {};
    for (const size_t size : {size_t{8}, size_t{4}, size_t{2}, size_t{1}}) {
        for (const uint32_t tag : columns) {
            if (tag == kPstTagRowId || tag == kPstTagRowVersion) continue;
            if (CellSize(TypeOf(tag)) != size) continue;
            cells[tag] = {end, static_cast<uint8_t>(size), nextBit++};
            end = static_cast<uint16_t>(end + size);
        }
        if (size == 4) ends[0] = end;
        if (size == 2) ends[1] = end;
        if (size == 1) ends[2] = end;
    }
    const size_t rowSize = ends[2] + (columns.size() + 7) / 8;

    PstHeap heap(0x7C);
    std::string matrix;
    std::vector<std::pair<uint32_t, uint32_t>> rowIds;  // row identifier, row number
    for (size_t r = 0; r < rows.size(); ++r) {
        std::string row(rowSize, '\0');
        for (const PstProperty& property : rows[r]) {
            const auto cell = cells.find(property.tag);
            if (cell == cells.end()) continue;
            std::string value = property.value;
            if (InlineSize(TypeOf(property.tag)) == 0 && cell->second.size == 4) {
                if (value.empty()) continue;
                value.clear();
                PutLe(value, StoreValue(property.value, heap, subnodes), 4);
            }
            value.resize(cell->second.size, '\0');
            row.replace(cell->second.offset, cell->second.size, value);
            const size_t bit = cell->second.bit;
            row[ends[2] + bit / 8] = static_cast<char>(
                static_cast<uint8_t>(row[ends[2] + bit / 8]) | (0x80 >> (bit % 8)));
            if (property.tag == kPstTagRowId) {
                rowIds.emplace_back(static_cast<uint32_t>(GetLe(value, 0, 4)),
                                    static_cast<uint32_t>(r));
            }
        }
        matrix += row;
    }
    std::sort(rowIds.begin(), rowIds.end());
    std::vector<std::pair<std::string, std::string>> index;
    for (const auto& [id, number] : rowIds) {
        index.emplace_back();
        PutLe(index.back().first, id, 4);
        PutLe(index.back().second, number, 4);
    }
    uint32_t rowsAt = 0;
    if (!matrix.empty() && matrix.size() <= kPstMaxHeapItem) {
        rowsAt = heap.Allocate(matrix);
    } else if (!matrix.empty()) {
        // Rows never straddle blocks.
        const size_t perBlock = kPstMaxBlockData / rowSize * rowSize;
        std::vector<std::string> blocks;
        for (size_t at = 0; at < matrix.size(); at += perBlock)
            blocks.push_back(matrix.substr(at, perBlock));
        rowsAt = subnodes.AddBlocks(blocks);
    }
    const uint32_t rowIndex = WritePstBTree(heap, 4, 4, index);

    std::string info;
    info.push_back(0x7C);
    info.push_back(static_cast<char>(columns.size()));
    for (const uint16_t bound : ends) PutLe(info, bound, 2);
    PutLe(info, rowSize, 2);
    PutLe(info, rowIndex, 4);
    PutLe(info, rowsAt, 4);
    PutLe(info, 0, 4);
    for (const uint32_t tag : columns) {
        const Cell& cell = cells[tag];
        PutLe(info, tag, 4);
        PutLe(info, cell.offset, 2);
        info.push_back(static_cast<char>(cell.size));
        info.push_back(static_cast<char>(cell.bit));
    }
    heap.SetUserRoot(heap.Allocate(info));
    return heap.Pages();
}

}  // namespace mailsift::samples
