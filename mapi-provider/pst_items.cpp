#include "mapi-provider/pst_items.h"

#include <algorithm>

#include "mapi-provider/pst_bytes.h"

namespace mailsift::mapi_provider::pst {

namespace {

constexpr uint16_t kRowId = 0x67F2;
constexpr uint16_t kAttachDataObject = 0x3701;
constexpr uint16_t kTypeObject = 0x000D;
constexpr uint16_t kTypeLong = 0x0003;

Status ReadHeap(const NodeDatabase& database, uint64_t data, Heap& heap) {
    std::vector<std::string> blocks;
    const Status status = database.ReadBlocks(data, blocks);
    return status != Status::Ok ? status : Heap::Open(std::move(blocks), heap);
}

// The table kept in subnode `nid` of a message. Its rows, and values too large for a cell, may
// be in subnodes of the table's own, which go to `tableSubnodes`.
Status ReadTable(const NodeDatabase& database, const Subnodes& subnodes, uint32_t nid,
                 std::vector<Record>& rows, Subnodes& tableSubnodes) {
    rows.clear();
    tableSubnodes.clear();
    const SubnodeEntry* table = FindSubnode(subnodes, nid);
    if (table == nullptr) return Status::NotFound;
    Heap heap;
    Status status = ReadHeap(database, table->data, heap);
    if (status == Status::Ok) status = database.ReadSubnodes(table->subnodes, tableSubnodes);
    return status != Status::Ok ? Status::Damaged
                                : ReadTableContext(heap, database, tableSubnodes, rows);
}

}  // namespace

Status ItemReader::Open(const std::string& path, std::unique_ptr<ItemReader>& reader) {
    std::unique_ptr<ItemReader> opened(new ItemReader());
    const Status status = NodeDatabase::Open(path, opened->database_);
    if (status != Status::Ok) return status;
    reader = std::move(opened);
    return Status::Ok;
}

Status ItemReader::ReadItem(uint32_t id, uint64_t data, uint64_t subnodes, bool message,
                            ItemRef& item) const {
    auto read = std::make_shared<Item>();
    read->id = id;
    read->data = data;
    Heap heap;
    Status status = ReadHeap(*database_, data, heap);
    if (status == Status::Ok) status = ReadPropertyContext(heap, read->records.emplace_back());
    if (status != Status::Ok) return status == Status::NotFound ? Status::Damaged : status;
    // The values kept in place are worth having even when the subnodes are not all there.
    read->subnodesDamaged = database_->ReadSubnodes(subnodes, read->subnodes) != Status::Ok;
    if (message) {
        // A message without an attachment table has no attachments; a damaged table is
        // damage, never taken for an empty one, and costs the message nothing else.
        std::vector<Record> rows;
        Subnodes tableSubnodes;
        status = ReadTable(*database_, read->subnodes, kNidAttachmentTable, rows, tableSubnodes);
        read->attachmentsDamaged =
            status == Status::Damaged || (status == Status::NotFound && read->subnodesDamaged);
        for (const Record& row : rows) {
            const Entry* rowId = row.Find(kRowId);
            if (rowId != nullptr && rowId->type == kTypeLong && rowId->size == 4) {
                read->attachments.push_back(LittleEndian<uint32_t>(row.Bytes(*rowId), 0, 4));
            }
        }
    }
    item = std::move(read);
    return Status::Ok;
}

Status ItemReader::OpenNode(uint32_t nid, ItemRef& item) const {
    const NodeEntry* node = database_->FindNode(nid);
    if (node == nullptr) return Status::NotFound;
    return ReadItem(nid, node->data, node->subnodes, IsMessageType(NidType(nid)), item);
}

Status ItemReader::SubFolders(uint32_t folder, std::vector<uint32_t>& ids) const {
    ids = database_->Children(folder, IsFolderType);
    return CheckChildren(folder, kNidTypeHierarchyTable, ids);
}

Status ItemReader::SubMessages(uint32_t folder, std::vector<uint32_t>& ids) const {
    ids = database_->Children(folder, IsMessageType);
    return CheckChildren(folder, kNidTypeContentsTable, ids);
}

// With B-tree pages lost, a folder's own table tells whether its children were among what
// was lost.
Status ItemReader::CheckChildren(uint32_t folder, uint32_t tableType,
                                 const std::vector<uint32_t>& ids) const {
    if (database_->complete()) return Status::Ok;
    const NodeEntry* table = database_->FindNode((folder & ~0x1Fu) | tableType);
    if (table == nullptr) return Status::Damaged;
    Heap heap;
    std::vector<Record> rows;
    Subnodes subnodes;
    Status status = ReadHeap(*database_, table->data, heap);
    if (status == Status::Ok) status = database_->ReadSubnodes(table->subnodes, subnodes);
    if (status == Status::Ok) status = ReadTableContext(heap, *database_, subnodes, rows);
    if (status != Status::Ok) return Status::Damaged;
    for (const Record& row : rows) {
        const Entry* rowId = row.Find(kRowId);
        if (rowId == nullptr || rowId->size != 4) continue;
        const auto id = LittleEndian<uint32_t>(row.Bytes(*rowId), 0, 4);
        if (!std::binary_search(ids.begin(), ids.end(), id)) return Status::Damaged;
    }
    return Status::Ok;
}

Status ItemReader::OpenAttachment(const Item& message, size_t number, ItemRef& attachment) const {
    if (number >= message.attachments.size()) return Status::NotFound;
    const SubnodeEntry* subnode = FindSubnode(message.subnodes, message.attachments[number]);
    if (subnode == nullptr) return Status::Damaged;
    return ReadItem(subnode->nid, subnode->data, subnode->subnodes, false, attachment);
}

Status ItemReader::OpenAttachedMessage(const Item& attachment, ItemRef& message) const {
    const Entry* object =
        attachment.records.empty() ? nullptr : attachment.records[0].Find(kAttachDataObject);
    if (object == nullptr || object->type != kTypeObject) return Status::NotFound;
    // The value names the subnode holding the message, followed by its size.
    const std::string_view reference = attachment.records[0].Bytes(*object);
    if (object->subnode != 0 || reference.size() < 4) return Status::Damaged;
    const auto nid = LittleEndian<uint32_t>(reference, 0, 4);
    const SubnodeEntry* subnode = FindSubnode(attachment.subnodes, nid);
    if (subnode == nullptr) return Status::Damaged;
    return ReadItem(subnode->nid, subnode->data, subnode->subnodes, true, message);
}

Status ItemReader::OpenRecipients(const Item& message, ItemRef& recipients) const {
    auto read = std::make_shared<Item>();
    read->id = kNidRecipientTable;
    const Status status =
        ReadTable(*database_, message.subnodes, kNidRecipientTable, read->records, read->subnodes);
    if (status == Status::Damaged || (status == Status::NotFound && message.subnodesDamaged)) {
        return Status::Damaged;
    }
    recipients = std::move(read);
    return Status::Ok;
}

Status ItemReader::ReadValue(const Item& item, const Record& record, const Entry& entry,
                             std::string& value) const {
    if (entry.subnode == 0) {
        value.assign(record.Bytes(entry));
        return Status::Ok;
    }
    const SubnodeEntry* subnode = FindSubnode(item.subnodes, entry.subnode);
    if (subnode == nullptr) return Status::Damaged;
    return database_->ReadData(subnode->data, value);
}

Status ItemReader::ValueLayout(const Item& item, const Entry& entry, DataLayout& layout) const {
    const SubnodeEntry* subnode = FindSubnode(item.subnodes, entry.subnode);
    if (subnode == nullptr) return Status::Damaged;
    return database_->Layout(subnode->data, layout);
}

}  // namespace mailsift::mapi_provider::pst
