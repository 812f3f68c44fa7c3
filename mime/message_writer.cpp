// Writing a message: the generated header block, then the body as plain text with UUE/XXE
// attachments, as a single entity, or as a MIME multipart. A file is not a transmission: its
// lines are written as they are, with no dot-stuffing and no final "." line.
#include <algorithm>
#include <fstream>
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "mime/base64.h"
#include "mime/binhex.h"
#include "mime/encoded_words.h"
#include "mime/line_reader.h"
#include "mime/message.h"
#include "mime/mime_boundary.h"
#include "mime/mime_error.h"
#include "mime/quoted_printable.h"
#include "mime/rfc822_date.h"
#include "mime/text_util.h"
#include "mime/uu_codec.h"

namespace mailsift {

namespace {

constexpr std::string_view kPreamble = "This is a multi-part message in MIME format";
constexpr size_t kOutputFlushSize = 1 << 18;
// Whole base64 and UUE lines per read, so a stream encodes as one piece would.
constexpr size_t kBase64Chunk = 57 * 4096;
constexpr size_t kUuChunk = 45 * 4096;

// The bytes of a string read as a stream, without a copy, so that content held in memory is
// written as a file's would be.
class ViewBuffer final : public std::streambuf {
  public:
    explicit ViewBuffer(const std::string& bytes) {
        char* begin = const_cast<char*>(bytes.data());
        setg(begin, begin, begin + bytes.size());
    }
};

bool IsOneOf(std::string_view value, std::initializer_list<std::string_view> choices) {
    return std::any_of(choices.begin(), choices.end(),
                       [&](std::string_view choice) { return EqualsIgnoringCase(value, choice); });
}

bool IsWhiteSpaceOnly(const std::vector<std::string>& lines) {
    return std::all_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find_first_not_of(" \t\r\n") == std::string::npos;
    });
}

bool HasEightBitText(const std::vector<std::string>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return std::any_of(line.begin(), line.end(),
                           [](char c) { return static_cast<unsigned char>(c) > 127; });
    });
}

// The media type with its charset parameter removed.
std::string WithoutCharset(std::string_view type) {
    std::string result;
    size_t start = 0;
    while (start <= type.size()) {
        const size_t end = std::min(type.find(';', start), type.size());
        const std::string_view piece = TrimBlanks(type.substr(start, end - start));
        if (!piece.empty() && !StartsWithIgnoringCase(piece, "charset")) {
            if (!result.empty()) result += "; ";
            result.append(piece);
        }
        start = end + 1;
    }
    return result;
}

// A file name as a quoted parameter value: encoded words for text that is not ASCII, and no
// character that would end the quoted string or the header line.
std::string QuotedFileName(std::string_view name) {
    std::string encoded = EncodeHeader(name);
    std::replace(encoded.begin(), encoded.end(), '"', '_');
    std::replace(encoded.begin(), encoded.end(), '\r', ' ');
    std::replace(encoded.begin(), encoded.end(), '\n', ' ');
    return '"' + encoded + '"';
}

std::string JoinNewsGroups(const std::vector<std::string>& groups) {
    std::string text;
    for (const std::string& group : groups) {
        if (!text.empty()) text += ',';
        text += group;
    }
    return text;
}

class MessageOutput {
  public:
    explicit MessageOutput(std::ostream& stream) : stream_(stream) {
        buffer_.reserve(kOutputFlushSize + (1 << 16));
    }
    ~MessageOutput() = default;
    MessageOutput(const MessageOutput&) = delete;
    MessageOutput& operator=(const MessageOutput&) = delete;

