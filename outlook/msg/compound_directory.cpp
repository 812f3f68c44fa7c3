#include "outlook/msg/compound_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/positioned_io.h"

namespace mailsift {

namespace {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kHeaderSize = 512;
constexpr size_t kHeaderFatSectors = 109;
constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

constexpr size_t kEntrySize = 128;
constexpr size_t kNameLengthAt = 0x40;
constexpr size_t kTypeAt = 0x42;
constexpr size_t kColourAt = 0x43;
constexpr size_t kLeftAt = 0x44;
constexpr size_t kRightAt = 0x48;
constexpr size_t kChildAt = 0x4C;
constexpr size_t kMaxNameBytes = 64;

constexpr uint8_t kStorage = 1;
constexpr uint8_t kStream = 2;
constexpr uint8_t kRoot = 5;
constexpr uint8_t kRed = 0;
constexpr uint8_t kBlack = 1;

uint16_t Get16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

uint32_t Get32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The order siblings are kept in: shorter names first, then code unit by code unit after
// upper-casing. The names this program writes are ASCII; Latin-1 letters are upper-cased as
// well, other code units compare as they are.
char16_t UpperCase(char16_t unit) {
    if ((unit >= u'a' && unit <= u'z') || (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7)) {
        return static_cast<char16_t>(unit - 0x20);
    }
    return unit == 0xFF ? char16_t{0x178} : unit;
}

// One compound file opened for reading and writing, and its directory stream read whole.
class Directory {
  public:
    explicit Directory(int file) : file_(file) {}

    bool Load() {
        struct stat status {};
        if (fstat(file_, &status) != 0) return Fail(std::string("cannot stat: ") + strerror(errno));
        const auto size = static_cast<uint64_t>(status.st_size);
        uint8_t header[kHeaderSize];
        if (size < kHeaderSize || !ReadAllAt(file_, header, kHeaderSize, 0)) {
            return Fail("no header");
        }
        if (!std::equal(std::begin(kSignature), std::end(kSignature), header)) {
            return Fail("not a compound file");
        }
        const uint16_t shift = Get16(header + 0x1E);
        if (shift != 9 && shift != 12) return Fail("unknown sector size");
        sectorSize_ = size_t{1} << shift;
        // The header takes the place of sector -1, padded to a whole sector.
        sectors_ = size / sectorSize_ > 0 ? size / sectorSize_ - 1 : 0;
        return ReadFatSectorList(header) && ReadDirectory(Get32(header + 0x30));
    }

    // Relinks the children of every storage reachable from the root; nothing is written yet.
    bool Rebalance() {
        const size_t count = entries_.size() / kEntrySize;
        if (count == 0 || Entry(0)[kTypeAt] != kRoot) return Fail("no root entry");
        std::vector<bool> reached(count, false);
        reached[0] = true;
        std::deque<uint32_t> storages{0};
        std::vector<uint32_t> children;
        while (!storages.empty()) {
            const uint32_t storage = storages.front();
            storages.pop_front();
            if (!CollectChildren(storage, reached, children) || !SortByName(children)) {
                return false;
            }
            Put32(Entry(storage) + kChildAt, Link(children));
            for (uint32_t child : children) {
                if (Entry(child)[kTypeAt] == kStorage) storages.push_back(child);
            }
        }
        return true;
    }

    // Writes back the directory sectors that changed.
    bool Store() {
        for (size_t i = 0; i < chain_.size(); ++i) {
            const size_t at = i * sectorSize_;
            if (std::memcmp(entries_.data() + at, original_.data() + at, sectorSize_) == 0) {
                continue;
            }
            if (!WriteAllAt(file_, entries_.data() + at, sectorSize_, Offset(chain_[i]))) {
                return Fail(std::string("cannot write: ") + strerror(errno));
            }
        }
        return true;
    }

    const std::string& error() const { return error_; }

  private:
    bool Fail(const std::string& why) {
        error_ = why;
        return false;
    }

    uint64_t Offset(uint32_t sector) const { return (uint64_t{sector} + 1) * sectorSize_; }

