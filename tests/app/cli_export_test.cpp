#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/cli.h"
#include "config/settings.h"
#include "export/history_database.h"
#include "platform/date_time.h"
#include "samples/mailbox_writer.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;

struct ExportCliRun {
    int status;
    std::string out;
    std::string err;
};

class CliExportTest : public ::testing::Test {
  protected:
    CliExportTest() : saved_(Settings) {
        profile_ = home_.dir() / "profile";
        fs::create_directories(profile_);
        samples::MailboxWriter writer(
            samples::AddMailboxFolder(samples::MailClient::Thunderbird, profile_, "Inbox"));
        writer.Add(samples::MailboxMessage{});
        samples::MailboxMessage second;
        second.FromName = "Bob";
        writer.Add(second);
        writer.Close();
        storage_ = home_.dir() / "out";
    }
    ~CliExportTest() override { Settings = saved_; }

    static ExportCliRun Run(std::vector<std::string> args) {
        std::ostringstream out, err;
        const int status = RunCli(args, out, err);
        return {status, out.str(), err.str()};
    }

    test::TestProgramFolder home_;
    TSettings saved_;
    std::string profile_;
    std::string storage_;
};

TEST_F(CliExportTest, ExportWritesTheChosenFormAndSummarises) {
    const ExportCliRun run = Run({"export", profile_, "--to", storage_, "--format", "txt",
                                  "--no-date-folder", "--client", "eudora"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(storage_ + "/MailBox/Inbox/1 Ann Sender.txt"));
    EXPECT_TRUE(fs::exists(storage_ + "/MailBox/Inbox/2 Bob.txt"));
    EXPECT_NE(run.out.find("Eudora\t" + profile_ + ": 2 messages, 2 files, "), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Total: 2 messages, 2 files, "), std::string::npos);
    const std::vector<HistoryRow> rows = ReadHistoryRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].OutlookClient, "Eudora");
    EXPECT_EQ(rows[0].RootFolder, storage_ + "/");
}

TEST_F(CliExportTest, ZipAndDateFolderOptionsAndTheClientFromTheStore) {
    const ExportCliRun run =
        Run({"export", profile_, "--to", storage_, "--format", "eml", "--zip", "--date-folder"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("packed into " + storage_ + "/Thunderbird "), std::string::npos)
        << run.out;
    ASSERT_EQ(ReadHistoryRows().size(), 1u);
    EXPECT_TRUE(ReadHistoryRows()[0].Zip);
    EXPECT_EQ(ReadHistoryRows()[0].OutlookClient, "Thunderbird");

    // A folder where the archive should go: the files stay loose, and the command says so.
    const std::string other = home_.dir() / "other";
    fs::create_directories(other + "/Thunderbird " + FormatDate(NowDateTime()) + ".zip/taken");
    const ExportCliRun unpacked = Run({"export", profile_, "--to", other, "--zip"});
    EXPECT_EQ(unpacked.status, 1);
    EXPECT_NE(unpacked.out.find(", not packed: "), std::string::npos) << unpacked.out;
}

TEST_F(CliExportTest, MistakesAreRefusedBeforeAnythingIsWritten) {
    const ExportCliRun msg = Run({"export", profile_, "--to", storage_, "--format", "msg"});
    EXPECT_EQ(msg.status, 2);
    EXPECT_NE(msg.err.find("personal folder files"), std::string::npos);
    EXPECT_EQ(Run({"export", profile_, "--format", "pdf"}).status, 2);
    EXPECT_EQ(Run({"export", profile_, "--client", "Mutt"}).status, 2);
    EXPECT_EQ(Run({"export", profile_, "--to"}).status, 2);
    EXPECT_EQ(Run({"export", "--zip"}).status, 2);
    EXPECT_EQ(Run({"export", profile_, "--frobnicate"}).status, 2);
    EXPECT_FALSE(fs::exists(storage_));
    EXPECT_TRUE(ReadHistoryRows().empty());
}

TEST_F(CliExportTest, AStoreThatCannotBeOpenedFailsTheCommandButIsRecorded) {
    const ExportCliRun run = Run({"export", home_.dir() / "missing", profile_, "--to", storage_});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot open " + (home_.dir() / "missing")), std::string::npos);
    EXPECT_EQ(ReadHistoryRows().size(), 2u);
    EXPECT_NE(run.out.find("Total: 2 messages"), std::string::npos);
}

TEST_F(CliExportTest, ExtractRunsTheConfiguredClientsAndAnswersQuestionsNo) {
    const ExportCliRun none = Run({"extract"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("(answered No)"), std::string::npos);

    ASSERT_EQ(Run({"config", "set", "ExtractFromThunderBird", "True"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "ExtractFromEudora", "True"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "ThunderbirdBaseFile", profile_}).status, 0);
    ASSERT_EQ(Run({"config", "set", "EudoraBaseFile", home_.dir() / "no eudora"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "StoragePath", storage_}).status, 0);
    const ExportCliRun run = Run({"extract"});
    EXPECT_EQ(run.status, 1);  // Eudora's folder does not exist
    EXPECT_NE(run.err.find("Eudora folder is not set up"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("Thunderbird\t" + profile_ + ": 2 messages"), std::string::npos);
    EXPECT_EQ(ReadHistoryRows().size(), 2u);
}

}  // namespace
}  // namespace mailsift
