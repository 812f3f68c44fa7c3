#include "outlook/msg/msg_storage.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#include "mapi/mapi_tags.h"
#include "outlook/mapi_library.h"
#include "outlook/msg/msg_compound_file.h"
#include "outlook/msg/msg_message.h"
#include "outlook/msg/msg_names.h"
#include "outlook/msg/msg_property.h"
#include "platform/file_system.h"

namespace mailsift {

using namespace mapi;

namespace {

constexpr const char* kPropertiesStream = "__properties_version1.0";
constexpr const char* kNameIdStorage = "__nameid_version1.0";
constexpr const char* kEmbeddedStorage = "__substg1.0_3701000D";
// Property entries carry access flags: every property can be read and written, except the
// few that Outlook marks read-only on messages.
constexpr uint32_t kReadable = 0x2;
constexpr uint32_t kWritable = 0x4;
// The size an entry gives a property held as a storage of its own.
constexpr uint32_t kStorageSize = 0xFFFFFFFFu;
constexpr ULONG kStoreSupportMask = PROP_TAG(PT_LONG, 0x340D);
constexpr uint64_t kStoreUnicodeOk = 0x00040000;

bool IsReadOnlyOnMessages(ULONG id) {
    switch (id) {
        case 0x0E02:  // PR_DISPLAY_BCC
        case 0x0E03:  // PR_DISPLAY_CC
        case 0x0E04:  // PR_DISPLAY_TO
        case 0x0E1D:  // PR_NORMALIZED_SUBJECT
        case 0x0FF4:  // PR_ACCESS
        case 0x0FF7:  // PR_ACCESS_LEVEL
        case 0x3007:  // PR_CREATION_TIME
        case 0x3008:  // PR_LAST_MODIFICATION_TIME
        case 0x340D:  // PR_STORE_SUPPORT_MASK
            return true;
        default:
            return false;
    }
}

std::string Hex8(ULONG value) {
    char text[9];
    std::snprintf(text, sizeof(text), "%08X", static_cast<unsigned>(value));
    return text;
}

std::string StreamName(ULONG tag) {
    return "__substg1.0_" + Hex8(tag);
}

void Put32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void Put64(std::string& out, uint64_t value) {
    Put32(out, static_cast<uint32_t>(value));
    Put32(out, static_cast<uint32_t>(value >> 32));
}

void PutEntry(std::string& out, ULONG tag, uint32_t flags, uint64_t value) {
    Put32(out, tag);
    Put32(out, flags);
    Put64(out, value);
}

// Where a saved property stands: a message's own, a recipient's or an attachment's.
enum class Holder { Message, Recipient, Attachment };

// Writes saved messages in the layout of Outlook's .msg files.
class LayoutWriter {
  public:
    explicit LayoutWriter(MsgCompoundFile& file) : file_(file) {}

    const std::string& error() const { return error_.empty() ? file_.error() : error_; }

    bool WriteMessage(const MsgSavedMessage& message, bool topLevel) {
        const auto recipients = static_cast<uint32_t>(message.recipients.size());
        const auto attachments = static_cast<uint32_t>(message.attachments.size());
        // Recipients and attachments are numbered afresh from 0, so the next free numbers
        // are their counts.
        std::string header(8, '\0');
        Put32(header, recipients);
        Put32(header, attachments);
        Put32(header, recipients);
        Put32(header, attachments);
        if (topLevel) header.append(8, '\0');
        if (!WriteProperties(topLevel ? WithUnicodeMark(message.props) : message.props,
                             Holder::Message, header)) {
            return false;
        }
        for (uint32_t i = 0; i < recipients; ++i) {
            MsgPropertyBag bag = message.recipients[i];
            Renumber(bag, PR_ROWID, i);
            if (!file_.BeginStorage("__recip_version1.0_#" + Hex8(i)) ||
                !WriteProperties(bag, Holder::Recipient, std::string(8, '\0')) ||
                !file_.EndStorage()) {
                return false;
            }
        }
        for (uint32_t i = 0; i < attachments; ++i) {
            if (!WriteAttachment(*message.attachments[i], i)) return false;
        }
        if (!topLevel) return true;
        // The named-property mapping is there even when no property has a name.
        if (!file_.BeginStorage(kNameIdStorage)) return false;
        for (const auto& [name, bytes] : MsgNameStreams(message.names)) {
            if (!file_.WriteStream(name, bytes)) return false;
        }
        return file_.EndStorage();
    }

