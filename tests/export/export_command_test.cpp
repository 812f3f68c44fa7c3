#include "export/export_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/outlook_store_list.h"
#include "config/settings.h"
#include "export/history_database.h"
#include "platform/work_hooks.h"
#include "samples/dbx_store_writer.h"
#include "samples/mailbox_writer.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;

// Answers every question as told and records what was asked and opened.
class RecordingDialogs : public ExportDialogs {
  public:
    bool Confirm(std::string_view key) override {
        asked.emplace_back(key);
        return answer;
    }
    void OpenSetup(std::optional<ExtractSource> source) override {
        opened.push_back(source ? "setup " + ClientName(*source) : "setup");
        if (onSetup) onSetup();
    }
    void OpenOutlookWizard() override { opened.emplace_back("wizard"); }

    bool answer = false;
    std::function<void()> onSetup;
    std::vector<std::string> asked;
    std::vector<std::string> opened;
};

class Recorder : public ExportObserver {
  public:
    void StoreExported(const std::string& client, const std::string& storePath,
                       const ExportStoreResult& result) override {
        exported.push_back(client + " " + storePath + " " + std::to_string(result.Messages));
    }
    std::vector<std::string> exported;
};

class ExportCommandTest : public ::testing::Test {
  protected:
    ExportCommandTest() {
        ClearStopRequest();
        saved_ = Settings;
        Settings.StoragePath = home_.dir() / "storage/";
        Settings.AppendPath = false;
        Settings.ZipEmails = false;
        Settings.ExtractOptions = 0;
        Settings.ExtractFrom = {};
        Settings.OutlookExpressBaseFile.clear();
        Settings.ThunderbirdBaseFile.clear();
        Settings.EudoraBaseFile.clear();
    }
    ~ExportCommandTest() override {
        Settings = saved_;
        ClearStopRequest();
    }

    std::string WriteMailboxFolder(const std::string& name, samples::MailClient client) {
        const std::string dir = home_.dir() / name;
        fs::create_directories(dir);
        samples::MailboxWriter writer(samples::AddMailboxFolder(client, dir, "Inbox"));
        writer.Add(samples::MailboxMessage{});
        writer.Add(samples::MailboxMessage{});
        writer.Close();
        return dir;
    }

    test::TestProgramFolder home_;
    TSettings saved_;
    RecordingDialogs dialogs_;
    Recorder recorder_;
};

TEST_F(ExportCommandTest, NoClientChosenAsksAndExportsNothing) {
    dialogs_.answer = true;
    EXPECT_FALSE(ExportChosenClients(dialogs_, &recorder_));
    EXPECT_EQ(dialogs_.asked, std::vector<std::string>{"NoOneEmailClientSelected"});
    EXPECT_EQ(dialogs_.opened, std::vector<std::string>{"setup"});
    EXPECT_TRUE(recorder_.exported.empty());
    EXPECT_TRUE(ReadHistoryRows().empty());
}

TEST_F(ExportCommandTest, ClientsRunInOrderEachWithItsOwnCounter) {
    Settings.ThunderbirdBaseFile =
        WriteMailboxFolder("thunderbird", samples::MailClient::Thunderbird);
    Settings.EudoraBaseFile = WriteMailboxFolder("eudora", samples::MailClient::Eudora);
    const std::string express = home_.dir() / "express";
    fs::create_directories(express);
    samples::DbxFolderFileWriter inbox;
    samples::DbxMessage message;
    message.Text = "From: a@example.org\r\nSubject: s\r\n\r\nbody\r\n";
    message.SenderAddress = "a@example.org";
    inbox.Add(message);
    inbox.Write(express + "/Inbox.dbx");
    samples::DbxFoldersFileWriter list;
    list.Add({.Name = "Inbox",
              .FileName = "Inbox.dbx",
              .Id = 1,
              .ParentId = 0,
              .FileNameAsId06 = false});
    list.Write(express + "/Folders.dbx");
    Settings.OutlookExpressBaseFile = express + "/";
    Settings.ExtractFrom = {false, true, true, true};

    EXPECT_TRUE(ExportChosenClients(dialogs_, &recorder_));
    EXPECT_TRUE(dialogs_.asked.empty());
    EXPECT_EQ(recorder_.exported,
              (std::vector<std::string>{"OutlookExpress " + express + "/Folders.dbx 1",
                                        "Thunderbird " + Settings.ThunderbirdBaseFile + " 2",
                                        "Eudora " + Settings.EudoraBaseFile + " 2"}));
    // Newest first; the counter starts again with every client.
    const std::vector<HistoryRow> rows = ReadHistoryRows();
    ASSERT_EQ(rows.size(), 3u);
    std::vector<int64_t> counts;
    for (const HistoryRow& row : rows) counts.push_back(row.Count);
    EXPECT_EQ(counts, (std::vector<int64_t>{2, 2, 1}));
}

