#include "samples/pst_heap.h"

#include <stdexcept>

#include "samples/pst_bytes.h"
#include "samples/pst_ndb_writer.h"

namespace mailsift::samples {

namespace {

constexpr size_t kFirstPageHeader = 12;
constexpr size_t kPageHeader = 2;
// Pages 8, 136, 264, … begin with a fill-level bitmap of the 128 pages that follow.
constexpr size_t kBitmapPageHeader = 66;

size_t PageMapSize(size_t items) {
    return 4 + 2 * (items + 1);
}

}  // namespace

size_t PstHeap::HeaderSize(size_t page) {
    if (page == 0) return kFirstPageHeader;
    return page % 128 == 8 ? kBitmapPageHeader : kPageHeader;
}

uint32_t PstHeap::Allocate(std::string_view bytes) {
    if (bytes.size() > kPstMaxHeapItem) throw std::logic_error("heap item too large");
    const auto fits = [&](const Page& page, size_t index) {
        // The page map starts on an even offset.
        const size_t used = HeaderSize(index) + page.bytes + bytes.size();
        return used + (used & 1) + PageMapSize(page.items.size() + 1) <= kPstMaxBlockData &&
               page.items.size() < 0x7FF;
    };
    if (pages_.empty() || !fits(pages_.back(), pages_.size() - 1)) pages_.emplace_back();
    Page& page = pages_.back();
    page.items.emplace_back(bytes);
    page.bytes += bytes.size();
    return static_cast<uint32_t>((page.items.size() << 5) | ((pages_.size() - 1) << 16));
}

std::vector<std::string> PstHeap::Pages() const {
    std::vector<std::string> blocks;
    for (size_t index = 0; index < (pages_.empty() ? 1 : pages_.size()); ++index) {
        static const Page kEmpty;
        const Page& page = pages_.empty() ? kEmpty : pages_[index];
        std::string block(HeaderSize(index), '\0');
        std::vector<size_t> offsets;
        for (const std::string& item : page.items) {
            offsets.push_back(block.size());
            block += item;
        }
        offsets.push_back(block.size());
        if (block.size() & 1) block.push_back('\0');
        SetLe(block, 0, block.size(), 2);
        if (index == 0) {
            block[2] = static_cast<char>(0xEC);
            block[3] = static_cast<char>(clientSignature_);
            SetLe(block, 4, userRoot_, 4);
        }
        PutLe(block, page.items.size(), 2);
        PutLe(block, 0, 2);
        for (const size_t offset : offsets) PutLe(block, offset, 2);
        blocks.push_back(std::move(block));
    }
    return blocks;
}

uint32_t WritePstBTree(PstHeap& heap, uint8_t cbKey, uint8_t cbData,
                       const std::vector<std::pair<std::string, std::string>>& records) {
    std::vector<std::pair<std::string, uint32_t>> level;
    const size_t perLeaf = kPstMaxHeapItem / (cbKey + cbData);
    for (size_t at = 0; at < records.size(); at += perLeaf) {
        std::string item;
        for (size_t i = at; i < std::min(records.size(), at + perLeaf); ++i) {
            item += records[i].first;
            item += records[i].second;
        }
        level.emplace_back(records[at].first, heap.Allocate(item));
    }
    uint8_t indexLevels = 0;
    const size_t perIndex = kPstMaxHeapItem / (cbKey + 4);
    while (level.size() > 1) {
        std::vector<std::pair<std::string, uint32_t>> upper;
        for (size_t at = 0; at < level.size(); at += perIndex) {
            std::string item;
            for (size_t i = at; i < std::min(level.size(), at + perIndex); ++i) {
                item += level[i].first;
                PutLe(item, level[i].second, 4);
            }
            upper.emplace_back(level[at].first, heap.Allocate(item));
        }
        level = std::move(upper);
        ++indexLevels;
    }
    std::string header;
    header.push_back(static_cast<char>(0xB5));
    header.push_back(static_cast<char>(cbKey));
    header.push_back(static_cast<char>(cbData));
    header.push_back(static_cast<char>(indexLevels));
    PutLe(header, level.empty() ? 0 : level.front().second, 4);
    return heap.Allocate(header);
}

}  // namespace mailsift::samples
