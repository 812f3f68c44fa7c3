#pragma once
// The walk of the disk searches: every file and folder below a root whose name matches a mask,
// in listing order, depth first, as the user watches the current folder go by.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/date_time.h"

namespace mailsift {

struct FoundFile {
    std::string Path;  // the folder searched, "/" and the name
    int64_t Size = 0;
    TDateTime Date = 0;  // last modification, local time
};

struct FolderSearch {
    std::string Mask;  // "*" and "?" wildcards, any letter case
    // The search's own stop flag: tested before every entry, so a Stop ends the walk at once.
    std::function<bool()> Stopped;
    // Told each folder as the walk enters it.
    std::function<void(const std::string& folder)> FolderEntered;
    std::function<void(const FoundFile& file)> Found;
    // Keeps the walk on the root's file system, as a drive letter keeps a search on one disk.
    bool StayOnFileSystem = false;
};

// Walks root and every folder below it, reporting each entry whose name matches the mask (a
// matching folder is reported and walked). A symbolic link is matched by its name like a file,
// but a link to a folder is never walked, so a loop of links cannot trap the search. Pending
// events run between entries through LetMessageLoopRun. Folders that cannot be read are passed
// over. False when the search was stopped.
bool SearchFolderTree(const std::string& root, const FolderSearch& search);

}  // namespace mailsift
