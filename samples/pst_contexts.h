#pragma once
// The property contexts and table contexts of a personal folder file, with the subnodes their
// large values go to.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "samples/pst_ndb_writer.h"

namespace mailsift::samples {

// One property: its tag and its value as the file keeps it (numbers little-endian, text as
// UTF-16LE, an embedded object as its subnode and size).
struct PstProperty {
    uint32_t tag = 0;
    std::string value;
};
using PstProperties = std::vector<PstProperty>;

PstProperty PstLong(uint32_t tag, int64_t value);
PstProperty PstBool(uint32_t tag, bool value);
PstProperty PstTime(uint32_t tag, uint64_t fileTime);
PstProperty PstText(uint32_t tag, std::string_view utf8);
PstProperty PstBinary(uint32_t tag, std::string_view bytes);
// A multi-valued string property (PT_MV_UNICODE).
PstProperty PstTexts(uint32_t tag, const std::vector<std::string>& utf8);

// The subnodes of one node: large values, tables and attachments of a message.
class PstSubnodeList {
  public:
    explicit PstSubnodeList(PstNdbWriter& ndb) : ndb_(ndb) {}
    PstNdbWriter& ndb() const { return ndb_; }
    uint32_t NewNid(uint32_t type) { return PstNid(type, nextIndex_++); }
    uint32_t AddData(std::string_view data);
    uint32_t AddBlocks(const std::vector<std::string>& blocks);
    void Add(const PstSubnode& subnode) { entries_.push_back(subnode); }
    // The subnode tree; 0 when there are no subnodes.
    uint64_t Write() { return ndb_.WriteSubnodes(std::move(entries_)); }

  private:
    PstNdbWriter& ndb_;
    std::vector<PstSubnode> entries_;
    uint32_t nextIndex_ = 0x400;
};

// The heap pages of a property context over the properties, in any order.
std::vector<std::string> BuildPropertyContext(PstProperties properties, PstSubnodeList& subnodes);

// The heap pages of a table context with the given columns (besides the row identifier and
// version, which every table has) and rows; each row carries its identifier as
// PidTagLtpRowId (0x67F20003) and leaves out the columns it has no value for.
std::vector<std::string> BuildTableContext(std::vector<uint32_t> columns,
                                           const std::vector<PstProperties>& rows,
                                           PstSubnodeList& subnodes);

constexpr uint32_t kPstTagRowId = 0x67F20003;
constexpr uint32_t kPstTagRowVersion = 0x67F30003;

}  // namespace mailsift::samples
