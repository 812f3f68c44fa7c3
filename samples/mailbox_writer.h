#pragma once
// Writes mailbox files and the folder trees that mail clients keep them in, and records where
// every message starts, so that readers can be checked byte for byte.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace mailsift::samples {

enum class LineEnd { Lf, CrLf };

struct MailboxAttachment {
    std::string FileName;
    std::string Content;  // written base64-encoded
};

struct MailboxMessage {
    // The line that introduces the message; empty for "From <FromAddress> <fixed date>".
    std::string Separator;
    std::string FromName = "Ann Sender";
    std::string FromAddress = "ann@example.org";
    std::string To = "Bob Receiver <bob@example.org>";
    std::string Subject = "Hello";
    std::string Date = "Mon, 01 Jan 2024 10:00:00 +0000";
    std::vector<std::string> Body = {"Hello."};
    // Body lines beginning with "From " are written as ">From ", as mailers store them, unless
    // this is cleared.
    bool QuoteFromLines = true;
    // With attachments the message is multipart/mixed: the body as its first, text part.
    std::vector<MailboxAttachment> Attachments;
};

// Appends messages to a new mailbox file (an existing one is replaced).
class MailboxWriter {
  public:
    // Throws std::runtime_error when the file cannot be created.
    explicit MailboxWriter(const std::string& path, LineEnd lineEnd = LineEnd::Lf);
    MailboxWriter(const MailboxWriter&) = delete;
    MailboxWriter& operator=(const MailboxWriter&) = delete;

    // The byte offset of the message's separator line. Each message ends with an empty line.
    int64_t Add(const MailboxMessage& message);
    // Bytes as they stand, for files no mailer would write.
    void AddRaw(std::string_view bytes);

    const std::vector<int64_t>& MessageStarts() const { return starts_; }
    // Where the body lines beginning with "From " that were written unquoted start.
    const std::vector<int64_t>& UnquotedFromLines() const { return unquoted_; }
    int64_t Size() const { return size_; }
    const std::string& path() const { return path_; }

    // Flushes the file; throws std::runtime_error when it could not be written whole.
    void Close();

  private:
    void Line(std::string_view text);
    void Bytes(std::string_view bytes);

    std::string path_;
    std::ofstream out_;
    std::string_view lineEnd_;
    int64_t size_ = 0;
    int boundaries_ = 0;
    std::vector<int64_t> starts_;
    std::vector<int64_t> unquoted_;
};

// How a mail client lays out its folders: Thunderbird keeps a mailbox file without extension
// with a ".msf" index beside it and the subfolders in "<name>.sbd"; Eudora keeps "<name>.mbx"
// with a ".toc" index beside it and the subfolders in "<name>.fol".
enum class MailClient { Thunderbird, Eudora };

// The mailbox file of folder name in dir, as the client names it. Its index file is written
// beside it: a file whose first line is no separator line but which holds one further down.
std::string AddMailboxFolder(MailClient client, const std::string& dir, const std::string& name);
// The directory, created, that holds the subfolders of folder name in dir.
std::string AddSubfolderDir(MailClient client, const std::string& dir, const std::string& name);

}  // namespace mailsift::samples