    void Text(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= kOutputFlushSize) Flush();
    }
    void Line(std::string_view line = {}) {
        buffer_.append(line);
        buffer_.append("\r\n");
        if (buffer_.size() >= kOutputFlushSize) Flush();
    }
    // Entries may hold line breaks of their own (a body taken over whole from elsewhere).
    void Lines(const std::vector<std::string>& lines) {
        for (const std::string& entry : lines) {
            if (entry.find('\n') == std::string::npos) {
                Line(entry);
                continue;
            }
            for (const std::string& line : SplitTextLines(entry)) Line(line);
        }
    }
    std::string& Buffer() { return buffer_; }
    void Flush() {
        stream_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        if (!stream_) throw MimeError("Cannot write the message");
        buffer_.clear();
    }

  private:
    std::ostream& stream_;
    std::string buffer_;
};

class MessageBodyWriter {
  public:
    MessageBodyWriter(TIdMessage& message, MessageOutput& out) : message_(message), out_(out) {}

    void Write() {
        const std::string& encoding = message_.ContentTransferEncoding;
        if (message_.SingleEntity && message_.Encoding == TIdMessageEncoding::Mime) {
            WriteSingleEntity();
        } else if (IsOneOf(encoding, {"base64", "quoted-printable"})) {
            // Only a message without parts keeps such an encoding (BuildHeaderBlock).
            WriteEncodedLines(message_.Body, encoding);
        } else if (message_.MessageParts.empty() ||
                   message_.Encoding == TIdMessageEncoding::PlainText) {
            WritePlainText();
        } else {
            WriteMultipart();
        }
    }

  private:
    void WriteEncodedLines(const std::vector<std::string>& lines, const std::string& encoding) {
        if (EqualsIgnoringCase(encoding, "base64")) {
            // The reader drops one empty last line of a decoded text, as it does for the
            // other encodings, where the writer ends the text with an empty line as well.
            std::string text;
            for (const std::string& line : lines) text.append(line).append("\r\n");
            text.append("\r\n");
            AppendBase64Lines(text, out_.Buffer());
        } else if (EqualsIgnoringCase(encoding, "quoted-printable")) {
            for (const std::string& entry : lines) {
                for (const std::string& line : SplitTextLines(entry)) {
                    AppendQuotedPrintableLine(line, out_.Buffer());
                }
                if (entry.empty()) AppendQuotedPrintableLine("", out_.Buffer());
            }
        } else {
            out_.Lines(lines);
        }
    }

    void WriteSingleEntity() {
        const std::string& encoding = message_.ContentTransferEncoding;
        for (const auto& part : message_.MessageParts) {
            if (part->Kind() != TIdPartKind::Attachment) continue;
            WriteAttachmentContent(static_cast<TIdAttachment&>(*part),
                                   encoding.empty() ? std::string("7bit") : encoding);
            return;
        }
        WriteEncodedLines(message_.Body, encoding);
    }

    void WritePlainText() {
        out_.Lines(message_.Body);
        // The empty line only parts the text from what follows: without parts the file ends
        // where the text ends.
        if (!message_.MessageParts.empty()) out_.Line();
        for (const auto& part : message_.MessageParts) {
            if (part->Kind() == TIdPartKind::Text) {
                out_.Line("------- Start of text attachment -------");
                out_.Lines(static_cast<TIdText&>(*part).Body);
                out_.Line("------- End of text attachment -------");
            } else {
                auto& attachment = static_cast<TIdAttachment&>(*part);
                const bool xxe = EqualsIgnoringCase(part->ContentTransfer, "XXE");
                WriteUuAttachment(attachment, xxe ? UuAlphabet::Xxe : UuAlphabet::Uue);
            }
        }
    }

