#include "config/report_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "config_fixture.h"
#include "support/file_helpers.h"

namespace mailsift::test {
namespace {

using ReportLogTest = ConfigTest;

TEST_F(ReportLogTest, WriteReportTellsListenersAndAppendsLines) {
    std::vector<std::string> heard;
    int throwing = AddReportListener([](const std::string&) { throw std::runtime_error("x"); });
    int id = AddReportListener([&](const std::string& message) { heard.push_back(message); });

    WriteReport("Exception(3): first");
    WriteReport("second");
    RemoveReportListener(id);
    RemoveReportListener(throwing);
    WriteReport("third");

    EXPECT_EQ(heard, (std::vector<std::string>{"Exception(3): first", "second"}));
    EXPECT_THAT(ReadFileBytes(ProgramFolder() + "/report.txt"),
                ::testing::MatchesRegex("[0-9]{2}\\.[0-9]{2}\\.[0-9]{4}( [0-9:]{8})?"
                                        "\tException\\(3\\): first\r\n.*\tsecond\r\n.*"
                                        "\tthird\r\n"));
}

TEST_F(ReportLogTest, DebugModeOffStillTellsListenersButWritesNothing) {
    Settings.DebugMode = false;
    EXPECT_FALSE(ReportHeard());
    std::string heard;
    int id = AddReportListener([&](const std::string& message) { heard = message; });
    EXPECT_TRUE(ReportHeard());
    WriteReport("quiet");
    RemoveReportListener(id);
    EXPECT_FALSE(ReportHeard());
    EXPECT_EQ(heard, "quiet");
    EXPECT_FALSE(std::filesystem::exists(ProgramFolder() + "/report.txt"));

    WriteWizardReport("Begin Step 1.");
    EXPECT_THAT(ReadFileBytes(ProgramFolder() + "/wizardreport.txt"),
                ::testing::EndsWith("\tBegin Step 1.\r\n"));
}

TEST_F(ReportLogTest, ALogKeptOpenHasEveryLineOnDiskAsSoonAsItIsReported) {
    const std::string log = ProgramFolder() + "/report.txt";
    WriteReport("before");
    {
        const ReportLogKeptOpen kept;
        WriteReport("first");
        EXPECT_THAT(ReadFileBytes(log), ::testing::EndsWith("\tfirst\r\n"));
        {
            const ReportLogKeptOpen nested;
            WriteReport("second");
        }
        WriteReport("third");
        EXPECT_THAT(ReadFileBytes(log), ::testing::EndsWith("\tthird\r\n"));
        // Turned off during the run, the log gets no more lines.
        Settings.DebugMode = false;
        WriteReport("unlogged");
        Settings.DebugMode = true;
    }
    EXPECT_THAT(ReadFileBytes(log),
                ::testing::MatchesRegex(".*\tbefore\r\n.*\tfirst\r\n.*\tsecond\r\n.*\tthird\r\n"));
    // Closed again: a log the user removed is created anew by the next line.
    std::filesystem::remove(log);
    WriteReport("after");
    EXPECT_THAT(ReadFileBytes(log), ::testing::EndsWith("\tafter\r\n"));
    EXPECT_EQ(ReadFileBytes(log).find("before"), std::string::npos);
}

TEST_F(ReportLogTest, UnwritableLogIsSkippedSilently) {
    std::filesystem::remove_all(ProgramFolder());
    EXPECT_NO_THROW(WriteReport("lost"));
    EXPECT_NO_THROW(WriteWizardReport("lost"));
    EXPECT_FALSE(std::filesystem::exists(ProgramFolder()));
}

}  // namespace
}  // namespace mailsift::test
