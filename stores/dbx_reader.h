#pragma once
// Reading Outlook Express ".dbx" files: the item count, the folder infos of "folders.dbx", the
// message infos of a folder file, and the text of one message out of its chain of data blocks.
// Files are only read. Damage never throws: it is collected, the damaged structure is skipped
// and the rest of the file is still read. Only a failing read of the file system throws
// (std::runtime_error).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/new_file.h"
#include "stores/core_types.h"

namespace mailsift {

// What the index of one message in a folder file says about it.
struct TMessageInfo {
    uint32_t Flags = 0;  // bit 0x4000: the message has attachments
    std::string MessageIdText;
    uint64_t CreatedTime = 0;  // UTC file times; 0 when the info has none
    uint64_t ReceivedTime = 0;
    std::string SubjectText;
    std::string SenderName;
    std::string ReceiverAddress;
    std::string ReceiverName;
    std::string SenderAddress;
    std::string Str0B;
    uint32_t MessageSize = 0;
    int32_t DataPosition = 0;  // the first block of the message text; 0 or less: no text
    int32_t InfoPosition = 0;  // where the info itself lies
};

constexpr uint32_t kDbxAttachmentFlag = 0x4000;

enum class DbxDamageKind {
    OutsideFile,        // a position or length reaching past the end of the file
    NotAtOwnPosition,   // a node, object or block that does not carry its own position
    OutsideDataArea,    // a field offset or index table beyond an object's data area
    BlockTooLong,       // a block claiming more than 512 text bytes
    BlockChainLoop,     // a block chain returning to a block already copied
    TreeLoop,           // an index tree link back to a node already walked (other than the parent)
    Overlap,            // a node or object lying across one already read, or listed twice
    ItemCountTooLarge,  // more items than the file has room for
};

struct DbxDamage {
    DbxDamageKind Kind;
    int64_t Position;  // where the damaged structure or field lies
};

using DbxDamageList = std::vector<DbxDamage>;

// A short English description, such as "block chain loop".
std::string_view DescribeDbxDamage(DbxDamageKind kind);

// The number of folders or messages the header gives; 0 when the file is missing, too short or
// the count is not positive. A count larger than the file could hold is cut to that and noted.
int32_t ReadDbxItemCount(const std::string& path, DbxDamageList& damage);

// The folder infos of a "folders.dbx" in the order of its index tree. Only infos that name a
// file (id 0x03, or 0x06 alone) are kept; they carry Name, StoreFile (the file name as stored),
// Id and ParentId.
std::vector<TFolder> ReadDbxFolders(const std::string& path, DbxDamageList& damage);

// The message infos of a folder file in the order of its index tree: message index i of the
// folder is entry i.
std::vector<TMessageInfo> ReadDbxMessageInfos(const std::string& path, DbxDamageList& damage);

enum class DbxExtractResult {
    Copied,        // the target holds the text (all of it, or what the damage left readable)
    NoText,        // no position, no readable first block or no such file: target untouched
    TargetFailed,  // the target could not be written
};

// Writes the text whose first block lies at dataPosition into target, replacing it.
DbxExtractResult ExtractDbxMessage(const std::string& path, int32_t dataPosition,
                                   const std::string& target, DbxDamageList& damage);

// A folder file held open while its messages are written out one after another, so that a
// message costs only the reads of its blocks.
class DbxMessageFile {
  public:
    explicit DbxMessageFile(const std::string& path);
    ~DbxMessageFile();
    DbxMessageFile(const DbxMessageFile&) = delete;
    DbxMessageFile& operator=(const DbxMessageFile&) = delete;

    const std::string& Path() const { return path_; }
    // ExtractDbxMessage into a file just created; with NoText nothing was written to it.
    DbxExtractResult Extract(int32_t dataPosition, NewFile& target, DbxDamageList& damage);

  private:
    struct Open;
    std::string path_;
    std::unique_ptr<Open> open_;
};

}  // namespace mailsift