    void WriteMultipart() {
        struct OpenMultipart {
            std::string Boundary;
            int Part;
        };
        std::vector<OpenMultipart> open{{MimeBoundary(), -1}};
        const bool hasTextPart =
            std::any_of(message_.MessageParts.begin(), message_.MessageParts.end(),
                        [](const auto& part) { return part->Kind() == TIdPartKind::Text; });
        const bool bodyIsBlank = IsWhiteSpaceOnly(message_.Body);
        const bool bodyBecomesPart = !bodyIsBlank && message_.ConvertPreamble && !hasTextPart;
        if (bodyIsBlank || bodyBecomesPart) {
            out_.Line(kPreamble);
        } else {
            out_.Lines(message_.Body);
        }
        out_.Line();
        if (bodyBecomesPart) {
            TIdText text;
            text.ContentType = "text/plain";
            text.ContentTransfer = "7bit";
            text.Body = message_.Body;
            text.CharSet = message_.CharSet;
            if (text.CharSet.empty() && HasEightBitText(text.Body)) text.CharSet = "utf-8";
            out_.Line("--" + open.back().Boundary);
            WriteTextPart(text);
        }
        for (size_t index = 0; index < message_.MessageParts.size(); ++index) {
            TIdMessagePart& part = *message_.MessageParts[index];
            // A part belongs to the multipart that its ParentPart names; the ones it is not in
            // are closed first, so nesting survives a read and a write.
            while (open.size() > 1 && open.back().Part != part.ParentPart) {
                out_.Line("--" + open.back().Boundary + "--");
                out_.Line();
                open.pop_back();
            }
            const std::string& boundary = open.back().Boundary;
            out_.Line("--" + boundary);
            if (part.Kind() == TIdPartKind::Text &&
                StartsWithIgnoringCase(part.ContentType, "multipart/")) {
                const std::string nested = NestedMimeBoundary(boundary);
                out_.Line("Content-Type: " + part.ContentType + ";");
                out_.Line("        boundary=\"" + nested + "\"");
                out_.Line();
                open.push_back({nested, static_cast<int>(index)});
            } else if (part.Kind() == TIdPartKind::Text) {
                WriteTextPart(static_cast<TIdText&>(part));
            } else {
                WriteAttachmentPart(static_cast<TIdAttachment&>(part));
            }
        }
        while (!open.empty()) {
            out_.Line("--" + open.back().Boundary + "--");
            out_.Line();
            open.pop_back();
        }
    }

    void WriteExtraHeaders(const TIdMessagePart& part) {
        if (!part.ContentID.empty()) out_.Line("Content-ID: " + part.ContentID);
        for (const auto& [name, value] : part.ExtraHeaders) out_.Line(name + ": " + value);
    }

    void WriteTextPart(const TIdText& text) {
        std::string type = text.ContentType.empty() ? "text/plain" : text.ContentType;
        if (!text.CharSet.empty())
            type = WithoutCharset(type) + "; charset=\"" + text.CharSet + '"';
        std::string encoding =
            text.ContentTransfer.empty() ? "quoted-printable" : text.ContentTransfer;
        if (!IsOneOf(encoding, {"quoted-printable", "base64"}) && HasEightBitText(text.Body)) {
            encoding = "8bit";
        }
        out_.Line("Content-Type: " + type);
        out_.Line("Content-Transfer-Encoding: " + encoding);
        WriteExtraHeaders(text);
        out_.Line();
        WriteEncodedLines(text.Body, encoding);
        out_.Line();
    }

    void WriteAttachmentPart(TIdAttachment& attachment) {
        std::string& encoding = attachment.ContentTransfer;
        if (encoding.empty()) encoding = "base64";
        if (attachment.ContentDisposition.empty()) attachment.ContentDisposition = "attachment";
        if (attachment.ContentType.empty()) {
            attachment.ContentType =
                EqualsIgnoringCase(encoding, "base64") ? "application/octet-stream" : "text/plain";
        }
        const std::string name = QuotedFileName(attachment.FileName);
        if (EqualsIgnoringCase(encoding, "binhex40")) {
            out_.Line("Content-Type: application/mac-binhex40;");
            out_.Line("        name=" + name);
        } else {
            if (attachment.CharSet.empty()) {
                out_.Line("Content-Type: " + attachment.ContentType + ";");
            } else {
                out_.Line("Content-Type: " + WithoutCharset(attachment.ContentType) +
                          "; charset=\"" + attachment.CharSet + "\";");
            }
            out_.Line("        name=" + name);
            out_.Line("Content-Transfer-Encoding: " + encoding);
            out_.Line("Content-Disposition: " + attachment.ContentDisposition + ";");
            out_.Line("        filename=" + name);
            WriteExtraHeaders(attachment);
        }
        out_.Line();
        WriteAttachmentContent(attachment, encoding);
    }

