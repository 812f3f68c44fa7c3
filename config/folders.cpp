#include "config/folders.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/environment.h"
#include "platform/file_system.h"

namespace mailsift {

namespace fs = std::filesystem;

namespace {

std::string programFolder;
std::string configFolder;

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

fs::path Absolute(const fs::path& path) {
    std::error_code error;
    fs::path result = fs::absolute(path, error);
    return error ? path : result.lexically_normal();
}

bool SameFolder(const fs::path& a, const fs::path& b) {
    std::error_code error;
    bool same = fs::equivalent(a, b, error);
    return error ? a == b : same;
}

std::string UserDataFolder() {
    // The XDG rules ignore a relative XDG_DATA_HOME.
    std::string dataHome = EnvOrEmpty("XDG_DATA_HOME");
    if (dataHome.empty() || dataHome.front() != '/') dataHome = HomeFolder() + "/.local/share";
    return dataHome + "/mailsift";
}

// Copies what the shipped configuration has and the user's lacks. Seeding is best effort: a
// file that cannot be copied shows up later as the key file error of its first read.
void SeedConfig(const fs::path& shipped, const fs::path& target) {
    std::error_code error;
    if (!fs::is_directory(shipped, error)) return;
    fs::create_directories(target, error);
    for (fs::recursive_directory_iterator it(shipped, error), end; !error && it != end;
         it.increment(error)) {
        fs::path destination = target / fs::relative(it->path(), shipped, error);
        if (error) break;
        std::error_code entryError;
        if (it->is_directory(entryError)) {
            fs::create_directories(destination, entryError);
        } else if (it->is_regular_file(entryError)) {
            fs::copy_file(it->path(), destination, fs::copy_options::skip_existing, entryError);
        }
    }
}

}  // namespace

void InitFolders(const std::string& executablePath) {
    fs::path executableFolder = Absolute(fs::path(executablePath).parent_path());

    fs::path chosen;
    std::string home = EnvOrEmpty("MAILSIFT_HOME");
    if (!home.empty()) {
        chosen = Absolute(home);
        ForceDirectories(chosen.string());
    } else if (::access(executableFolder.c_str(), W_OK) == 0) {
        chosen = executableFolder;
    } else {
        chosen = Absolute(UserDataFolder());
        ForceDirectories(chosen.string());
    }

    programFolder = WithoutTrailingSlashes(chosen.string());
    configFolder = programFolder + "/Config/";

    if (!SameFolder(chosen, executableFolder)) {
        SeedConfig(executableFolder / "Config", fs::path(programFolder) / "Config");
    }
}

const std::string& ProgramFolder() {
    return programFolder;
}

const std::string& ConfigFolder() {
    return configFolder;
}

std::string ExecutablePath() {
    std::error_code error;
    fs::path path = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

}  // namespace mailsift
