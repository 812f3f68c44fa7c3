// Reading a message: the header block, then the body in one of three modes (raw, multipart or
// plain text with UUE/XXE attachments, single entity), decoding attachments into files.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "mime/attachment_temp_file.h"
#include "mime/base64.h"
#include "mime/binhex.h"
#include "mime/encoded_words.h"
#include "mime/line_reader.h"
#include "mime/message.h"
#include "mime/mime_error.h"
#include "mime/quoted_printable.h"
#include "mime/text_util.h"
#include "mime/uu_codec.h"

namespace mailsift {

namespace {

// Deeper nesting than any mailer writes; beyond it a multipart is read as text, so a crafted
// message cannot grow the boundary stack without end.
constexpr size_t kMaxBoundaryDepth = 64;

constexpr std::string_view kFileNameCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890^&'@{}[],$=!-#()%.+~_";

void DropTrailingEmptyLine(std::vector<std::string>& lines) {
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
}

// The value after key in upper, cut at a closing quote or at ";"; "" when key is absent.
std::string ParameterAfter(std::string_view original, std::string_view upper,
                           std::string_view key) {
    const size_t at = upper.find(key);
    if (at == std::string_view::npos) return {};
    std::string_view value = TrimBlanks(original.substr(at + key.size()));
    if (!value.empty() && value.front() == '"') {
        value.remove_prefix(1);
        return std::string(value.substr(0, value.find('"')));
    }
    return std::string(TrimBlanks(value.substr(0, value.find(';'))));
}

// A name taken from the message that is safe to show and to use as a file name: no folder
// part, only characters every file system accepts, never "." or "..".
std::string SafeAttachmentName(std::string_view raw) {
    std::string name = DecodeHeader(raw);
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    for (char& c : name) {
        if (kFileNameCharacters.find(c) == std::string_view::npos) c = '_';
    }
    if (name == "." || name == "..") name.assign(name.size(), '_');
    return name;
}

std::string AttachmentFileName(const std::string& disposition, const std::string& contentType) {
    std::string raw = ParameterAfter(disposition, AsciiUpperCased(disposition), "FILENAME=");
    if (raw.empty()) raw = ParameterAfter(contentType, AsciiUpperCased(contentType), "NAME=");
    if (!raw.empty()) return SafeAttachmentName(raw);
    // A message carried in a message (a digest's members, a forwarded mail) rarely has a name
    // of its own; saved without one it would be a file that no mail program opens.
    if (EqualsIgnoringCase(MediaType(contentType), "message/rfc822")) return "message.eml";
    return {};
}

bool IsAttachment(const std::string& disposition, const std::string& fileName,
                  const std::string& contentType) {
    if (EqualsIgnoringCase(MediaType(disposition), "attachment") || !fileName.empty()) return true;
    return !StartsWithIgnoringCase(contentType, "text/") &&
           !StartsWithIgnoringCase(contentType, "multipart/");
}

std::string TransferEncodingOf(std::string encoding, const std::string& contentType) {
    encoding = std::string(TrimBlanks(encoding));
    if (encoding.empty() && StartsWithIgnoringCase(contentType, "application/mac-binhex40")) {
        encoding = "binhex40";
    }
    return encoding;
}

// Where decoded bytes go: a text part's string or an attachment's file.
class ContentSink {
  public:
    explicit ContentSink(std::string* text) : text_(text) {}
    explicit ContentSink(AttachmentTempFile* file) : file_(file) {}
    void Write(std::string_view bytes) {
        if (text_ != nullptr) {
            text_->append(bytes);
        } else {
            file_->Write(bytes);
        }
    }
    // Text keeps the line end of its last line; a file's content ends where the boundary's
    // own line break begins.
    bool KeepsLastLineEnd() const { return text_ != nullptr; }

  private:
    std::string* text_ = nullptr;
    AttachmentTempFile* file_ = nullptr;
};

// Turns the lines of one entity into its content, by transfer encoding.
class BodyDecoder {
  public:
    BodyDecoder(const std::string& encoding, ContentSink& sink, const LineReader& lines)
        : sink_(sink), lines_(lines) {
        if (EqualsIgnoringCase(encoding, "base64")) {
            kind_ = Kind::Base64;
        } else if (EqualsIgnoringCase(encoding, "quoted-printable")) {
            kind_ = Kind::QuotedPrintable;
        } else if (EqualsIgnoringCase(encoding, "binhex40")) {
            kind_ = Kind::BinHex;
        } else {
            kind_ = EqualsIgnoringCase(encoding, "binary") ? Kind::Binary : Kind::Copy;
        }
        scratch_.reserve(1 << 12);
    }