    // Hands the stored content to `write` as a stream, from memory or from its file. An
    // attachment whose file is gone is marked blocked and written empty unless the message
    // asks for the error.
    template <class Write>
    void ReadContent(TIdAttachment& attachment, Write write) {
        if (const auto* memory = dynamic_cast<const TIdAttachmentMemory*>(&attachment)) {
            ViewBuffer view(memory->Content);
            std::istream input(&view);
            write(input);
            return;
        }
        auto* file = dynamic_cast<TIdAttachmentFile*>(&attachment);
        std::ifstream input;
        if (file != nullptr) input.open(file->StoredPath, std::ios::binary);
        if (input.is_open()) {
            write(input);
            return;
        }
        if (file != nullptr) file->Blocked = true;
        if (message_.ExceptionOnBlockedAttachments) {
            throw MimeError("Attachment " + attachment.FileName + " is blocked.");
        }
    }

    void WriteAttachmentContent(TIdAttachment& attachment, const std::string& encoding) {
        ReadContent(attachment,
                    [&](std::istream& input) { WriteContent(input, attachment, encoding); });
    }

    void WriteContent(std::istream& input, const TIdAttachment& attachment,
                      const std::string& encoding) {
        if (EqualsIgnoringCase(encoding, "base64")) {
            std::string chunk(kBase64Chunk, '\0');
            while (input.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
                   input.gcount() > 0) {
                AppendBase64Lines(
                    std::string_view(chunk.data(), static_cast<size_t>(input.gcount())),
                    out_.Buffer());
                out_.Flush();
            }
        } else if (EqualsIgnoringCase(encoding, "binhex40")) {
            const std::string content{std::istreambuf_iterator<char>(input), {}};
            out_.Text(EncodeBinHex(content, attachment.FileName));
        } else {
            const bool quoted = EqualsIgnoringCase(encoding, "quoted-printable");
            LineReader lines(*input.rdbuf());
            while (const auto line = lines.NextLine()) WriteContentLine(*line, quoted);
            // A last line end of the content needs a line of its own: the line break before
            // the next boundary belongs to the boundary.
            if (lines.EndedWithLineEnd()) WriteContentLine({}, quoted);
        }
    }

    void WriteContentLine(std::string_view line, bool quoted) {
        if (quoted) {
            AppendQuotedPrintableLine(line, out_.Buffer());
        } else {
            out_.Line(line);
        }
    }

    void WriteUuAttachment(TIdAttachment& attachment, UuAlphabet alphabet) {
        out_.Text(UuBeginText(attachment.FileName));
        ReadContent(attachment, [&](std::istream& input) {
            std::string chunk(kUuChunk, '\0');
            while (input.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
                   input.gcount() > 0) {
                AppendUuLines(std::string_view(chunk.data(), static_cast<size_t>(input.gcount())),
                              alphabet, out_.Buffer());
                out_.Flush();
            }
        });
        out_.Text(UuEndText(alphabet));
    }

    TIdMessage& message_;
    MessageOutput& out_;
};

}  // namespace

