#include "platform/process_modules.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace mailsift {

namespace {

std::string ReadProcFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The parent of pid from /proc/PID/stat; the command name in parentheses may hold blanks and
// parentheses of its own, so the fields are read after the last ")".
pid_t ParentOf(pid_t pid) {
    const std::string stat = ReadProcFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    pid_t parent = 0;
    fields >> state >> parent;
    return parent;
}

void AddOnce(std::vector<std::string>& paths, std::string path) {
    if (std::find(paths.begin(), paths.end(), path) == paths.end())
        paths.push_back(std::move(path));
}

}  // namespace

std::vector<std::string> MappedFilesFromMaps(std::string_view maps) {
    std::vector<std::string> paths;
    std::istringstream lines{std::string(maps)};
    std::string line;
    while (std::getline(lines, line)) {
        // address, permissions, offset, device and inode come first; the path, which may hold
        // blanks, is the rest of the line from its first "/".
        const size_t slash = line.find('/');
        if (slash == std::string::npos) continue;
        std::string path = line.substr(slash);
        constexpr std::string_view kDeleted = " (deleted)";
        if (path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
        AddOnce(paths, std::move(path));
    }
    return paths;
}

std::vector<pid_t> ProcessTree(pid_t pid) {
    std::multimap<pid_t, pid_t> children;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        pid_t child = 0;
        const auto [last, parsed] = std::from_chars(name.data(), name.data() + name.size(), child);
        if (parsed != std::errc() || last != name.data() + name.size()) continue;
        children.emplace(ParentOf(child), child);
    }
    std::vector<pid_t> tree{pid};
    for (size_t i = 0; i < tree.size(); ++i) {
        const auto [first, last] = children.equal_range(tree[i]);
        for (auto it = first; it != last; ++it) {
            if (std::find(tree.begin(), tree.end(), it->second) == tree.end()) {
                tree.push_back(it->second);
            }
        }
    }
    return tree;
}

std::vector<std::string> ProcessModules(pid_t pid) {
    std::vector<std::string> modules;
    for (pid_t process : ProcessTree(pid)) {
        const std::string maps = ReadProcFile("/proc/" + std::to_string(process) + "/maps");
        for (std::string& path : MappedFilesFromMaps(maps)) AddOnce(modules, std::move(path));
    }
    return modules;
}

}  // namespace mailsift
