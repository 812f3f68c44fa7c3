#include "samples/dbx_store_writer.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <span>
#include <stdexcept>
#include <string_view>

namespace mailsift::samples {

namespace {

constexpr int64_t kHeaderSize = 0x24BC;
constexpr int64_t kMessageFileInfoSize = 0x618;
constexpr int64_t kFoldersFileInfoSize = 0x108;
constexpr int64_t kNodeSize = 0x27C;
constexpr int64_t kBlockSize = 0x210;
constexpr int64_t kBlockTextSize = 0x200;
constexpr uint32_t kDirectLimit = 1u << 24;

enum class FileKind { Messages, Folders };

// The bytes of a file being assembled.
class Image {
  public:
    // Room for size bytes from the next 4-byte boundary on; returns where it starts.
    int32_t Reserve(int64_t size) {
        const int64_t start = (static_cast<int64_t>(bytes_.size()) + 3) / 4 * 4;
        if (start + size > INT32_MAX) throw std::runtime_error("folder file too large");
        bytes_.resize(static_cast<size_t>(start + size));
        return static_cast<int32_t>(start);
    }
    void Put8(int64_t at, uint8_t value) {
        bytes_[static_cast<size_t>(at)] = static_cast<char>(value);
    }
    void Put32(int64_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) Put8(at + i, static_cast<uint8_t>(value >> (8 * i)));
    }
    void PutBytes(int64_t at, std::string_view text) {
        std::copy(text.begin(), text.end(), bytes_.begin() + at);
    }
    void ReserveCapacity(size_t size) { bytes_.reserve(size); }
    const std::string& bytes() const { return bytes_; }

  private:
    std::string bytes_;
};

// A message or folder info being put together: its index entries, in ascending id as the mail
// client writes them, and its data area.
class InfoObject {
  public:
    void Direct(uint8_t id, uint32_t value) { index_.push_back(id | value << 8); }
    void Number(uint8_t id, uint64_t value, size_t size) {
        Offset(id);
        for (size_t i = 0; i < size; ++i) data_ += static_cast<char>(value >> (8 * i) & 0xFF);
    }
    void String(uint8_t id, const std::string& text) {
        if (text.empty()) return;
        Offset(id);
        data_ += text;
        data_ += '\0';
    }

    int64_t Size() const {
        return 12 + 4 * static_cast<int64_t>(index_.size()) +
               (static_cast<int64_t>(data_.size()) + 3) / 4 * 4;
    }

    int32_t WriteTo(Image& image) const {
        const int64_t size = Size();
        const int32_t position = image.Reserve(size);
        image.Put32(position, static_cast<uint32_t>(position));
        image.Put32(position + 4, static_cast<uint32_t>(size - 12));
        image.Put8(position + 0x0A, static_cast<uint8_t>(index_.size()));
        image.Put8(position + 0x0B, 1);
        for (size_t i = 0; i < index_.size(); ++i) {
            image.Put32(position + 12 + 4 * static_cast<int64_t>(i), index_[i]);
        }
        image.PutBytes(position + 12 + 4 * static_cast<int64_t>(index_.size()), data_);
        return position;
    }

  private:
    void Offset(uint8_t id) { Direct(id, static_cast<uint32_t>(data_.size())); }

    std::vector<uint32_t> index_;
    std::string data_;
};

// The index tree over the infos: every node holds up to maxEntries entries, link A leads to the
// subtree listed before the node's own entries, each entry's child to the subtree listed after
// that entry, and link B back to the parent.
class TreeBuilder {
  public:
    TreeBuilder(Image& image, int maxEntries, std::vector<int32_t>& nodes)
        : image_(image), maxEntries_(static_cast<size_t>(maxEntries)), nodes_(nodes) {}

    int32_t Build(std::span<const int32_t> values, int32_t parent, uint8_t nodeId) {
        const int32_t position = image_.Reserve(kNodeSize);
        nodes_.push_back(position);
        image_.Put32(position, static_cast<uint32_t>(position));
        image_.Put32(position + kDbxNodeLinkB, static_cast<uint32_t>(parent));
        image_.Put8(position + kDbxNodeCount, nodeId);
        if (values.size() <= maxEntries_) {
            image_.Put8(position + kDbxNodeCount + 1, static_cast<uint8_t>(values.size()));
            for (size_t i = 0; i < values.size(); ++i) PutEntry(position, i, values[i], 0, 0);
            return position;
        }
        // The values beyond the node's own entries are spread evenly over its subtrees.
        const size_t subtrees = maxEntries_ + 1;
        const size_t rest = values.size() - maxEntries_;
        auto subtreeSize = [&](size_t j) { return rest / subtrees + (j < rest % subtrees); };
        size_t cursor = subtreeSize(0);
        if (cursor > 0) {
            image_.Put32(position + kDbxNodeLinkA,
                         static_cast<uint32_t>(Build(values.first(cursor), position, 0)));
            image_.Put32(position + 0x14, static_cast<uint32_t>(cursor));
        }
        for (size_t i = 0; i < maxEntries_; ++i) {
            const int32_t value = values[cursor++];
            const size_t size = subtreeSize(i + 1);
            const int32_t child = size > 0 ? Build(values.subspan(cursor, size), position,
                                                   static_cast<uint8_t>(i + 1))
                                           : 0;
            cursor += size;
            PutEntry(position, i, value, child, size);
        }
        image_.Put8(position + kDbxNodeCount + 1, static_cast<uint8_t>(maxEntries_));
        return position;
    }

