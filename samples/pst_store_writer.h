#pragma once
// Writes sample personal folder files (Unicode) for the demo, tests and benchmarks: the message
// store, the name-to-id map, the root folder with the top of personal folders below it and a
// folder tree of any shape, each folder with its hierarchy, contents and associated contents
// tables, and messages with recipients, attachments of any size, embedded messages and named
// properties. Messages go to the file as they are added; a store of any size is written in
// memory bounded by one message and the tables' rows.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "samples/pst_contexts.h"
#include "samples/pst_ndb_writer.h"

namespace mailsift::samples {

struct PstRecipient {
    std::string Name;
    std::string Address;
    std::string AddressType = "SMTP";
    int32_t Type = 1;  // 1 To, 2 Cc, 3 Bcc
};

// A named property, named by a number or by a string in its property set. Its value's tag
// gives only the type (PstText(0x001F, ...), PstTime(0x0040, ...), ...).
struct PstNamedProperty {
    std::string SetGuid;  // 16 bytes
    uint32_t Id = 0;
    std::string Name;  // when not empty, the property is named by this string
    PstProperty Value;
};

struct PstMessage;

struct PstAttachment {
    std::string FileName;
    std::string MimeType;
    std::string Data;
    std::shared_ptr<const PstMessage> Embedded;  // set: an attached message instead of Data
};

struct PstMessage {
    std::string MessageClass = "IPM.Note";
    std::string Subject;
    std::string SenderName;
    std::string SenderAddress;
    std::string Body;
    std::string Html;
    std::string TransportHeaders;
    std::string InternetMessageId;
    uint64_t SubmitTime = 0;  // FILETIME; 0 leaves the property out
    uint64_t DeliveryTime = 0;
    std::vector<PstRecipient> Recipients;
    std::vector<PstAttachment> Attachments;
    std::vector<PstNamedProperty> NamedProperties;
};

class PstStoreWriter {
  public:
    // The root folder keeps no display name when rootName is nullopt. Throws
    // std::runtime_error when the file cannot be written.
    PstStoreWriter(const std::string& path, const std::string& displayName,
                   std::optional<std::string> rootName = std::string("Root"));
    PstStoreWriter(const PstStoreWriter&) = delete;
    PstStoreWriter& operator=(const PstStoreWriter&) = delete;

    uint32_t RootFolder() const { return kRootNid; }
    // "Top of Personal Folders", where mail folders go.
    uint32_t TopFolder() const { return topNid_; }
    // A folder below parent; nullopt: without a display name.
    uint32_t AddFolder(uint32_t parent, std::optional<std::string> name);
    void AddMessage(uint32_t folder, const PstMessage& message);
    // Writes the folders, the store and the B-trees; the file is complete afterwards.
    void Finish();

  private:
    static constexpr uint32_t kRootNid = 0x122;

    struct Folder {
        uint32_t parent = 0;
        std::optional<std::string> name;
        std::vector<uint32_t> children;
        std::vector<PstProperties> contents;
    };

    PstProperties MessageProperties(const PstMessage& message, PstSubnodeList& subnodes);
    void AddRecipientTable(const PstMessage& message, PstSubnodeList& subnodes);
    void AddAttachments(const PstMessage& message, PstSubnodeList& subnodes);
    uint32_t NamedPropertyId(const PstNamedProperty& property);
    std::string EntryId(uint32_t nid) const;
    void WriteFolder(uint32_t nid, const Folder& folder);
    void WriteNameMap();
    void WriteMessageStore();
    // A node whose property context is written from the properties, with its subnodes.
    uint64_t WritePropertyNode(const PstProperties& properties, PstSubnodeList& subnodes,
                               uint64_t& bidSub);

    PstNdbWriter ndb_;
    std::string displayName_;
    std::string storeUid_;
    uint32_t topNid_ = 0;
    uint32_t nextIndex_ = 0x400;
    std::map<uint32_t, Folder> folders_;
    // Named properties by (set, kind and id or name), their index in the map.
    std::map<std::string, uint32_t> namedIndex_;
    std::vector<std::string> nameEntries_;
    std::string nameGuids_;
    std::string nameStrings_;
};

}  // namespace mailsift::samples
