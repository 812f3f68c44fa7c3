// Time to export personal folder files (every message as .eml, and as .msg), next to the time
// "readpst -e" takes to write the same files as .eml files.
//   bench_pst_export [RUNS] PST...
// Without files it takes the personal folder files of ../shared/fixtures/pst. Each export runs
// in a child process of its own, RUNS times (default 20); the fastest and the median run are
// reported, as the files are small enough for a single run to be noise.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/child_process.h"
#include "config/folders.h"
#include "config/settings.h"

namespace {

namespace fs = std::filesystem;

struct Timing {
    double fastest;
    double median;
};

Timing TimeRuns(const std::vector<std::string>& args, const fs::path& output, int runs) {
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        fs::remove_all(output);
        fs::create_directories(output);
        double peak = 0;
        seconds.push_back(mailsift::bench::TimeChild(args, peak, true));
    }
    std::sort(seconds.begin(), seconds.end());
    return {seconds.front(), seconds[seconds.size() / 2]};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--export") {
        return mailsift::bench::ExportStoreInChild(
            argv[2], argv[3], std::string(argv[4]) == "eml" ? ".eml" : ".msg", "MSOutlook");
    }
    int first = 1;
    int runs = 20;
    if (argc > 1 && std::atoi(argv[1]) > 0) {
        runs = std::atoi(argv[1]);
        first = 2;
    }
    std::vector<std::string> stores(argv + first, argv + argc);
    if (stores.empty()) {
        const fs::path fixtures = fs::path(MAILSIFT_SOURCE_DIR) / "../shared/fixtures/pst";
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(fixtures, error)) {
            if (entry.path().extension() == ".pst") stores.push_back(entry.path().string());
        }
        std::sort(stores.begin(), stores.end());
    }
    if (stores.empty()) {
        std::fprintf(stderr, "bench_pst_export: no personal folder files given or found\n");
        return 2;
    }
    const fs::path root = fs::temp_directory_path() / "mailsift-bench-pst";
    // The bench's own program folder, with the provider beside this program as its library.
    setenv("MAILSIFT_HOME", (root / "program").c_str(), 1);
    mailsift::InitFolders(mailsift::ExecutablePath());
    mailsift::WriteSetting(
        "MSOutlookLibraryPath",
        (fs::path(mailsift::ExecutablePath()).parent_path() / "msmapi32.dll.so").string());
    const std::string self = mailsift::ExecutablePath();
    std::printf("%-16s %10s  %-21s %-21s %-21s\n", "file", "size", "Mailsift .eml", "Mailsift .msg",
                "readpst -e");
    for (const std::string& store : stores) {
        const fs::path out = root / "out";
        const Timing eml = TimeRuns({self, "--export", store, out.string(), "eml"}, out, runs);
        const Timing msg = TimeRuns({self, "--export", store, out.string(), "msg"}, out, runs);
        const Timing readpst =
            TimeRuns({"readpst", "-q", "-e", "-o", out.string(), store}, out, runs);
        std::printf(
            "%-16s %8.1f KB  %6.1f ms (med %5.1f)  %6.1f ms (med %5.1f)  %6.1f ms (med %5.1f)\n",
            fs::path(store).filename().c_str(), static_cast<double>(fs::file_size(store)) / 1024.0,
            eml.fastest * 1e3, eml.median * 1e3, msg.fastest * 1e3, msg.median * 1e3,
            readpst.fastest * 1e3, readpst.median * 1e3);
    }
    fs::remove_all(root);
    return 0;
}
