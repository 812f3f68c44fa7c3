#include "stores/dbx_reader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/positioned_io.h"
#include "platform/work_hooks.h"

namespace mailsift {

namespace {

constexpr int64_t kRootPosition = 0x30;
constexpr int64_t kItemCountPosition = 0xC4;
constexpr int64_t kNodeHeadSize = 24;
constexpr int64_t kEntrySize = 12;
constexpr int64_t kObjectHeadSize = 12;
constexpr int64_t kBlockHeadSize = 16;
constexpr int64_t kBlockTextSize = 512;
// Every item needs an entry in the tree and an object of at least a head.
constexpr int64_t kSmallestItem = kEntrySize + kObjectHeadSize;

uint32_t Le32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint64_t LeNumber(const char* bytes, size_t size) {
    uint64_t value = 0;
    for (size_t i = size; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return value;
}

// A ".dbx" file opened for positioned reads. Callers ask Holds() before every read, so that
// no length taken from the file is trusted before it is known to fit.
class DbxFile {
  public:
    explicit DbxFile(const std::string& path) {
        // Non-blocking, so that a FIFO planted under a folder file's name cannot stall the open.
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat status {};
        if (fd_ >= 0 && (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0) size_ = status.st_size;
    }
    ~DbxFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    DbxFile(const DbxFile&) = delete;
    DbxFile& operator=(const DbxFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int64_t Size() const { return size_; }
    bool Holds(int64_t position, int64_t length) const {
        return position >= 0 && length >= 0 && length <= size_ && position <= size_ - length;
    }

    // Only for ranges Holds() accepted; a read that still falls short is an I/O failure.
    void Read(int64_t position, void* buffer, size_t length) const {
        if (!ReadAllAt(fd_, buffer, length, static_cast<uint64_t>(position))) {
            throw std::runtime_error("Cannot read the folder file at position " +
                                     std::to_string(position));
        }
    }

    uint32_t ReadUint32(int64_t position) const {
        std::array<unsigned char, 4> bytes{};
        Read(position, bytes.data(), bytes.size());
        return Le32(bytes.data());
    }

  private:
    int fd_ = -1;
    int64_t size_ = 0;
};

// The byte ranges taken by the structures read so far. Real files never let two structures
// share bytes; a crafted one that does could make the reader copy the same bytes again and
// again, so a structure that overlaps an earlier one is refused.
class ExtentSet {
  public:
    enum class Claim { Taken, SameStart, Overlaps };

    Claim Add(int64_t start, int64_t end) {
        auto next = extents_.lower_bound(start);
        if (next != extents_.end() && next->first == start) return Claim::SameStart;
        if (next != extents_.end() && next->first < end) return Claim::Overlaps;
        if (next != extents_.begin() && std::prev(next)->second > start) return Claim::Overlaps;
        extents_.emplace_hint(next, start, end);
        return Claim::Taken;
    }

  private:
    std::map<int64_t, int64_t> extents_;
};

int32_t ItemCountOf(const DbxFile& file, DbxDamageList& damage) {
    if (!file.Holds(kItemCountPosition, 4)) return 0;
    const auto count = static_cast<int32_t>(file.ReadUint32(kItemCountPosition));
    if (count <= 0) return 0;
    const int64_t room = file.Size() / kSmallestItem;
    if (count > room) {
        damage.push_back({DbxDamageKind::ItemCountTooLarge, kItemCountPosition});
        return static_cast<int32_t>(room);
    }
    return count;
}

// The blocks of a message, and the message infos of a folder, mostly follow one another in the
// file, so they are read a window at a time rather than with one system call each.
class ReadWindow {
  public:
    static constexpr int64_t kSize = 64 * 1024;

    explicit ReadWindow(const DbxFile& file) : file_(file), bytes_(kSize) {}

    // The length bytes at position, which the file must hold; length is at most kSize.
    const unsigned char* At(int64_t position, int64_t length) {
        if (position < start_ || position + length > start_ + filled_) {
            start_ = position;
            filled_ = std::min(file_.Size() - position, kSize);
            file_.Read(position, bytes_.data(), static_cast<size_t>(filled_));
        }
        return bytes_.data() + (position - start_);
    }

  private:
    const DbxFile& file_;
    std::vector<unsigned char> bytes_;
    int64_t start_ = 0;
    int64_t filled_ = 0;
};

// A folder info or message info: its index entries and its data area.
struct DbxObject {
    int32_t Position = 0;
    std::vector<uint32_t> Index;
    std::string Data;
};

// Reads the object at position, or notes why it cannot be read.
bool ReadObject(const DbxFile& file, ReadWindow& window, int32_t position, ExtentSet& extents,
                DbxDamageList& damage, DbxObject& object) {
    if (!file.Holds(position, kObjectHeadSize)) {
        damage.push_back({DbxDamageKind::OutsideFile, position});
        return false;
    }
    std::array<unsigned char, kObjectHeadSize> head{};
    std::memcpy(head.data(), window.At(position, kObjectHeadSize), head.size());
    if (static_cast<int32_t>(Le32(head.data())) != position) {
        damage.push_back({DbxDamageKind::NotAtOwnPosition, position});
        return false;
    }
    const int64_t bodyLength = Le32(head.data() + 4);
    const int64_t indexLength = int64_t{head[0x0A]} * 4;
    if (!file.Holds(position + kObjectHeadSize, bodyLength)) {
        damage.push_back({DbxDamageKind::OutsideFile, position});
        return false;
    }
    if (indexLength > bodyLength) {
        damage.push_back({DbxDamageKind::OutsideDataArea, position});
        return false;
    }
    if (extents.Add(position, position + kObjectHeadSize + bodyLength) != ExtentSet::Claim::Taken) {
        damage.push_back({DbxDamageKind::Overlap, position});
        return false;
    }
    std::string body(static_cast<size_t>(bodyLength), '\0');
    if (bodyLength <= ReadWindow::kSize) {
        std::memcpy(body.data(), window.At(position + kObjectHeadSize, bodyLength), body.size());
    } else {
        file.Read(position + kObjectHeadSize, body.data(), body.size());
    }
    object.Position = position;
    object.Index.resize(head[0x0A]);
    for (size_t i = 0; i < object.Index.size(); ++i) {
        object.Index[i] = Le32(reinterpret_cast<const unsigned char*>(body.data()) + 4 * i);
    }
    body.erase(0, static_cast<size_t>(indexLength));
    object.Data = std::move(body);
    return true;
}

// Walks the index tree from the root in the order its objects are listed: a node, the subtree
// of its link B, the subtree of its link A, then each entry's object followed by the subtree of
// the entry's child. Link B names the node's parent, which is walked already in every intact
// file; any other link to a node already walked is a loop. An explicit stack keeps a deep or
// crafted tree from exhausting the call stack.
template <typename Visit>
void WalkTree(const DbxFile& file, DbxDamageList& damage, Visit visit) {
    if (ItemCountOf(file, damage) <= 0 || !file.Holds(kRootPosition, 4)) return;
    enum class StepKind { ParentLink, ChildLink, Object };
    struct Step {
        StepKind kind;
        int32_t position;
    };
    std::vector<Step> pending{
        {StepKind::ChildLink, static_cast<int32_t>(file.ReadUint32(kRootPosition))}};
    std::unordered_set<int32_t> walked;
    ExtentSet extents;
    ReadWindow window(file);
    std::vector<unsigned char> node;
    while (!pending.empty()) {
        const Step step = pending.back();
        pending.pop_back();
        const int32_t position = step.position;
        if (position <= 0) continue;
        if (step.kind == StepKind::Object) {
            DbxObject object;
            if (ReadObject(file, window, position, extents, damage, object)) visit(object);
            continue;
        }
        if (walked.count(position) != 0) {
            if (step.kind == StepKind::ChildLink) {
                damage.push_back({DbxDamageKind::TreeLoop, position});
            }
            continue;
        }
        LetMessageLoopRun();
        if (!file.Holds(position, kNodeHeadSize)) {
            damage.push_back({DbxDamageKind::OutsideFile, position});
            continue;
        }
        node.resize(kNodeHeadSize);
        file.Read(position, node.data(), node.size());
        if (static_cast<int32_t>(Le32(node.data())) != position) {
            damage.push_back({DbxDamageKind::NotAtOwnPosition, position});
            continue;
        }
        int64_t entries = Le32(node.data() + 0x10) >> 8;
        const int64_t room = (file.Size() - position - kNodeHeadSize) / kEntrySize;
        if (entries > room) {
            damage.push_back({DbxDamageKind::OutsideFile, position});
            entries = room;
        }
        if (extents.Add(position, position + kNodeHeadSize + entries * kEntrySize) !=
            ExtentSet::Claim::Taken) {
            damage.push_back({DbxDamageKind::Overlap, position});
            continue;
        }
        walked.insert(position);
        const auto linkA = static_cast<int32_t>(Le32(node.data() + 0x08));
        const auto linkB = static_cast<int32_t>(Le32(node.data() + 0x0C));
        node.resize(static_cast<size_t>(kNodeHeadSize + entries * kEntrySize));
        file.Read(position + kNodeHeadSize, node.data() + kNodeHeadSize,
                  node.size() - kNodeHeadSize);
        for (int64_t i = entries; i-- > 0;) {
            const unsigned char* entry = node.data() + kNodeHeadSize + i * kEntrySize;
            pending.push_back({StepKind::ChildLink, static_cast<int32_t>(Le32(entry + 4))});
            pending.push_back({StepKind::Object, static_cast<int32_t>(Le32(entry))});
        }
        pending.push_back({StepKind::ChildLink, linkA});
        pending.push_back({StepKind::ParentLink, linkB});
    }
}

// The fields of one object's data area, each checked against the area's size; a field whose
// bytes lie outside it keeps what it held.
class ObjectFields {
  public:
    ObjectFields(const DbxObject& object, DbxDamageList& damage)
        : object_(object), damage_(damage) {}

    // The string from offset to its NUL or to the end of the data area.
    void String(uint32_t offset, std::string& out) {
        if (!Inside(offset, 1)) return;
        const std::string_view rest = std::string_view(object_.Data).substr(offset);
        out.assign(rest.substr(0, rest.find('\0')));
    }

    // A little-endian number of size bytes at offset.
    template <typename T>
    void Number(uint32_t offset, size_t size, T& out) {
        if (!Inside(offset, size)) return;
        out = static_cast<T>(LeNumber(object_.Data.data() + offset, size));
    }

  private:
    bool Inside(uint32_t offset, size_t size) {
        if (offset < object_.Data.size() && size <= object_.Data.size() - offset) return true;
        damage_.push_back({DbxDamageKind::OutsideDataArea, object_.Position});
        return false;
    }

    const DbxObject& object_;
    DbxDamageList& damage_;
};

uint8_t IdOf(uint32_t entry) {
    return static_cast<uint8_t>(entry & 0xFF);
}

uint32_t ValueOf(uint32_t entry) {
    return entry >> 8;
}

TMessageInfo MessageInfoFrom(const DbxObject& object, DbxDamageList& damage) {
    static constexpr std::pair<uint8_t, std::string TMessageInfo::*> kStrings[] = {
        {0x07, &TMessageInfo::MessageIdText},   {0x08, &TMessageInfo::SubjectText},
        {0x0B, &TMessageInfo::Str0B},           {0x0D, &TMessageInfo::SenderName},
        {0x0E, &TMessageInfo::SenderAddress},   {0x13, &TMessageInfo::ReceiverName},
        {0x14, &TMessageInfo::ReceiverAddress},
    };
    TMessageInfo info;
    info.InfoPosition = object.Position;
    ObjectFields fields(object, damage);
    for (const uint32_t entry : object.Index) {
        const uint32_t value = ValueOf(entry);
        switch (IdOf(entry)) {
            case 0x01:
                fields.Number(value, 3, info.Flags);
                break;
            case 0x81:
                info.Flags = value;
                break;
            case 0x02:
                fields.Number(value, 8, info.CreatedTime);
                break;
            case 0x12:
                fields.Number(value, 8, info.ReceivedTime);
                break;
            case 0x04:
                fields.Number(value, 4, info.DataPosition);
                break;
            case 0x84:
                info.DataPosition = static_cast<int32_t>(value);
                break;
            case 0x91:
                info.MessageSize = value;
                break;
            default:
                for (const auto& [id, field] : kStrings) {
                    if (id == IdOf(entry)) fields.String(value, info.*field);
                }
                break;
        }
    }
    return info;
}

bool NamesAFile(const DbxObject& object) {
    return std::any_of(object.Index.begin(), object.Index.end(),
                       [](uint32_t entry) { return IdOf(entry) == 0x03 || IdOf(entry) == 0x06; });
}

TFolder FolderFrom(const DbxObject& object, DbxDamageList& damage) {
    TFolder folder;
    ObjectFields fields(object, damage);
    for (const uint32_t entry : object.Index) {
        const uint32_t value = ValueOf(entry);
        switch (IdOf(entry)) {
            case 0x02:
                fields.String(value, folder.Name);
                break;
            case 0x03:
                fields.String(value, folder.StoreFile);
                break;
            case 0x80:
                folder.Id = static_cast<int32_t>(value);
                break;
            case 0x81:
                folder.ParentId = static_cast<int32_t>(value);
                break;
            default:
                break;
        }
    }
    return folder;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string_view DescribeDbxDamage(DbxDamageKind kind) {
    switch (kind) {
        case DbxDamageKind::OutsideFile:
            return "position outside the file";
        case DbxDamageKind::NotAtOwnPosition:
            return "structure not at its own position";
        case DbxDamageKind::OutsideDataArea:
            return "offset outside the data area";
        case DbxDamageKind::BlockTooLong:
            return "block text longer than 512 bytes";
        case DbxDamageKind::BlockChainLoop:
            return "block chain loop";
        case DbxDamageKind::TreeLoop:
            return "index tree loop";
        case DbxDamageKind::Overlap:
            return "overlapping structures";
        case DbxDamageKind::ItemCountTooLarge:
            return "item count larger than the file";
    }
    return "damage";
}

int32_t ReadDbxItemCount(const std::string& path, DbxDamageList& damage) {
    const DbxFile file(path);
    return file.IsOpen() ? ItemCountOf(file, damage) : 0;
}

std::vector<TFolder> ReadDbxFolders(const std::string& path, DbxDamageList& damage) {
    std::vector<TFolder> folders;
    const DbxFile file(path);
    if (!file.IsOpen()) return folders;
    WalkTree(file, damage, [&](const DbxObject& object) {
        if (NamesAFile(object)) folders.push_back(FolderFrom(object, damage));
    });
    return folders;
}

std::vector<TMessageInfo> ReadDbxMessageInfos(const std::string& path, DbxDamageList& damage) {
    std::vector<TMessageInfo> infos;
    const DbxFile file(path);
    if (!file.IsOpen()) return infos;
    WalkTree(file, damage,
             [&](const DbxObject& object) { infos.push_back(MessageInfoFrom(object, damage)); });
    return infos;
}

namespace {

// Takes the text of each block in turn; false when it could not be written.
using TextSink = std::function<bool(std::string_view)>;

// Hands the text of the message whose first block lies at dataPosition to write, block by
// block. NoText when not even the first block could be read.
DbxExtractResult CopyMessageText(const DbxFile& file, ReadWindow& window, int32_t dataPosition,
                                 const TextSink& write, DbxDamageList& damage) {
    if (dataPosition <= 0) return DbxExtractResult::NoText;
    ExtentSet copied;
    int64_t position = dataPosition;
    bool wrote = false;
    while (true) {
        if (!file.Holds(position, kBlockHeadSize)) {
            damage.push_back({DbxDamageKind::OutsideFile, position});
            break;
        }
        const int64_t got = std::min(file.Size() - position, kBlockHeadSize + kBlockTextSize);
        const unsigned char* block = window.At(position, got);
        if (static_cast<int64_t>(Le32(block)) != position) {
            damage.push_back({DbxDamageKind::NotAtOwnPosition, position});
            break;
        }
        const int64_t length = Le32(block + 8);
        if (length > kBlockTextSize) {
            damage.push_back({DbxDamageKind::BlockTooLong, position});
            break;
        }
        const ExtentSet::Claim claim = copied.Add(position, position + kBlockHeadSize + length);
        if (claim != ExtentSet::Claim::Taken) {
            damage.push_back({claim == ExtentSet::Claim::SameStart ? DbxDamageKind::BlockChainLoop
                                                                   : DbxDamageKind::Overlap,
                              position});
            break;
        }
        const int64_t usable = std::min(length, got - kBlockHeadSize);
        if (!write({reinterpret_cast<const char*>(block + kBlockHeadSize),
                    static_cast<size_t>(usable)})) {
            return DbxExtractResult::TargetFailed;
        }
        wrote = true;
        if (usable < length) {
            damage.push_back({DbxDamageKind::OutsideFile, position});
            break;
        }
        const auto next = static_cast<int32_t>(Le32(block + 12));
        if (next == 0) break;
        if (next < 0) {
            damage.push_back({DbxDamageKind::OutsideFile, position});
            break;
        }
        position = next;
    }
    return wrote ? DbxExtractResult::Copied : DbxExtractResult::NoText;
}

// A file without items has no message to give, whatever a message info points at.
bool HoldsItems(const DbxFile& file) {
    DbxDamageList countDamage;  // the count's damage was noted when the file was listed
    return file.IsOpen() && ItemCountOf(file, countDamage) > 0;
}

}  // namespace

DbxExtractResult ExtractDbxMessage(const std::string& path, int32_t dataPosition,
                                   const std::string& target, DbxDamageList& damage) {
    if (dataPosition <= 0) return DbxExtractResult::NoText;
    const DbxFile file(path);
    if (!HoldsItems(file)) return DbxExtractResult::NoText;
    // The buffer outlives the stream, which flushes into it when an exception closes it.
    std::array<char, 64 * 1024> outBuffer{};
    std::unique_ptr<std::FILE, FileCloser> out;
    ReadWindow window(file);
    const DbxExtractResult result = CopyMessageText(
        file, window, dataPosition,
        [&](std::string_view text) {
            if (!out) {
                std::error_code ignored;
                std::filesystem::remove(target, ignored);
                out.reset(std::fopen(target.c_str(), "wb"));
                if (!out) return false;
                std::setvbuf(out.get(), outBuffer.data(), _IOFBF, outBuffer.size());
            }
            return std::fwrite(text.data(), 1, text.size(), out.get()) == text.size();
        },
        damage);
    if (!out) return result;
    if (std::fclose(out.release()) != 0) return DbxExtractResult::TargetFailed;
    return result;
}

struct DbxMessageFile::Open {
    explicit Open(const std::string& path)
        : file(path), holdsItems(HoldsItems(file)), window(file) {}
    DbxFile file;
    bool holdsItems;
    // Kept from one message to the next: messages mostly follow one another in the file.
    ReadWindow window;
};

DbxMessageFile::DbxMessageFile(const std::string& path)
    : path_(path), open_(std::make_unique<Open>(path)) {}

DbxMessageFile::~DbxMessageFile() = default;

DbxExtractResult DbxMessageFile::Extract(int32_t dataPosition, NewFile& target,
                                         DbxDamageList& damage) {
    if (!open_->holdsItems) return DbxExtractResult::NoText;
    return CopyMessageText(
        open_->file, open_->window, dataPosition,
        [&target](std::string_view text) { return target.Write(text); }, damage);
}

}  // namespace mailsift
