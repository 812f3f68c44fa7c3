#pragma once
// The lists and tables of a personal folder file: the heap over a node's data blocks, the
// B-trees kept on it, property contexts (one record of properties) and table contexts (rows
// of them). Values that live in a subnode are not read here; their entry names the subnode.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mapi-provider/pst_ndb.h"

namespace mailsift::mapi_provider::pst {

// One stored property: its value is bytes[offset, offset + size) of its record, or the data
// of subnode `subnode` of the node the record belongs to.
struct Entry {
    uint16_t id = 0;
    uint16_t type = 0;
    uint32_t subnode = 0;
    uint32_t offset = 0;
    uint32_t size = 0;
};

struct Record {
    std::vector<Entry> entries;
    std::string bytes;

    const Entry* Find(uint16_t id) const;
    std::string_view Bytes(const Entry& entry) const {
        return std::string_view(bytes).substr(entry.offset, entry.size);
    }
};

class Heap {
  public:
    // Damaged when the first block is not a heap.
    static Status Open(std::vector<std::string> blocks, Heap& heap);

    uint8_t clientSignature() const { return clientSignature_; }
    uint32_t userRoot() const { return userRoot_; }
    // The allocation `hid` names; empty for 0, NotFound/Damaged when it is not there.
    Status Get(uint32_t hid, std::string_view& item) const;

  private:
    std::vector<std::string> blocks_;
    uint8_t clientSignature_ = 0;
    uint32_t userRoot_ = 0;
};

// The properties of a property context.
Status ReadPropertyContext(const Heap& heap, Record& record);

// The rows of a table context, in stored order, each with the columns it has a value for.
// Rows kept in a subnode are read through `database` from `subnodes`.
Status ReadTableContext(const Heap& heap, const NodeDatabase& database, const Subnodes& subnodes,
                        std::vector<Record>& rows);

// The subnode `nid` of a node.
const SubnodeEntry* FindSubnode(const Subnodes& subnodes, uint32_t nid);

}  // namespace mailsift::mapi_provider::pst
