#pragma once
// Reshapes the directory of a finished compound file so that readers which recurse once per
// sibling can open storages with thousands of entries.
#include <cstdio>
#include <string>

namespace mailsift {

// Rewrites, in place, the sibling tree of every storage in the compound file held by `file`
// as a balanced red-black tree in the order the format prescribes. `file` is flushed first; it
// may have been opened for writing only. A damaged directory (loops, indexes out of range,
// chains leaving the file) leaves the file untouched and is reported in `error`.
bool BalanceDirectoryTrees(std::FILE* file, std::string& error);

}  // namespace mailsift
