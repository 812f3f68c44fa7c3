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
    std::string heard;
    int id = AddReportListener([&](const std::string& message) { heard = message; });
    WriteReport("quiet");
    RemoveReportListener(id);
    EXPECT_EQ(heard, "quiet");
    EXPECT_FALSE(std::filesystem::exists(ProgramFolder() + "/report.txt"));

    WriteWizardReport("Begin Step 1.");
    EXPECT_THAT(ReadFileBytes(ProgramFolder() + "/wizardreport.txt"),
                ::testing::EndsWith("\tBegin Step 1.\r\n"));
}

TEST_F(ReportLogTest, UnwritableLogIsSkippedSilently) {
    std::filesystem::remove_all(ProgramFolder());
    EXPECT_NO_THROW(WriteReport("lost"));
    EXPECT_NO_THROW(WriteWizardReport("lost"));
    EXPECT_FALSE(std::filesystem::exists(ProgramFolder()));
}

}  // namespace
}  // namespace mailsift::test
