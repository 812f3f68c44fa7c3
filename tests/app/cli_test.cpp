#include "app/cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "config/folders.h"
#include "platform/date_time.h"
#include "samples/dbx_store_writer.h"
#include "samples/mailbox_writer.h"
#include "support/fake_store_backend.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun RunCommand(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

class CliTest : public ::testing::Test {
  protected:
    std::string MainIni() const { return test::ReadFileBytes(ConfigFolder() + "main.ini"); }

    test::TestProgramFolder home_;
};

TEST_F(CliTest, HelpVersionAndMistakes) {
    const CliRun help = RunCommand({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: mailsift-cli"), std::string::npos);
    EXPECT_NE(help.out.find("list STORE"), std::string::npos);

    const CliRun version = RunCommand({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("mailsift-cli ") + MAILSIFT_VERSION + "\n");

    EXPECT_EQ(RunCommand({}).status, 2);
    const CliRun unknown = RunCommand({"frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("frobnicate"), std::string::npos);
    EXPECT_EQ(RunCommand({"config", "get"}).status, 2);
    EXPECT_EQ(RunCommand({"list"}).status, 2);
}

TEST_F(CliTest, ConfigGetAndSetWorkOnMainIni) {
    const CliRun missing = RunCommand({"config", "get", "StoragePath"});
    EXPECT_EQ(missing.status, 0);
    EXPECT_EQ(missing.out, "%StoragePath\n");
    EXPECT_NE(MainIni().find("StoragePath\t\r\n"), std::string::npos)
        << "reading a missing key appends it";

    EXPECT_EQ(RunCommand({"config", "set", "StoragePath", "/srv/mail out/"}).status, 0);
    EXPECT_EQ(RunCommand({"config", "get", "storagepath"}).out, "/srv/mail out/\n");
    EXPECT_NE(MainIni().find("StoragePath\t/srv/mail out/\r\n"), std::string::npos);

    const std::string before = MainIni();
    for (const char* key : {"StoragePath x", "A=B", "a:b", "", "two\nlines"}) {
        EXPECT_EQ(RunCommand({"config", "set", key, "v"}).status, 2) << key;
        EXPECT_EQ(RunCommand({"config", "get", key}).status, 2) << key;
    }
    EXPECT_EQ(MainIni(), before) << "refused keys leave main.ini alone";
}

TEST_F(CliTest, ConfigListsEverySettingAsStored) {
    RunCommand({"config", "set", "ZipEmails", "True"});
    RunCommand({"config", "set", "ExtractOptions", "2"});
    RunCommand({"config", "set", "UpdatePageAddress", "https://mail.example/check?v=1.0"});
    const CliRun run = RunCommand({"config"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("ZipEmails\t-1\n"), std::string::npos);
    EXPECT_NE(run.out.find("AppendPath\t-1\n"), std::string::npos);
    EXPECT_NE(run.out.find("ExtractOptions\t2\n"), std::string::npos);
    EXPECT_NE(run.out.find("LanguageNames0\tEnglish\n"), std::string::npos);
    EXPECT_NE(run.out.find("StoragePath\t"), std::string::npos);
    EXPECT_NE(run.out.find("UpdatePageAddress\thttps://mail.example/check?v=1.0\n"),
              std::string::npos);
    EXPECT_NE(run.out.find("UpdateTextAddress\t\n"), std::string::npos);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 22);

    RunCommand({"config", "set", "SelectedLanguage", "seven"});
    const CliRun broken = RunCommand({"config"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("'seven' is not a valid integer value"), std::string::npos);
    EXPECT_NE(broken.out.find("StoragePath\t"), std::string::npos);
}

TEST_F(CliTest, ListPrintsResultAndFolders) {
    test::FakeStoreBackend mailbox("mailbox");
    mailbox.AddFolder("Local Folders", 3);
    mailbox.AddFolder("Local Folders/Archive", 0);
    test::ScopedStoreBackends backends({nullptr, nullptr, &mailbox});

    const CliRun run = RunCommand({"list", home_.dir().path().string()});
    EXPECT_EQ(run.status, 0) << run.err;
    const size_t firstEnd = run.out.find('\n');
    ASSERT_EQ(run.out.rfind("result\t", 0), 0u) << run.out;
    EXPECT_GT(std::stoul(run.out.substr(7, firstEnd - 7)), 3840u);
    EXPECT_EQ(run.out.substr(firstEnd + 1),
              "1\t0\t3\t0\tLocal Folders\n"
              "2\t0\t0\t0\tLocal Folders/Archive\n");
    EXPECT_EQ(mailbox.handle(), 0u) << "the store is closed again";

    const CliRun missing = RunCommand({"list", home_.dir() / "nowhere"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "result\t2\n");
    test::WriteFileBytes(home_.dir() / "notes.txt", "text");
    const CliRun noStore = RunCommand({"list", home_.dir() / "notes.txt"});
    EXPECT_EQ(noStore.status, 1);
    EXPECT_EQ(noStore.out, "result\t1\n");
}

TEST_F(CliTest, ListAndHeadersReadMailboxFolders) {
    test::TempDir mail;
    samples::MailboxWriter inbox(
        samples::AddMailboxFolder(samples::MailClient::Thunderbird, mail.path().string(), "Inbox"));
    samples::MailboxMessage first;
    first.Subject = "Tab\there";
    inbox.Add(first);
    samples::MailboxMessage second;
    second.FromName = "Carl";
    second.Attachments = {{"a.txt", "content"}};
    inbox.Add(second);
    inbox.Close();

    const CliRun list = RunCommand({"list", mail.path().string()});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("\n1\t0\t2\t" + std::to_string(inbox.Size()) + "\tMailBox//Inbox\n"),
              std::string::npos)
        << list.out;

    const CliRun headers = RunCommand({"headers", mail.path().string()});
    EXPECT_EQ(headers.status, 0) << headers.err;
    const TDateTime date = DateTimeFromUnixTime(1704103200);  // the writer's Date header
    const std::string received = FormatDate(date) + " " + FormatShortTime(date);
    const std::vector<int64_t>& starts = inbox.MessageStarts();
    EXPECT_EQ(headers.out, "MailBox//Inbox\t0\tAnn Sender\tann@example.org\tTab here\t" + received +
                               "\t" + std::to_string(starts[1] - starts[0]) +
                               "\t0\n"
                               "MailBox//Inbox\t1\tCarl\tann@example.org\tHello\t" +
                               received + "\t" + std::to_string(inbox.Size() - starts[1]) +
                               "\t0\n");

    const CliRun missing = RunCommand({"headers", mail / "nowhere"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
}

TEST_F(CliTest, ListAndHeadersReadOutlookExpressStores) {
    test::TempDir store;
    samples::DbxFoldersFileWriter folders;
    folders.Add({.Name = "Inbox  ", .FileName = "Inbox.dbx", .Id = 2, .ParentId = 1});
    folders.Add({.Name = "Work", .FileName = "Work.dbx", .Id = 3, .ParentId = 2});
    folders.Write(store / "folders.dbx");
    samples::DbxFolderFileWriter inbox;
    samples::DbxMessage message;
    message.Text = "Subject: Hi\r\n\r\nText\r\n";
    message.Subject = "Hi";
    message.SenderName = "Ann";
    message.SenderAddress = "ann@example.org";
    message.ReceivedTime = 133485768000000000;  // 2024-01-01 10:00:00 UTC
    message.Flags = 0x4000;
    inbox.Add(message);
    inbox.Write(store / "Inbox.dbx");
    samples::DbxFolderFileWriter().Write(store / "Work.dbx");

    const CliRun list = RunCommand({"list", store / "folders.dbx"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("\n2\t1\t1\t"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\tInbox\n3\t2\t0\t"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\tInbox/Work\n"), std::string::npos) << list.out;

    const TDateTime received = DateTimeFromUnixTime(1704103200);
    const std::string fields = "\t0\tAnn\tann@example.org\tHi\t" + FormatDate(received) + " " +
                               FormatShortTime(received) + "\t" +
                               std::to_string(message.Text.size()) + "\t1\n";
    const CliRun headers = RunCommand({"headers", store / "folders.dbx"});
    EXPECT_EQ(headers.status, 0) << headers.err;
    EXPECT_EQ(headers.out, "Inbox" + fields);

    const CliRun loose = RunCommand({"headers", store / "Inbox.dbx"});
    EXPECT_EQ(loose.status, 0) << loose.err;
    EXPECT_EQ(loose.out, "Inbox" + fields);
}

}  // namespace
}  // namespace mailsift