  private:
    // Readers learn from the store's support mask whether the strings are Unicode.
    static MsgPropertyBag WithUnicodeMark(const MsgPropertyBag& props) {
        const bool unicode = std::any_of(props.begin(), props.end(), [](const auto& entry) {
            const ULONG type = PROP_TYPE(entry.second.tag);
            return type == PT_UNICODE || type == PT_MV_UNICODE;
        });
        if (!unicode) return props;
        MsgPropertyBag marked = props;
        MsgProperty& mask = marked[PROP_ID(kStoreSupportMask)];
        if (mask.tag != kStoreSupportMask) mask = MsgProperty{kStoreSupportMask, 0, {}, {}};
        mask.fixed |= kStoreUnicodeOk;
        return marked;
    }

    static void Renumber(MsgPropertyBag& bag, ULONG tag, uint32_t number) {
        MsgProperty& property = bag[PROP_ID(tag)];
        property = MsgProperty{};
        property.tag = tag;
        property.fixed = number;
    }

    bool WriteAttachment(const MsgSavedAttachment& attachment, uint32_t index) {
        MsgPropertyBag bag = attachment.props;
        Renumber(bag, PR_ATTACH_NUM, index);
        if (!file_.BeginStorage("__attach_version1.0_#" + Hex8(index))) return false;
        std::string entries(8, '\0');
        if (attachment.embedded != nullptr) {
            bag.erase(PROP_ID(PR_ATTACH_DATA_OBJ));
            PutEntry(entries, PR_ATTACH_DATA_OBJ, kReadable | kWritable, kStorageSize);
            if (!file_.BeginStorage(kEmbeddedStorage) ||
                !WriteMessage(*attachment.embedded, false) || !file_.EndStorage()) {
                return false;
            }
        }
        return WriteProperties(bag, Holder::Attachment, entries) && file_.EndStorage();
    }

    // The value streams of `bag` and then its property stream: `entries` (the header and
    // any entries already made) followed by one entry per property.
    bool WriteProperties(const MsgPropertyBag& bag, Holder holder, std::string entries) {
        for (const auto& [id, property] : bag) {
            const ULONG type = PROP_TYPE(property.tag);
            const uint32_t flags = holder == Holder::Message && IsReadOnlyOnMessages(id)
                                       ? kReadable
                                       : kReadable | kWritable;
            uint64_t value = 0;
            if (MsgFixedValueSize(type) > 0) {
                value = property.fixed;
            } else if (MsgIsVariableArray(type)) {
                if (!WriteArrayStreams(property, value)) return false;
            } else if (property.blob != nullptr) {
                const MsgBlob& blob = *property.blob;
                const uint64_t terminator = type == PT_UNICODE ? 2 : (type == PT_STRING8 ? 1 : 0);
                if (blob.size() + terminator > kMsgMaxValueSize) {
                    return Fail("value " + Hex8(property.tag) + " is too large");
                }
                if (!file_.WriteStream(StreamName(property.tag), blob.size(),
                                       [&blob](uint64_t offset, void* buffer, size_t count) {
                                           return blob.ReadAt(offset, buffer, count);
                                       })) {
                    return false;
                }
                value = blob.size() + terminator;
            } else {
                continue;
            }
            PutEntry(entries, property.tag, flags, value);
        }
        return file_.WriteStream(kPropertiesStream, entries);
    }

    // A length stream with one length per value, then one stream per value; strings keep
    // their terminator there.
    bool WriteArrayStreams(const MsgProperty& property, uint64_t& size) {
        const ULONG type = PROP_TYPE(property.tag);
        const size_t terminator = type == PT_MV_UNICODE ? 2 : (type == PT_MV_STRING8 ? 1 : 0);
        std::string lengths;
        for (size_t i = 0; i < property.values.size(); ++i) {
            std::string value = property.values[i];
            value.append(terminator, '\0');
            if (value.size() > kMsgMaxValueSize) {
                return Fail("value " + Hex8(property.tag) + " is too large");
            }
            Put32(lengths, static_cast<uint32_t>(value.size()));
            if (type == PT_MV_BINARY) Put32(lengths, 0);
            if (!file_.WriteStream(StreamName(property.tag) + "-" + Hex8(static_cast<ULONG>(i)),
                                   value)) {
                return false;
            }
        }
        size = lengths.size();
        return file_.WriteStream(StreamName(property.tag), lengths);
    }

