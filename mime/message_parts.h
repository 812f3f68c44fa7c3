#pragma once
// The parts of a message: text parts, and attachments whose contents live in files or in
// memory.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/new_file.h"

namespace mailsift {

// Part headers as "name=value" pairs, in the order read.
using TIdNameValueList = std::vector<std::pair<std::string, std::string>>;

// The value of the first pair named name (case-insensitive), "" when absent.
std::string FindNameValue(const TIdNameValueList& list, std::string_view name);

enum class TIdPartKind { Text, Attachment };

class TIdMessagePart {
  public:
    virtual ~TIdMessagePart() = default;
    virtual TIdPartKind Kind() const = 0;

    std::string ContentType;
    std::string CharSet;
    std::string ContentTransfer;
    std::string ContentID;
    std::string ContentLocation;
    std::string ContentDescription;
    std::string ContentDisposition;
    TIdNameValueList Headers;
    TIdNameValueList ExtraHeaders;  // the part's headers other than the ones above
    int ParentPart = -1;            // index of the enclosing multipart part; -1 at the top
    std::string Boundary;           // the boundary of the enclosing multipart
};

class TIdText final : public TIdMessagePart {
  public:
    TIdPartKind Kind() const override { return TIdPartKind::Text; }
    std::vector<std::string> Body;
};

class TIdAttachment : public TIdMessagePart {
  public:
    TIdPartKind Kind() const override { return TIdPartKind::Attachment; }
    std::string FileName;  // the name shown to the user

    // Copies the content to destination; throws MimeError "Error saving attachment." when
    // that fails.
    virtual void SaveContent(const std::string& destination) const = 0;
    // Puts the content into target, a file just created; the part may give up its own copy to
    // do so. Throws MimeError "Error saving attachment." when that fails.
    virtual void MoveContentInto(NewFile& target) { SaveContent(target.Path()); }
    // False once the content has been moved out.
    virtual bool HoldsContent() const { return true; }
};

// An attachment whose decoded content is held in a file.
class TIdAttachmentFile final : public TIdAttachment {
  public:
    TIdAttachmentFile() = default;
    // An attachment made from an existing file: the name shown is the file's own name. The
    // caller sets OwnsFile when the file goes with the message.
    explicit TIdAttachmentFile(const std::string& path);
    ~TIdAttachmentFile() override;
    TIdAttachmentFile(const TIdAttachmentFile&) = delete;
    TIdAttachmentFile& operator=(const TIdAttachmentFile&) = delete;

    void SaveContent(const std::string& destination) const override;
    // A decoded file of the part's own is moved into place rather than copied.
    void MoveContentInto(NewFile& target) override;
    bool HoldsContent() const override { return !StoredPath.empty(); }

    std::string StoredPath;
    bool OwnsFile = false;
    bool Blocked = false;  // the stored file vanished before it could be read
};

// An attachment whose decoded content is held in memory, for one small enough that a trip
// through a file of its own would cost more than it saves.
class TIdAttachmentMemory final : public TIdAttachment {
  public:
    explicit TIdAttachmentMemory(std::string content) : Content(std::move(content)) {}

    void SaveContent(const std::string& destination) const override;

    std::string Content;
};

}  // namespace mailsift
