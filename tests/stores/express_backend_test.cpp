#include "stores/express_backend.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/date_time.h"
#include "platform/new_file.h"
#include "samples/dbx_store_writer.h"
#include "stores/store_facade.h"
#include "support/fake_store_backend.h"
#include "support/file_helpers.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/test_program_folder.h"
#include "support/undbx_texts.h"

namespace mailsift {
namespace {

using samples::DbxFolderInfo;
using samples::DbxMessage;

constexpr char kMixed[] =
    "From: \"Ann Example\" <ann@example.com>\r\n"
    "To: bob@example.org\r\n"
    "Subject: Report\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"XYZ\"\r\n"
    "\r\n"
    "--XYZ\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "Hello Bob,\r\n"
    "see attached.\r\n"
    "--XYZ\r\n"
    "Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
    "\r\n"
    "AAECAwQ=\r\n"
    "--XYZ--\r\n";

constexpr char kAttachmentOnly[] =
    "From: carl@example.com\r\n"
    "Subject: Scan\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: application/pdf; name=\"scan.pdf\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "JVBERi0=\r\n";

DbxMessage Plain(const std::string& subject, const std::string& body = "Plain body\r\n") {
    DbxMessage message;
    message.Subject = subject;
    message.SenderName = "Sender of " + subject;
    message.SenderAddress = "sender@example.com";
    message.Text = "From: sender@example.com\r\nSubject: " + subject + "\r\n\r\n" + body;
    return message;
}

DbxMessage WithText(const std::string& text, uint32_t flags) {
    DbxMessage message;
    message.Text = text;
    message.Flags = flags;
    return message;
}

class ExpressBackendTest : public ::testing::Test {
  protected:
    ~ExpressBackendTest() override {
        if (handle_ != 0) backend_.Close(handle_);
    }

    ExpressBackendTest() { std::filesystem::create_directory(store_); }

    std::string Store(const std::string& name) const { return store_ + "/" + name; }

    // Opens path and expects a store.
    void Open(const std::string& path) {
        handle_ = backend_.Open(path, folders_);
        ASSERT_GT(handle_, kMaxResultCode);
    }

    int32_t Read(const TFolder& folder, uint32_t index, TMessage& message,
                 TMessageExtractionOptions options = {}) {
        return backend_.ReadMessage(handle_, options, folder, index, message);
    }

