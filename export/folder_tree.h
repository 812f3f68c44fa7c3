#pragma once
// Removing the output of an export: a storage folder with everything below it.
#include <cstddef>
#include <string>

namespace mailsift {

// Deletes everything below the folder and then the folder itself, letting the message loop run
// between entries. A trailing "/" is allowed. Symbolic links below the folder are removed as
// links and never followed; a folder given as a link is resolved, since that is where the
// export wrote. Entries that cannot be removed (in use, no permission) are passed over and the
// walk goes on. Returns how many entries could not be removed: 0 when the whole tree is gone,
// and also when there was nothing to delete; something other than a folder is left and counts.
size_t DeleteFolderTree(const std::string& path);

// Why the folder must never be deleted as a storage folder, or "" when it may be: an empty or
// relative path, a path that cannot be resolved, something other than a folder, a file-system
// root or the root of a mounted file system, the home folder, the documents folder, the
// program folder (it holds the history and the settings), or a folder above any of these.
// Paths are compared after resolving symbolic links, "." and ".." and trailing slashes.
std::string FolderDeletionRefusal(const std::string& path);

struct StorageFolderDeletion {
    std::string Refusal;  // why the folder was kept, "" when it was deleted
    size_t EntriesLeft = 0;
};

// The guarded deletion of a recorded storage folder: FolderDeletionRefusal first, and
// DeleteFolderTree only when there is no refusal.
StorageFolderDeletion DeleteStorageFolder(const std::string& path);

}  // namespace mailsift
