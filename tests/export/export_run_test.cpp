#include "export/export_run.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <zip.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "config/settings.h"
#include "export/history_database.h"
#include "platform/date_time.h"
#include "platform/work_hooks.h"
#include "samples/mailbox_writer.h"
#include "support/fake_store_backend.h"
#include "support/file_helpers.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;
using samples::MailboxAttachment;
using samples::MailboxMessage;
using samples::MailboxWriter;
using samples::MailClient;

// Every regular file below root, as paths relative to it.
std::set<std::string> FilesBelow(const std::string& root) {
    std::set<std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator entry(root, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->is_regular_file()) files.insert(fs::relative(entry->path(), root).string());
    }
    return files;
}

std::time_t ModificationTime(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return status.st_mtime;
}

class ExportRunTest : public ::testing::Test {
  protected:
    ExportRunTest() {
        ClearStopRequest();
        storage_ = home_.dir() / "storage/";
        profile_ = home_.dir() / "profile";
        fs::create_directories(profile_);
    }
    ~ExportRunTest() override { ClearStopRequest(); }

    // A Thunderbird mailbox named name in the profile holding the messages.
    void WriteMailbox(const std::string& name, const std::vector<MailboxMessage>& messages,
                      const std::string& dir = "") {
        MailboxWriter writer(
            samples::AddMailboxFolder(MailClient::Thunderbird, dir.empty() ? profile_ : dir, name));
        for (const MailboxMessage& message : messages) writer.Add(message);
        writer.Close();
    }

    ExportOptions Options(int form, bool appendPath = false, bool zip = false) const {
        return {.StoragePath = storage_,
                .AppendPath = appendPath,
                .ZipEmails = zip,
                .ExtractOptions = form};
    }

    ExportStoreResult Export(ExportRun& run, const std::string& store, const char* client) {
        return run.ExtractAllMessages(store, client, true);
    }

    static MailboxMessage Message(const std::string& fromName, const std::string& subject,
                                  std::vector<MailboxAttachment> attachments = {}) {
        MailboxMessage message;
        message.FromName = fromName;
        message.Subject = subject;
        message.Attachments = std::move(attachments);
        return message;
    }

    test::TestProgramFolder home_;
    std::string storage_;
    std::string profile_;
};

TEST_F(ExportRunTest, MessageFilesGoIntoTheFolderLayoutWithTheirDates) {
    MailboxMessage anonymous = Message("", "No name");
    anonymous.FromAddress = "anon@example.org";
    anonymous.Date = "Tue, 02 Mar 2004 08:09:10 +0000";
    WriteMailbox("Inbox", {Message("Ann Sender", "One"), anonymous});
    const std::string sub = samples::AddSubfolderDir(MailClient::Thunderbird, profile_, "Inbox");
    WriteMailbox("Projects", {Message("Carl/Smith", "Two")}, sub);

    ExportRun dated(Options(0, true));
    const ExportStoreResult result = Export(dated, profile_, "Thunderbird");
    const std::string today = FormatDate(NowDateTime());
    EXPECT_EQ(FilesBelow(storage_),
              (std::set<std::string>{today + "/MailBox/Inbox/1 Ann Sender.eml",
                                     today + "/MailBox/Inbox/2 anon@example.org.eml",
                                     today + "/MailBox/Inbox.sbd/Projects/1 Carl_Smith.eml"}));
    EXPECT_EQ(result.Messages, 3);
    EXPECT_EQ(result.Files, 3);
    EXPECT_EQ(dated.Counter(), 3);
    EXPECT_FALSE(result.Stopped);
    const std::string second = storage_ + today + "/MailBox/Inbox/2 anon@example.org.eml";
    EXPECT_EQ(ModificationTime(second), 1078214950);  // the message's date, 08:09:10 UTC
    EXPECT_EQ(result.Bytes,
              static_cast<int64_t>(fs::file_size(second)) +
                  static_cast<int64_t>(
                      fs::file_size(storage_ + today + "/MailBox/Inbox/1 Ann Sender.eml")) +
                  static_cast<int64_t>(fs::file_size(
                      storage_ + today + "/MailBox/Inbox.sbd/Projects/1 Carl_Smith.eml")));
    EXPECT_EQ(
        test::ReadFileBytes(storage_ + today + "/MailBox/Inbox/1 Ann Sender.eml").substr(0, 5),
        "From ");

    fs::remove_all(storage_);
    ExportRun undated(Options(0, false));
    Export(undated, profile_, "Thunderbird");
    EXPECT_TRUE(fs::exists(storage_ + "MailBox/Inbox/1 Ann Sender.eml"));
    EXPECT_TRUE(fs::exists(storage_ + "MailBox/Inbox.sbd/Projects/1 Carl_Smith.eml"));
}