    // What is left in the temporary folder after the reads: nothing, when every read cleaned up.
    std::vector<std::string> TemporaryFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(temp_.path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    test::TestProgramFolder home_;
    test::TempDir dir_;
    const std::string store_ = dir_ / "store";
    test::TempDir temp_;
    test::ScopedEnv tmpdir_{"TMPDIR", temp_.path().string()};
    test::ScopedEnv tempUpper_{"TEMP", std::nullopt};
    test::ScopedEnv tmp_{"TMP", std::nullopt};
    ExpressStoreBackend backend_;
    TFolderList folders_;
    StoreHandle handle_ = 0;
};

TEST_F(ExpressBackendTest, FolderListWithDisplayPaths) {
    samples::DbxFoldersFileWriter folders(2);
    folders.Add({"Outlook Express", "", 1, 0, false});  // the top folder has no file
    folders.Add({"Inbox", "Inbox.dbx", 2, 1, false});
    folders.Add({"Work  ", "Work.dbx", 3, 2, false});
    folders.Add({"a/b", "Slash.dbx", 4, 3, false});
    folders.Add({"..", "Dots.dbx", 5, 0, false});
    folders.Add({"News", "News.dbx", 6, 2, true});
    folders.Add({"Escape", "../outside.dbx", 7, 0, false});
    folders.Write(Store("folders.dbx"));
    samples::DbxFolderFileWriter inbox;
    inbox.Add(Plain("one"));
    inbox.Add(Plain("two"));
    const int64_t inboxSize = inbox.Write(Store("Inbox.dbx")).FileSize;
    samples::DbxFolderFileWriter(1).Write(Store("Work.dbx"));
    samples::DbxFolderFileWriter outside;
    outside.Add(Plain("outside"));
    outside.Write(dir_ / "outside.dbx");

    Open(Store("folders.dbx"));
    ASSERT_EQ(folders_.size(), 6u);
    const std::vector<std::string> paths = {"Inbox", "Inbox/Work", "Inbox/Work/a_b",
                                            "__",    "Inbox/News", "Escape"};
    for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(folders_[i]->Path, paths[i]);
    EXPECT_EQ(folders_[1]->Name, "Work  ");
    EXPECT_EQ(folders_[0]->StoreFile, Store("Inbox.dbx"));
    EXPECT_EQ(folders_[0]->MessageCount, 2);
    EXPECT_EQ(folders_[0]->Size, inboxSize);
    EXPECT_EQ(folders_[1]->MessageCount, 0);
    EXPECT_GT(folders_[1]->Size, 0);
    EXPECT_EQ(folders_[2]->MessageCount, 0);  // its file is missing
    EXPECT_EQ(folders_[2]->Size, 0);
    EXPECT_TRUE(folders_[4]->StoreFile.empty());
    // A stored file name with a folder part does not lead out of the store's folder.
    EXPECT_EQ(folders_[5]->StoreFile, Store(".._outside.dbx"));
    EXPECT_EQ(folders_[5]->MessageCount, 0);

    TFolderList more;
    EXPECT_EQ(backend_.Open(Store("folders.dbx"), more), StoreHandle{kResultAlreadyOpen});
    EXPECT_TRUE(more.empty());
    EXPECT_EQ(backend_.Close(handle_ + 1), kResultNotMyHandle);
    EXPECT_EQ(backend_.Close(handle_), kResultSuccess);
    EXPECT_EQ(backend_.Close(handle_), kResultNotMyHandle);
    handle_ = 0;

    EXPECT_EQ(backend_.Open(Store("missing.dbx"), more), StoreHandle{kResultNothingFound});
    samples::DbxFoldersFileWriter none;
    none.Add({"Root", "", 1, 0, false});
    none.Write(Store("folders.dbx"));
    EXPECT_EQ(backend_.Open(Store("folders.dbx"), more), StoreHandle{kResultNoFolders});
    EXPECT_TRUE(more.empty());
}

TEST_F(ExpressBackendTest, ParentChainsThatLoopOrRunLongEndAndAreReported) {
    samples::DbxFoldersFileWriter folders;
    folders.Add({"A", "A.dbx", 5, 6, false});
    folders.Add({"B", "B.dbx", 6, 5, false});
    folders.Add({"Self", "Self.dbx", 7, 7, false});
    // Children that would each repeat a huge parent name: a small crafted file must not make
    // the folder list take memory out of all proportion to it.
    const std::string huge(100'000, 'H');
    folders.Add({huge, "Huge.dbx", 8, 0, false});
    for (int32_t id = 9; id < 12; ++id) folders.Add({"Child", "Child.dbx", id, 8, false});
    folders.Add({"Grandchild", "Grandchild.dbx", 12, 11, false});
    folders.Write(Store("folders.dbx"));

    Open(Store("folders.dbx"));
    ASSERT_EQ(folders_.size(), 8u);
    EXPECT_EQ(folders_[0]->Path, "B/A");
    EXPECT_EQ(folders_[1]->Path, "A/B");
    EXPECT_EQ(folders_[2]->Path, "Self");
    EXPECT_EQ(folders_[3]->Path, huge);
    for (size_t i = 4; i < 7; ++i) EXPECT_EQ(folders_[i]->Path, "Child");
    EXPECT_EQ(folders_[7]->Path, "Child/Grandchild");
    const std::string log = home_.ReportLog();
    const std::string damaged = "Damaged folder file " + Store("folders.dbx") + ": ";
    EXPECT_NE(log.find(damaged + "parent chain loop"), std::string::npos);
    EXPECT_NE(log.find(damaged + "display path too long"), std::string::npos);
}

TEST_F(ExpressBackendTest, HeaderModeReadsTheMessageInfos) {
    samples::DbxFolderFileWriter writer(2);
    DbxMessage full = Plain("Full");
    full.ReceiverName = "Bob";
    full.ReceiverAddress = "bob@example.org";
    full.MessageId = "<full@example.com>";
    full.Newsgroups = "comp.mail";
    full.Flags = 0x4000;
    full.CreatedTime = 0x01C1E3284E6704B3;
    full.ReceivedTime = 0x01C1E34B3982A480;
    full.Size = 12345;
    writer.Add(full);
    writer.Add(Plain("No times"));
    writer.Add(DbxMessage{});  // an info without text
    writer.Write(Store("Inbox.dbx"));

    Open(Store("Inbox.dbx"));
    const TFolder& inbox = *folders_[0];
    TMessage message;
    ASSERT_EQ(Read(inbox, 0, message), kResultSuccess);
    EXPECT_EQ(message.Subject, "Full");
    EXPECT_EQ(message.FromName, "Sender of Full");
    EXPECT_EQ(message.FromAddress, "sender@example.com");
    EXPECT_EQ(message.ToName, "Bob");
    EXPECT_EQ(message.ToAddress, "bob@example.org");
    EXPECT_EQ(message.MessageId, "<full@example.com>");
    EXPECT_DOUBLE_EQ(message.Created, DateTimeFromFileTime(0x01C1E3284E6704B3));
    EXPECT_DOUBLE_EQ(message.Received, DateTimeFromFileTime(0x01C1E34B3982A480));
    EXPECT_EQ(FormatDate(message.Received).substr(6), "2002");
    EXPECT_EQ(message.Size, 12345);
    EXPECT_TRUE(message.HasAttachments);
    EXPECT_TRUE(message.Tag0BPresent);
    EXPECT_TRUE(message.Body.empty() && message.Headers.empty());

    ASSERT_EQ(Read(inbox, 1, message), kResultSuccess);
    EXPECT_EQ(message.Created, 0);
    EXPECT_EQ(message.Received, 0);
    EXPECT_FALSE(message.HasAttachments || message.Tag0BPresent);

    EXPECT_EQ(Read(inbox, 2, message), kResultBadMessageIndex);
    message.Subject = "stale";
    EXPECT_EQ(Read(inbox, 3, message), kResultBadMessageIndex);
    EXPECT_TRUE(message.Subject.empty());
    EXPECT_EQ(backend_.ReadMessage(handle_ + 1, {}, inbox, 0, message), kResultNotMyHandle);
}

TEST_F(ExpressBackendTest, BodyModeParsesTheText) {
    samples::DbxFolderFileWriter writer;
    writer.Add(WithText(kMixed, 0x4000));
    writer.Add(WithText(kAttachmentOnly, 0x4000));
    writer.Add(Plain("Nul", std::string("before\0after\r\n", 14)));
    // Stored text is not dot-stuffed: a "." line and leading dots are the message's own.
    writer.Add(Plain("Dots", "one\r\n.\r\n...two\r\n"));
    writer.Write(Store("Inbox.dbx"));

    Open(Store("Inbox.dbx"));
    TMessageExtractionOptions body;
    body.WantBody = true;
    TMessage message;
    ASSERT_EQ(Read(*folders_[0], 0, message, body), kResultSuccess);
    EXPECT_EQ(message.Body, "Hello Bob,\r\nsee attached.\r\n");
    EXPECT_NE(message.Headers.find("Subject: Report\r\n"), std::string::npos);
    EXPECT_EQ(message.Headers.find("Hello"), std::string::npos);

    // No text part: the message's own body lines, which a single attachment leaves empty.
    ASSERT_EQ(Read(*folders_[0], 1, message, body), kResultSuccess);
    EXPECT_TRUE(message.Body.empty());
    ASSERT_EQ(Read(*folders_[0], 2, message, body), kResultSuccess);
    EXPECT_EQ(message.Body.substr(0, 13), "beforeafter\r\n");
    EXPECT_EQ(message.Body.find('\0'), std::string::npos);
    EXPECT_EQ(message.Subject, "Nul");
    ASSERT_EQ(Read(*folders_[0], 3, message, body), kResultSuccess);
    EXPECT_EQ(message.Body, "one\r\n.\r\n...two\r\n");
    EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(ExpressBackendTest, AttachmentModeFollowsTheFlag) {
    samples::DbxFolderFileWriter writer;
    writer.Add(WithText(kMixed, 0x4000));
    writer.Add(WithText(kMixed, 0));
    writer.Write(Store("Inbox.dbx"));

    Open(Store("Inbox.dbx"));
    TMessageExtractionOptions list;
    list.WantAttachments = true;
    TMessage message;
    ASSERT_EQ(Read(*folders_[0], 0, message, list), kResultSuccess);
    EXPECT_TRUE(message.HasAttachments);
    ASSERT_TRUE(message.Attachments.has_value());
    ASSERT_EQ(message.Attachments->size(), 1u);
    EXPECT_EQ((*message.Attachments)[0].FileName, "data.bin");
    EXPECT_EQ((*message.Attachments)[0].Index, 1);

    // Without the flag the text is not even looked at.
    EXPECT_EQ(Read(*folders_[0], 1, message, list), kResultNoAttachments);
    ASSERT_TRUE(message.Attachments.has_value());
    EXPECT_TRUE(message.Attachments->empty());

    TMessageExtractionOptions save;
    save.SaveAttachment = true;
    save.AttachmentIndex = 1;
    save.TargetFile = Store("data.bin");
    test::WriteFileBytes(save.TargetFile, "older and longer content");
    ASSERT_EQ(Read(*folders_[0], 0, message, save), kResultSuccess);
    EXPECT_EQ(test::ReadFileBytes(save.TargetFile), std::string("\0\1\2\3\4", 5));
    // The text part is no attachment: nothing is written, and that is no success.
    save.AttachmentIndex = 0;
    save.TargetFile = Store("text.bin");
    EXPECT_EQ(Read(*folders_[0], 0, message, save), kResultNoAttachments);
    EXPECT_FALSE(std::filesystem::exists(save.TargetFile));
    EXPECT_TRUE(TemporaryFiles().empty());

    // Saved into a new file after the list, the attachment's decoded file is moved there; a
    // second save of it, whose decoded file is gone, parses the message again.
    ASSERT_EQ(Read(*folders_[0], 0, message, list), kResultSuccess);
    for (const char* name : {"moved.bin", "again.bin"}) {
        int error = 0;
        const auto file = NewFile::Create(Store(name), error);
        ASSERT_NE(file, nullptr);
        save.AttachmentIndex = 1;
        save.TargetFile = file->Path();
        save.Target = file.get();
        ASSERT_EQ(Read(*folders_[0], 0, message, save), kResultSuccess);
        EXPECT_TRUE(file->Finish(0));
        EXPECT_EQ(test::ReadFileBytes(Store(name)), std::string("\0\1\2\3\4", 5));
    }
    EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(ExpressBackendTest, RawSaveCopiesTheStoredText) {
    samples::DbxFolderFileWriter writer;
    DbxMessage large = Plain("Large", std::string(5000, 'q') + "\r\n");
    large.Text += std::string("\0\x80\xff", 3);
    writer.Add(large);
    writer.Add(DbxMessage{});
    writer.Write(Store("Inbox.dbx"));

    Open(Store("Inbox.dbx"));
    TMessageExtractionOptions save;
    save.SaveMessage = true;
    save.TargetFile = Store("saved.eml");
    TMessage message;
    EXPECT_EQ(Read(*folders_[0], 0, message, save), kResultSuccess);
    EXPECT_EQ(test::ReadFileBytes(save.TargetFile), large.Text);
    EXPECT_EQ(Read(*folders_[0], 1, message, save), kResultBadMessageIndex);
    save.TargetFile = Store("no/such/folder.eml");
    EXPECT_EQ(Read(*folders_[0], 0, message, save), kResultWriteFailed);
}

TEST_F(ExpressBackendTest, CacheFollowsTheFolderUsedLast) {
    samples::DbxFoldersFileWriter folders;
    folders.Add({"A", "A.dbx", 1, 0, false});
    folders.Add({"B", "B.dbx", 2, 0, false});
    folders.Write(Store("folders.dbx"));
    samples::DbxFolderFileWriter a;
    a.Add(Plain("A old"));
    a.Write(Store("A.dbx"));
    samples::DbxFolderFileWriter b;
    b.Add(Plain("B"));
    b.Write(Store("B.dbx"));

    Open(Store("folders.dbx"));
    TMessage message;
    ASSERT_EQ(Read(*folders_[0], 0, message), kResultSuccess);
    samples::DbxFolderFileWriter replaced;
    replaced.Add(Plain("A new, with a longer subject"));
    replaced.Write(Store("A.dbx"));
    ASSERT_EQ(Read(*folders_[0], 0, message), kResultSuccess);
    EXPECT_EQ(message.Subject, "A old");
    ASSERT_EQ(Read(*folders_[1], 0, message), kResultSuccess);
    EXPECT_EQ(message.Subject, "B");
    ASSERT_EQ(Read(*folders_[0], 0, message), kResultSuccess);
    EXPECT_EQ(message.Subject, "A new, with a longer subject");
}

TEST_F(ExpressBackendTest, FolderFileOnItsOwnIsAStoreOfOneFolder) {
    samples::DbxFolderFileWriter writer;
    writer.Add(Plain("Loose"));
    const int64_t size = writer.Write(Store("Old Inbox.dbx")).FileSize;

    Open(Store("Old Inbox.dbx"));
    ASSERT_EQ(folders_.size(), 1u);
    const TFolder& folder = *folders_[0];
    EXPECT_EQ(folder.Name, "Old Inbox");
    EXPECT_EQ(folder.Path, "Old Inbox");
    EXPECT_EQ(folder.StoreFile, Store("Old Inbox.dbx"));
    EXPECT_EQ(folder.Id, 1);
    EXPECT_EQ(folder.ParentId, 0);
    EXPECT_EQ(folder.MessageCount, 1);
    EXPECT_EQ(folder.Size, size);
    TMessage message;
    ASSERT_EQ(Read(folder, 0, message), kResultSuccess);
    EXPECT_EQ(message.Subject, "Loose");
    backend_.Close(handle_);
    folders_.clear();

    // An empty folder file still shows as a folder.
    samples::DbxFolderFileWriter().Write(Store("Empty.dbx"));
    Open(Store("Empty.dbx"));
    ASSERT_EQ(folders_.size(), 1u);
    EXPECT_EQ(folders_[0]->Name, "Empty");
    EXPECT_EQ(folders_[0]->MessageCount, 0);
}

TEST_F(ExpressBackendTest, StoreFileNamesInAnyLetterCase) {
    // As the mail client names the files, and as a FAT volume may show the folder files.
    samples::DbxFoldersFileWriter folders;
    folders.Add({"Inbox", "Inbox.dbx", 2, 1, false});
    folders.Add({"Sent", "Sent Items.dbx", 3, 1, false});
    folders.Write(Store("Folders.dbx"));
    samples::DbxFolderFileWriter inbox;
    inbox.Add(Plain("one"));
    inbox.Write(Store("inbox.dbx"));
    samples::DbxFolderFileWriter sent;
    sent.Add(Plain("sent"));
    sent.Add(Plain("sent too"));
    sent.Write(Store("Sent Items.dbx"));
    samples::DbxFolderFileWriter().Write(Store("sent items.dbx"));

    Open(Store("Folders.dbx"));
    ASSERT_EQ(folders_.size(), 2u);
    EXPECT_EQ(folders_[0]->Path, "Inbox");
    EXPECT_EQ(folders_[0]->StoreFile, Store("inbox.dbx"));
    EXPECT_EQ(folders_[0]->MessageCount, 1);
    EXPECT_EQ(folders_[1]->StoreFile, Store("Sent Items.dbx")) << "the exact name comes first";
    EXPECT_EQ(folders_[1]->MessageCount, 2);
    TMessage message;
    ASSERT_EQ(Read(*folders_[0], 0, message), kResultSuccess);
    EXPECT_EQ(message.Subject, "one");
}

TEST_F(ExpressBackendTest, DamageIsReportedOncePerFileAndKind) {
    samples::DbxFolderFileWriter writer;
    writer.Add(Plain("Looping", std::string(1500, 'l')));
    const std::vector<int32_t> blocks = writer.Write(Store("Inbox.dbx")).Blocks[0];
    ASSERT_EQ(blocks.size(), 4u);
    samples::PatchDbxUint32(Store("Inbox.dbx"), blocks[3] + samples::kDbxBlockNext,
                            static_cast<uint32_t>(blocks[1]));

    Open(Store("Inbox.dbx"));
    TMessageExtractionOptions body;
    body.WantBody = true;
    TMessage message;
    ASSERT_EQ(Read(*folders_[0], 0, message, body), kResultSuccess);
    ASSERT_EQ(Read(*folders_[0], 0, message, body), kResultSuccess);
    EXPECT_EQ(message.Body.size(), 1502u);
    const std::string line = "Damaged folder file " + Store("Inbox.dbx") +
                             ": block chain loop at position " + std::to_string(blocks[1]);
    const std::string log = home_.ReportLog();
    const size_t first = log.find(line);
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(log.find(line, first + 1), std::string::npos);
}

TEST_F(ExpressBackendTest, StoreOpensThroughTheFacade) {
    samples::DbxFolderFileWriter writer;
    writer.Add(Plain("Through the facade"));
    writer.Write(Store("Inbox.DBX"));
    test::ScopedStoreBackends backends({nullptr, &backend_, nullptr});
    TFolderList folders;
    const StoreHandle handle = OpenMessageStore(Store("Inbox.DBX"), folders);
    ASSERT_GT(handle, kMaxResultCode);
    TMessage message;
    EXPECT_EQ(GetMessageHeaders(handle, *folders[0], 0, message), kResultSuccess);
    EXPECT_EQ(message.Subject, "Through the facade");
    EXPECT_EQ(GetMessageHeaders(handle, *folders[0], 1, message), kResultBadMessageIndex);
    EXPECT_EQ(CloseMessageStore(handle), kResultSuccess);
}

TEST(ExpressBackendFixtureTest, MessageOfARealFolderFileEqualsWhatUndbxExtracts) {
    const std::string fixtures = test::SharedFixturesDir();
    if (fixtures.empty()) GTEST_SKIP() << "../shared/fixtures is absent";
    const std::string path = fixtures + "/dbx/test.dbx";
    test::TempDir out;
    const auto expected = test::UndbxTexts(path, out / "undbx");
    if (!expected) GTEST_SKIP() << "undbx is not installed";

    test::TestProgramFolder home;
    ExpressStoreBackend backend;
    TFolderList folders;
    const StoreHandle handle = backend.Open(path, folders);
    ASSERT_GT(handle, kMaxResultCode);
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0]->Name, "test");
    ASSERT_EQ(folders[0]->MessageCount, static_cast<int32_t>(expected->size()));
    std::vector<std::string> saved;
    for (int32_t i = 0; i < folders[0]->MessageCount; ++i) {
        TMessageExtractionOptions save;
        save.SaveMessage = true;
        save.TargetFile = out / ("m" + std::to_string(i) + ".eml");
        TMessage message;
        ASSERT_EQ(backend.ReadMessage(handle, save, *folders[0], static_cast<uint32_t>(i), message),
                  kResultSuccess);
        saved.push_back(test::ReadFileBytes(save.TargetFile));
        ASSERT_EQ(backend.ReadMessage(handle, {}, *folders[0], static_cast<uint32_t>(i), message),
                  kResultSuccess);
        EXPECT_EQ(message.Size, static_cast<int32_t>(saved.back().size()));
    }
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(saved, *expected);
    EXPECT_EQ(backend.Close(handle), kResultSuccess);
    EXPECT_EQ(home.ReportLog().find("Damaged"), std::string::npos);
}

}  // namespace
}  // namespace mailsift
