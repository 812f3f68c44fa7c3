#include "mime/message.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "mime/encoded_words.h"
#include "mime/mime_error.h"
#include "mime/rfc822_date.h"
#include "mime/text_util.h"

namespace mailsift {

namespace {

std::vector<std::string> SplitNewsGroups(std::string_view value) {
    std::vector<std::string> groups;
    while (!value.empty()) {
        const size_t comma = value.find(',');
        const std::string_view group = TrimBlanks(value.substr(0, comma));
        if (!group.empty()) groups.emplace_back(group);
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
    return groups;
}

TIdMessagePriority ParsePriority(std::string_view value) {
    const std::string upper = AsciiUpperCased(value);
    // "non-urgent" holds "urgent": the negative forms are looked for first.
    if (upper.find("NON-URGENT") != std::string::npos ||
        upper.find("NON-PRIORITY") != std::string::npos) {
        return TIdMessagePriority::Low;
    }
    if (upper.find("URGENT") != std::string::npos) return TIdMessagePriority::High;
    const std::string_view trimmed = TrimBlanks(value);
    int level = 3;
    const size_t end = trimmed.find_first_not_of("0123456789");
    if (end != 0 && !trimmed.empty()) {
        const std::string digits(trimmed.substr(0, std::min<size_t>(end, 3)));
        level = std::atoi(digits.c_str());
    }
    level = std::clamp(level - 1, 0, 4);
    return static_cast<TIdMessagePriority>(level);
}

}  // namespace

TIdEmailAddressItem TIdMessage::From() const {
    return FromList.empty() ? TIdEmailAddressItem{} : FromList.front();
}

void TIdMessage::Clear() {
    Headers.Clear();
    ContentType.clear();
    CharSet.clear();
    ContentTransferEncoding.clear();
    ContentDisposition.clear();
    Subject.clear();
    FromList.clear();
    MessageId.clear();
    NewsGroups.clear();
    Recipients.clear();
    CCList.clear();
    BccList.clear();
    Organization.clear();
    ReceiptRecipient = {};
    References.clear();
    ReplyTo.clear();
    Date = 0;
    Sender = {};
    Priority = TIdMessagePriority::Normal;
    MIMEBoundary.clear();
    Encoding = TIdMessageEncoding::Default;
    ExtraHeaders.Clear();
    ConvertPreamble = true;
    SingleEntity = false;
    LastGeneratedHeaders.Clear();
}

void TIdMessage::ClearBody() {
    Body.clear();
    MessageParts.clear();
}

void TIdMessage::ReadFromFile(const std::string& path, bool headersOnly) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw MimeError("Cannot load message from file " + path);
    }
    std::ifstream input(path, std::ios::binary);
    if (!input) throw MimeError("Cannot load message from file " + path);
    ReadFromStream(input, headersOnly);
}

void TIdMessage::WriteToFile(const std::string& path, bool headersOnly) {
    // A file made empty for this message (the export takes a name so) is written in place:
    // truncating it, even with nothing in it, makes ext4 start writing each file back on its
    // own as soon as it is closed, which costs an export on the disk half its speed.
    std::error_code error;
    const bool empty = std::filesystem::is_regular_file(path, error) &&
                       std::filesystem::file_size(path, error) == 0 && !error;
    std::ofstream output(path, std::ios::binary | (empty ? std::ios::in | std::ios::out
                                                         : std::ios::out | std::ios::trunc));
    if (!output) throw MimeError("Cannot create message file " + path);
    WriteToStream(output, headersOnly);
    output.close();
    if (!output) throw MimeError("Cannot write message file " + path);
}

void TIdMessage::ReadHeaderFields() {
    const std::string contentType = ValidContentType(Headers.Value("Content-Type"));
    ContentType = MediaType(contentType);
    CharSet = HeaderParameter(contentType, "charset");
    ContentTransferEncoding = Headers.Value("Content-Transfer-Encoding");
    ContentDisposition = Headers.Value("Content-Disposition");
    Organization = Headers.Value("Organization");
    References = Headers.Value("References");
    MessageId = Headers.Value("Message-Id");
    // Address headers are parsed before their encoded words are decoded, so a display name
    // whose decoded text holds a comma or a quote stays one name.
    Subject = DecodeHeader(Headers.Value("Subject"));
    FromList = ParseAddressList(Headers.Value("From"));
    Recipients = ParseAddressList(Headers.Value("To"));
    CCList = ParseAddressList(Headers.Value("Cc"));
    BccList = ParseAddressList(Headers.Value("Bcc"));
    NewsGroups = SplitNewsGroups(Headers.Value("Newsgroups"));
    ReplyTo = ParseAddressList(Headers.Value("Reply-To"));
    Sender = ParseAddress(Headers.Value("Sender"));
    std::string receipt = Headers.Value("Disposition-Notification-To");
    if (receipt.empty()) receipt = Headers.Value("Return-Receipt-To");
    ReceiptRecipient = ParseAddress(receipt);
    Date = ParseRfc822Date(Headers.Value("Date"));
    std::string priority = Headers.Value("Priority");
    if (priority.empty()) priority = Headers.Value("X-Priority");
    Priority = ParsePriority(priority);
    const std::string boundary = HeaderParameter(contentType, "boundary");
    if (!boundary.empty()) MIMEBoundary.push_back({boundary, -1});
    Encoding =
        Headers.Has("MIME-Version") ? TIdMessageEncoding::Mime : TIdMessageEncoding::PlainText;
}

}  // namespace mailsift
