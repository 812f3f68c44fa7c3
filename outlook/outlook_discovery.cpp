#include "outlook/outlook_discovery.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "config/settings.h"
#include "outlook/mapi_library.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text_match.h"
#include "platform/work_hooks.h"

namespace mailsift {

namespace {

namespace fs = std::filesystem;

constexpr const char* kLibraryPathKey = "MSOutlookLibraryPath";
constexpr const char* kProfileDataFolder = "Local Settings/Application Data/Microsoft/Outlook/";
// Where the Outlook versions keep their data inside a Wine user's profile.
constexpr const char* kWineUserDataFolders[] = {
    kProfileDataFolder,
    "AppData/Local/Microsoft/Outlook/",
    "Documents/Outlook Files/",
};

std::string WithTrailingSlash(std::string path) {
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

// The Outlook data folders of every user of the Wine prefix, users in byte order of names.
std::vector<std::string> WineUserDataFolders() {
    std::vector<std::string> users;
    std::error_code error;
    for (fs::directory_iterator it(fs::path(WinePrefix()) / "drive_c" / "users", error), end;
         !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) users.push_back(it->path().string());
    }
    std::sort(users.begin(), users.end());
    std::vector<std::string> folders;
    for (const std::string& user : users) {
        for (const char* dataFolder : kWineUserDataFolders) {
            std::string folder = WithTrailingSlash(user) + dataFolder;
            if (IsExistingFolder(folder)) folders.push_back(std::move(folder));
        }
    }
    return folders;
}

// The names of the personal folder files directly in folder, in byte order.
std::vector<std::string> PstFileNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        std::string name = it->path().filename().string();
        if (MatchesMask(name, "*.pst") && it->is_regular_file(typeError)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The same folder reached twice (a Wine profile folder may link into the home folder) would
// only tick the same files again under another name.
std::string FolderIdentity(const std::string& folder) {
    std::error_code error;
    const fs::path canonical = fs::canonical(folder, error);
    return error ? folder : canonical.string();
}

}  // namespace

std::string DefaultOutlookDataFolder() {
    // USERPROFILE falls back to the home folder in the expansion.
    const std::string profile = ExpandEnvironmentPath("%USERPROFILE%");
    if (profile.empty() || profile.front() == '%' || !IsExistingFolder(profile)) return {};
    std::string folder = WithTrailingSlash(profile) + kProfileDataFolder;
    return IsExistingFolder(folder) ? folder : std::string();
}

void FindDefaultPstFiles(std::vector<TMSOutlookStore>& stores) {
    std::vector<std::string> folders;
    if (std::string folder = DefaultOutlookDataFolder(); !folder.empty()) {
        folders.push_back(std::move(folder));
    }
    for (std::string& folder : WineUserDataFolders()) folders.push_back(std::move(folder));

    std::set<std::string> seen;
    for (const std::string& folder : folders) {
        if (!seen.insert(FolderIdentity(folder)).second) continue;
        for (const std::string& name : PstFileNames(folder)) {
            const std::string path = folder + name;
            auto listed =
                std::find_if(stores.begin(), stores.end(),
                             [&path](const TMSOutlookStore& s) { return s.Path == path; });
            if (listed != stores.end()) {
                listed->Selected = true;
            } else {
                stores.push_back(TMSOutlookStore{path, true, true});
            }
        }
    }
    LetMessageLoopRun();
}

void FillMapiLibraryPath() {
    const std::string current = ReadSetting(kLibraryPathKey);
    if (IsExistingFile(current)) return;
    const std::string found = FindMapiLibraryPath();
    // A value that is not set reads as "%" and the key's name; writing "" over it again on
    // every start would only rewrite the settings file.
    const bool unset = current.empty() || current.front() == '%';
    if (found != current && !(found.empty() && unset)) WriteSetting(kLibraryPathKey, found);
}

void RunOutlookActivationDiscovery() {
    // Each step stands alone: a failure in one must not keep the other from filling its gap.
    try {
        FillMapiLibraryPath();
    } catch (...) {
    }
    try {
        LetMessageLoopRun();
        std::vector<TMSOutlookStore> stores = LoadMSOutlookFileList();
        if (stores.empty()) {
            FindDefaultPstFiles(stores);
            SaveMSOutlookFileList(stores);
            LetMessageLoopRun();
        }
    } catch (...) {
    }
}

}  // namespace mailsift