TEST_F(ExportCommandTest, ANotConfiguredClientIsOfferedItsSetupAndExportedAsItThenStands) {
    Settings.ExtractFrom = {false, false, true, true};
    Settings.ThunderbirdBaseFile = home_.dir() / "nowhere";
    Settings.EudoraBaseFile = home_.dir() / "nowhere either";
    const std::string configured =
        WriteMailboxFolder("thunderbird", samples::MailClient::Thunderbird);
    dialogs_.answer = true;
    // The user fixes the Thunderbird folder in the setup; Eudora stays wrong.
    dialogs_.onSetup = [&] {
        if (dialogs_.opened.size() == 1) Settings.ThunderbirdBaseFile = configured;
    };
    EXPECT_TRUE(ExportChosenClients(dialogs_, &recorder_));
    EXPECT_EQ(dialogs_.asked,
              (std::vector<std::string>{"ThunderbirdNotAdjusted", "EudoraNotAdjusted"}));
    EXPECT_EQ(dialogs_.opened, (std::vector<std::string>{"setup Thunderbird", "setup Eudora"}));
    EXPECT_EQ(recorder_.exported,
              (std::vector<std::string>{"Thunderbird " + configured + " 2",
                                        "Eudora " + Settings.EudoraBaseFile + " 0"}));
    EXPECT_EQ(ReadHistoryRows().size(), 2u);
}

TEST_F(ExportCommandTest, MSOutlookExportsTheTickedFilesWithARunningCounter) {
    Settings.ExtractFrom = {true, false, false, false};
    Settings.MSOutlookStoreInEml = true;
    const std::string first = WriteMailboxFolder("first", samples::MailClient::Thunderbird);
    const std::string second = WriteMailboxFolder("second", samples::MailClient::Thunderbird);
    SaveMSOutlookFileList(
        {{first, true, true}, {home_.dir() / "skipped", false, false}, {second, true, true}});
    EXPECT_TRUE(ExportChosenClients(dialogs_, &recorder_));
    // No MAPI library is configured here: the question comes, and the files are exported.
    EXPECT_EQ(dialogs_.asked, std::vector<std::string>{"MSOutlookNotAdjusted"});
    EXPECT_EQ(recorder_.exported, (std::vector<std::string>{"MSOutlook " + first + " 2",
                                                            "MSOutlook " + second + " 2"}));
    const std::vector<HistoryRow> rows = ReadHistoryRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Count, 4);  // the later file's row carries the running total
    EXPECT_EQ(rows[1].Count, 2);
}

TEST_F(ExportCommandTest, AStopSkipsTheRemainingClients) {
    Settings.ThunderbirdBaseFile =
        WriteMailboxFolder("thunderbird", samples::MailClient::Thunderbird);
    Settings.EudoraBaseFile = WriteMailboxFolder("eudora", samples::MailClient::Eudora);
    Settings.ExtractFrom = {false, false, true, true};
    int reports = 0;
    WorkHooks hooks;
    // The first report comes before the walk, the second after the first message.
    hooks.CounterChanged = [&reports](const std::string&) {
        if (++reports == 2) RequestStop();
    };
    const ScopedWorkHooks scoped(std::move(hooks));
    EXPECT_TRUE(ExportChosenClients(dialogs_, &recorder_));
    ASSERT_EQ(recorder_.exported.size(), 1u);
    EXPECT_EQ(recorder_.exported[0], "Thunderbird " + Settings.ThunderbirdBaseFile + " 1");
}

}  // namespace
}  // namespace mailsift
