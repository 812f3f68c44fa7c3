#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "mime/message.h"
#include "mime/mime_error.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace mailsift {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string Written(TIdMessage& message, bool headersOnly = false) {
    std::ostringstream output;
    message.WriteToStream(output, headersOnly);
    return output.str();
}

class MessageWriterTest : public ::testing::Test {
  protected:
    // Every byte value, several times, so that any change in the content shows.
    std::string BinaryContent() const {
        std::string content;
        for (int round = 0; round < 300; ++round) {
            for (int byte = 0; byte < 256; ++byte) content += static_cast<char>(byte);
        }
        return content;
    }
    TIdAttachmentFile& AddAttachment(TIdMessage& message, const std::string& name,
                                     const std::string& content) {
        const std::string path = folder / name;
        WriteFileBytes(path, content);
        auto attachment = std::make_unique<TIdAttachmentFile>(path);
        TIdAttachmentFile& result = *attachment;
        message.MessageParts.push_back(std::move(attachment));
        return result;
    }
    void ReadBack(const std::string& text) {
        back.AttachmentTempDirectory = folder.path().string();
        std::istringstream input(text);
        back.ReadFromStream(input);
    }

    TempDir folder;
    TIdMessage back;
};

TEST_F(MessageWriterTest, RoundTripKeepsHeadersTextsAndAttachmentBytes) {
    TIdMessage message;
    message.FromList = {{"M\xC3\xBCller, Hans", "hans@example.com"}};
    message.Recipients = {{"Ann", "ann@example.com"}, {"", "bob@example.com"}};
    message.CCList = {{"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD", "ivan@example.ru"}};
    message.Subject = "R\xC3\xA9sum\xC3\xA9 and a long subject line that goes on";
    message.Date = EncodeDateTime({2026, 12, 8, 14, 5, 6, 0});
    message.Priority = TIdMessagePriority::High;
    auto text = std::make_unique<TIdText>();
    text->Body = {"Hello,", ".a line with a dot", "", "caf\xC3\xA9", ""};
    text->CharSet = "utf-8";
    message.MessageParts.push_back(std::move(text));
    auto html = std::make_unique<TIdText>();
    html->ContentType = "text/html";
    html->Body = {"<p>Hello</p>"};
    message.MessageParts.push_back(std::move(html));
    AddAttachment(message, "data.bin", BinaryContent());
    TIdAttachmentFile& lines = AddAttachment(message, "lines.txt", "one\r\n.two\r\nthree\r\n");
    lines.ContentTransfer = "7bit";
    TIdAttachmentFile& quoted = AddAttachment(message, "q.txt", "caf\xC3\xA9 = ok\r\nend");
    quoted.ContentTransfer = "quoted-printable";

    const std::string text1 = Written(message);
    ReadBack(text1);
    EXPECT_EQ(back.From(), message.From());
    EXPECT_EQ(back.Recipients, message.Recipients);
    EXPECT_EQ(back.CCList, message.CCList);
    EXPECT_EQ(back.Subject, message.Subject);
    EXPECT_EQ(back.Date, message.Date);
    EXPECT_EQ(back.Priority, TIdMessagePriority::High);
    EXPECT_EQ(back.ContentType, "multipart/mixed");
    ASSERT_EQ(back.MessageParts.size(), 5u);
    const auto& plain = static_cast<const TIdText&>(*back.MessageParts[0]);
    EXPECT_EQ(plain.Body,
              (std::vector<std::string>{"Hello,", ".a line with a dot", "", "caf\xC3\xA9", ""}));
    EXPECT_EQ(plain.CharSet, "utf-8");
    EXPECT_EQ(static_cast<const TIdText&>(*back.MessageParts[1]).Body,
              (std::vector<std::string>{"<p>Hello</p>"}));
    const auto attachment = [&](size_t i) -> const TIdAttachmentFile& {
        return static_cast<const TIdAttachmentFile&>(*back.MessageParts[i]);
    };
    EXPECT_EQ(attachment(2).FileName, "data.bin");
    EXPECT_EQ(ReadFileBytes(attachment(2).StoredPath), BinaryContent());
    EXPECT_EQ(ReadFileBytes(attachment(3).StoredPath), "one\r\n.two\r\nthree\r\n");
    EXPECT_EQ(ReadFileBytes(attachment(4).StoredPath), "caf\xC3\xA9 = ok\r\nend");

    // A second pass over what was read gives the same message.
    ReadBack(Written(back));
    EXPECT_EQ(back.MessageParts.size(), 5u);
    EXPECT_EQ(back.Subject, message.Subject);
}