    bool ReadSector(uint32_t sector, uint8_t* into) {
        if (sector >= sectors_)
            return Fail("sector " + std::to_string(sector) + " is past the end");
        if (!ReadAllAt(file_, into, sectorSize_, Offset(sector))) {
            return Fail("cannot read sector " + std::to_string(sector));
        }
        return true;
    }

    // The sectors that hold the allocation table: the first ones are named in the header, the
    // rest in a chain of list sectors whose last slot points to the next one.
    bool ReadFatSectorList(const uint8_t* header) {
        const uint32_t count = Get32(header + 0x2C);
        if (count > sectors_) return Fail("more allocation sectors than the file holds");
        for (size_t i = 0; i < std::min<size_t>(count, kHeaderFatSectors); ++i) {
            fatSectors_.push_back(Get32(header + 0x4C + 4 * i));
        }
        std::vector<uint8_t> list(sectorSize_);
        const size_t perList = sectorSize_ / 4 - 1;
        uint32_t next = Get32(header + 0x44);
        for (uint64_t lists = 0; fatSectors_.size() < count; ++lists) {
            if (lists >= sectors_) return Fail("the allocation sector list loops");
            if (!ReadSector(next, list.data())) return false;
            for (size_t i = 0; i < perList && fatSectors_.size() < count; ++i) {
                fatSectors_.push_back(Get32(list.data() + 4 * i));
            }
            next = Get32(list.data() + 4 * perList);
        }
        return true;
    }

    // The sector after `sector` in its chain, reading the table sector that says so.
    bool NextSector(uint32_t sector, uint32_t& next) {
        const size_t perSector = sectorSize_ / 4;
        const size_t index = sector / perSector;
        if (index >= fatSectors_.size()) {
            return Fail("sector " + std::to_string(sector) + " is not in the allocation table");
        }
        if (index != cachedFatSector_) {
            fatCache_.resize(sectorSize_);
            if (!ReadSector(fatSectors_[index], fatCache_.data())) return false;
            cachedFatSector_ = index;
        }
        next = Get32(fatCache_.data() + 4 * (sector % perSector));
        return true;
    }

    bool ReadDirectory(uint32_t first) {
        for (uint32_t sector = first; sector != kEndOfChain;) {
            if (chain_.size() >= sectors_) return Fail("the directory chain loops");
            chain_.push_back(sector);
            entries_.resize(chain_.size() * sectorSize_);
            if (!ReadSector(sector, entries_.data() + entries_.size() - sectorSize_) ||
                !NextSector(sector, sector)) {
                return false;
            }
        }
        original_ = entries_;
        return true;
    }

    uint8_t* Entry(uint32_t index) { return entries_.data() + size_t{index} * kEntrySize; }

    // The entries of the tree below `storage`, each reached at most once in the whole file.
    bool CollectChildren(uint32_t storage, std::vector<bool>& reached,
                         std::vector<uint32_t>& children) {
        children.clear();
        std::vector<uint32_t> pending{Get32(Entry(storage) + kChildAt)};
        while (!pending.empty()) {
            const uint32_t index = pending.back();
            pending.pop_back();
            if (index == kNoEntry) continue;
            const std::string where =
                "entry " + std::to_string(index) + " below entry " + std::to_string(storage);
            if (index >= reached.size()) return Fail(where + " is past the directory");
            if (reached[index]) return Fail(where + " is reached twice");
            reached[index] = true;
            const uint8_t* entry = Entry(index);
            const uint16_t nameBytes = Get16(entry + kNameLengthAt);
            if (entry[kTypeAt] != kStorage && entry[kTypeAt] != kStream) {
                return Fail(where + " is neither a storage nor a stream");
            }
            if (nameBytes < 2 || nameBytes > kMaxNameBytes || nameBytes % 2 != 0) {
                return Fail(where + " has a bad name length");
            }
            children.push_back(index);
            pending.push_back(Get32(entry + kLeftAt));
            pending.push_back(Get32(entry + kRightAt));
        }
        return true;
    }

