#include "stores/mailbox_backend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/new_file.h"
#include "samples/mailbox_writer.h"
#include "stores/store_facade.h"
#include "support/fake_store_backend.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

using samples::LineEnd;
using samples::MailboxMessage;
using samples::MailboxWriter;
using ::testing::HasSubstr;

class MailboxBackendTest : public ::testing::Test {
  protected:
    // Opens root (a directory or a file) and expects a store.
    StoreHandle OpenStore(const std::string& root) {
        folders_.clear();
        const StoreHandle handle = backend_.Open(root, folders_);
        EXPECT_GT(handle, kMaxResultCode);
        return handle;
    }

    int32_t Read(StoreHandle handle, const TMessageExtractionOptions& options, uint32_t index,
                 TMessage& message, size_t folder = 0) {
        return backend_.ReadMessage(handle, options, *folders_.at(folder), index, message);
    }

    // The bytes of message index as they stand in its file.
    static std::string Slice(const TFolder& folder, size_t index) {
        const std::string bytes = test::ReadFileBytes(folder.StoreFile);
        const auto start = static_cast<size_t>(folder.MessageOffsets[index]);
        const size_t end = index + 1 < folder.MessageOffsets.size()
                               ? static_cast<size_t>(folder.MessageOffsets[index + 1])
                               : bytes.size();
        return bytes.substr(start, end - start);
    }

    std::string RawSave(StoreHandle handle, uint32_t index, size_t folder = 0) {
        TMessageExtractionOptions options;
        options.SaveMessage = true;
        options.TargetFile = dir_ / "saved.eml";
        TMessage message;
        EXPECT_EQ(Read(handle, options, index, message, folder), kResultSuccess);
        return test::ReadFileBytes(options.TargetFile);
    }

    test::TestProgramFolder home_;
    test::TempDir dir_;
    test::TempDir mail_;
    MailboxStoreBackend backend_;
    TFolderList folders_;
};

MailboxMessage WithAttachments() {
    MailboxMessage message;
    message.Subject = "Two files";
    message.Body = {"See the files.", std::string("NUL\0here", 8)};
    message.Attachments = {{"one.bin", std::string("\x00\x01\x02 first", 9)},
                           {"two.txt", "second file"}};
    return message;
}

TEST_F(MailboxBackendTest, ReadModesAndRawBytes) {
    for (LineEnd lineEnd : {LineEnd::Lf, LineEnd::CrLf}) {
        MailboxWriter writer(mail_ / "Inbox", lineEnd);
        MailboxMessage plain;
        plain.FromName = "Ann Sender";
        // Store text is not dot-stuffed: a "." line and leading dots are the message's own.
        plain.Body = {"First line", "From here on, nothing splits.", ".", "...and on"};
        writer.Add(plain);
        writer.Add(WithAttachments());
        writer.Close();

        const StoreHandle handle = OpenStore(mail_.path().string());
        ASSERT_EQ(folders_.size(), 1u);
        EXPECT_EQ(folders_[0]->MessageOffsets, writer.MessageStarts());

        TMessage headers;
        EXPECT_EQ(Read(handle, {}, 0, headers), kResultSuccess);
        EXPECT_EQ(headers.FromName, "Ann Sender");
        EXPECT_EQ(headers.FromAddress, "ann@example.org");
        EXPECT_EQ(headers.ToName, "Bob Receiver");
        EXPECT_EQ(headers.ToAddress, "bob@example.org");
        EXPECT_EQ(headers.Subject, "Hello");
        EXPECT_GT(headers.Received, 45000.0);
        EXPECT_EQ(headers.Created, headers.Received);
        EXPECT_EQ(headers.Size, static_cast<int32_t>(Slice(*folders_[0], 0).size()));
        EXPECT_TRUE(headers.Headers.empty() && headers.Body.empty() && headers.MessageId.empty());

        TMessageExtractionOptions wantBody;
        wantBody.WantBody = true;
        TMessage plainBody;
        EXPECT_EQ(Read(handle, wantBody, 0, plainBody), kResultSuccess);
        EXPECT_THAT(plainBody.Headers, HasSubstr("\r\nSubject: Hello\r\n"));
        EXPECT_EQ(plainBody.Body,
                  "First line\r\n>From here on, nothing splits.\r\n.\r\n...and on\r\n");
        TMessage partsBody;
        EXPECT_EQ(Read(handle, wantBody, 1, partsBody), kResultSuccess);
        EXPECT_EQ(partsBody.Body, "See the files.\r\nNULhere\r\n");

        // The last message runs to the end of the file.
        for (uint32_t i : {0u, 1u}) EXPECT_EQ(RawSave(handle, i), Slice(*folders_[0], i));
        EXPECT_EQ(backend_.Close(handle), kResultSuccess);
    }
}