// Content held in memory is written exactly as the same content from a file, in every
// transfer encoding, and saved whole.
TEST_F(MessageWriterTest, AttachmentsInMemoryAreWrittenAsFromFiles) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"base64", BinaryContent()},
        {"7bit", "one\r\n.two\r\nthree\r\n"},
        {"quoted-printable", "caf\xC3\xA9 = ok\r\nend"},
        {"base64", ""},
    };
    const auto withText = [](TIdMessage& message) {
        auto text = std::make_unique<TIdText>();
        text->Body = {"See the part."};
        message.MessageParts.push_back(std::move(text));
    };
    for (const auto& [encoding, content] : cases) {
        TIdMessage fromFile;
        withText(fromFile);
        AddAttachment(fromFile, "part.bin", content).ContentTransfer = encoding;
        TIdMessage fromMemory;
        withText(fromMemory);
        auto memory = std::make_unique<TIdAttachmentMemory>(content);
        memory->FileName = "part.bin";
        memory->ContentTransfer = encoding;
        fromMemory.MessageParts.push_back(std::move(memory));
        const std::string expected = Written(fromFile);
        std::string written = Written(fromMemory);
        // The boundaries are random; everything else must match.
        const auto boundary = [](const std::string& text) {
            const size_t at = text.find("boundary=\"");
            if (at == std::string::npos) return std::string("(none)");
            return text.substr(at + 10, text.find('"', at + 10) - at - 10);
        };
        const std::string mine = boundary(written);
        const std::string theirs = boundary(expected);
        ASSERT_NE(mine, "(none)");
        for (size_t at = 0; (at = written.find(mine, at)) != std::string::npos;) {
            written.replace(at, mine.size(), theirs);
            at += theirs.size();
        }
        EXPECT_EQ(written, expected) << encoding;
    }
    // A message of plain text carries its attachments uuencoded, from memory as well.
    TIdMessage plain;
    plain.Encoding = TIdMessageEncoding::PlainText;
    plain.Body = {"see attached"};
    auto memory = std::make_unique<TIdAttachmentMemory>(BinaryContent());
    memory->FileName = "data.bin";
    plain.MessageParts.push_back(std::move(memory));
    ReadBack(Written(plain));
    ASSERT_EQ(back.MessageParts.size(), 1u);
    EXPECT_EQ(ReadFileBytes(static_cast<TIdAttachmentFile&>(*back.MessageParts[0]).StoredPath),
              BinaryContent());

    TIdAttachmentMemory saved(std::string("bytes\0kept", 10));
    saved.SaveContent(folder / "saved.bin");
    EXPECT_EQ(ReadFileBytes(folder / "saved.bin"), std::string("bytes\0kept", 10));
    EXPECT_THROW(saved.SaveContent((folder / "missing") + "/saved.bin"), MimeError);
}

TEST_F(MessageWriterTest, NestedMultipartsKeepTheirStructure) {
    const std::string original =
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=o\r\n\r\n"
        "--o\r\nContent-Type: multipart/alternative; boundary=i\r\n\r\n"
        "--i\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
        "--i\r\nContent-Type: text/html\r\n\r\n<b>html</b>\r\n--i--\r\n"
        "--o\r\nContent-Type: image/png; name=p.png\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "iVBORw0KGgo=\r\n--o--\r\n";
    TIdMessage message;
    message.AttachmentTempDirectory = folder.path().string();
    std::istringstream input(original);
    message.ReadFromStream(input);
    ReadBack(Written(message));
    ASSERT_EQ(back.MessageParts.size(), 4u);
    EXPECT_EQ(back.MessageParts[0]->ContentType, "multipart/alternative");
    EXPECT_EQ(back.MessageParts[1]->ParentPart, 0);
    EXPECT_EQ(back.MessageParts[2]->ParentPart, 0);
    EXPECT_EQ(back.MessageParts[3]->ParentPart, -1);
    EXPECT_EQ(ReadFileBytes(static_cast<TIdAttachmentFile&>(*back.MessageParts[3]).StoredPath),
              "\x89PNG\r\n\x1a\n");
}

// A file is no transmission: lines that begin with "." are written as they are, and no "."
// line ends the message, which other readers would show as text.
TEST_F(MessageWriterTest, DotLinesAreWrittenAsTheyAreWithoutAFinalDotLine) {
    TIdMessage message;
    message.Subject = "dots";
    message.Body = {"..", ".", "text"};
    const std::string text = Written(message);
    EXPECT_NE(text.find("\r\n\r\n..\r\n.\r\ntext\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\r\n.\r\n", text.find("text")), std::string::npos) << text;
    ReadBack(text);
    EXPECT_EQ(back.Body, message.Body);

    const std::string headers = Written(message, true);
    EXPECT_TRUE(headers.ends_with("\r\n\r\n"));
    EXPECT_EQ(headers.find("text"), std::string::npos);
    EXPECT_FALSE(headers.ends_with(".\r\n"));
}