TEST_F(ExportRunTest, SummariesAreNamedByTheRunningCounterAcrossStores) {
    WriteMailbox("Inbox", {Message("Ann Sender", "One"), Message("", "Two")});
    const std::string other = home_.dir() / "other";
    fs::create_directories(other);
    WriteMailbox("Inbox", {Message("Dora", "Three")}, other);

    ExportRun text(Options(1));
    Export(text, profile_, "Thunderbird");
    Export(text, other, "Thunderbird");
    EXPECT_EQ(FilesBelow(storage_),
              (std::set<std::string>{"MailBox/Inbox/1 Ann Sender.txt", "MailBox/Inbox/2 .txt",
                                     "MailBox/Inbox/3 Dora.txt"}));
    EXPECT_NE(test::ReadFileBytes(storage_ + "MailBox/Inbox/3 Dora.txt").find("Three"),
              std::string::npos);

    fs::remove_all(storage_);
    ExportRun html(Options(2));
    Export(html, profile_, "Thunderbird");
    EXPECT_EQ(FilesBelow(storage_),
              (std::set<std::string>{"MailBox/Inbox/1 Ann Sender.htm", "MailBox/Inbox/2 .htm"}));
}

TEST_F(ExportRunTest, MessageFilesOfTwoStoresInOneRunDoNotReplaceEachOther) {
    WriteMailbox("Inbox", {Message("Ann Sender", "First store")});
    const std::string other = home_.dir() / "other";
    fs::create_directories(other);
    WriteMailbox("Inbox", {Message("Ann Sender", "Second store")}, other);

    ExportRun run(Options(0));
    Export(run, profile_, "Thunderbird");
    Export(run, other, "Thunderbird");
    EXPECT_EQ(FilesBelow(storage_), (std::set<std::string>{"MailBox/Inbox/1 Ann Sender.eml",
                                                           "MailBox/Inbox/1 Ann Sender (2).eml"}));

    // A later run does not replace what an earlier one wrote (or the user put there) either:
    // it only knows the names it wrote itself, and the file system tells it every other.
    test::WriteFileBytes(storage_ + "MailBox/Inbox/1 Ann Sender (3).eml", "the user's");
    ExportRun again(Options(0));
    Export(again, other, "Thunderbird");
    EXPECT_EQ(FilesBelow(storage_).size(), 4u);
    EXPECT_NE(test::ReadFileBytes(storage_ + "MailBox/Inbox/1 Ann Sender.eml").find("First store"),
              std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(storage_ + "MailBox/Inbox/1 Ann Sender (3).eml"), "the user's");
    EXPECT_NE(
        test::ReadFileBytes(storage_ + "MailBox/Inbox/1 Ann Sender (4).eml").find("Second store"),
        std::string::npos);
}

TEST_F(ExportRunTest, NamesThatTheFileSystemRefusesStillGetTheirMessagesOut) {
    // The first message's name just fits; the second store's, with " (2)" added, would not.
    const std::string sender(249, 's');  // "1 " + 249 + ".eml" is 255 bytes
    WriteMailbox("Inbox", {Message(sender, "First store")});
    const std::string other = home_.dir() / "other";
    fs::create_directories(other);
    WriteMailbox("Inbox", {Message(sender, "Second store")}, other);
    ExportRun run(Options(0));
    Export(run, profile_, "Thunderbird");
    const ExportStoreResult second = Export(run, other, "Thunderbird");
    EXPECT_EQ(second.WriteFailures, 0);
    EXPECT_EQ(FilesBelow(storage_), (std::set<std::string>{"MailBox/Inbox/1 " + sender + ".eml",
                                                           "MailBox/Inbox/NoName 1.eml"}));

    // A folder name longer than the file system allows: its messages go to a stand-in folder.
    test::FakeStoreBackend fake("mailbox");
    const test::ScopedStoreBackends backends({nullptr, nullptr, &fake});
    fake.AddFolder("MailBox/" + std::string(300, 'f'), 1);
    TMessage message;
    message.FromName = "Ann";
    message.Body = "text";
    fake.UseMessage(message);
    ExportRun summaries(Options(1));
    const ExportStoreResult result = Export(summaries, home_.dir().path().string(), "Thunderbird");
    EXPECT_EQ(result.Files, 1);
    EXPECT_TRUE(fs::exists(storage_ + "NoName folder 1/1 Ann.txt"));
}

