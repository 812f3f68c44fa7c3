#include "outlook/client_programs.h"

#include <sstream>

#include "config/settings.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/folder_search.h"

namespace mailsift {

namespace {

std::string FirstOnPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty()) continue;
        const std::string candidate = folder + "/" + std::string(program);
        if (IsExistingFile(candidate)) return candidate;
    }
    return {};
}

}  // namespace

std::string WineProgramPath(std::string_view program) {
    std::string found;
    const FolderSearch search{.Mask = std::string(program),
                              .Stopped = [&found] { return !found.empty(); },
                              .FolderEntered = nullptr,
                              .Found =
                                  [&found](const FoundFile& file) {
                                      if (IsExistingFile(file.Path)) found = file.Path;
                                  },
                              .StayOnFileSystem = false};
    const std::string driveC = WinePrefix() + "/drive_c/";
    for (const char* folder : {"Program Files", "Program Files (x86)"}) {
        if (found.empty()) SearchFolderTree(driveC + folder, search);
    }
    return found;
}

std::string ClientProgramPath(std::string_view client) {
    if (client == "Thunderbird") return FirstOnPath("thunderbird");
    return WineProgramPath(std::string(client) + ".exe");
}

std::string OutlookLaunchCommand() {
    const std::string command = ReadSetting(kOutlookLaunchCommandKey);
    if (!command.empty() && command.front() != '%') return command;
    const std::string program = WineProgramPath("outlook.exe");
    return program.empty() ? std::string() : "wine \"" + program + "\"";
}

}  // namespace mailsift
