#pragma once
// The folders, messages, attachments and recipient lists of a personal folder file, read as
// items: the records of a node (one for a folder, message or attachment, one per recipient)
// with the subnodes its larger values and parts live in.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mapi-provider/pst_ltp.h"
#include "mapi-provider/pst_ndb.h"

namespace mailsift::mapi_provider::pst {

struct Item {
    // The node's identifier; for attachments and attached messages, their subnode's.
    uint32_t id = 0;
    // The block its values are kept in, which tells two items apart even where their
    // identifiers, local to the message they are in, are the same.
    uint64_t data = 0;
    std::vector<Record> records;
    Subnodes subnodes;
    // Messages only: the subnodes of their attachments, in the order of their table, and
    // whether that table could not be read.
    std::vector<uint32_t> attachments;
    bool attachmentsDamaged = false;
    // Whether the list of subnodes could only be read in part: values and tables kept in the
    // missing ones are damage, not absent.
    bool subnodesDamaged = false;
};
using ItemRef = std::shared_ptr<const Item>;

class ItemReader {
  public:
    static Status Open(const std::string& path, std::unique_ptr<ItemReader>& reader);

    bool unicode() const { return database_->unicode(); }
    // A folder, message or other node of the file with its one record.
    Status OpenNode(uint32_t nid, ItemRef& item) const;
    // The folders and messages below `folder`, by identifier. Damaged when the file's node
    // tree is incomplete and the folder's own table lists one that is missing from it.
    Status SubFolders(uint32_t folder, std::vector<uint32_t>& ids) const;
    Status SubMessages(uint32_t folder, std::vector<uint32_t>& ids) const;

    Status OpenAttachment(const Item& message, size_t number, ItemRef& attachment) const;
    // The message attached to `attachment` by its data object.
    Status OpenAttachedMessage(const Item& attachment, ItemRef& message) const;
    // The recipients of `message`, one record each; none when it keeps no recipient table.
    Status OpenRecipients(const Item& message, ItemRef& recipients) const;

    // The stored bytes of `entry` of one of `item`'s records.
    Status ReadValue(const Item& item, const Record& record, const Entry& entry,
                     std::string& value) const;
    // Where the bytes of a value kept in a subnode are, for reading it in pieces.
    Status ValueLayout(const Item& item, const Entry& entry, DataLayout& layout) const;
    Status ReadBlock(uint64_t bid, std::string& data) const {
        return database_->ReadBlock(bid, data);
    }

  private:
    ItemReader() = default;
    Status ReadItem(uint32_t id, uint64_t data, uint64_t subnodes, bool message,
                    ItemRef& item) const;
    Status CheckChildren(uint32_t folder, uint32_t tableType,
                         const std::vector<uint32_t>& ids) const;

    std::unique_ptr<NodeDatabase> database_;
};

}  // namespace mailsift::mapi_provider::pst