  private:
    void PutEntry(int32_t node, size_t i, int32_t value, int32_t child, size_t childValues) {
        const int64_t at = node + kDbxNodeEntries + 12 * static_cast<int64_t>(i);
        image_.Put32(at, static_cast<uint32_t>(value));
        image_.Put32(at + 4, static_cast<uint32_t>(child));
        image_.Put32(at + 8, static_cast<uint32_t>(childValues));
    }

    Image& image_;
    size_t maxEntries_;
    std::vector<int32_t>& nodes_;
};

// The file header and the file info that follows it, as far as they can be filled before the
// rest of the file is laid out.
void StartFile(Image& image, FileKind kind, const std::string& folderName) {
    const int64_t infoSize =
        kind == FileKind::Messages ? kMessageFileInfoSize : kFoldersFileInfoSize;
    image.Reserve(kHeaderSize + infoSize);
    constexpr std::string_view kSignature = "\xCF\xAD\x12\xFE";
    constexpr std::string_view kMessageClass = "\xC5\xFD\x74\x6F";
    constexpr std::string_view kFoldersClass = "\xC6\xFD\x74\x6F";
    constexpr std::string_view kTrailer = std::string_view(
        "\x66\xE3\xD1\x11\x9A\x4E\x00\xC0\x4F\xA3\x09\xD4\x05\x00\x00\x00"
        "\x05\x00\x00\x00",
        20);
    image.PutBytes(0, kSignature);
    image.PutBytes(4, kind == FileKind::Messages ? kMessageClass : kFoldersClass);
    image.PutBytes(8, kTrailer);
    image.Put32(0x1C, static_cast<uint32_t>(infoSize));
    image.Put32(0x28, 0xC000);  // sizes of the variable, tree and message segments
    image.Put32(0x34, 0x3E1C);
    if (kind == FileKind::Messages) image.Put32(0x40, 0xF780);
    image.Put32(0x64, 1);
    image.Put32(0x80, kind == FileKind::Messages ? 2 : 3);
    if (kind == FileKind::Messages) {
        image.Put32(kHeaderSize, 1);
        image.Put8(kHeaderSize + 4, 3);  // a local store, not news
        image.PutBytes(kHeaderSize + 5, "LocalStore");
        image.PutBytes(kHeaderSize + 0x105, folderName.substr(0, 0x100));
    } else {
        image.Put32(kHeaderSize + 8, 1);
    }
}

// The header fields that depend on what the file holds.
void FinishFile(Image& image, int32_t root, size_t items, int32_t firstObject, int32_t firstNode,
                int32_t firstBlock) {
    const auto size = static_cast<uint32_t>(image.bytes().size());
    image.Put32(0x24, static_cast<uint32_t>(firstObject));
    image.Put32(0x2C, size - static_cast<uint32_t>(firstObject));
    image.Put32(kDbxRootPosition, static_cast<uint32_t>(root));
    image.Put32(0x38, firstNode > 0 ? size - static_cast<uint32_t>(firstNode) : 0);
    if (firstBlock > 0) {
        image.Put32(0x3C, static_cast<uint32_t>(firstBlock));
        image.Put32(0x44, static_cast<uint32_t>(firstObject - firstBlock));
    }
    image.Put32(0x5C, static_cast<uint32_t>(items));
    image.Put32(0x7C, size);
    image.Put32(kDbxItemCountPosition, static_cast<uint32_t>(items));
    image.Put32(0xE4, static_cast<uint32_t>(root));
}

int32_t BuildTree(Image& image, int maxEntries, const std::vector<int32_t>& objects,
                  std::vector<int32_t>& nodes) {
    if (objects.empty()) return 0;
    TreeBuilder builder(image, maxEntries, nodes);
    return builder.Build(objects, 0, 0);
}

void WriteImage(const std::string& path, const Image& image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(image.bytes().data(), static_cast<std::streamsize>(image.bytes().size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

int CheckedEntries(int maxEntriesPerNode) {
    if (maxEntriesPerNode < 1 || maxEntriesPerNode > kDbxMaxNodeEntries) {
        throw std::invalid_argument("entries per node must lie between 1 and 51");
    }
    return maxEntriesPerNode;
}

std::string StemOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.rfind('.'));
}

}  // namespace

DbxFolderFileWriter::DbxFolderFileWriter(int maxEntriesPerNode)
    : maxEntriesPerNode_(CheckedEntries(maxEntriesPerNode)) {}

void DbxFolderFileWriter::Add(DbxMessage message) {
    messages_.push_back(std::move(message));
}

DbxLayout DbxFolderFileWriter::Write(const std::string& path) const {
    Image image;
    size_t textSize = 0;
    for (const DbxMessage& message : messages_) textSize += message.Text.size();
    image.ReserveCapacity(static_cast<size_t>(kHeaderSize + kMessageFileInfoSize) +
                          textSize / kBlockTextSize * kBlockSize + messages_.size() * 1024);
    StartFile(image, FileKind::Messages, StemOf(path));

    DbxLayout layout;
    int32_t firstBlock = 0;
    for (const DbxMessage& message : messages_) {
        std::vector<int32_t>& blocks = layout.Blocks.emplace_back();
        for (size_t offset = 0; offset < message.Text.size(); offset += kBlockTextSize) {
            const int32_t block = image.Reserve(kBlockSize);
            const std::string_view text =
                std::string_view(message.Text).substr(offset, kBlockTextSize);
            image.Put32(block, static_cast<uint32_t>(block));
            image.Put32(block + 4, kBlockTextSize);
            image.Put32(block + kDbxBlockTextLength, static_cast<uint32_t>(text.size()));
            image.PutBytes(block + 16, text);
            if (!blocks.empty()) {
                image.Put32(blocks.back() + kDbxBlockNext, static_cast<uint32_t>(block));
            }
            blocks.push_back(block);
            if (firstBlock == 0) firstBlock = block;
        }
    }

    for (size_t i = 0; i < messages_.size(); ++i) {
        const DbxMessage& message = messages_[i];
        const int32_t data = layout.Blocks[i].empty() ? 0 : layout.Blocks[i].front();
        InfoObject info;
        info.Direct(0x80, static_cast<uint32_t>(i + 1));
        if (message.FlagsDirect) {
            info.Direct(0x81, message.Flags & (kDirectLimit - 1));
        } else {
            info.Number(0x01, message.Flags, 4);
        }
        if (message.CreatedTime != 0) info.Number(0x02, message.CreatedTime, 8);
        if (data != 0) {
            if (message.DataPositionInData || static_cast<uint32_t>(data) >= kDirectLimit) {
                info.Number(0x04, static_cast<uint32_t>(data), 4);
            } else {
                info.Direct(0x84, static_cast<uint32_t>(data));
            }
        }
        info.String(0x05, message.Subject);
        info.String(0x07, message.MessageId);
        info.String(0x08, message.Subject);
        info.String(0x0B, message.Newsgroups);
        info.String(0x0D, message.SenderName);
        info.String(0x0E, message.SenderAddress);
        info.Direct(0x91, message.Size.value_or(static_cast<uint32_t>(message.Text.size())) &
                              (kDirectLimit - 1));
        if (message.ReceivedTime != 0) info.Number(0x12, message.ReceivedTime, 8);
        info.String(0x13, message.ReceiverName);
        info.String(0x14, message.ReceiverAddress);
        for (const auto& [id, value] : message.RawIndexEntries) info.Direct(id, value);
        layout.Objects.push_back(info.WriteTo(image));
    }

    const int32_t root = BuildTree(image, maxEntriesPerNode_, layout.Objects, layout.Nodes);
    FinishFile(image, root, messages_.size(), layout.Objects.empty() ? 0 : layout.Objects.front(),
               layout.Nodes.empty() ? 0 : layout.Nodes.front(), firstBlock);
    WriteImage(path, image);
    layout.FileSize = static_cast<int64_t>(image.bytes().size());
    return layout;
}

DbxFoldersFileWriter::DbxFoldersFileWriter(int maxEntriesPerNode)
    : maxEntriesPerNode_(CheckedEntries(maxEntriesPerNode)) {}

void DbxFoldersFileWriter::Add(DbxFolderInfo folder) {
    folders_.push_back(std::move(folder));
}

DbxLayout DbxFoldersFileWriter::Write(const std::string& path) const {
    Image image;
    StartFile(image, FileKind::Folders, {});
    DbxLayout layout;
    for (const DbxFolderInfo& folder : folders_) {
        InfoObject info;
        info.Direct(0x80, static_cast<uint32_t>(folder.Id));
        info.Direct(0x81, static_cast<uint32_t>(folder.ParentId));
        info.String(0x02, folder.Name);
        info.String(folder.FileNameAsId06 ? 0x06 : 0x03, folder.FileName);
        layout.Objects.push_back(info.WriteTo(image));
    }
    const int32_t root = BuildTree(image, maxEntriesPerNode_, layout.Objects, layout.Nodes);
    FinishFile(image, root, folders_.size(), layout.Objects.empty() ? 0 : layout.Objects.front(),
               layout.Nodes.empty() ? 0 : layout.Nodes.front(), 0);
    WriteImage(path, image);
    layout.FileSize = static_cast<int64_t>(image.bytes().size());
    return layout;
}

void PatchDbxUint32(const std::string& path, int64_t position, uint32_t value) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    std::array<char, 4> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(value >> (8 * i));
    file.seekp(position);
    file.write(bytes.data(), bytes.size());
    file.close();
    if (!file) throw std::runtime_error("cannot patch " + path);
}

}  // namespace mailsift::samples
