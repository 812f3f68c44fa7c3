#include "support/test_program_folder.h"

#include <filesystem>

#include "config/folders.h"
#include "config/settings.h"
#include "support/file_helpers.h"

namespace mailsift::test {

TestProgramFolder::TestProgramFolder()
    : programFolder_("MAILSIFT_HOME", dir_.path().string()),
      home_("HOME", (dir_.path() / "home").string()) {
    InitFolders(ExecutablePath());
    ReadStartupSettings();
}

std::string TestProgramFolder::ReportLog() const {
    const std::string path = dir_ / "report.txt";
    return std::filesystem::exists(path) ? ReadFileBytes(path) : std::string();
}

}  // namespace mailsift::test
