#include "stores/mailbox_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/work_hooks.h"
#include "samples/mailbox_writer.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

using samples::LineEnd;
using samples::MailboxMessage;
using samples::MailboxWriter;
using samples::MailClient;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class MailboxScanTest : public ::testing::Test {
  protected:
    // Writes count messages to path and returns their offsets.
    static TMessageOffset WriteMailbox(const std::string& path, int count,
                                       LineEnd lineEnd = LineEnd::Lf) {
        MailboxWriter writer(path, lineEnd);
        for (int i = 0; i < count; ++i) {
            MailboxMessage message;
            message.Subject = "Message " + std::to_string(i);
            message.Body = {"Line one of " + message.Subject, "", "Line three"};
            writer.Add(message);
        }
        writer.Close();
        return writer.MessageStarts();
    }

    static TMessageOffset Count(const std::string& path) {
        TMessageOffset offsets;
        const int32_t count = CountMailboxMessages(path, offsets);
        EXPECT_EQ(count, static_cast<int32_t>(offsets.size()));
        return offsets;
    }

    test::TestProgramFolder home_;
    test::TempDir dir_;
};

TEST_F(MailboxScanTest, SeparatorLines) {
    for (const char* line :
         {"From a b 1:2:3", "From ann@example.org Mon Jan  1 10:00:00 2024", "From  1:2:3",
          "From x@y Wed Feb  9 22:02 MET 2000", "From x@y Sat Apr  1 9:05 2000", "From a b:c d:e",
          "From a 10:04:17\r"}) {
        EXPECT_TRUE(IsSeparatorLine(line)) << line;
    }
    for (const char* line :
         {"", "From", "From ", "from a b 1:2:3", ">From a b 1:2:3", " From a b 1:2:3",
          "From here on, nothing", "From a:b:c d", "From the list: details", "From a 22:2 x",
          "From a 222:02", "From a 22:02x 2000", "From a b:12", "Fro"}) {
        EXPECT_FALSE(IsSeparatorLine(line)) << line;
    }
}

TEST_F(MailboxScanTest, OffsetsAreTrueByteOffsetsWhateverTheLineEnds) {
    for (LineEnd lineEnd : {LineEnd::Lf, LineEnd::CrLf}) {
        const std::string path = dir_ / "Inbox";
        const TMessageOffset written = WriteMailbox(path, 5, lineEnd);
        EXPECT_EQ(Count(path), written);
    }
    const std::string mixed = dir_ / "Mixed";
    test::WriteFileBytes(mixed,
                         "From a b 1:2:3\nX: 1\r\n\nFrom a b 1:2:3\r\nX: 2\n\r\nFrom c d 4:5:6\n"
                         "X: 3\n\n");
    EXPECT_THAT(Count(mixed), ElementsAre(0, 22, 45));
}

TEST_F(MailboxScanTest, BodyLinesBeginningWithFrom) {
    const std::string path = dir_ / "Inbox";
    MailboxWriter writer(path);
    MailboxMessage quoted;
    quoted.Body = {"From a word 1:2:3", "From here on, we meet at noon."};
    writer.Add(quoted);
    MailboxMessage unquoted;
    unquoted.QuoteFromLines = false;
    unquoted.Body = {"From here on, we meet at noon.", "text", "From a word 1:2:3", "tail"};
    writer.Add(unquoted);
    writer.Close();
    ASSERT_EQ(writer.UnquotedFromLines().size(), 2u);
    EXPECT_THAT(Count(path), ElementsAre(writer.MessageStarts()[0], writer.MessageStarts()[1],
                                         writer.UnquotedFromLines()[1]));
}

TEST_F(MailboxScanTest, LinesThatAreNeverTested) {
    struct Case {
        const char* text;
        std::vector<int64_t> offsets;
    };
    const Case cases[] = {
        // The line after a separator belongs to its message.
        {"From a b 1:2:3\nFrom c d 4:5:6\nX: 1\n\nFrom e f 7:8:9\nX: 2\n", {0, 36}},
        // The last line, with or without its line end.
        {"From a b 1:2:3\nX: 1\n\nFrom c d 4:5:6\n", {0}},
        {"From a b 1:2:3\nX: 1\n\nFrom c d 4:5:6", {0}},
        {"From a b 1:2:3\n", {}},
        // A first line that is no separator: not a mailbox, whatever follows.
        {"X-Mozilla: 1\nFrom a b 1:2:3\nX: 1\nFrom c d 4:5:6\nX: 2\n", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string path = dir_ / "Box";
        test::WriteFileBytes(path, c.text);
        EXPECT_EQ(Count(path), c.offsets);
    }
    EXPECT_TRUE(Count(dir_.path().string()).empty());
    EXPECT_TRUE(Count(dir_ / "missing").empty());
}

TEST_F(MailboxScanTest, LinesLongerThanTheReadBuffer) {
    const std::string huge(3 << 20, 'x');
    const std::string path = dir_ / "Long";
    test::WriteFileBytes(path, "From a " + huge + " 1:2:3\nX: 1\nFrom " + huge +
                                   "\nX: 2\n\nFrom b " + huge + " 22:02\nX: 3\n\n");
    EXPECT_THAT(Count(path), ElementsAre(0, static_cast<int64_t>(2 * huge.size() + 31)));

    test::WriteFileBytes(path, "X" + huge + "\nFrom a b 1:2:3\nX\nY\n");
    EXPECT_TRUE(Count(path).empty());
}

TEST_F(MailboxScanTest, StopEndsCountAndScan) {
    WriteMailbox(dir_ / "A", 3);
    WriteMailbox(dir_ / "B", 3);
    // The second chance to yield requests the stop; sleeping makes each call a real yield.
    int yields = 0;
    const auto stopOnSecondYield = [&yields] {
        yields = 0;
        WorkHooks stopping;
        stopping.Yield = [&yields] {
            if (++yields == 2) RequestStop();
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        };
        return stopping;
    };
    {
        ScopedWorkHooks hooks(stopOnSecondYield());
        TMessageOffset offsets;
        EXPECT_EQ(CountMailboxMessages(dir_ / "A", offsets), 2);
        ClearStopRequest();
    }
    ScopedWorkHooks hooks(stopOnSecondYield());
    const std::vector<TFolder> folders = ScanMailboxDirectory(dir_.path().string());
    ClearStopRequest();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].Name, "A");
    EXPECT_EQ(folders[0].MessageCount, 1);
}