    // Binary content may hold lone LFs of its own, so only CR LF ends its lines; in text
    // without CR LF line ends that would run the part on past its boundary line.
    bool ReadsCrLfOnly() const { return kind_ == Kind::Binary && lines_.UsesCrLf(); }

    void Line(std::string_view line) {
        switch (kind_) {
            case Kind::Base64:
                scratch_.clear();
                base64_.Decode(line, scratch_);
                sink_.Write(scratch_);
                break;
            case Kind::QuotedPrintable: {
                scratch_.clear();
                DecodeQuotedPrintableLine(line, scratch_);
                const std::string_view trimmed = TrimBlanks(line);
                const bool softBreak = !trimmed.empty() && trimmed.back() == '=';
                WritePendingLineEnd();
                if (!softBreak && scratch_.size() >= 2) {
                    scratch_.resize(scratch_.size() - 2);
                    pendingLineEnd_ = true;
                }
                sink_.Write(scratch_);
                break;
            }
            case Kind::BinHex:
                binhex_.append(line);
                binhex_.append("\r\n");
                break;
            case Kind::Copy:
                WritePendingLineEnd();
                sink_.Write(line);
                pendingLineEnd_ = true;
                break;
            case Kind::Binary:
                WritePendingLineEnd();
                sink_.Write(line);
                pendingLineEnd_ = true;
                break;
        }
    }

    void Finish() {
        if (kind_ == Kind::BinHex) {
            sink_.Write(DecodeBinHex(binhex_));
        } else if (kind_ != Kind::Binary && sink_.KeepsLastLineEnd()) {
            WritePendingLineEnd();
        }
    }

  private:
    enum class Kind { Base64, QuotedPrintable, BinHex, Copy, Binary };

    void WritePendingLineEnd() {
        if (pendingLineEnd_) sink_.Write("\r\n");
        pendingLineEnd_ = false;
    }

    Kind kind_;
    ContentSink& sink_;
    const LineReader& lines_;
    Base64Decoder base64_;
    std::string scratch_;
    std::string binhex_;
    bool pendingLineEnd_ = false;
};

class MessageBodyReader {
  public:
    MessageBodyReader(TIdMessage& message, LineReader& lines) : message_(message), lines_(lines) {}

    void Read() {
        if (message_.NoDecode) {
            ReadRaw();
        } else if ((message_.Encoding == TIdMessageEncoding::Mime &&
                    !message_.MIMEBoundary.empty()) ||
                   (message_.Encoding == TIdMessageEncoding::PlainText &&
                    !EqualsIgnoringCase(message_.ContentTransferEncoding, "base64") &&
                    !EqualsIgnoringCase(message_.ContentTransferEncoding, "quoted-printable"))) {
            ReadParts();
        } else {
            ReadSingleEntity();
        }
    }

  private:
    enum class BoundaryLine { None, NextPart, Closed };
    enum class PartEnd { NextPart, Closed, EndOfMessage };

    void ReadRaw() {
        for (std::string_view line = lines_.Next(); !lines_.IsEnd(line); line = lines_.Next()) {
            message_.Body.emplace_back(line);
        }
    }

    void ReadParts() {
        for (;;) {
            const std::string_view line = lines_.Next();
            if (lines_.IsEnd(line)) break;
            bool more = true;
            if (MatchBoundary(line) == BoundaryLine::NextPart) {
                DropTrailingEmptyLine(message_.Body);
                more = ReadMimeParts();
            } else if (auto begin = ParseUuBeginLine(line)) {
                DropTrailingEmptyLine(message_.Body);
                more = ReadUuAttachment(*begin);
            } else {
                message_.Body.emplace_back(line);
                continue;
            }
            if (!more) break;
        }
        DropTrailingEmptyLine(message_.Body);
    }

    // Whether line opens the next part or closes a multipart, checked against the open
    // boundaries innermost first. A line that belongs to an outer multipart also closes the
    // inner ones, which a truncated inner multipart never closed itself.
    BoundaryLine MatchBoundary(std::string_view line) {
        if (line.size() < 3 || line[0] != '-' || line[1] != '-') return BoundaryLine::None;
        std::string_view rest = line.substr(2);
        while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
        auto& stack = message_.MIMEBoundary;
        for (size_t depth = stack.size(); depth-- > 0;) {
            const std::string& boundary = stack[depth].Boundary;
            if (boundary.empty() || !rest.starts_with(boundary)) continue;
            const std::string_view tail = rest.substr(boundary.size());
            if (tail.empty()) {
                stack.resize(depth + 1);
                return BoundaryLine::NextPart;
            }
            if (tail == "--") {
                stack.resize(depth);
                return BoundaryLine::Closed;
            }
        }
        return BoundaryLine::None;
    }

