#pragma once
// Writes sample Outlook Express stores for the demo, tests and benchmarks: folder files holding
// messages and the "folders.dbx" that lists them, laid out as the mail client lays them out (file
// header and file info, message infos, index trees with several levels, text in 512-byte blocks),
// and tells where each structure went so that tests can damage it.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mailsift::samples {

// One message of a folder file. Empty strings and zero times are left out of its message info.
struct DbxMessage {
    std::string Text;  // the raw RFC 822 text; empty: the info names no text at all
    uint32_t Flags = 0;
    std::string Subject;
    std::string SenderName;
    std::string SenderAddress;
    std::string ReceiverName;
    std::string ReceiverAddress;
    std::string MessageId;
    std::string Newsgroups;  // index id 0x0B
    uint64_t CreatedTime = 0;
    uint64_t ReceivedTime = 0;
    std::optional<uint32_t> Size;  // the size the info gives; the text's size when absent
    bool FlagsDirect = false;      // flags under id 0x81 rather than 0x01 in the data area
    // The first block's position under id 0x04 in the data area rather than 0x84; positions
    // from 16 MB on always go there.
    bool DataPositionInData = false;
    // Index entries (id, value) added after the usual ones, as given, to write what no intact
    // file holds (a string offset outside the data area, an id given twice).
    std::vector<std::pair<uint8_t, uint32_t>> RawIndexEntries;
};

// One folder info of "folders.dbx".
struct DbxFolderInfo {
    std::string Name;
    std::string FileName;  // empty: the info names no file
    int32_t Id = 0;
    int32_t ParentId = 0;
    bool FileNameAsId06 = false;  // the file name under id 0x06 rather than 0x03
};

// Where the structures of a written file lie.
struct DbxLayout {
    std::vector<int32_t> Nodes;                // index tree nodes, the root first
    std::vector<int32_t> Objects;              // the infos, in the order they were added
    std::vector<std::vector<int32_t>> Blocks;  // per message, its data blocks in chain order
    int64_t FileSize = 0;
};

// A tree node holds at most this many entries.
constexpr int kDbxMaxNodeEntries = 51;

class DbxFolderFileWriter {
  public:
    // Fewer entries per node make deeper trees.
    explicit DbxFolderFileWriter(int maxEntriesPerNode = kDbxMaxNodeEntries);

    void Add(DbxMessage message);
    size_t size() const { return messages_.size(); }
    // Throws std::runtime_error when the file cannot be written.
    DbxLayout Write(const std::string& path) const;

  private:
    int maxEntriesPerNode_;
    std::vector<DbxMessage> messages_;
};

class DbxFoldersFileWriter {
  public:
    explicit DbxFoldersFileWriter(int maxEntriesPerNode = kDbxMaxNodeEntries);

    void Add(DbxFolderInfo folder);
    DbxLayout Write(const std::string& path) const;

  private:
    int maxEntriesPerNode_;
    std::vector<DbxFolderInfo> folders_;
};

// Overwrites the little-endian 32-bit value at position of an existing file.
void PatchDbxUint32(const std::string& path, int64_t position, uint32_t value);

// Where the header keeps the root node's position and the item count.
constexpr int64_t kDbxRootPosition = 0x30;
constexpr int64_t kDbxItemCountPosition = 0xC4;
// Offsets inside a tree node, an info object and a data block.
constexpr int64_t kDbxNodeLinkA = 0x08;
constexpr int64_t kDbxNodeLinkB = 0x0C;
constexpr int64_t kDbxNodeCount = 0x10;
constexpr int64_t kDbxNodeEntries = 0x18;  // entry i: object at +12i, child at +12i + 4
constexpr int64_t kDbxObjectBodyLength = 0x04;
constexpr int64_t kDbxBlockTextLength = 0x08;
constexpr int64_t kDbxBlockNext = 0x0C;

}  // namespace mailsift::samples
