#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/cli.h"
#include "config/settings.h"
#include "samples/mailbox_writer.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;
using samples::MailClient;
using ::testing::HasSubstr;

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

class CliAddressesTest : public ::testing::Test {
  protected:
    CliAddressesTest() {
        // A Thunderbird profile's mail: Inbox and a subfolder, each with its index file.
        const std::string root = mail_.path().string();
        samples::MailboxWriter inbox(
            samples::AddMailboxFolder(MailClient::Thunderbird, root, "Inbox"));
        samples::MailboxMessage message;
        message.To = "Bob Receiver <Bob@Example.org>, <carol@example.net>";
        inbox.Add(message);
        message.FromAddress = "dave@example.com";
        inbox.Add(message);
        inbox.Close();
        const std::string sub = samples::AddSubfolderDir(MailClient::Thunderbird, root, "Inbox");
        samples::MailboxWriter archive(
            samples::AddMailboxFolder(MailClient::Thunderbird, sub, "Old"));
        message.FromAddress = "erin@example.com";
        message.To = "<ann@example.org>";
        archive.Add(message);
        archive.Close();
    }

    static CliRun Addresses(std::vector<std::string> args) {
        args.insert(args.begin(), "addresses");
        std::ostringstream out, err;
        const int status = RunCli(args, out, err);
        return {status, out.str(), err.str()};
    }

    test::TestProgramFolder home_;
    test::TempDir mail_;
    test::TempDir out_;
};

TEST_F(CliAddressesTest, ConfiguredSourcesGoToTheAddressFile) {
    const std::string file = out_ / "Messages Store/EmailAddresses.txt";
    WriteSetting("ThunderbirdBaseFile", mail_.path().string());
    WriteSetting("ExtractFromThunderbird", "-1");
    WriteSetting("ExtractAddressesPath", file);

    const CliRun run = Addresses({});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "thunderbird\t4\t5\ntotal\t5\nend\tfinished\nwritten\t" + file + "\n");
    EXPECT_EQ(test::ReadFileBytes(file),
              "ann@example.org\r\nbob@example.org\r\ncarol@example.net\r\ndave@example.com\r\n"
              "erin@example.com\r\n");

    const CliRun bySource = Addresses({"--source", "eudora", "--per-source"});
    EXPECT_EQ(bySource.status, 1) << "the Eudora folder is not configured";
    EXPECT_EQ(bySource.out, "eudora\t0\t0\ntotal\t0\nend\tfinished\n");
    EXPECT_THAT(bySource.err, HasSubstr("eudora: the store folder is not configured"));

    WriteSetting("ExtractFromThunderbird", "0");
    EXPECT_EQ(Addresses({}).status, 2) << "no source selected";
}

TEST_F(CliAddressesTest, GivenStoresPerSourceFiles) {
    const std::string inbox = (mail_.path() / "Inbox").string();
    const std::string express = out_ / "Inbox.dbx";
    test::WriteFileBytes(express, "junk <Zed@Example.org> junk");
    const std::string target = out_ / "lists";

    const CliRun run = Addresses({inbox, express, "--out", target, "--per-source"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "outlookexpress\t1\t1\nthunderbird\t1\t4\ntotal\t5\nend\tfinished\n"
              "written\t" +
                  target +
                  "/outlookexpressddresses.txt\n"
                  "written\t" +
                  target + "/thunderbirdddresses.txt\n");
    EXPECT_EQ(test::ReadFileBytes(target + "/outlookexpressddresses.txt"), "zed@example.org\r\n");

    const CliRun eudora = Addresses({"--source", "eudora", mail_.path().string(), "--out", target});
    EXPECT_EQ(eudora.status, 0) << eudora.err;
    EXPECT_THAT(eudora.out, HasSubstr("eudora\t4\t5\n"));
    EXPECT_TRUE(fs::exists(target + "/addresses.txt"));

    const CliRun empty = Addresses({out_ / "Empty.dbx", "--out", target});
    EXPECT_EQ(empty.status, 1) << "a store that does not exist";
    EXPECT_THAT(empty.err, HasSubstr("cannot find"));
    test::WriteFileBytes(out_ / "Empty.dbx", "");
    const CliRun emptyFolder = Addresses({out_ / "Empty.dbx", inbox, "--out", target});
    EXPECT_EQ(emptyFolder.status, 0);
    EXPECT_THAT(emptyFolder.out, HasSubstr("end\tfinished\n"));
}

TEST_F(CliAddressesTest, Mistakes) {
    EXPECT_EQ(Addresses({"--source", "pine"}).status, 2);
    EXPECT_EQ(Addresses({"--source", "file"}).status, 2);
    EXPECT_EQ(Addresses({"--source"}).status, 2);
    EXPECT_EQ(Addresses({"--frobnicate"}).status, 2);
    EXPECT_EQ(Addresses({mail_.path().string(), "--out", ""}).status, 2) << "not the root folder";
    // MS Outlook without stores ends the run before the sources after it: not a success.
    const CliRun noStores =
        Addresses({"--source", "outlook", "--source", "thunderbird", "--out", out_ / "x"});
    EXPECT_EQ(noStores.status, 1);
    EXPECT_THAT(noStores.out, HasSubstr("end\tno-outlook-stores\n"));
    const CliRun twoSources = Addresses({"--source", "eudora", "--source", "thunderbird", "x"});
    EXPECT_EQ(twoSources.status, 2);
    EXPECT_THAT(twoSources.err, HasSubstr("usage: mailsift-cli addresses"));
}

}  // namespace
}  // namespace mailsift
