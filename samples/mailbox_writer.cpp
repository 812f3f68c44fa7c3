#include "samples/mailbox_writer.h"

#include <filesystem>
#include <stdexcept>

#include "mime/base64.h"

namespace mailsift::samples {

namespace {

constexpr std::string_view kDefaultSeparatorDate = " Mon Jan  1 10:00:00 2024";
constexpr size_t kBase64LineLength = 76;

bool BeginsWithFrom(std::string_view line) {
    return line.substr(0, 5) == "From ";
}

void WriteIndexFile(const std::string& path, std::string_view head, std::string_view name) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << head << name << "\nFrom index@example.org Mon Jan  1 10:00:00 2024\nrest\n";
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

MailboxWriter::MailboxWriter(const std::string& path, LineEnd lineEnd)
    : path_(path),
      out_(path, std::ios::binary | std::ios::trunc),
      lineEnd_(lineEnd == LineEnd::CrLf ? "\r\n" : "\n") {
    if (!out_) throw std::runtime_error("cannot create " + path);
}

void MailboxWriter::Bytes(std::string_view bytes) {
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    size_ += static_cast<int64_t>(bytes.size());
}

void MailboxWriter::Line(std::string_view text) {
    Bytes(text);
    Bytes(lineEnd_);
}

void MailboxWriter::AddRaw(std::string_view bytes) {
    Bytes(bytes);
}

int64_t MailboxWriter::Add(const MailboxMessage& message) {
    const int64_t start = size_;
    starts_.push_back(start);
    Line(message.Separator.empty()
             ? "From " + message.FromAddress + std::string(kDefaultSeparatorDate)
             : message.Separator);
    Line(message.FromName.empty()
             ? "From: " + message.FromAddress
             : "From: \"" + message.FromName + "\" <" + message.FromAddress + ">");
    Line("To: " + message.To);
    Line("Subject: " + message.Subject);
    Line("Date: " + message.Date);
    const std::string boundary = "=_part_boundary_" + std::to_string(++boundaries_);
    if (!message.Attachments.empty()) {
        Line("MIME-Version: 1.0");
        Line("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"");
        Line("");
        Line("--" + boundary);
    }
    Line("Content-Type: text/plain; charset=us-ascii");
    Line("");
    for (const std::string& line : message.Body) {
        if (BeginsWithFrom(line)) {
            if (message.QuoteFromLines) {
                Bytes(">");
            } else {
                unquoted_.push_back(size_);
            }
        }
        Line(line);
    }
    for (const MailboxAttachment& attachment : message.Attachments) {
        Line("--" + boundary);
        Line("Content-Type: application/octet-stream; name=\"" + attachment.FileName + "\"");
        Line("Content-Transfer-Encoding: base64");
        Line("Content-Disposition: attachment; filename=\"" + attachment.FileName + "\"");
        Line("");
        const std::string encoded = EncodeBase64(attachment.Content);
        for (size_t at = 0; at < encoded.size(); at += kBase64LineLength) {
            Line(std::string_view(encoded).substr(at, kBase64LineLength));
        }
    }
    if (!message.Attachments.empty()) Line("--" + boundary + "--");
    Line("");
    return start;
}

void MailboxWriter::Close() {
    out_.close();
    if (!out_) throw std::runtime_error("cannot write " + path_);
}

std::string AddMailboxFolder(MailClient client, const std::string& dir, const std::string& name) {
    const std::filesystem::path base = std::filesystem::path(dir) / name;
    if (client == MailClient::Thunderbird) {
        WriteIndexFile(base.string() + ".msf", "// <!-- <mdb:mork:z v=\"1.4\"/> -->\n", name);
        return base.string();
    }
    WriteIndexFile(base.string() + ".toc", std::string_view("\x01\x00\x00\x02toc ", 8), name);
    return base.string() + ".mbx";
}

std::string AddSubfolderDir(MailClient client, const std::string& dir, const std::string& name) {
    const std::string sub = (std::filesystem::path(dir) / name).string() +
                            (client == MailClient::Thunderbird ? ".sbd" : ".fol");
    std::filesystem::create_directories(sub);
    return sub;
}

}  // namespace mailsift::samples
