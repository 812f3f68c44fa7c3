#include <glib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "app/cli_commands.h"
#include "mime/encoded_words.h"
#include "mime/message.h"
#include "mime/mime_error.h"
#include "platform/date_time.h"

namespace mailsift {

namespace {

struct AttachmentDigest {
    uint64_t size = 0;
    std::string sha256;
};

AttachmentDigest DigestFile(const std::string& path) {
    AttachmentDigest digest;
    std::ifstream input(path, std::ios::binary);
    if (!input) return digest;
    std::unique_ptr<GChecksum, decltype(&g_checksum_free)> checksum(
        g_checksum_new(G_CHECKSUM_SHA256), &g_checksum_free);
    std::string chunk(1 << 16, '\0');
    while (input.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
           input.gcount() > 0) {
        const auto got = static_cast<size_t>(input.gcount());
        g_checksum_update(checksum.get(), reinterpret_cast<const guchar*>(chunk.data()),
                          static_cast<gssize>(got));
        digest.size += got;
    }
    digest.sha256 = g_checksum_get_string(checksum.get());
    return digest;
}

std::string_view PartCharset(const TIdMessagePart& part, const TIdMessage& message) {
    return part.CharSet.empty() ? std::string_view(message.CharSet)
                                : std::string_view(part.CharSet);
}

// Lines of text in a character set, as UTF-8.
std::vector<std::string> Utf8Lines(const std::vector<std::string>& lines,
                                   std::string_view charset) {
    std::vector<std::string> result;
    result.reserve(lines.size());
    for (const std::string& line : lines) result.push_back(ConvertToUtf8(line, charset));
    return result;
}

std::string IsoDate(TDateTime value) {
    const DateTimeParts parts = DecodeDateTime(value);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", parts.year, parts.month,
                  parts.day, parts.hour, parts.minute, parts.second);
    return text;
}

class JsonWriter {
  public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}

    // Any text the message holds: bytes that are no UTF-8 become U+FFFD, so the output is
    // always valid JSON.
    void String(std::string_view raw) {
        const std::string text = ConvertToUtf8(raw, "utf-8");
        out_ << '"';
        for (char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            switch (c) {
                case '"':
                    out_ << "\\\"";
                    break;
                case '\\':
                    out_ << "\\\\";
                    break;
                case '\n':
                    out_ << "\\n";
                    break;
                case '\r':
                    out_ << "\\r";
                    break;
                case '\t':
                    out_ << "\\t";
                    break;
                default:
                    if (byte < 0x20) {
                        char escape[8];
                        std::snprintf(escape, sizeof escape, "\\u%04x", byte);
                        out_ << escape;
                    } else {
                        out_ << c;
                    }
            }
        }
        out_ << '"';
    }
    void Key(std::string_view key) {
        String(key);
        out_ << ':';
    }
    void Field(std::string_view key, std::string_view value) {
        Key(key);
        String(value);
    }
    void Lines(std::string_view key, const std::vector<std::string>& lines) {
        Key(key);
        out_ << '[';
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i > 0) out_ << ',';
            String(lines[i]);
        }
        out_ << ']';
    }
    void Addresses(std::string_view key, const TIdEmailAddressList& list) {
        Key(key);
        out_ << '[';
        for (size_t i = 0; i < list.size(); ++i) {
            if (i > 0) out_ << ',';
            out_ << '{';
            Field("name", list[i].Name);
            out_ << ',';
            Field("address", list[i].Address);
            out_ << '}';
        }
        out_ << ']';
    }
    std::ostream& Raw() { return out_; }

  private:
    std::ostream& out_;
};