TEST_F(MailboxBackendTest, ASaveIntoANewFileAfterAHeaderReadWritesTheWholeMessage) {
    MailboxWriter writer(mail_ / "Inbox");
    MailboxMessage large;
    large.FromName = "Large";
    large.Attachments = {{"large.bin", std::string(200'000, 'z')}};
    MailboxMessage small;
    small.FromName = "Small";
    writer.Add(large);
    writer.Add(small);
    writer.Add(large);
    writer.Close();
    const StoreHandle handle = OpenStore(mail_.path().string());
    const auto saveInto = [&](uint32_t index, const std::string& name) {
        int error = 0;
        const auto file = NewFile::Create(dir_ / name, error);
        EXPECT_NE(file, nullptr);
        if (!file) return std::string();
        TMessageExtractionOptions options;
        options.SaveMessage = true;
        options.TargetFile = file->Path();
        options.Target = file.get();
        TMessage scratch;
        EXPECT_EQ(Read(handle, options, index, scratch), kResultSuccess);
        EXPECT_TRUE(file->Finish(0));
        return test::ReadFileBytes(dir_ / name);
    };
    for (uint32_t i : {0u, 1u, 2u}) {
        TMessage headers;
        ASSERT_EQ(Read(handle, {}, i, headers), kResultSuccess);
        EXPECT_EQ(headers.FromName, i == 1 ? "Small" : "Large");
        EXPECT_EQ(saveInto(i, "message " + std::to_string(i)), Slice(*folders_[0], i));
    }
    // What was read for one message is never written for another.
    TMessage headers;
    ASSERT_EQ(Read(handle, {}, 1, headers), kResultSuccess);
    EXPECT_EQ(saveInto(0, "again"), Slice(*folders_[0], 0));

    // An attachment's decoded file is moved into the new file.
    int error = 0;
    const auto attachment = NewFile::Create(dir_ / "large.bin", error);
    ASSERT_NE(attachment, nullptr);
    TMessageExtractionOptions save;
    save.SaveAttachment = true;
    save.AttachmentIndex = 1;
    save.TargetFile = attachment->Path();
    save.Target = attachment.get();
    TMessage message;
    EXPECT_EQ(Read(handle, save, 2, message), kResultSuccess);
    EXPECT_TRUE(attachment->Finish(0));
    EXPECT_EQ(test::ReadFileBytes(dir_ / "large.bin"), std::string(200'000, 'z'));
    EXPECT_EQ(backend_.Close(handle), kResultSuccess);
}

TEST_F(MailboxBackendTest, AttachmentsSavedAfterTheListComeFromItsParseAndStayWhole) {
    MailboxWriter writer(mail_ / "Inbox");
    writer.Add(WithAttachments());
    MailboxMessage other = WithAttachments();
    other.Attachments = {{"three.bin", "third file"}, {"four.txt", "fourth file"}};
    writer.Add(other);
    writer.Close();
    const StoreHandle handle = OpenStore(mail_.path().string());
    int made = 0;
    const auto saveInto = [&](uint32_t index, uint16_t part) {
        const std::string name = "part " + std::to_string(++made);
        int error = 0;
        const auto file = NewFile::Create(dir_ / name, error);
        EXPECT_NE(file, nullptr);
        if (!file) return std::string();
        TMessageExtractionOptions save;
        save.SaveAttachment = true;
        save.AttachmentIndex = part;
        save.TargetFile = file->Path();
        save.Target = file.get();
        TMessage scratch;
        const int32_t result = Read(handle, save, index, scratch);
        const bool finished = file->Finish(0);
        return result == kResultSuccess && finished ? test::ReadFileBytes(dir_ / name)
                                                    : "(failed " + std::to_string(result) + ")";
    };
    TMessageExtractionOptions list;
    list.WantAttachments = true;
    TMessage listed;
    ASSERT_EQ(Read(handle, list, 0, listed), kResultSuccess);
    EXPECT_EQ(saveInto(0, 1), std::string("\x00\x01\x02 first", 9));
    EXPECT_EQ(saveInto(0, 2), "second file");
    // The first part's decoded file was moved out: a second save of it reads the message again.
    EXPECT_EQ(saveInto(0, 1), std::string("\x00\x01\x02 first", 9));
    // Another message is never served from the parse of the one listed.
    ASSERT_EQ(Read(handle, list, 0, listed), kResultSuccess);
    EXPECT_EQ(saveInto(1, 2), "fourth file");
    EXPECT_EQ(saveInto(0, 0), "(failed 13)");
    EXPECT_EQ(backend_.Close(handle), kResultSuccess);
}

TEST_F(MailboxBackendTest, MessagesLargerThanTheReadWindowComeOutWhole) {
    MailboxWriter writer(mail_ / "Inbox");
    MailboxMessage large;
    std::string content(300'000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
    large.Attachments = {{"large.bin", content}};
    writer.Add(large);
    writer.Add(MailboxMessage{});
    writer.Close();
    const StoreHandle handle = OpenStore(mail_.path().string());
    EXPECT_EQ(RawSave(handle, 0), Slice(*folders_[0], 0));

    TMessageExtractionOptions save;
    save.SaveAttachment = true;
    save.AttachmentIndex = 1;
    save.TargetFile = dir_ / "large.bin";
    TMessage message;
    EXPECT_EQ(Read(handle, save, 0, message), kResultSuccess);
    EXPECT_EQ(test::ReadFileBytes(save.TargetFile), content);

    // A header line added to the first message after the file was counted: the second message
    // is found again at its separator within the first window, not cut at the stale offset.
    const TFolder& folder = *folders_[0];
    const std::string bytes = test::ReadFileBytes(folder.StoreFile);
    const size_t firstLineEnd = bytes.find('\n') + 1;
    const std::string added = "X-Added: after the count\n";
    test::WriteFileBytes(folder.StoreFile,
                         bytes.substr(0, firstLineEnd) + added + bytes.substr(firstLineEnd));
    TMessageExtractionOptions raw;
    raw.SaveMessage = true;
    raw.TargetFile = dir_ / "shifted.eml";
    EXPECT_EQ(Read(handle, raw, 1, message), kResultSuccess);
    EXPECT_EQ(test::ReadFileBytes(raw.TargetFile),
              bytes.substr(static_cast<size_t>(folder.MessageOffsets[1])));

    EXPECT_EQ(backend_.Close(handle), kResultSuccess);

    // A file replaced by another (a client compacting it) is read anew, not through the file
    // that was open before.
    const std::string replacement = mail_ / "replacement";
    test::WriteFileBytes(replacement, "From a@b.c Mon Jan  1 10:00:00 2024\nSubject: new\n\nx\n");
    std::filesystem::rename(replacement, folder.StoreFile);
    const StoreHandle reopened = OpenStore(mail_.path().string());
    EXPECT_EQ(Read(reopened, raw, 0, message), kResultSuccess);
    EXPECT_THAT(test::ReadFileBytes(raw.TargetFile), HasSubstr("Subject: new"));
    EXPECT_EQ(backend_.Close(reopened), kResultSuccess);
}

TEST_F(MailboxBackendTest, AttachmentsAreListedWithTheirPartIndices) {
    MailboxWriter writer(mail_ / "Inbox");
    writer.Add(WithAttachments());
    writer.Add(MailboxMessage());
    writer.Close();
    const StoreHandle handle = OpenStore(mail_.path().string());

    TMessageExtractionOptions list;
    list.WantAttachments = true;
    TMessage message;
    EXPECT_EQ(Read(handle, list, 0, message), kResultSuccess);
    EXPECT_TRUE(message.HasAttachments);
    ASSERT_TRUE(message.Attachments.has_value());
    ASSERT_EQ(message.Attachments->size(), 2u);
    EXPECT_EQ((*message.Attachments)[0].FileName, "one.bin");
    EXPECT_EQ((*message.Attachments)[0].Index, 1);
    EXPECT_EQ((*message.Attachments)[1].FileName, "two.txt");
    EXPECT_EQ((*message.Attachments)[1].Index, 2);

    TMessageExtractionOptions save;
    save.SaveAttachment = true;
    save.AttachmentIndex = 1;
    save.TargetFile = dir_ / "one.bin";
    test::WriteFileBytes(save.TargetFile, "an older, longer file to be replaced");
    EXPECT_EQ(Read(handle, save, 0, message), kResultSuccess);
    EXPECT_EQ(test::ReadFileBytes(save.TargetFile), std::string("\x00\x01\x02 first", 9));
    // Part 0 is the text: nothing is saved, and that is not passed off as a saved file.
    save.AttachmentIndex = 0;
    save.TargetFile = dir_ / "text.bin";
    EXPECT_EQ(Read(handle, save, 0, message), kResultNoAttachments);
    EXPECT_FALSE(std::filesystem::exists(save.TargetFile));

    EXPECT_EQ(Read(handle, list, 1, message), kResultSuccess);
    EXPECT_FALSE(message.HasAttachments);
    EXPECT_TRUE(message.Attachments.has_value() && message.Attachments->empty());
}

TEST_F(MailboxBackendTest, RefusedCalls) {
    MailboxWriter writer(mail_ / "Inbox");
    writer.Add(MailboxMessage());
    writer.Close();
    const StoreHandle handle = OpenStore(mail_.path().string());
    TFolderList more;
    EXPECT_EQ(backend_.Open(mail_.path().string(), more), StoreHandle{kResultAlreadyOpen});

    TMessage message;
    message.Subject = "stale";
    EXPECT_EQ(Read(handle + 1, {}, 0, message), kResultNotMyHandle);
    EXPECT_TRUE(message.Subject.empty());
    for (uint32_t index : {1u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Read(handle, {}, index, message), kResultBadMessageIndex);
    }

    // A target that cannot be written, for the message or for an attachment.
    TMessageExtractionOptions save;
    save.SaveMessage = true;
    save.TargetFile = dir_.path().string();
    EXPECT_EQ(Read(handle, save, 0, message), kResultFolderMissing);
    EXPECT_THAT(home_.ReportLog(), HasSubstr("Extract exception: "));
    // A full disk takes a small message into the stream's buffer and refuses it only when the
    // buffer is written out.
    if (std::filesystem::exists("/dev/full")) {
        save.TargetFile = "/dev/full";
        EXPECT_EQ(Read(handle, save, 0, message), kResultFolderMissing);
    }

    std::filesystem::remove(mail_ / "Inbox");
    EXPECT_EQ(Read(handle, {}, 0, message), kResultFolderMissing);
    EXPECT_EQ(backend_.Close(handle + 1), kResultNotMyHandle);
    EXPECT_EQ(backend_.Close(handle), kResultSuccess);
    EXPECT_EQ(backend_.Close(handle), kResultNotMyHandle);
    EXPECT_EQ(Read(handle, {}, 0, message), kResultNotMyHandle);

    const std::string log = home_.ReportLog();
    EXPECT_THAT(log, HasSubstr("\tFind message boxes files.\r\n"));
    EXPECT_THAT(log, HasSubstr("\tMail Box closed and free memory\r\n"));
}

TEST_F(MailboxBackendTest, ScanCacheSurvivesTheClose) {
    const std::string root = mail_.path().string();
    MailboxWriter first(mail_ / "A");
    first.Add(MailboxMessage());
    first.Add(MailboxMessage());
    first.Close();
    StoreHandle handle = OpenStore(root);
    const TFolder* listed = folders_.at(0);
    EXPECT_EQ(backend_.Close(handle), kResultSuccess);

    // Not scanned again while its files stay as they were: the new mailbox is not seen.
    MailboxWriter second(mail_ / "B");
    second.Add(MailboxMessage());
    second.Close();
    handle = OpenStore(root);
    ASSERT_EQ(folders_.size(), 1u);
    EXPECT_EQ(folders_[0], listed);

    // A file that shrinks under an open store is read from the old offsets without leaving it.
    test::WriteFileBytes(mail_ / "A", "X\nFrom a b 1:2:3\nSubject: short\n");
    EXPECT_EQ(RawSave(handle, 0), "From a b 1:2:3\nSubject: short\n");
    EXPECT_EQ(RawSave(handle, 1), "");
    EXPECT_EQ(backend_.Close(handle), kResultSuccess);

    // Once a listed file has changed, the path is scanned again.
    test::WriteFileBytes(mail_ / "A", "From a b 1:2:3\nSubject: one\n\nFrom c d 4:5:6\nX\n\n");
    handle = OpenStore(root);
    ASSERT_EQ(folders_.size(), 2u);
    EXPECT_EQ(folders_[0]->MessageOffsets, (TMessageOffset{0, 29}));
    EXPECT_EQ(backend_.Close(handle), kResultSuccess);

    // Another path replaces the cache.
    TFolderList none;
    EXPECT_EQ(backend_.Open(dir_.path().string(), none), StoreHandle{kResultNothingFound});
    EXPECT_EQ(backend_.Open(dir_.path().string(), none), StoreHandle{kResultNothingFound});
    EXPECT_TRUE(none.empty());
}

TEST_F(MailboxBackendTest, SingleMailboxFilesThroughTheFacade) {
    test::ScopedStoreBackends backends({nullptr, nullptr, &backend_});
    for (const char* name : {"Inbox", "In.mbx", "Out.MBX"}) {
        SCOPED_TRACE(name);
        MailboxWriter writer(mail_ / name, LineEnd::CrLf);
        writer.Add(MailboxMessage());
        writer.Close();
        TFolderList folders;
        const StoreHandle handle = OpenMessageStore(mail_ / name, folders);
        ASSERT_GT(handle, kMaxResultCode);
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_EQ(folders[0]->Path, "MailBox//" + std::string(name));
        EXPECT_EQ(folders[0]->Id, 1);
        EXPECT_EQ(folders[0]->ParentId, 0);
        TMessage message;
        EXPECT_EQ(GetMessageBody(handle, *folders[0], 0, message), kResultSuccess);
        EXPECT_EQ(message.Body, "Hello.\r\n");
        EXPECT_EQ(CloseMessageStore(handle), kResultSuccess);
    }
    test::WriteFileBytes(mail_ / "Notes", "Not a mailbox\nFrom a b 1:2:3\nX\n");
    TFolderList folders;
    EXPECT_EQ(OpenMessageStore(mail_ / "Notes", folders), StoreHandle{kResultNothingFound});
}

TEST_F(MailboxBackendTest, RealMailboxReadsBackExactly) {
    const std::string shared = test::SharedFixturesDir();
    if (shared.empty()) GTEST_SKIP() << "../shared is absent: no real mailbox to read";
    const StoreHandle handle = OpenStore(shared + "/mbox/mbox.win");
    ASSERT_EQ(folders_.size(), 1u);
    ASSERT_EQ(folders_[0]->MessageCount, 45);
    for (uint32_t i = 0; i < 45; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(RawSave(handle, i), Slice(*folders_[0], i));
        TMessage message;
        EXPECT_EQ(Read(handle, {}, i, message), kResultSuccess);
        EXPECT_EQ(message.Size, static_cast<int32_t>(Slice(*folders_[0], i).size()));
    }
    EXPECT_EQ(backend_.Close(handle), kResultSuccess);
}

}  // namespace
}  // namespace mailsift