    bool Fail(const std::string& reason) {
        error_ = reason;
        return false;
    }

    MsgCompoundFile& file_;
    std::string error_;
};

class Storage final : public MsgStorage {
  public:
    Storage(std::string path, const MsgBuffers& buffers)
        : path_(std::move(path)), buffers_(buffers) {}

    ~Storage() override {
        if (message_ != nullptr) message_->Release();
    }

    void SetClass(const CLSID& clsid) override {
        static_assert(sizeof(CLSID) == sizeof(clsid_));
        std::memcpy(clsid_, &clsid, sizeof(clsid_));
    }

    IMessage* OpenMessage() override {
        if (message_ == nullptr) message_ = NewMsgMessage(buffers_);
        if (message_ != nullptr) message_->AddRef();
        return message_;
    }

    bool Commit(std::string& error) override {
        try {
            return Write(error);
        } catch (const std::bad_alloc&) {
            error = "Cannot write file " + path_ + ": out of memory";
            return false;
        }
    }

  private:
    // Writes a sibling of the target and puts it in the target's place only when it is whole.
    bool Write(std::string& error) {
        const std::string partial = PartialSiblingPath(path_);
        const int descriptor = open(partial.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0) {
            error = "Cannot write file " + partial + ": " + std::strerror(errno);
            return false;
        }
        // Read and write: the directory is put in order once the file is complete.
        std::FILE* file = fdopen(descriptor, "w+b");
        if (file == nullptr) {
            error = "Cannot write file " + partial + ": " + std::strerror(errno);
            close(descriptor);
            unlink(partial.c_str());
            return false;
        }
        bool written = WriteInto(file, partial, error);
        if (written && (std::fflush(file) != 0 || std::ferror(file) != 0)) {
            error = "Cannot write file " + partial + ": " + std::strerror(errno);
            written = false;
        }
        if (std::fclose(file) != 0 && written) {
            error = "Cannot write file " + partial + ": " + std::strerror(errno);
            written = false;
        }
        if (written && std::rename(partial.c_str(), path_.c_str()) != 0) {
            error = "Cannot replace file " + path_ + ": " + std::strerror(errno);
            written = false;
        }
        if (!written) unlink(partial.c_str());
        return written;
    }

    bool WriteInto(std::FILE* file, const std::string& name, std::string& error) {
        const std::shared_ptr<const MsgSavedMessage> saved =
            message_ != nullptr ? SavedMessageOf(message_) : std::make_shared<MsgSavedMessage>();
        MsgCompoundFile compound(file, name);
        LayoutWriter layout(compound);
        if (compound.SetRootClass(clsid_) && layout.WriteMessage(*saved, true) &&
            compound.Close()) {
            return true;
        }
        error = "Cannot write file " + layout.error();
        return false;
    }

    std::string path_;
    MsgBuffers buffers_;
    uint8_t clsid_[16] = {};
    IMessage* message_ = nullptr;
};

}  // namespace

std::unique_ptr<MsgStorage> MsgStorage::Create(const std::string& path, std::string& error) {
    const MapiEntryPoints& entries = MapiEntries();
    if (entries.MAPIAllocateBuffer != nullptr && entries.MAPIAllocateMore != nullptr &&
        entries.MAPIFreeBuffer != nullptr) {
        return Create(
            path, {entries.MAPIAllocateBuffer, entries.MAPIAllocateMore, entries.MAPIFreeBuffer},
            error);
    }
    error = "No MAPI library is loaded for the message of " + path;
    return nullptr;
}

std::unique_ptr<MsgStorage> MsgStorage::Create(const std::string& path, const MsgBuffers& buffers,
                                               std::string& error) {
    if (buffers.allocate == nullptr || buffers.allocateMore == nullptr || buffers.free == nullptr) {
        error = "No allocator for the message of " + path;
        return nullptr;
    }
    if (path.empty()) {
        error = "No file name for the message";
        return nullptr;
    }
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code failure;
    if (!std::filesystem::is_directory(folder, failure)) {
        error = "Cannot create file " + path + ": the folder " + folder.string() + " is missing";
        return nullptr;
    }
    try {
        return std::make_unique<Storage>(path, buffers);
    } catch (const std::bad_alloc&) {
        error = "Cannot create file " + path + ": out of memory";
        return nullptr;
    }
}

}  // namespace mailsift
