#pragma once
// What "all drives" means on Linux: the mount points of the file systems that hold the user's
// files, in mount order.
#include <string>
#include <string_view>
#include <vector>

namespace mailsift {

// The mount points listed in mounts (the text of /proc/self/mounts), in their order, without
// the kernel's and the system's own file systems (proc, sysfs, devices, control groups, tmpfs
// and the like) and without network file systems, except those that hold the home folder. A
// mount point listed twice keeps its first place.
std::vector<std::string> SearchRootsFromMounts(std::string_view mounts, const std::string& home);

// SearchRootsFromMounts over this process's mounts and home folder; "/" when they cannot be read.
std::vector<std::string> AllDrivesRoots();

}  // namespace mailsift
