#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "mime/message.h"
#include "mime/mime_error.h"
#include "support/file_helpers.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace mailsift {
namespace {

using test::ReadFileBytes;
using test::TempDir;

class MessageReaderTest : public ::testing::Test {
  protected:
    void Read(const std::string& text, bool headersOnly = false) {
        message.AttachmentTempDirectory = folder.path().string();
        std::istringstream input(text);
        message.ReadFromStream(input, headersOnly);
    }
    const TIdText& Text(size_t index) const {
        EXPECT_EQ(message.MessageParts.at(index)->Kind(), TIdPartKind::Text);
        return static_cast<const TIdText&>(*message.MessageParts.at(index));
    }
    const TIdAttachmentFile& Attachment(size_t index) const {
        EXPECT_EQ(message.MessageParts.at(index)->Kind(), TIdPartKind::Attachment);
        return static_cast<const TIdAttachmentFile&>(*message.MessageParts.at(index));
    }
    size_t FilesInFolder() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder.path()),
                                                 std::filesystem::directory_iterator()));
    }

    TempDir folder;
    TIdMessage message;
};

TEST_F(MessageReaderTest, PlainMessageKeepsItsLastLineWithOrWithoutALineEnd) {
    const std::string text =
        "From: \"Doe, John\" <john@example.com>\r\n"
        "To: a@example.com,\r\n  b@example.com\r\n"
        "Subject: =?iso-8859-1?q?caf=E9?=\r\n\r\n"
        "first\r\n..dotted\r\n\r\nlast";
    Read(text + "\r\n");
    const std::vector<std::string> body = message.Body;
    EXPECT_EQ(body, (std::vector<std::string>{"first", "..dotted", "", "last"}));
    Read(text);
    EXPECT_EQ(message.Body, body);
    Read(text + "\n");
    EXPECT_EQ(message.Body, body);

    EXPECT_EQ(message.Headers.Lines.size(), 4u);
    EXPECT_EQ(message.Subject, "caf\xC3\xA9");
    ASSERT_EQ(message.FromList.size(), 1u);
    EXPECT_EQ(message.From().Name, "Doe, John");
    EXPECT_EQ(message.From().Address, "john@example.com");
    EXPECT_EQ(message.Recipients.size(), 2u);
    EXPECT_EQ(message.ContentType, "text/plain");
    EXPECT_EQ(message.Date, 0);
    EXPECT_EQ(message.Encoding, TIdMessageEncoding::PlainText);
    EXPECT_TRUE(message.MessageParts.empty());
}

// Message files and store text are no transmission: a "." line is text, not the end.
TEST_F(MessageReaderTest, DotLinesAreTextAndEveryPartAfterThemIsKept) {
    Read("Subject: s\r\n\r\nfirst\r\n.\r\n...and more\r\n..\r\n");
    EXPECT_EQ(message.Body, (std::vector<std::string>{"first", ".", "...and more", ".."}));

    Read(
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
        "--b\r\nContent-Type: text/plain\r\n\r\nsee:\r\n.\r\n.end\r\n"
        "--b\r\nContent-Type: text/plain; name=\"a.txt\"\r\n"
        "Content-Disposition: attachment; filename=\"a.txt\"\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\n.dot=\r\nfile\r\n--b--\r\n",
        false);
    ASSERT_EQ(message.MessageParts.size(), 2u);
    EXPECT_EQ(Text(0).Body, (std::vector<std::string>{"see:", ".", ".end"}));
    EXPECT_EQ(ReadFileBytes(Attachment(1).StoredPath), ".dotfile");
}

TEST_F(MessageReaderTest, HeaderFieldsAndPriorities) {
    test::ScopedEnv tz("TZ", "UTC");
    tzset();
    Read(
        "Date: Tue, 08 Dec 2026 10:30:00 +0200\r\nX-Priority: 1 (Highest)\r\n"
        "Newsgroups: comp.mail, alt.test\r\nReturn-Receipt-To: r@example.com\r\n"
        "Message-Id: <id@x>\r\n\r\n");
    const DateTimeParts date = DecodeDateTime(message.Date);
    EXPECT_EQ(date.hour, 8);
    EXPECT_EQ(date.minute, 30);
    EXPECT_EQ(message.Priority, TIdMessagePriority::Highest);
    EXPECT_EQ(message.NewsGroups, (std::vector<std::string>{"comp.mail", "alt.test"}));
    EXPECT_EQ(message.ReceiptRecipient.Address, "r@example.com");
    EXPECT_EQ(message.MessageId, "<id@x>");

    Read("Priority: urgent\r\n\r\n");
    EXPECT_EQ(message.Priority, TIdMessagePriority::High);
    Read("Priority: non-urgent\r\n\r\n");
    EXPECT_EQ(message.Priority, TIdMessagePriority::Low);
    Read("X-Priority: 5\r\n\r\n");
    EXPECT_EQ(message.Priority, TIdMessagePriority::Lowest);
    Read("X-Priority: high\r\n\r\n");
    EXPECT_EQ(message.Priority, TIdMessagePriority::Normal);
}