TEST_F(ExportRunTest, AttachmentsOnlyCountsEveryAttachment) {
    WriteMailbox("Inbox",
                 {Message("Ann", "Plain"),
                  Message("Bob", "Two files", {{"a.txt", "first attachment"}, {"b.txt", "second"}}),
                  Message("Carl", "After")});
    ExportRun run(Options(3));
    const ExportStoreResult result = Export(run, profile_, "Thunderbird");
    // The plain message counts once (1), the next twice more for its attachments (2: a.txt at
    // 2, b.txt at 3, then 4), the last once (5).
    EXPECT_EQ(run.Counter(), 5);
    EXPECT_EQ(FilesBelow(storage_),
              (std::set<std::string>{"MailBox/Inbox/2 a.txt", "MailBox/Inbox/3 b.txt"}));
    EXPECT_EQ(test::ReadFileBytes(storage_ + "MailBox/Inbox/2 a.txt"), "first attachment");
    EXPECT_EQ(result.Files, 2);
    const std::vector<HistoryRow> rows = ReadHistoryRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].OnlyAttach);
    EXPECT_EQ(rows[0].Count, 5);
}

TEST_F(ExportRunTest, AttachmentsOnlySavesTheMessagesOfADigestAsMessageFiles) {
    MailboxWriter writer(samples::AddMailboxFolder(MailClient::Thunderbird, profile_, "Lists"));
    writer.AddRaw(
        "From list@example.org Mon Jan  1 10:00:00 2024\n"
        "From: list@example.org\nSubject: Digest 12\nMIME-Version: 1.0\n"
        "Content-Type: multipart/digest; boundary=d\n\n"
        "--d\n\nFrom: a@example.org\nSubject: first\n\nfirst body\n"
        "--d\n\nFrom: b@example.org\nSubject: second\n\nsecond body\n"
        "--d--\n\n");
    writer.Close();
    ExportRun run(Options(3));
    Export(run, profile_, "Thunderbird");
    EXPECT_EQ(FilesBelow(storage_), (std::set<std::string>{"MailBox/Lists/1 message.eml",
                                                           "MailBox/Lists/2 message.eml"}));
    EXPECT_EQ(test::ReadFileBytes(storage_ + "MailBox/Lists/2 message.eml"),
              "From: b@example.org\r\nSubject: second\r\n\r\nsecond body");
}

TEST_F(ExportRunTest, StopDuringTheSecondFolderEndsAfterTheCurrentMessageAndIsRecorded) {
    WriteMailbox("Inbox", {Message("A", "1"), Message("B", "2")});
    WriteMailbox("Sent", {Message("C", "3"), Message("D", "4"), Message("E", "5")});
    int counted = 0;
    WorkHooks hooks;
    hooks.CounterChanged = [&counted](const std::string&) {
        // The first report is the counter before the walk; the fourth follows message 3.
        if (++counted == 4) RequestStop();
    };
    const ScopedWorkHooks scoped(std::move(hooks));
    ExportRun run(Options(0));
    const ExportStoreResult result = Export(run, profile_, "Thunderbird");
    EXPECT_TRUE(result.Stopped);
    EXPECT_EQ(result.Messages, 3);
    EXPECT_EQ(FilesBelow(storage_),
              (std::set<std::string>{"MailBox/Inbox/1 A.eml", "MailBox/Inbox/2 B.eml",
                                     "MailBox/Sent/1 C.eml"}));
    const std::vector<HistoryRow> rows = ReadHistoryRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Count, 3);
    EXPECT_EQ(rows[0].OutlookClient, "Thunderbird");
    EXPECT_EQ(rows[0].RootFolder, storage_);
    EXPECT_GT(rows[0].TotalSize, 0);
}

