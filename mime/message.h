#pragma once
// One Internet mail message in memory: header fields, plain body, text parts and attachments.
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "mime/address_headers.h"
#include "mime/header_list.h"
#include "mime/message_parts.h"
#include "platform/date_time.h"

namespace mailsift {

enum class TIdMessagePriority { Highest = 0, High = 1, Normal = 2, Low = 3, Lowest = 4 };
enum class TIdMessageEncoding { Default, Mime, PlainText };

// An open multipart body: its boundary and the index of the part that opened it (-1 for the
// message itself).
struct TIdMimeBoundary {
    std::string Boundary;
    int ParentPart = -1;
};

class TIdMessage {
  public:
    TIdHeaderList Headers;
    std::string ContentType;
    std::string CharSet;
    std::string ContentTransferEncoding;
    std::string ContentDisposition;
    std::string Subject;
    TIdEmailAddressList FromList;
    std::string MessageId;
    std::vector<std::string> NewsGroups;
    TIdEmailAddressList Recipients;
    TIdEmailAddressList CCList;
    TIdEmailAddressList BccList;
    std::string Organization;
    TIdEmailAddressItem ReceiptRecipient;
    std::string References;
    TIdEmailAddressList ReplyTo;
    TDateTime Date = 0;
    TIdEmailAddressItem Sender;
    TIdMessagePriority Priority = TIdMessagePriority::Normal;
    std::vector<TIdMimeBoundary> MIMEBoundary;
    TIdMessageEncoding Encoding = TIdMessageEncoding::Default;
    std::vector<std::string> Body;
    std::vector<std::unique_ptr<TIdMessagePart>> MessageParts;
    TIdHeaderList ExtraHeaders;
    std::string AttachmentTempDirectory;
    std::string AttachmentEncoding = "UUE";
    bool NoDecode = false;
    bool NoEncode = false;
    bool ConvertPreamble = true;
    bool UseNowForDate = false;
    bool SingleEntity = false;
    bool ExceptionOnBlockedAttachments = false;
    TIdHeaderList LastGeneratedHeaders;

    // The sender: the first item of FromList, or an empty item.
    TIdEmailAddressItem From() const;

    // Empties the header fields and resets the header flags; body and parts stay.
    void Clear();
    // Empties the body and releases the parts (an owned attachment file is deleted).
    void ClearBody();

    // Throw MimeError on damage the reader cannot get past and on a missing file; a part
    // whose decoding failed is not kept and leaves no temporary file behind.
    // Message files and store text are read raw: every line, a "." line too, is the message's.
    void ReadFromFile(const std::string& path, bool headersOnly = false);
    void ReadFromStream(std::istream& input, bool headersOnly = false);
    void WriteToFile(const std::string& path, bool headersOnly = false);
    void WriteToStream(std::ostream& output, bool headersOnly = false);

    void ReadHeaderFields();
    // forFile keeps the "Bcc" header, which only a message saved to a file carries.
    void BuildHeaderBlock(bool forFile = false);
};

}  // namespace mailsift