void PrintJson(const TIdMessage& message, std::ostream& out) {
    JsonWriter json(out);
    out << '{';
    json.Field("subject", message.Subject);
    out << ',';
    json.Addresses("from", message.FromList);
    out << ',';
    json.Addresses("to", message.Recipients);
    out << ',';
    json.Addresses("cc", message.CCList);
    out << ',';
    json.Key("date");
    if (message.Date == 0) {
        out << "null";
    } else {
        json.String(IsoDate(message.Date));
    }
    out << ',';
    json.Field("message_id", message.MessageId);
    out << ',';
    json.Field("content_type", message.ContentType);
    out << ',';
    json.Field("charset", message.CharSet);
    out << ',';
    json.Lines("headers", Utf8Lines(message.Headers.Lines, ""));
    out << ',';
    json.Lines("body", Utf8Lines(message.Body, message.CharSet));
    out << ",\"parts\":[";
    for (size_t i = 0; i < message.MessageParts.size(); ++i) {
        const TIdMessagePart& part = *message.MessageParts[i];
        if (i > 0) out << ',';
        out << '{';
        if (part.Kind() == TIdPartKind::Text) {
            json.Field("kind", "text");
            out << ',';
            json.Field("content_type", part.ContentType);
            out << ',';
            json.Field("charset", part.CharSet);
            out << ',';
            json.Lines("body", Utf8Lines(static_cast<const TIdText&>(part).Body,
                                         PartCharset(part, message)));
        } else {
            const auto& attachment = static_cast<const TIdAttachmentFile&>(part);
            const AttachmentDigest digest = DigestFile(attachment.StoredPath);
            json.Field("kind", "attachment");
            out << ',';
            json.Field("file_name", attachment.FileName);
            out << ',';
            json.Field("content_type", part.ContentType);
            out << ",\"size\":" << digest.size << ',';
            json.Field("sha256", digest.sha256);
        }
        out << '}';
    }
    out << "]}\n";
}

std::string AddressText(const TIdEmailAddressList& list) {
    std::string text;
    for (const TIdEmailAddressItem& item : list) {
        if (!text.empty()) text += ", ";
        text += item.Text();
    }
    return text;
}

void PrintText(const TIdMessage& message, std::ostream& out) {
    out << "Subject: " << message.Subject << '\n'
        << "From: " << AddressText(message.FromList) << '\n'
        << "To: " << AddressText(message.Recipients) << '\n'
        << "Cc: " << AddressText(message.CCList) << '\n'
        << "Date: " << (message.Date == 0 ? std::string() : IsoDate(message.Date)) << '\n'
        << "Message-Id: " << message.MessageId << '\n'
        << "Content-Type: " << message.ContentType
        << (message.CharSet.empty() ? "" : "; charset=" + message.CharSet) << '\n';
    out << '\n';
    for (const std::string& line : Utf8Lines(message.Body, message.CharSet)) out << line << '\n';
    for (size_t i = 0; i < message.MessageParts.size(); ++i) {
        const TIdMessagePart& part = *message.MessageParts[i];
        out << "\n--- part " << i + 1 << ": ";
        if (part.Kind() == TIdPartKind::Text) {
            out << "text " << part.ContentType
                << (part.CharSet.empty() ? "" : "; charset=" + part.CharSet) << '\n';
            const auto& text = static_cast<const TIdText&>(part);
            for (const std::string& line : Utf8Lines(text.Body, PartCharset(part, message))) {
                out << line << '\n';
            }
        } else {
            const auto& attachment = static_cast<const TIdAttachmentFile&>(part);
            const AttachmentDigest digest = DigestFile(attachment.StoredPath);
            out << "attachment " << attachment.FileName << " (" << part.ContentType << ", "
                << digest.size << " bytes, sha256 " << digest.sha256 << ")\n";
        }
    }
}

}  // namespace

int RunShowCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    std::string path;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (path.empty()) {
            path = arg;
        } else {
            path.clear();
            break;
        }
    }
    if (path.empty()) {
        err << "usage: mailsift-cli show FILE [--json]\n";
        return 2;
    }
    TIdMessage message;
    try {
        message.ReadFromFile(path);
    } catch (const MimeError& error) {
        err << "mailsift-cli: " << error.what() << '\n';
        return 1;
    }
    if (json) {
        PrintJson(message, out);
    } else {
        PrintText(message, out);
    }
    return 0;
}

}  // namespace mailsift