TEST_F(ExportRunTest, ZippedRunLeavesOnlyTheArchiveAndEmptyFolders) {
    WriteMailbox("Inbox", {Message("Ann", "One"), Message("Bob", "Two")});
    ExportRun run(Options(0, false, true));
    const ExportStoreResult result = Export(run, profile_, "Thunderbird");
    const std::string archive = ExportArchivePath(storage_, "Thunderbird");
    EXPECT_EQ(result.Archive, archive);
    EXPECT_EQ(archive, storage_ + "Thunderbird " + FormatDate(NowDateTime()) + ".zip");
    EXPECT_EQ(FilesBelow(storage_), (std::set<std::string>{fs::path(archive).filename().string()}));
    EXPECT_TRUE(fs::is_directory(storage_ + "MailBox/Inbox"));

    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, &error);
    ASSERT_NE(zip, nullptr);
    std::set<std::string> entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        entries.insert(zip_get_name(zip, static_cast<zip_uint64_t>(i), 0));
    }
    zip_close(zip);
    const std::string inbox = (storage_ + "MailBox/Inbox/").substr(1);
    EXPECT_EQ(entries, (std::set<std::string>{inbox + "1 Ann.eml", inbox + "2 Bob.eml"}));
    ASSERT_EQ(ReadHistoryRows().size(), 1u);
    EXPECT_TRUE(ReadHistoryRows()[0].Zip);
}

TEST_F(ExportRunTest, FailedPackingKeepsTheFilesAndSaysWhy) {
    WriteMailbox("Inbox", {Message("Ann", "One")});
    // A folder where the archive should go: it cannot be written.
    fs::create_directories(ExportArchivePath(storage_, "Thunderbird") + "/taken");
    ExportRun run(Options(0, false, true));
    const ExportStoreResult result = Export(run, profile_, "Thunderbird");
    EXPECT_TRUE(result.Archive.empty());
    EXPECT_FALSE(result.PackFailure.empty());
    EXPECT_TRUE(fs::exists(storage_ + "MailBox/Inbox/1 Ann.eml"));
    EXPECT_NE(home_.ReportLog().find("Cannot pack"), std::string::npos);
    ASSERT_EQ(ReadHistoryRows().size(), 1u);
    EXPECT_FALSE(ReadHistoryRows()[0].Zip) << "the files were left loose";
}

TEST_F(ExportRunTest, AMessageThatCannotBeWrittenDoesNotEndTheRun) {
    // The first message does not fit below the file size limit, as on a disk that fills up.
    MailboxMessage large = Message("Ann", "One");
    large.Body.assign(4000, std::string(70, 'x'));
    WriteMailbox("Inbox", {large, Message("Bob", "Two")});
    // A name that is taken, even by a folder, sends its message beside it.
    fs::create_directories(storage_ + "MailBox/Inbox/2 Bob.eml/inside");
    ExportStoreResult result;
    {
        struct rlimit before {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limited = {128 * 1024, before.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        ExportRun run(Options(0));
        result = Export(run, profile_, "Thunderbird");
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, previous);
    }
    EXPECT_EQ(result.Messages, 2);
    EXPECT_EQ(result.WriteFailures, 1);
    EXPECT_EQ(result.Files, 1);
    // What could not be written whole is not left behind to be taken for the message.
    EXPECT_FALSE(fs::exists(storage_ + "MailBox/Inbox/1 Ann.eml"));
    EXPECT_NE(test::ReadFileBytes(storage_ + "MailBox/Inbox/2 Bob (2).eml").find("Subject: Two"),
              std::string::npos);
}

TEST_F(ExportRunTest, AStoreThatCannotBeOpenedIsStillRecorded) {
    ExportRun run(Options(0));
    const ExportStoreResult result = Export(run, home_.dir() / "missing", "Eudora");
    EXPECT_FALSE(result.Opened());
    EXPECT_EQ(result.OpenResult, static_cast<StoreHandle>(kResultNoSuchPath));
    EXPECT_FALSE(result.Failed);
    const std::vector<HistoryRow> rows = ReadHistoryRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].OutlookClient, "Eudora");
    EXPECT_EQ(rows[0].Count, 0);
    EXPECT_EQ(rows[0].TotalSize, 0);
    EXPECT_FALSE(fs::exists(storage_));
}

}  // namespace
}  // namespace mailsift
