#pragma once
// Where a benchmark's outputs land: on a disk or in memory.
#include <sys/vfs.h>

#include <filesystem>

namespace mailsift::bench {

inline bool IsTmpfs(const std::filesystem::path& folder) {
    constexpr long kTmpfsMagic = 0x01021994;
    struct statfs status {};
    return statfs(folder.c_str(), &status) == 0 && status.f_type == kTmpfsMagic;
}

}  // namespace mailsift::bench
