#pragma once
// The files a running process has mapped: its program and the libraries it loaded, as
// /proc/PID/maps lists them. Stands in for a module snapshot of the process.
#include <sys/types.h>
#include <string>
#include <string_view>
#include <vector>

namespace mailsift {

// The file paths of maps (the text of /proc/PID/maps), each once, in order of first mapping.
std::vector<std::string> MappedFilesFromMaps(std::string_view maps);

// pid and every process descended from it: a program started through a launcher (a script, the
// Wine loader) loads its libraries in a child.
std::vector<pid_t> ProcessTree(pid_t pid);

// The files mapped by pid and its descendants, each once, in process order; empty when none of
// them can be read.
std::vector<std::string> ProcessModules(pid_t pid);

}  // namespace mailsift
