// Speed of the disk search's walk over a generated tree: FOLDERS folders of FILES files each,
// four levels deep, one file in fifty a personal folder file. Times the walk for "*.pst" with
// a yield hook that only counts, twice (the second with the tree in the page cache), next to
// find(1) looking for the same names in the same tree.
//   bench_folder_search [FOLDERS [FILES]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/child_process.h"
#include "platform/folder_search.h"
#include "platform/work_hooks.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int folders = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int files = argc > 2 ? std::atoi(argv[2]) : 10;
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / "mailsift-bench-folder-search";
    std::filesystem::remove_all(root);
    int expected = 0;
    for (int folder = 0; folder < folders; ++folder) {
        const std::filesystem::path path = root / std::to_string(folder % 10) /
                                           std::to_string(folder % 100) /
                                           std::to_string(folder % 1000) / std::to_string(folder);
        std::filesystem::create_directories(path);
        for (int file = 0; file < files; ++file) {
            const bool pst = (folder * files + file) % 50 == 0;
            expected += pst ? 1 : 0;
            std::ofstream(path / (std::to_string(file) + (pst ? ".PST" : ".txt")));
        }
    }
    const int entries = folders * files;
    std::printf("tree: %d folders, %d files, %d personal folder files\n", folders, entries,
                expected);

    int yields = 0;
    mailsift::ScopedWorkHooks hooks({.Yield = [&yields] { ++yields; },
                                     .CounterChanged = nullptr,
                                     .ProgressChanged = nullptr,
                                     .StatusChanged = nullptr});
    for (const char* pass : {"walk (first)", "walk (cached)"}) {
        int found = 0;
        int entered = 0;
        const mailsift::FolderSearch search{
            .Mask = "*.pst",
            .Stopped = [] { return false; },
            .FolderEntered = [&entered](const std::string&) { ++entered; },
            .Found = [&found](const mailsift::FoundFile&) { ++found; },
            .StayOnFileSystem = true};
        yields = 0;
        const auto start = Clock::now();
        mailsift::SearchFolderTree(root.string(), search);
        const double seconds = Seconds(start);
        std::printf("%-16s %7.3f s  %9.0f entries/s  found %d  folders %d  yields %d\n", pass,
                    seconds, (entries + folders) / seconds, found, entered, yields);
        if (found != expected) std::printf("  MISMATCH: expected %d\n", expected);
    }
    double peak = 0;
    const double findSeconds =
        mailsift::bench::TimeChild({"find", root.string(), "-iname", "*.pst"}, peak, true);
    std::printf("%-16s %7.3f s  %9.0f entries/s\n", "find -iname", findSeconds,
                (entries + folders) / findSeconds);
    std::filesystem::remove_all(root);
    return 0;
}
