#include "platform/folder_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>
#include <vector>

#include "platform/file_system.h"
#include "platform/text_match.h"
#include "platform/work_hooks.h"

namespace mailsift {

namespace {

struct Entry {
    std::string name;
    unsigned char type;
};

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// The folder's entries, read whole and the folder closed again, so that a deep tree does not
// hold one open descriptor per level.
std::vector<Entry> ListFolder(const std::string& folder) {
    std::vector<Entry> entries;
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) return entries;
    while (const dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        entries.push_back({std::move(name), entry->d_type});
    }
    return entries;
}

class Walk {
  public:
    Walk(const FolderSearch& search, dev_t device) : search_(search), device_(device) {}

    bool Folder(const std::string& folder) {
        if (search_.FolderEntered) search_.FolderEntered(folder);
        const std::string prefix = folder == "/" ? folder : folder + "/";
        for (const Entry& entry : ListFolder(folder)) {
            LetMessageLoopRun();
            if (search_.Stopped && search_.Stopped()) return false;
            const std::string path = prefix + entry.name;
            struct stat own {};
            const bool known = lstat(path.c_str(), &own) == 0;
            if (MatchesMask(entry.name, search_.Mask)) Report(path, known ? &own : nullptr);
            // Only a real folder is walked: lstat tells a link to a folder from the folder.
            if (!known || !S_ISDIR(own.st_mode)) continue;
            if (search_.StayOnFileSystem && own.st_dev != device_) continue;
            if (!Folder(path)) return false;
        }
        return true;
    }

  private:
    void Report(const std::string& path, const struct stat* own) {
        if (!search_.Found) return;
        FoundFile found{.Path = path};
        struct stat target {};
        // A link is shown with what it points to, when that exists.
        const struct stat* shown = stat(path.c_str(), &target) == 0 ? &target : own;
        if (shown != nullptr) {
            found.Size = static_cast<int64_t>(shown->st_size);
            found.Date = DateTimeFromUnixTime(shown->st_mtime);
        }
        search_.Found(found);
    }

    const FolderSearch& search_;
    dev_t device_;
};

}  // namespace

bool SearchFolderTree(const std::string& root, const FolderSearch& search) {
    const std::string folder = WithoutTrailingSlashes(root);
    struct stat rootStat {};
    if (stat(folder.c_str(), &rootStat) != 0 || !S_ISDIR(rootStat.st_mode)) {
        if (search.FolderEntered) search.FolderEntered(folder);
        return !(search.Stopped && search.Stopped());
    }
    return Walk(search, rootStat.st_dev).Folder(folder);
}

}  // namespace mailsift