TEST_F(MailboxScanTest, ProfileTreeIsNumberedDepthFirst) {
    const std::string root = dir_.path().string();
    const TMessageOffset inbox =
        WriteMailbox(AddMailboxFolder(MailClient::Thunderbird, root, "Inbox"), 2);
    const std::string inboxSub = AddSubfolderDir(MailClient::Thunderbird, root, "Inbox");
    WriteMailbox(AddMailboxFolder(MailClient::Thunderbird, inboxSub, "Work"), 1);
    const std::string workSub = AddSubfolderDir(MailClient::Thunderbird, inboxSub, "Work");
    WriteMailbox(AddMailboxFolder(MailClient::Thunderbird, workSub, "Deep"), 3, LineEnd::CrLf);
    WriteMailbox(AddMailboxFolder(MailClient::Thunderbird, root, "Sent"), 1);
    test::WriteFileBytes(AddMailboxFolder(MailClient::Thunderbird, root, "Trash"), "");
    std::filesystem::create_directory_symlink(root, root + "/loop");

    const std::vector<TFolder> folders = ScanMailboxDirectory(root);
    struct Expected {
        const char* name;
        const char* path;
        int32_t parent;
        int32_t count;
    };
    const Expected expected[] = {
        {"Inbox", "MailBox//Inbox", 0, 2},
        {"Work", "MailBox//Inbox.sbd/Work", 1, 1},
        {"Deep", "MailBox//Inbox.sbd/Work.sbd/Deep", 2, 3},
        {"Sent", "MailBox//Sent", 0, 1},
    };
    ASSERT_EQ(folders.size(), std::size(expected));
    for (size_t i = 0; i < folders.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(folders[i].Name, expected[i].name);
        EXPECT_EQ(folders[i].Path, expected[i].path);
        EXPECT_EQ(folders[i].Id, static_cast<int32_t>(i) + 1);
        EXPECT_EQ(folders[i].ParentId, expected[i].parent);
        EXPECT_EQ(folders[i].MessageCount, expected[i].count);
        EXPECT_EQ(folders[i].Size,
                  static_cast<int64_t>(std::filesystem::file_size(folders[i].StoreFile)));
    }
    EXPECT_EQ(folders[0].StoreFile, root + "/Inbox");
    EXPECT_EQ(folders[0].MessageOffsets, inbox);
    const std::string log = home_.ReportLog();
    EXPECT_THAT(log, HasSubstr("Find messages box in: " + inboxSub + "\r\n"));
    EXPECT_THAT(log, ::testing::Not(HasSubstr("Find messages box in: " + root + "/loop")));
}

TEST_F(MailboxScanTest, EudoraFoldersAndSingleFiles) {
    const std::string root = dir_.path().string();
    const std::string a = AddMailboxFolder(MailClient::Eudora, root, "A");
    WriteMailbox(a, 5, LineEnd::CrLf);
    const std::string d = AddSubfolderDir(MailClient::Eudora, root, "D");
    WriteMailbox(AddMailboxFolder(MailClient::Eudora, d, "B"), 1, LineEnd::CrLf);

    const std::vector<TFolder> folders = ScanMailboxDirectory(root);
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0].Path, "MailBox//A.mbx");
    EXPECT_EQ(folders[1].Path, "MailBox//D.fol/B.mbx");
    EXPECT_EQ(folders[1].ParentId, 1);

    const std::vector<TFolder> single = ScanMailboxFile(a);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].Path, "MailBox//A.mbx");
    EXPECT_EQ(single[0].Id, 1);
    EXPECT_EQ(single[0].ParentId, 0);
    EXPECT_EQ(single[0].MessageOffsets, folders[0].MessageOffsets);
    EXPECT_TRUE(ScanMailboxFile(root + "/A.toc").empty());

    // The running count is logged for powers of two and once more for the total.
    const std::string log = home_.ReportLog();
    for (const char* count : {"1", "2", "4", "5"}) {
        EXPECT_THAT(log, HasSubstr("Found " + std::string(count) +
                                   " emails in message box file: " + a + "\r\n"));
    }
    EXPECT_THAT(log, ::testing::Not(HasSubstr("Found 3 emails")));
}

}  // namespace
}  // namespace mailsift