void TIdMessage::BuildHeaderBlock(bool forFile) {
    if (Encoding == TIdMessageEncoding::Default) {
        Encoding = MessageParts.empty() ? TIdMessageEncoding::PlainText : TIdMessageEncoding::Mime;
    }
    const bool mime = Encoding == TIdMessageEncoding::Mime;
    for (const auto& part : MessageParts) {
        std::string& encoding = part->ContentTransfer;
        // An encoding left unset takes the writer's default for its kind of part.
        if (mime && encoding.empty()) continue;
        if (mime) {
            if (!IsOneOf(encoding,
                         {"7bit", "8bit", "binary", "base64", "quoted-printable", "binhex40"})) {
                encoding = "base64";
            }
        } else if (!IsOneOf(encoding, {"UUE", "XXE"})) {
            encoding = IsOneOf(AttachmentEncoding, {"XXE"}) ? "XXE" : "UUE";
        }
    }
    if (!MessageParts.empty() && !SingleEntity &&
        !IsOneOf(ContentTransferEncoding, {"7bit", "binary", "8bit"})) {
        ContentTransferEncoding.clear();
    }
    size_t textParts = 0;
    for (const auto& part : MessageParts) {
        if (part->Kind() == TIdPartKind::Text) ++textParts;
    }
    if (mime && ContentType.empty()) {
        if (textParts == MessageParts.size() && textParts < 2) {
            ContentType = "text/plain";
        } else {
            ContentType =
                textParts == MessageParts.size() ? "multipart/alternative" : "multipart/mixed";
        }
    }

    TIdHeaderList& headers = LastGeneratedHeaders;
    headers = Headers;
    headers.SetValue("From", FormatAddressList(FromList, true));
    headers.SetValue("Subject", EncodeHeader(Subject));
    headers.SetValue("To", FormatAddressList(Recipients, true));
    headers.SetValue("Cc", FormatAddressList(CCList, true));
    headers.SetValue("Bcc", forFile ? FormatAddressList(BccList, true) : std::string());
    headers.SetValue("Newsgroups", JoinNewsGroups(NewsGroups));
    if (!mime) {
        headers.SetValue("Content-Transfer-Encoding", ContentTransferEncoding);
        std::string type = ContentType;
        if (!CharSet.empty()) type = WithoutCharset(type) + "; charset=\"" + CharSet + '"';
        headers.SetValue("Content-Type", type);
    } else if (SingleEntity) {
        headers.SetValue("MIME-Version", "1.0");
    } else {
        std::string type = ContentType;
        if (!CharSet.empty()) type += ";\r\n\tcharset=\"" + CharSet + '"';
        if (!MessageParts.empty()) type += "; boundary=\"" + MimeBoundary() + '"';
        headers.SetValue("Content-Type", type);
        headers.SetValue("MIME-Version", "1.0");
        headers.SetValue("Content-Transfer-Encoding", ContentTransferEncoding);
    }
    headers.SetValue("Sender",
                     Sender.Address.empty() ? std::string() : FormatAddressList({Sender}, true));
    headers.SetValue("Reply-To", FormatAddressList(ReplyTo, true));
    headers.SetValue("Organization", Organization);
    headers.SetValue("Disposition-Notification-To",
                     ReceiptRecipient.Address.empty()
                         ? std::string()
                         : FormatAddressList({ReceiptRecipient}, true));
    headers.SetValue("References", References);
    // A date that could not be read stays as it was written rather than becoming 1899.
    if (UseNowForDate) {
        headers.SetValue("Date", FormatRfc822Date(NowDateTime()));
    } else if (Date != 0) {
        headers.SetValue("Date", FormatRfc822Date(Date));
    }
    headers.SetValue("X-Priority", Priority == TIdMessagePriority::Normal
                                       ? std::string()
                                       : std::to_string(static_cast<int>(Priority) + 1));
    for (const std::string& line : ExtraHeaders.Lines) headers.Add(line);
}

void TIdMessage::WriteToStream(std::ostream& output, bool headersOnly) {
    MessageOutput out(output);
    if (NoEncode) {
        for (const std::string& line : Headers.Lines) out.Line(line);
        out.Line();
        if (!headersOnly) {
            for (const std::string& line : Body) out.Line(line);
        }
        out.Flush();
        return;
    }
    BuildHeaderBlock(true);
    out.Text(LastGeneratedHeaders.Text());
    out.Line();
    if (!headersOnly) {
        MessageBodyWriter(*this, out).Write();
    }
    out.Flush();
}

}  // namespace mailsift
