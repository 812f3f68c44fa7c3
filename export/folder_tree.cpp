#include "export/folder_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "config/folders.h"
#include "config/settings.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/work_hooks.h"

namespace mailsift {

namespace {

namespace fs = std::filesystem;

// Removes what is below the open folder; returns how many entries stayed. Every step goes
// from the folder already open to the entry by name, and folders are opened without following
// links: a folder swapped for a link while the walk goes on cannot lead it elsewhere. A file
// system mounted below (a stick under a media folder) is never entered: it stays.
size_t DeleteEntries(int folder, dev_t device) {
    LetMessageLoopRun();
    std::vector<std::string> names;
    {
        const int listing = ::dup(folder);
        DIR* entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
        if (entries == nullptr) {
            if (listing >= 0) ::close(listing);
            return 1;
        }
        while (const dirent* entry = ::readdir(entries)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") names.emplace_back(name);
        }
        ::closedir(entries);
    }
    size_t left = 0;
    for (const std::string& name : names) {
        LetMessageLoopRun();
        struct stat info {};
        if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            ++left;
        } else if (!S_ISDIR(info.st_mode)) {
            // The entry's own type, not its target's: a link is removed as a link.
            if (::unlinkat(folder, name.c_str(), 0) != 0) ++left;
        } else if (info.st_dev != device) {
            ++left;
        } else {
            const int child =
                ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) {
                ++left;
                continue;
            }
            left += DeleteEntries(child, device);
            ::close(child);
            if (::unlinkat(folder, name.c_str(), AT_REMOVEDIR) != 0) ++left;
        }
    }
    return left;
}

// Removes what is below folder and then folder itself; returns how many entries stayed.
size_t DeleteTree(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0) ::close(fd);
        return 1;
    }
    size_t left = DeleteEntries(fd, info.st_dev);
    ::close(fd);
    if (::rmdir(folder.c_str()) != 0) ++left;
    return left;
}

// The path with links, "." and ".." resolved as far as it exists, and no trailing separator.
fs::path ResolvedPath(const std::string& path, std::error_code& error) {
    fs::path resolved = fs::weakly_canonical(fs::path(WithoutTrailingSlashes(path)), error);
    // ".." at the end of a path that does not exist normalises to a trailing separator.
    while (!resolved.has_filename() && resolved != resolved.root_path()) {
        resolved = resolved.parent_path();
    }
    return resolved;
}

bool IsSameOrAbove(const fs::path& folder, const fs::path& other) {
    return std::mismatch(folder.begin(), folder.end(), other.begin(), other.end()).first ==
           folder.end();
}

// The Linux counterpart of a drive: a folder on another device than its parent folder.
bool IsMountPoint(const fs::path& folder) {
    struct stat self {};
    struct stat parent {};
    if (::stat(folder.c_str(), &self) != 0) return false;
    if (::stat(folder.parent_path().c_str(), &parent) != 0) return false;
    return self.st_dev != parent.st_dev;
}

struct ProtectedFolder {
    const char* name;
    const char* reason;
    std::string path;
};

}  // namespace

size_t DeleteFolderTree(const std::string& path) {
    const std::string trimmed = WithoutTrailingSlashes(path);
    if (trimmed.empty()) return 0;
    const fs::path given(trimmed);
    std::error_code error;
    const fs::file_status status = fs::symlink_status(given, error);
    if (status.type() == fs::file_type::not_found) return 0;
    if (error) return 1;
    if (fs::is_directory(status)) return DeleteTree(given);
    if (!fs::is_symlink(status)) return 1;
    size_t left = 0;
    const fs::path target = fs::canonical(given, error);
    if (!error && fs::is_directory(target, error)) left += DeleteTree(target);
    fs::remove(given, error);
    if (error) ++left;
    return left;
}

std::string FolderDeletionRefusal(const std::string& path) {
    if (path.empty()) return "no storage folder is recorded";
    // The system would see only the part before the NUL, which is not the folder recorded.
    if (path.find('\0') != std::string::npos) {
        return "the storage folder recorded holds a NUL character and is not deleted";
    }
    const std::string kept = path + " is not deleted: ";
    if (!fs::path(path).is_absolute()) return kept + "it is not an absolute path";
    std::error_code error;
    const fs::path resolved = ResolvedPath(path, error);
    if (error) return kept + "it cannot be resolved (" + error.message() + ")";
    const fs::file_status status = fs::status(resolved, error);
    if (fs::exists(status) && !fs::is_directory(status)) return kept + "it is not a folder";
    if (resolved == resolved.root_path()) return kept + "it is the root of the file system";
    if (IsMountPoint(resolved)) return kept + "it is the root of a mounted file system";

    const ProtectedFolder protectedFolders[] = {
        {"the home folder", "", HomeFolder()},
        {"the documents folder", "", DefaultDocumentsFolder()},
        {"the program folder", ", which keeps the export history and the settings",
         ProgramFolder()},
    };
    for (const ProtectedFolder& folder : protectedFolders) {
        if (folder.path.empty()) continue;
        std::error_code folderError;
        fs::path other = ResolvedPath(folder.path, folderError);
        if (folderError) other = fs::path(WithoutTrailingSlashes(folder.path)).lexically_normal();
        if (!IsSameOrAbove(resolved, other)) continue;
        return kept + (resolved == other ? "it is " : "it holds ") + folder.name + folder.reason;
    }
    return {};
}

StorageFolderDeletion DeleteStorageFolder(const std::string& path) {
    StorageFolderDeletion result;
    result.Refusal = FolderDeletionRefusal(path);
    if (result.Refusal.empty()) result.EntriesLeft = DeleteFolderTree(path);
    return result;
}

}  // namespace mailsift
