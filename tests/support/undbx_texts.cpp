#include "support/undbx_texts.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mailsift::test {

std::optional<std::vector<std::string>> UndbxTexts(const std::string& dbxFile,
                                                   const std::string& outputDir) {
    std::string program = "undbx", verbosity = "-v", quiet = "0", in = dbxFile, out = outputDir;
    char* argv[] = {program.data(), verbosity.data(), quiet.data(), in.data(), out.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, "undbx", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned == ENOENT) return std::nullopt;
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        throw std::runtime_error("undbx failed on " + dbxFile);
    }
    std::vector<std::string> texts;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(outputDir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".eml") continue;
        std::ifstream file(entry.path(), std::ios::binary);
        texts.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

}  // namespace mailsift::test