    std::u16string SortKey(uint32_t index) {
        const uint8_t* entry = Entry(index);
        std::u16string key(Get16(entry + kNameLengthAt) / 2 - 1, u'\0');
        for (size_t i = 0; i < key.size(); ++i) key[i] = UpperCase(Get16(entry + 2 * i));
        return key;
    }

    bool SortByName(std::vector<uint32_t>& children) {
        std::vector<std::pair<std::u16string, uint32_t>> keyed;
        keyed.reserve(children.size());
        for (uint32_t child : children) keyed.emplace_back(SortKey(child), child);
        std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
            return a.first.size() != b.first.size() ? a.first.size() < b.first.size()
                                                    : a.first < b.first;
        });
        for (size_t i = 0; i < keyed.size(); ++i) {
            if (i > 0 && keyed[i].first == keyed[i - 1].first) {
                return Fail("entries " + std::to_string(keyed[i - 1].second) + " and " +
                            std::to_string(keyed[i].second) + " have the same name");
            }
            children[i] = keyed[i].second;
        }
        return true;
    }

    // Links sorted[lo, hi) below its median; returns the median and records its depth.
    uint32_t LinkRange(const std::vector<uint32_t>& sorted, size_t lo, size_t hi, unsigned depth,
                       std::vector<unsigned>& depths) {
        if (lo >= hi) return kNoEntry;
        const size_t middle = lo + (hi - lo) / 2;
        uint8_t* entry = Entry(sorted[middle]);
        Put32(entry + kLeftAt, LinkRange(sorted, lo, middle, depth + 1, depths));
        Put32(entry + kRightAt, LinkRange(sorted, middle + 1, hi, depth + 1, depths));
        depths[middle] = depth;
        return sorted[middle];
    }

    // Median splits leave every empty link on the last two levels, so colouring the last
    // level red when it is incomplete gives every path the same number of black nodes, and a
    // red node always has a black parent.
    uint32_t Link(const std::vector<uint32_t>& sorted) {
        std::vector<unsigned> depths(sorted.size(), 0);
        const uint32_t root = LinkRange(sorted, 0, sorted.size(), 1, depths);
        const unsigned height =
            sorted.empty() ? 0 : *std::max_element(depths.begin(), depths.end());
        const bool complete = (sorted.size() & (sorted.size() + 1)) == 0;
        for (size_t i = 0; i < sorted.size(); ++i) {
            Entry(sorted[i])[kColourAt] = depths[i] == height && !complete ? kRed : kBlack;
        }
        return root;
    }

    int file_;
    size_t sectorSize_ = 0;
    uint64_t sectors_ = 0;
    std::vector<uint32_t> fatSectors_;
    std::vector<uint8_t> fatCache_;
    size_t cachedFatSector_ = SIZE_MAX;
    std::vector<uint32_t> chain_;
    std::vector<uint8_t> entries_;
    std::vector<uint8_t> original_;
    std::string error_;
};

bool BalanceDescriptor(int file, std::string& error) {
    Directory directory(file);
    if (directory.Load() && directory.Rebalance() && directory.Store()) return true;
    error = "cannot balance the directory: " + directory.error();
    return false;
}

}  // namespace

bool BalanceDirectoryTrees(std::FILE* file, std::string& error) {
    if (std::fflush(file) != 0) {
        error = std::string("cannot flush: ") + strerror(errno);
        return false;
    }
    const int descriptor = fileno(file);
    const int mode = descriptor >= 0 ? fcntl(descriptor, F_GETFL) : -1;
    if (mode < 0) {
        error = std::string("no descriptor: ") + strerror(errno);
        return false;
    }
    // The directory is read back and written in place.
    if ((mode & O_ACCMODE) != O_RDWR || (mode & O_APPEND) != 0) {
        error = "cannot balance the directory: the file is not open for reading and writing";
        return false;
    }
    return BalanceDescriptor(descriptor, error);
}

}  // namespace mailsift