TEST_F(MessageReaderTest, HeadersOnlyLeavesTheBodyUnread) {
    Read(
        "Subject: s\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\ntext\r\n--b--\r\n",
        true);
    EXPECT_EQ(message.Subject, "s");
    EXPECT_TRUE(message.Body.empty());
    EXPECT_TRUE(message.MessageParts.empty());
}

TEST_F(MessageReaderTest, NestedMultipartKeepsOrderParentsAndDecodedContent) {
    Read(
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n"
        "This is a preamble\r\n"
        "--outer\r\n"
        "Content-Type: multipart/alternative; boundary=inner\r\n\r\n"
        "--inner\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
        "caf=C3=A9 is soft=\r\n"
        "ly broken\r\n\r\n"
        "--inner\r\n"
        "Content-Type: text/html\r\n"
        "X-Custom: kept\r\n\r\n"
        "<p>hi</p>\r\n"
        "--inner--\r\n"
        "--outer\r\n"
        "Content-Type: application/octet-stream\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment;\r\n\tfilename=\"data.bin\"\r\n\r\n"
        "AAECAwQF\r\nBgcICQ==\r\n"
        "--outer--\r\n"
        "epilogue\r\n");
    EXPECT_EQ(message.Encoding, TIdMessageEncoding::Mime);
    EXPECT_EQ(message.ContentType, "multipart/mixed");
    EXPECT_EQ(message.Body, (std::vector<std::string>{"This is a preamble", "epilogue"}));
    ASSERT_EQ(message.MessageParts.size(), 4u);

    EXPECT_EQ(Text(0).ContentType, "multipart/alternative");
    EXPECT_EQ(Text(0).ParentPart, -1);
    EXPECT_EQ(Text(0).Boundary, "outer");

    EXPECT_EQ(Text(1).Body, (std::vector<std::string>{"caf\xC3\xA9 is softly broken"}));
    EXPECT_EQ(Text(1).CharSet, "utf-8");
    EXPECT_EQ(Text(1).ParentPart, 0);
    EXPECT_EQ(Text(1).Boundary, "inner");

    EXPECT_EQ(Text(2).ContentType, "text/html");
    EXPECT_EQ(Text(2).Body, (std::vector<std::string>{"<p>hi</p>"}));
    ASSERT_EQ(Text(2).ExtraHeaders.size(), 1u);
    EXPECT_EQ(Text(2).ExtraHeaders[0].first, "X-Custom");
    EXPECT_EQ(Text(2).ExtraHeaders[0].second, "kept");

    EXPECT_EQ(Attachment(3).FileName, "data.bin");
    EXPECT_EQ(Attachment(3).ParentPart, -1);
    EXPECT_EQ(ReadFileBytes(Attachment(3).StoredPath),
              std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09", 10));
    EXPECT_TRUE(Attachment(3).OwnsFile);
}

TEST_F(MessageReaderTest, AttachmentFilesAreRemovedWithTheMessage) {
    Read(
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "R0lGODlh\r\n--b--\r\n");
    ASSERT_EQ(message.MessageParts.size(), 1u);
    EXPECT_EQ(FilesInFolder(), 1u);
    message.ClearBody();
    EXPECT_EQ(FilesInFolder(), 0u);
}

TEST_F(MessageReaderTest, AttachmentDecisionAndFileNameRules) {
    Read(
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: text/plain\r\n"
        "Content-Disposition: inline; filename=\"notes.txt\"\r\n\r\nnote\r\n"
        "--b\r\nContent-Type: application/x-thing; name=\"C:\\\\dir/sub\\\\a:b?c*.txt\"\r\n\r\n"
        "x\r\n"
        "--b\r\nContent-Type: text/plain\r\nContent-Disposition: attachment\r\n\r\nx\r\n"
        "--b\r\nContent-Type: application/pdf\r\n"
        "Content-Disposition: attachment; filename==?utf-8?q?r=C3=A9sum=C3=A9.pdf?=\r\n\r\n"
        "x\r\n"
        "--b\r\nContent-Type: application/octet-stream; name=..\r\n\r\nx\r\n"
        "--b\r\n\r\nno type at all\r\n"
        "--b--\r\n");
    ASSERT_EQ(message.MessageParts.size(), 6u);
    EXPECT_EQ(Attachment(0).FileName, "notes.txt");
    EXPECT_EQ(Attachment(1).FileName, "a_b_c_.txt");
    EXPECT_EQ(Attachment(2).FileName, "");
    // Each byte of the decoded name outside the safe set becomes "_".
    EXPECT_EQ(Attachment(3).FileName, "r__sum__.pdf");
    EXPECT_EQ(Attachment(4).FileName, "__");
    EXPECT_EQ(Text(5).Body, (std::vector<std::string>{"no type at all"}));
}

TEST_F(MessageReaderTest, UntypedPartsOfADigestAreMessages) {
    Read(
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=outer\r\n\r\n"
        "--outer\r\nContent-Type: multipart/digest; boundary=d\r\n\r\n"
        "--d\r\n\r\nFrom: a@example.org\r\nSubject: first\r\n\r\nfirst body\r\n"
        "--d\r\nContent-Type: text/plain\r\n\r\nan explicit text stays text\r\n"
        "--d\r\n\r\nSubject: second\r\n\r\nsecond body\r\n"
        "--d--\r\n"
        "--outer\r\n\r\noutside the digest\r\n"
        "--outer--\r\n");
    ASSERT_EQ(message.MessageParts.size(), 5u);
    EXPECT_EQ(Text(0).ContentType, "multipart/digest");
    EXPECT_EQ(Attachment(1).ContentType, "message/rfc822");
    // Saved under a name that mail programs open.
    EXPECT_EQ(Attachment(1).FileName, "message.eml");
    EXPECT_EQ(ReadFileBytes(Attachment(1).StoredPath),
              "From: a@example.org\r\nSubject: first\r\n\r\nfirst body");
    EXPECT_EQ(Text(2).Body, (std::vector<std::string>{"an explicit text stays text"}));
    EXPECT_EQ(Attachment(3).ParentPart, 0);
    EXPECT_EQ(ReadFileBytes(Attachment(3).StoredPath), "Subject: second\r\n\r\nsecond body");
    EXPECT_EQ(Text(4).ContentType, "text/plain");
    EXPECT_EQ(Text(4).Body, (std::vector<std::string>{"outside the digest"}));

    // A digest that is the whole message; a member that names itself keeps its name.
    Read(
        "MIME-Version: 1.0\r\nContent-Type: multipart/digest; boundary=d\r\n\r\n"
        "--d\r\n\r\nSubject: one\r\n\r\nbody\r\n"
        "--d\r\nContent-Type: message/rfc822; name=\"kept.eml\"\r\n\r\nSubject: two\r\n"
        "--d--\r\n");
    ASSERT_EQ(message.MessageParts.size(), 2u);
    EXPECT_EQ(Attachment(0).ContentType, "message/rfc822");
    EXPECT_EQ(Attachment(0).ParentPart, -1);
    EXPECT_EQ(Attachment(1).FileName, "kept.eml");
}

TEST_F(MessageReaderTest, ATypeWithoutSubtypeIsPlainTextWithItsCharset) {
    Read(
        "MIME-Version: 1.0\r\nContent-Type: text; charset=iso-8859-1\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\ncaf=E9\r\n");
    EXPECT_EQ(message.ContentType, "text/plain");
    EXPECT_EQ(message.CharSet, "iso-8859-1");
    EXPECT_TRUE(message.MessageParts.empty());
    EXPECT_EQ(message.Body, (std::vector<std::string>{"caf\xE9"}));

    Read(
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: text ; charset=us-ascii\r\n\r\nplain words\r\n"
        "--b\r\nContent-Type: /html\r\n\r\nno type either\r\n"
        "--b\r\nContent-Type: application/octet-stream\r\n\r\nbytes\r\n"
        "--b--\r\n");
    ASSERT_EQ(message.MessageParts.size(), 3u);
    EXPECT_EQ(Text(0).ContentType, "text/plain");
    EXPECT_EQ(Text(0).CharSet, "us-ascii");
    EXPECT_EQ(Text(0).Body, (std::vector<std::string>{"plain words"}));
    EXPECT_EQ(Text(1).ContentType, "text/plain");
    EXPECT_EQ(Attachment(2).ContentType, "application/octet-stream");
}

TEST_F(MessageReaderTest, SevenBitAndBinaryAttachmentsEndWhereTheBoundaryLineBegins) {
    Read(
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: application/octet-stream\r\n\r\n"
        "..line one\r\nline two\r\n"
        "--b\r\nContent-Type: application/octet-stream\r\n"
        "Content-Transfer-Encoding: binary\r\n\r\n"
        "raw\nwith lone LF\r\nend\r\n"
        "--b--\r\n");
    ASSERT_EQ(message.MessageParts.size(), 2u);
    EXPECT_EQ(ReadFileBytes(Attachment(0).StoredPath), "..line one\r\nline two");
    EXPECT_EQ(ReadFileBytes(Attachment(1).StoredPath), "raw\nwith lone LF\r\nend");

    // Text kept with LF line ends (a mailbox written on Linux) has no CR LF to end a binary
    // part: its boundary line ends it all the same, and the parts after it are kept.
    Read(
        "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: binary\n\n"
        "first\n"
        "--b\nContent-Type: application/octet-stream\n\nsecond\n"
        "--b--\n",
        false);
    ASSERT_EQ(message.MessageParts.size(), 2u);
    EXPECT_EQ(ReadFileBytes(Attachment(0).StoredPath), "first");
    EXPECT_EQ(ReadFileBytes(Attachment(1).StoredPath), "second");
}

TEST_F(MessageReaderTest, UuencodedAttachmentInsidePlainText) {
    Read(
        "Subject: files\r\n\r\n"
        "Here it is:\r\n\r\n"
        "begin 644 hello.txt\r\n"
        "#:&D*\r\n"
        "`\r\n"
        "end\r\n"
        "Bye\r\n");
    EXPECT_EQ(message.Body, (std::vector<std::string>{"Here it is:", "Bye"}));
    ASSERT_EQ(message.MessageParts.size(), 1u);
    EXPECT_EQ(Attachment(0).FileName, "hello.txt");
    EXPECT_EQ(Attachment(0).ContentTransfer, "UUE");
    EXPECT_EQ(ReadFileBytes(Attachment(0).StoredPath), "hi\n");
}

TEST_F(MessageReaderTest, SingleEntityMessages) {
    Read(
        "MIME-Version: 1.0\r\nContent-Type: application/pdf; name=\"doc.pdf\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n");
    EXPECT_TRUE(message.SingleEntity);
    ASSERT_EQ(message.MessageParts.size(), 1u);
    EXPECT_EQ(Attachment(0).FileName, "doc.pdf");
    EXPECT_EQ(ReadFileBytes(Attachment(0).StoredPath), "%PDF-1.4\n");

    Read(
        "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\ncaf=E9\r\nsecond=\r\n line\r\n");
    EXPECT_TRUE(message.SingleEntity);
    EXPECT_TRUE(message.MessageParts.empty());
    EXPECT_EQ(message.CharSet, "iso-8859-1");
    EXPECT_EQ(message.Body, (std::vector<std::string>{"caf\xE9", "second line"}));

    Read("Content-Transfer-Encoding: base64\r\n\r\naGVsbG8NCndvcmxk\r\n");
    EXPECT_TRUE(message.SingleEntity);
    EXPECT_EQ(message.Body, (std::vector<std::string>{"hello", "world"}));
}

TEST_F(MessageReaderTest, DamagedAttachmentFailsWithoutLeavingFiles) {
    EXPECT_THROW(Read("MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
                      "--b\r\nContent-Type: application/octet-stream\r\n"
                      "Content-Transfer-Encoding: base64\r\n\r\nAAAA\r\n"
                      "--b\r\nContent-Type: application/mac-binhex40; name=x\r\n\r\n"
                      "(This file must be converted with BinHex 4.0)\r\n:ABC!!!\r\n--b--\r\n"),
                 MimeError);
    message.ClearBody();
    EXPECT_EQ(FilesInFolder(), 0u);
}

TEST_F(MessageReaderTest, TruncatedAndHostileStructuresEndCleanly) {
    // Never closed, cut off inside a part header, and a boundary of an outer multipart that
    // also ends the inner one.
    Read(
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=a\r\n\r\n"
        "--a\r\nContent-Type: multipart/related; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: text/plain\r\n\r\ninner\r\n"
        "--a\r\nContent-Type: text/plain\r\n\r\nouter\r\n"
        "--a\r\nContent-Type: text/pla");
    ASSERT_EQ(message.MessageParts.size(), 3u);
    EXPECT_EQ(Text(1).Body, (std::vector<std::string>{"inner"}));
    EXPECT_EQ(Text(2).Body, (std::vector<std::string>{"outer"}));
    EXPECT_EQ(Text(2).ParentPart, -1);

    std::string deep = "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b0\r\n\r\n";
    for (int i = 0; i < 5000; ++i) {
        deep += "--b" + std::to_string(i) + "\r\nContent-Type: multipart/mixed; boundary=b" +
                std::to_string(i + 1) + "\r\n\r\n";
    }
    Read(deep);
    EXPECT_LE(message.MIMEBoundary.size(), 64u);

    std::string many = "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (int i = 0; i < 20000; ++i) many += "--b\r\nContent-Type: text/plain\r\n\r\nx\r\n";
    Read(many);
    EXPECT_EQ(message.MessageParts.size(), 20000u);
}

TEST_F(MessageReaderTest, MissingFileIsReported) {
    try {
        message.ReadFromFile(folder / "absent.eml");
        FAIL() << "no error";
    } catch (const MimeError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot load message from file " + (folder / "absent.eml"));
    }
}

}  // namespace
}  // namespace mailsift