TEST_F(MessageWriterTest, GeneratedHeaderValues) {
    TIdMessage message;
    message.Headers.Lines = {"X-Kept: yes", "Subject: old", "X-Priority: 3",
                             "In-Reply-To: <parent@x>"};
    message.Subject = "new";
    message.BccList = {{"", "hidden@example.com"}};
    message.Priority = TIdMessagePriority::Highest;
    message.ExtraHeaders.Add("X-Extra: 1");
    message.BuildHeaderBlock();
    const TIdHeaderList& generated = message.LastGeneratedHeaders;
    EXPECT_EQ(generated.Value("Subject"), "new");
    EXPECT_EQ(generated.Value("X-Kept"), "yes");
    EXPECT_EQ(generated.Value("X-Priority"), "1");
    EXPECT_EQ(generated.Value("X-Extra"), "1");
    EXPECT_EQ(generated.Value("In-Reply-To"), "<parent@x>");
    EXPECT_FALSE(generated.Has("Bcc"));
    EXPECT_FALSE(generated.Has("Date"));
    EXPECT_NE(Written(message).find("Bcc: hidden@example.com"), std::string::npos);

    message.Priority = TIdMessagePriority::Normal;
    message.BuildHeaderBlock();
    EXPECT_FALSE(message.LastGeneratedHeaders.Has("X-Priority"));
}

TEST_F(MessageWriterTest, BodyWithAttachmentsButNoTextBecomesTheFirstTextPart) {
    TIdMessage message;
    message.Body = {"The body text, caf\xC3\xA9"};
    AddAttachment(message, "a.bin", "abc");
    ReadBack(Written(message));
    ASSERT_EQ(back.MessageParts.size(), 2u);
    ASSERT_EQ(back.MessageParts[0]->Kind(), TIdPartKind::Text);
    EXPECT_EQ(static_cast<TIdText&>(*back.MessageParts[0]).Body, message.Body);
    EXPECT_EQ(back.MessageParts[0]->CharSet, "utf-8");
    EXPECT_EQ(back.MessageParts[1]->Kind(), TIdPartKind::Attachment);
}

TEST_F(MessageWriterTest, PlainTextMessageCarriesUuencodedAttachments) {
    TIdMessage message;
    message.Encoding = TIdMessageEncoding::PlainText;
    message.Body = {"see attached"};
    AddAttachment(message, "data.bin", BinaryContent());
    message.AttachmentEncoding = "XXE";
    message.MessageParts[0]->ContentTransfer.clear();
    ReadBack(Written(message));
    EXPECT_EQ(back.Body, (std::vector<std::string>{"see attached"}));
    ASSERT_EQ(back.MessageParts.size(), 1u);
    const auto& attachment = static_cast<TIdAttachmentFile&>(*back.MessageParts[0]);
    EXPECT_EQ(attachment.ContentTransfer, "XXE");
    EXPECT_EQ(attachment.FileName, "data.bin");
    EXPECT_EQ(ReadFileBytes(attachment.StoredPath), BinaryContent());
}

TEST_F(MessageWriterTest, SingleEntityAttachmentIsWrittenAsTheBody) {
    TIdMessage message;
    message.AttachmentTempDirectory = folder.path().string();
    std::istringstream input(
        "MIME-Version: 1.0\r\nContent-Type: application/pdf; name=\"doc.pdf\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n");
    message.ReadFromStream(input);
    ReadBack(Written(message));
    EXPECT_TRUE(back.SingleEntity);
    ASSERT_EQ(back.MessageParts.size(), 1u);
    EXPECT_EQ(ReadFileBytes(static_cast<TIdAttachmentFile&>(*back.MessageParts[0]).StoredPath),
              "%PDF-1.4\n");
}

TEST_F(MessageWriterTest, VanishedAttachmentFileIsBlocked) {
    TIdMessage message;
    message.Body = {"x"};
    TIdAttachmentFile& attachment = AddAttachment(message, "gone.bin", "abc");
    std::filesystem::remove(attachment.StoredPath);
    EXPECT_NO_THROW(Written(message));
    EXPECT_TRUE(attachment.Blocked);
    message.ExceptionOnBlockedAttachments = true;
    try {
        Written(message);
        FAIL() << "no error";
    } catch (const MimeError& error) {
        EXPECT_EQ(std::string(error.what()), "Attachment gone.bin is blocked.");
    }
}

TEST_F(MessageWriterTest, FilesAreReplacedAndAttachmentsSavedByCopy) {
    TIdMessage message;
    message.Body = {"one"};
    const std::string path = folder / "m.eml";
    WriteFileBytes(path, std::string(10000, 'x'));
    message.WriteToFile(path);
    back.ReadFromFile(path);
    EXPECT_EQ(back.Body, message.Body);
    EXPECT_EQ(ReadFileBytes(path), Written(message));
    // An empty file made for the message beforehand is written in place, and a new one made.
    for (const std::string& name : {std::string("reserved.eml"), std::string("new.eml")}) {
        if (name == "reserved.eml") WriteFileBytes(folder / name, "");
        message.WriteToFile(folder / name);
        EXPECT_EQ(ReadFileBytes(folder / name), Written(message)) << name;
    }

    TIdAttachmentFile& attachment = AddAttachment(message, "a.bin", "content");
    attachment.SaveContent(folder / "copy.bin");
    EXPECT_EQ(ReadFileBytes(folder / "copy.bin"), "content");
    attachment.StoredPath = folder / "missing";
    try {
        attachment.SaveContent(folder / "copy2.bin");
        FAIL() << "no error";
    } catch (const MimeError& error) {
        EXPECT_EQ(std::string(error.what()), "Error saving attachment.");
    }
}

}  // namespace
}  // namespace mailsift
