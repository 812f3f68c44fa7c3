#include "samples/pst_store_writer.h"

#include <stdexcept>

#include "samples/pst_bytes.h"

namespace mailsift::samples {

namespace {

// Property tags written here.
constexpr uint32_t kMessageClass = 0x001A001F;
constexpr uint32_t kSubject = 0x0037001F;
constexpr uint32_t kSubmitTime = 0x00390040;
constexpr uint32_t kSentRepresentingName = 0x0042001F;
constexpr uint32_t kSentRepresentingAddressType = 0x0064001F;
constexpr uint32_t kSentRepresentingAddress = 0x0065001F;
constexpr uint32_t kTransportHeaders = 0x007D001F;
constexpr uint32_t kRecipientType = 0x0C150003;
constexpr uint32_t kSenderName = 0x0C1A001F;
constexpr uint32_t kSenderAddressType = 0x0C1E001F;
constexpr uint32_t kSenderAddress = 0x0C1F001F;
constexpr uint32_t kDisplayCc = 0x0E03001F;
constexpr uint32_t kDisplayTo = 0x0E04001F;
constexpr uint32_t kDeliveryTime = 0x0E060040;
constexpr uint32_t kMessageFlags = 0x0E070003;
constexpr uint32_t kMessageSize = 0x0E080003;
constexpr uint32_t kHasAttachments = 0x0E1B000B;
constexpr uint32_t kAttachSize = 0x0E200003;
constexpr uint32_t kAttachNumber = 0x0E210003;
constexpr uint32_t kRecordKey = 0x0FF90102;
constexpr uint32_t kObjectType = 0x0FFE0003;
constexpr uint32_t kBody = 0x1000001F;
constexpr uint32_t kHtml = 0x10130102;
constexpr uint32_t kInternetMessageId = 0x1035001F;
constexpr uint32_t kRowId = 0x30000003;
constexpr uint32_t kDisplayName = 0x3001001F;
constexpr uint32_t kAddressType = 0x3002001F;
constexpr uint32_t kEmailAddress = 0x3003001F;
constexpr uint32_t kCreationTime = 0x30070040;
constexpr uint32_t kLastModificationTime = 0x30080040;
constexpr uint32_t kValidFolderMask = 0x35DF0003;
constexpr uint32_t kIpmSubtreeEntryId = 0x35E00102;
constexpr uint32_t kContentCount = 0x36020003;
constexpr uint32_t kContentUnread = 0x36030003;
constexpr uint32_t kSubfolders = 0x360A000B;
constexpr uint32_t kContainerClass = 0x3613001F;
constexpr uint32_t kAttachDataBinary = 0x37010102;
constexpr uint32_t kAttachDataObject = 0x3701000D;
constexpr uint32_t kAttachFileName = 0x3704001F;
constexpr uint32_t kAttachMethod = 0x37050003;
constexpr uint32_t kAttachLongFileName = 0x3707001F;
constexpr uint32_t kRenderingPosition = 0x370B0003;
constexpr uint32_t kAttachMimeTag = 0x370E001F;
constexpr uint32_t kDisplayType = 0x39000003;
constexpr uint32_t kSmtpAddress = 0x39FE001F;
constexpr uint32_t kMessageCodePage = 0x3FFD0003;
constexpr uint32_t kPstPassword = 0x67FF0003;
constexpr uint32_t kNameBucketCount = 0x00010003;
constexpr uint32_t kNameGuidStream = 0x00020102;
constexpr uint32_t kNameEntryStream = 0x00030102;
constexpr uint32_t kNameStringStream = 0x00040102;
constexpr uint32_t kNameBucketFirst = 0x10000102;

constexpr uint32_t kMessageStoreNid = 0x21;
constexpr uint32_t kNameMapNid = 0x61;
constexpr uint32_t kRecipientTableNid = 0x692;
constexpr uint32_t kAttachmentTableNid = 0x671;
constexpr uint32_t kNameBuckets = 251;
constexpr int32_t kMethodByValue = 1;
constexpr int32_t kMethodEmbedded = 5;
constexpr int32_t kFlagRead = 0x01;
constexpr int32_t kFlagHasAttachments = 0x10;
constexpr int32_t kMailUser = 6;

// The property sets a name map refers to by number rather than by its GUID stream.
const std::string kPsMapi("\x28\x03\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
const std::string kPsPublicStrings(
    "\x29\x03\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);

const std::string kPsetidCommon("\x08\x20\x06\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46",
                                16);

std::string JoinedNames(const std::vector<PstRecipient>& recipients, int32_t type) {
    std::string joined;
    for (const PstRecipient& recipient : recipients) {
        if (recipient.Type != type) continue;
        if (!joined.empty()) joined += "; ";
        joined += recipient.Name;
    }
    return joined;
}

size_t ValueBytes(const PstProperties& properties) {
    size_t total = 0;
    for (const PstProperty& property : properties) total += property.value.size();
    return total;
}

}  // namespace

PstStoreWriter::PstStoreWriter(const std::string& path, const std::string& displayName,
                               std::optional<std::string> rootName)
    : ndb_(path), displayName_(displayName) {
    // A store's identity; only its being the same in every entry identifier matters.
    for (char i = 0; i < 16; ++i) {
        storeUid_.push_back(static_cast<char>(PstCrc(path + displayName + i)));
    }
    folders_[kRootNid] = {kRootNid, std::move(rootName), {}, {}};
    topNid_ = AddFolder(kRootNid, std::string("Top of Personal Folders"));
    // Readers expect the name map to hold entries; every store knows the keywords property
    // and one of the common set by number.
    NamedPropertyId({kPsPublicStrings, 0, "Keywords", {}});
    NamedPropertyId({kPsetidCommon, 0x8514, {}, {}});
}

uint32_t PstStoreWriter::AddFolder(uint32_t parent, std::optional<std::string> name) {
    const auto found = folders_.find(parent);
    if (found == folders_.end()) throw std::logic_error("no such folder");
    const uint32_t nid = PstNid(kNidTypeNormalFolder, nextIndex_++);
    found->second.children.push_back(nid);
    folders_[nid] = {parent, std::move(name), {}, {}};
    return nid;
}

std::string PstStoreWriter::EntryId(uint32_t nid) const {
    std::string id(4, '\0');
    id += storeUid_;
    PutLe(id, nid, 4);
    return id;
}

uint64_t PstStoreWriter::WritePropertyNode(const PstProperties& properties,
                                           PstSubnodeList& subnodes, uint64_t& bidSub) {
    const uint64_t bidData = ndb_.WriteBlocks(BuildPropertyContext(properties, subnodes));
    bidSub = subnodes.Write();
    return bidData;
}

uint32_t PstStoreWriter::NamedPropertyId(const PstNamedProperty& property) {
    const bool byName = !property.Name.empty();
    std::string key = property.SetGuid;
    key += byName ? 'S' : 'N';
    key += byName ? property.Name : std::to_string(property.Id);
    const auto found = namedIndex_.find(key);
    if (found != namedIndex_.end()) return found->second;
    uint32_t guid = 0;
    if (property.SetGuid == kPsMapi) {
        guid = 1;
    } else if (property.SetGuid == kPsPublicStrings) {
        guid = 2;
    } else {
        size_t at = nameGuids_.find(property.SetGuid);
        while (at != std::string::npos && at % 16 != 0)
            at = nameGuids_.find(property.SetGuid, at + 1);
        if (at == std::string::npos) {
            at = nameGuids_.size();
            nameGuids_ += property.SetGuid;
        }
        guid = static_cast<uint32_t>(3 + at / 16);
    }
    const auto index = static_cast<uint32_t>(nameEntries_.size());
    std::string entry;
    if (byName) {
        PutLe(entry, nameStrings_.size(), 4);
        const std::string name = PstUtf16(property.Name);
        PutLe(nameStrings_, name.size(), 4);
        nameStrings_ += name;
        nameStrings_.resize((nameStrings_.size() + 3) / 4 * 4, '\0');
    } else {
        PutLe(entry, property.Id, 4);
    }
    PutLe(entry, (guid << 1) | (byName ? 1 : 0), 2);
    PutLe(entry, index, 2);
    nameEntries_.push_back(entry);
    namedIndex_.emplace(std::move(key), 0x8000 + index);
    return 0x8000 + index;
}

void PstStoreWriter::AddRecipientTable(const PstMessage& message, PstSubnodeList& subnodes) {
    std::vector<PstProperties> rows;
    for (size_t i = 0; i < message.Recipients.size(); ++i) {
        const PstRecipient& recipient = message.Recipients[i];
        rows.push_back({PstLong(kPstTagRowId, static_cast<int64_t>(i)),
                        PstLong(kRowId, static_cast<int64_t>(i)),
                        PstLong(kRecipientType, recipient.Type), PstLong(kObjectType, kMailUser),
                        PstLong(kDisplayType, 0), PstText(kDisplayName, recipient.Name),
                        PstText(kAddressType, recipient.AddressType),
                        PstText(kEmailAddress, recipient.Address)});
        if (recipient.AddressType == "SMTP")
            rows.back().push_back(PstText(kSmtpAddress, recipient.Address));
    }
    PstSubnodeList values(ndb_);
    const uint64_t bidData = ndb_.WriteBlocks(
        BuildTableContext({kRowId, kRecipientType, kObjectType, kDisplayType, kDisplayName,
                           kAddressType, kEmailAddress, kSmtpAddress},
                          rows, values));
    subnodes.Add({kRecipientTableNid, bidData, values.Write()});
}

void PstStoreWriter::AddAttachments(const PstMessage& message, PstSubnodeList& subnodes) {
    std::vector<PstProperties> rows;
    for (size_t i = 0; i < message.Attachments.size(); ++i) {
        const PstAttachment& attachment = message.Attachments[i];
        const uint32_t nid = subnodes.NewNid(kNidTypeAttachment);
        PstSubnodeList own(ndb_);
        const bool embedded = attachment.Embedded != nullptr;
        PstProperties properties{
            PstLong(kAttachNumber, static_cast<int64_t>(i)),
            PstLong(kAttachMethod, embedded ? kMethodEmbedded : kMethodByValue),
            PstLong(kRenderingPosition, -1)};
        size_t size = attachment.Data.size();
        if (embedded) {
            const uint32_t messageNid = own.NewNid(kNidTypeNormalMessage);
            PstSubnodeList inner(ndb_);
            const PstProperties embeddedProperties = MessageProperties(*attachment.Embedded, inner);
            size = ValueBytes(embeddedProperties);
            uint64_t bidSub = 0;
            const uint64_t bidData = WritePropertyNode(embeddedProperties, inner, bidSub);
            own.Add({messageNid, bidData, bidSub});
            PstProperty object{kAttachDataObject, {}};
            PutLe(object.value, messageNid, 4);
            PutLe(object.value, size, 4);
            properties.push_back(object);
        } else {
            properties.push_back(PstBinary(kAttachDataBinary, attachment.Data));
        }
        properties.push_back(PstLong(kAttachSize, static_cast<int64_t>(size)));
        if (!attachment.FileName.empty()) {
            properties.push_back(PstText(kAttachFileName, attachment.FileName));
            properties.push_back(PstText(kAttachLongFileName, attachment.FileName));
            properties.push_back(PstText(kDisplayName, attachment.FileName));
        }
        if (!attachment.MimeType.empty())
            properties.push_back(PstText(kAttachMimeTag, attachment.MimeType));
        uint64_t bidSub = 0;
        const uint64_t bidData = WritePropertyNode(properties, own, bidSub);
        subnodes.Add({nid, bidData, bidSub});
        rows.push_back({PstLong(kPstTagRowId, nid),
                        PstLong(kAttachSize, static_cast<int64_t>(size)),
                        PstLong(kAttachMethod, embedded ? kMethodEmbedded : kMethodByValue),
                        PstLong(kRenderingPosition, -1)});
        if (!attachment.FileName.empty())
            rows.back().push_back(PstText(kAttachFileName, attachment.FileName));
    }
    PstSubnodeList values(ndb_);
    const uint64_t bidData = ndb_.WriteBlocks(BuildTableContext(
        {kAttachSize, kAttachFileName, kAttachMethod, kRenderingPosition}, rows, values));
    subnodes.Add({kAttachmentTableNid, bidData, values.Write()});
}

PstProperties PstStoreWriter::MessageProperties(const PstMessage& message,
                                                PstSubnodeList& subnodes) {
    if (!message.Recipients.empty()) AddRecipientTable(message, subnodes);
    if (!message.Attachments.empty()) AddAttachments(message, subnodes);
    PstProperties properties{
        PstText(kMessageClass, message.MessageClass),
        PstLong(kMessageFlags, kFlagRead | (message.Attachments.empty() ? 0 : kFlagHasAttachments)),
        PstBool(kHasAttachments, !message.Attachments.empty()), PstLong(kMessageCodePage, 65001)};
    const auto text = [&](uint32_t tag, const std::string& value) {
        if (!value.empty()) properties.push_back(PstText(tag, value));
    };
    text(kSubject, message.Subject);
    text(kSenderName, message.SenderName);
    text(kSentRepresentingName, message.SenderName);
    if (!message.SenderAddress.empty()) {
        text(kSenderAddress, message.SenderAddress);
        text(kSenderAddressType, "SMTP");
        text(kSentRepresentingAddress, message.SenderAddress);
        text(kSentRepresentingAddressType, "SMTP");
    }
    text(kDisplayTo, JoinedNames(message.Recipients, 1));
    text(kDisplayCc, JoinedNames(message.Recipients, 2));
    text(kBody, message.Body);
    if (!message.Html.empty()) properties.push_back(PstBinary(kHtml, message.Html));
    text(kTransportHeaders, message.TransportHeaders);
    text(kInternetMessageId, message.InternetMessageId);
    for (const auto& [tag, time] : {std::pair{kSubmitTime, message.SubmitTime},
                                    std::pair{kDeliveryTime, message.DeliveryTime},
                                    std::pair{kCreationTime, message.DeliveryTime},
                                    std::pair{kLastModificationTime, message.DeliveryTime}}) {
        if (time != 0) properties.push_back(PstTime(tag, time));
    }
    for (const PstNamedProperty& named : message.NamedProperties) {
        properties.push_back(
            {NamedPropertyId(named) << 16 | (named.Value.tag & 0xFFFF), named.Value.value});
    }
    size_t size = ValueBytes(properties);
    for (const PstAttachment& attachment : message.Attachments) size += attachment.Data.size();
    properties.push_back(PstLong(kMessageSize, static_cast<int64_t>(size)));
    return properties;
}

void PstStoreWriter::AddMessage(uint32_t folder, const PstMessage& message) {
    const auto found = folders_.find(folder);
    if (found == folders_.end()) throw std::logic_error("no such folder");
    const uint32_t nid = PstNid(kNidTypeNormalMessage, nextIndex_++);
    PstSubnodeList subnodes(ndb_);
    const PstProperties properties = MessageProperties(message, subnodes);
    uint64_t bidSub = 0;
    const uint64_t bidData = WritePropertyNode(properties, subnodes, bidSub);
    ndb_.AddNode(nid, bidData, bidSub, folder);
    PstProperties row{PstLong(kPstTagRowId, nid)};
    for (const PstProperty& property : properties) {
        switch (property.tag) {
            case kMessageClass:
            case kSubject:
            case kSentRepresentingName:
            case kDeliveryTime:
            case kSubmitTime:
            case kMessageFlags:
            case kMessageSize:
                row.push_back(property);
                break;
            default:
                break;
        }
    }
    found->second.contents.push_back(std::move(row));
}

void PstStoreWriter::WriteFolder(uint32_t nid, const Folder& folder) {
    const auto counts = [](const Folder& f) {
        return PstProperties{PstLong(kContentCount, static_cast<int64_t>(f.contents.size())),
                             PstLong(kContentUnread, 0), PstBool(kSubfolders, !f.children.empty())};
    };
    PstProperties properties = counts(folder);
    if (folder.name) properties.push_back(PstText(kDisplayName, *folder.name));
    if (nid != kRootNid) properties.push_back(PstText(kContainerClass, "IPF.Note"));
    PstSubnodeList subnodes(ndb_);
    uint64_t bidSub = 0;
    const uint64_t bidData = WritePropertyNode(properties, subnodes, bidSub);
    ndb_.AddNode(nid, bidData, bidSub, folder.parent);

    std::vector<PstProperties> children;
    for (const uint32_t child : folder.children) {
        const Folder& entry = folders_.at(child);
        PstProperties row = counts(entry);
        row.push_back(PstLong(kPstTagRowId, child));
        if (entry.name) row.push_back(PstText(kDisplayName, *entry.name));
        row.push_back(PstText(kContainerClass, "IPF.Note"));
        children.push_back(std::move(row));
    }
    const uint32_t index = PstNidIndex(nid);
    const auto table = [&](uint32_t type, std::vector<uint32_t> columns,
                           const std::vector<PstProperties>& rows) {
        PstSubnodeList values(ndb_);
        const uint64_t tableData =
            ndb_.WriteBlocks(BuildTableContext(std::move(columns), rows, values));
        ndb_.AddNode(PstNid(type, index), tableData, values.Write(), 0);
    };
    table(kNidTypeHierarchyTable,
          {kDisplayName, kContentCount, kContentUnread, kSubfolders, kContainerClass}, children);
    table(kNidTypeContentsTable,
          {kMessageClass, kSubject, kSentRepresentingName, kDeliveryTime, kSubmitTime,
           kMessageFlags, kMessageSize},
          folder.contents);
    table(kNidTypeAssocContentsTable, {kMessageClass, kMessageFlags, kMessageSize}, {});
}

void PstStoreWriter::WriteNameMap() {
    std::vector<std::string> buckets(kNameBuckets);
    for (const std::string& entry : nameEntries_) {
        auto id = static_cast<uint32_t>(GetLe(entry, 0, 4));
        const auto guidAndKind = static_cast<uint32_t>(GetLe(entry, 4, 2));
        std::string record = entry;
        if (guidAndKind & 1) {
            // A string name is found by the checksum of its text.
            const auto length = static_cast<size_t>(GetLe(nameStrings_, id, 4));
            id = PstCrc(std::string_view(nameStrings_).substr(id + 4, length));
            SetLe(record, 0, id, 4);
        }
        buckets[(id ^ guidAndKind) % kNameBuckets] += record;
    }
    std::string entries;
    for (const std::string& entry : nameEntries_) entries += entry;
    PstProperties properties{
        PstLong(kNameBucketCount, kNameBuckets), PstBinary(kNameGuidStream, nameGuids_),
        PstBinary(kNameEntryStream, entries), PstBinary(kNameStringStream, nameStrings_)};
    for (uint32_t i = 0; i < kNameBuckets; ++i) {
        if (!buckets[i].empty())
            properties.push_back(PstBinary(kNameBucketFirst + (i << 16), buckets[i]));
    }
    PstSubnodeList subnodes(ndb_);
    uint64_t bidSub = 0;
    const uint64_t bidData = WritePropertyNode(properties, subnodes, bidSub);
    ndb_.AddNode(kNameMapNid, bidData, bidSub, 0);
}

void PstStoreWriter::WriteMessageStore() {
    PstProperties properties{PstBinary(kRecordKey, storeUid_), PstText(kDisplayName, displayName_),
                             PstBinary(kIpmSubtreeEntryId, EntryId(topNid_)),
                             PstLong(kValidFolderMask, 1), PstLong(kPstPassword, 0)};
    PstSubnodeList subnodes(ndb_);
    uint64_t bidSub = 0;
    const uint64_t bidData = WritePropertyNode(properties, subnodes, bidSub);
    ndb_.AddNode(kMessageStoreNid, bidData, bidSub, 0);
}

void PstStoreWriter::Finish() {
    WriteMessageStore();
    WriteNameMap();
    for (const auto& [nid, folder] : folders_) WriteFolder(nid, folder);
    ndb_.Finish();
}

}  // namespace mailsift::samples