    bool ReadMimeParts() {
        for (;;) {
            switch (ReadMimePart()) {
                case PartEnd::NextPart:
                    continue;
                case PartEnd::Closed:
                    return true;
                case PartEnd::EndOfMessage:
                    return false;
            }
        }
    }

    PartEnd ReadMimePart() {
        TIdNameValueList headers;
        for (;;) {
            const std::string_view line = lines_.Next();
            if (lines_.IsEnd(line)) return PartEnd::EndOfMessage;
            if (line.empty()) break;
            // A part cut off inside its header: the boundary line still ends it.
            const BoundaryLine boundary = MatchBoundary(line);
            if (boundary != BoundaryLine::None) {
                return boundary == BoundaryLine::NextPart ? PartEnd::NextPart : PartEnd::Closed;
            }
            if (IsBlank(line.front())) {
                if (headers.empty()) {
                    headers.emplace_back(std::string(line.substr(1)), std::string());
                } else {
                    headers.back().second.append(" ").append(line.substr(1));
                }
                continue;
            }
            const size_t colon = line.find(':');
            if (colon == std::string_view::npos) {
                headers.emplace_back(std::string(TrimBlanks(line)), std::string());
            } else {
                headers.emplace_back(std::string(TrimBlanks(line.substr(0, colon))),
                                     std::string(TrimBlanks(line.substr(colon + 1))));
            }
        }

        const TIdMimeBoundary enclosing = message_.MIMEBoundary.back();
        std::string contentType = FindNameValue(headers, "Content-Type");
        contentType = TrimBlanks(contentType).empty() ? DefaultPartType(enclosing)
                                                      : ValidContentType(contentType);
        const std::string disposition = FindNameValue(headers, "Content-Disposition");
        const std::string encoding =
            TransferEncodingOf(FindNameValue(headers, "Content-Transfer-Encoding"), contentType);
        bool isMultipart = StartsWithIgnoringCase(contentType, "multipart/");
        if (isMultipart && message_.MIMEBoundary.size() < kMaxBoundaryDepth) {
            std::string boundary = HeaderParameter(contentType, "boundary");
            if (boundary.empty()) boundary = enclosing.Boundary;
            message_.MIMEBoundary.push_back(
                {boundary, static_cast<int>(message_.MessageParts.size())});
        }
        const std::string fileName = AttachmentFileName(disposition, contentType);

        std::unique_ptr<TIdMessagePart> part;
        PartEnd end;
        if (IsAttachment(disposition, fileName, contentType)) {
            auto attachment = std::make_unique<TIdAttachmentFile>();
            attachment->FileName = fileName;
            AttachmentTempFile file(message_.AttachmentTempDirectory);
            ContentSink sink(&file);
            end = ReadPartBody(encoding, sink);
            attachment->StoredPath = file.Keep();
            attachment->OwnsFile = true;
            part = std::move(attachment);
        } else {
            auto text = std::make_unique<TIdText>();
            std::string content;
            ContentSink sink(&content);
            end = ReadPartBody(encoding, sink);
            text->Body = SplitTextLines(content);
            DropTrailingEmptyLine(text->Body);
            part = std::move(text);
        }
        part->ContentType = MediaType(contentType);
        part->CharSet = HeaderParameter(contentType, "charset");
        part->ContentTransfer = encoding;
        part->ContentID = FindNameValue(headers, "Content-ID");
        part->ContentLocation = FindNameValue(headers, "Content-Location");
        part->ContentDescription = FindNameValue(headers, "Content-Description");
        part->ContentDisposition = MediaType(disposition);
        part->ParentPart = enclosing.ParentPart;
        part->Boundary = enclosing.Boundary;
        for (const auto& header : headers) {
            if (!IsStandardPartHeader(header.first)) part->ExtraHeaders.push_back(header);
        }
        part->Headers = std::move(headers);
        message_.MessageParts.push_back(std::move(part));
        return end;
    }

    // The type of a part that names none: a digest's parts are messages, all others plain
    // text.
    std::string DefaultPartType(const TIdMimeBoundary& enclosing) const {
        const auto parent = static_cast<size_t>(enclosing.ParentPart);
        std::string_view parentType;
        if (enclosing.ParentPart < 0) {
            parentType = message_.ContentType;
        } else if (parent < message_.MessageParts.size()) {
            parentType = message_.MessageParts[parent]->ContentType;
        }
        return EqualsIgnoringCase(parentType, "multipart/digest") ? "message/rfc822" : "text/plain";
    }

    static bool IsStandardPartHeader(std::string_view name) {
        for (std::string_view standard :
             {"Content-Type", "Content-Transfer-Encoding", "Content-ID", "Content-Location",
              "Content-Description", "Content-Disposition"}) {
            if (EqualsIgnoringCase(name, standard)) return true;
        }
        return false;
    }

