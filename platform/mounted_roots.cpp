#include "platform/mounted_roots.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

#include "platform/environment.h"
#include "platform/file_system.h"

namespace mailsift {

namespace {

constexpr std::array<std::string_view, 24> kSystemTypes = {
    "proc",     "sysfs",      "devtmpfs", "devpts",  "cgroup",          "cgroup2",
    "tmpfs",    "securityfs", "debugfs",  "tracefs", "pstore",          "bpf",
    "mqueue",   "hugetlbfs",  "configfs", "fusectl", "binfmt_misc",     "autofs",
    "efivarfs", "rpc_pipefs", "nsfs",     "ramfs",   "fuse.gvfsd-fuse", "fuse.portal"};

constexpr std::array<std::string_view, 12> kNetworkTypes = {
    "nfs", "nfs4", "cifs", "smb3",       "smbfs",     "ncpfs",
    "afs", "9p",   "ceph", "fuse.sshfs", "glusterfs", "davfs"};

constexpr std::array<std::string_view, 4> kSystemFolders = {"/proc", "/sys", "/dev", "/run"};

bool Contains(auto& list, std::string_view type) {
    return std::find(list.begin(), list.end(), type) != list.end();
}

bool IsAtOrBelow(std::string_view path, std::string_view folder) {
    if (folder == "/") return true;
    return path == folder ||
           (path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/');
}

// The kernel writes blanks, tabs, line breaks and backslashes in mount points as octal escapes.
std::string Unescape(std::string_view field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        field.begin() + static_cast<std::ptrdiff_t>(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

}  // namespace

std::vector<std::string> SearchRootsFromMounts(std::string_view mounts, const std::string& home) {
    std::vector<std::string> roots;
    std::istringstream lines{std::string(mounts)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device, point, type;
        if (!(fields >> device >> point >> type)) continue;
        point = Unescape(point);
        if (point.empty() || point.front() != '/') continue;
        const bool holdsHome = !home.empty() && IsAtOrBelow(home, point);
        const bool belowHome = !home.empty() && home != "/" && IsAtOrBelow(point, home);
        if (Contains(kSystemTypes, type) && !belowHome) continue;
        if (Contains(kNetworkTypes, type) && !holdsHome && !belowHome) continue;
        if (std::any_of(kSystemFolders.begin(), kSystemFolders.end(),
                        [&](std::string_view folder) { return IsAtOrBelow(point, folder); })) {
            continue;
        }
        if (std::find(roots.begin(), roots.end(), point) == roots.end()) roots.push_back(point);
    }
    return roots;
}

std::vector<std::string> AllDrivesRoots() {
    std::ifstream file("/proc/self/mounts");
    std::stringstream text;
    text << file.rdbuf();
    std::vector<std::string> roots = SearchRootsFromMounts(text.str(), HomeFolder());
    if (roots.empty()) roots.push_back("/");
    return roots;
}

}  // namespace mailsift