    PartEnd ReadPartBody(const std::string& encoding, ContentSink& sink) {
        BodyDecoder decoder(encoding, sink, lines_);
        for (;;) {
            const std::string_view line = lines_.Next(decoder.ReadsCrLfOnly());
            if (lines_.IsEnd(line)) {
                decoder.Finish();
                return PartEnd::EndOfMessage;
            }
            const BoundaryLine boundary = MatchBoundary(line);
            if (boundary != BoundaryLine::None) {
                decoder.Finish();
                return boundary == BoundaryLine::NextPart ? PartEnd::NextPart : PartEnd::Closed;
            }
            decoder.Line(line);
        }
    }

    // Returns false when the message ended inside the attachment.
    bool ReadUuAttachment(const UuBeginLine& begin) {
        auto attachment = std::make_unique<TIdAttachmentFile>();
        attachment->FileName = SafeAttachmentName(begin.FileName);
        AttachmentTempFile file(message_.AttachmentTempDirectory);
        std::string bytes;
        std::optional<UuAlphabet> alphabet;
        bool more = true;
        for (;;) {
            const std::string_view line = lines_.Next();
            if (lines_.IsEnd(line)) {
                more = false;
                break;
            }
            if (!alphabet) alphabet = DetectUuAlphabet(line);
            bytes.clear();
            const bool data = DecodeUuLine(line, *alphabet, bytes);
            file.Write(bytes);
            if (data) continue;
            if (!StartsWithIgnoringCase(line, "end")) {
                // The zero-length line; "end" follows it, or the body goes on.
                const std::string_view next = lines_.Next();
                if (lines_.IsEnd(next)) {
                    more = false;
                } else if (!StartsWithIgnoringCase(next, "end")) {
                    message_.Body.emplace_back(next);
                }
            }
            break;
        }
        attachment->StoredPath = file.Keep();
        attachment->OwnsFile = true;
        attachment->ContentTransfer =
            alphabet.value_or(UuAlphabet::Uue) == UuAlphabet::Xxe ? "XXE" : "UUE";
        attachment->ContentType = "application/octet-stream";
        message_.MessageParts.push_back(std::move(attachment));
        return more;
    }

    void ReadSingleEntity() {
        message_.SingleEntity = true;
        const std::string contentType = message_.Headers.Value("Content-Type");
        const std::string& disposition = message_.ContentDisposition;
        const std::string encoding =
            TransferEncodingOf(message_.ContentTransferEncoding, contentType);
        const std::string fileName = AttachmentFileName(disposition, contentType);
        if (IsAttachment(disposition, fileName, message_.ContentType)) {
            auto attachment = std::make_unique<TIdAttachmentFile>();
            attachment->FileName = fileName;
            AttachmentTempFile file(message_.AttachmentTempDirectory);
            ContentSink sink(&file);
            ReadEntityBody(encoding, sink);
            attachment->StoredPath = file.Keep();
            attachment->OwnsFile = true;
            attachment->ContentType = message_.ContentType;
            attachment->CharSet = message_.CharSet;
            attachment->ContentTransfer = encoding;
            attachment->ContentDisposition = MediaType(disposition);
            message_.MessageParts.push_back(std::move(attachment));
        } else {
            std::string content;
            ContentSink sink(&content);
            ReadEntityBody(encoding, sink);
            message_.Body = SplitTextLines(content);
            DropTrailingEmptyLine(message_.Body);
        }
    }

    void ReadEntityBody(const std::string& encoding, ContentSink& sink) {
        BodyDecoder decoder(encoding, sink, lines_);
        for (std::string_view line = lines_.Next(decoder.ReadsCrLfOnly()); !lines_.IsEnd(line);
             line = lines_.Next(decoder.ReadsCrLfOnly())) {
            decoder.Line(line);
        }
        decoder.Finish();
    }

    TIdMessage& message_;
    LineReader& lines_;
};

}  // namespace

void TIdMessage::ReadFromStream(std::istream& input, bool headersOnly) {
    Clear();
    ClearBody();
    std::streambuf* buffer = input.rdbuf();
    if (buffer == nullptr) throw MimeError("Cannot read the message: no input");
    LineReader lines(*buffer);
    bool ended = false;
    for (;;) {
        const std::string_view line = lines.Next();
        if (lines.IsEnd(line)) {
            ended = true;
            break;
        }
        if (line.empty()) break;
        Headers.Add(std::string(line));
    }
    ReadHeaderFields();
    if (headersOnly || ended) return;
    MessageBodyReader(*this, lines).Read();
}

}  // namespace mailsift
