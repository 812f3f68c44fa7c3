// A personal folder file of a given size written with the sample store writer, then exported
// as .eml and as .msg files by mailsift-cli, beside "readpst -j 0 -e" and pffexport on the same
// file, each with its output on the disk and on tmpfs.
//   bench_pst_store [SIZE[/MESSAGES] [FILE]]
// SIZE is the store's size in MB, or with a suffix M or G (250M, 1G, 2G; default 1G); with
// /MESSAGES the store also holds at least that many messages (1G/30000). The
// messages are in 24 folders, one in twenty with an attachment of 50 KB to 2 MB. FILE (default:
// a temporary file, removed at the end) is written when it is not there and kept, so that other
// tools can be timed on it; an existing FILE is used as it is. Each step runs once, in a child
// process of its own, and reports its time (until its output is on the disk), its throughput
// over the store's size and its peak memory.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/child_process.h"
#include "bench/file_systems.h"
#include "bench/sample_mail.h"
#include "samples/pst_store_writer.h"

namespace {

namespace fs = std::filesystem;
using mailsift::samples::PstMessage;
using mailsift::samples::PstStoreWriter;

constexpr int kFolders = 24;

// Messages are added until the file has reached `bytes` and holds `messages`.
int WriteStore(const std::string& path, uintmax_t bytes, long messages) {
    std::mt19937 random(20261209);
    std::uniform_int_distribution<size_t> attachmentSize(50 * 1024, 2 * 1024 * 1024);
    PstStoreWriter writer(path, "Bench store");
    std::vector<uint32_t> folders;
    for (int i = 0; i < kFolders; ++i) {
        // Every fourth folder a level deeper than the one before it.
        const uint32_t parent =
            i % 4 != 0 && !folders.empty() ? folders.back() : writer.TopFolder();
        folders.push_back(writer.AddFolder(parent, "Folder " + std::to_string(i)));
    }
    // Attachments are slices of one random buffer, so that making them costs nothing measured.
    std::string randomBytes(2 * 1024 * 1024 + 4096, '\0');
    for (char& c : randomBytes) c = static_cast<char>(random());
    long n = 0;
    for (; n % 50 != 0 || n < messages || !fs::exists(path) || fs::file_size(path) < bytes; ++n) {
        PstMessage message;
        message.Subject =
            "Message " + std::to_string(n) + ": " + mailsift::bench::SampleSentence(random);
        message.SenderName = "Sender " + std::to_string(n % 97);
        message.SenderAddress = "sender" + std::to_string(n % 97) + "@example.org";
        for (long line = 0; line < 5 + n % 60; ++line) {
            message.Body += mailsift::bench::SampleSentence(random) + "\r\n";
        }
        message.SubmitTime = 134411994000000000ull + static_cast<uint64_t>(n) * 600000000ull;
        message.DeliveryTime = message.SubmitTime;
        message.Recipients = {{"Reader " + std::to_string(n % 13), "reader@example.org", "SMTP", 1},
                              {"Copy " + std::to_string(n % 7), "copy@example.net", "SMTP", 2}};
        if (n % 20 == 0) {
            const size_t size = attachmentSize(random);
            message.Attachments.push_back(
                {"file" + std::to_string(n) + ".bin", "application/octet-stream",
                 randomBytes.substr(static_cast<size_t>(n) % 4096, size), nullptr});
        }
        writer.AddMessage(folders[static_cast<size_t>(n) % folders.size()], message);
    }
    writer.Finish();
    std::printf("%ld messages\n", n);
    return 0;
}

// "250M", "1G" or a number of MB; 0 when the text is none of these.
uintmax_t ParseSize(const std::string& text) {
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    const std::string unit = end != nullptr ? end : "";
    if (number <= 0 || (unit != "" && unit != "M" && unit != "G")) return 0;
    return static_cast<uintmax_t>(number * (unit == "G" ? 1024.0 : 1.0) * 1024 * 1024);
}

void Report(const char* where, const char* what, double seconds, double peak, double megabytes) {
    std::printf("%-6s %-22s %8.1f s  %7.1f MB/s  %7.1f MB peak\n", where, what, seconds,
                megabytes / seconds, peak);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--write") {
        return WriteStore(argv[2], std::strtoull(argv[3], nullptr, 10),
                          std::strtol(argv[4], nullptr, 10));
    }
    const std::string wanted = argc > 1 ? argv[1] : "1G";
    const size_t slash = wanted.find('/');
    const uintmax_t size = ParseSize(wanted.substr(0, slash));
    const long messages =
        slash == std::string::npos ? 0 : std::strtol(wanted.c_str() + slash + 1, nullptr, 10);
    if (size == 0 || messages < 0) {
        std::fprintf(stderr,
                     "usage: bench_pst_store [SIZE[/MESSAGES] (250M, 1G/30000, 2G) [FILE]]\n");
        return 2;
    }
    const fs::path root =
        fs::temp_directory_path() / ("mailsift-bench-pst-store-" + std::to_string(getpid()));
    fs::create_directories(root);
    const bool keep = argc > 2;
    const std::string store = keep ? std::string(argv[2]) : (root / "bench.pst").string();
    const std::string self = mailsift::ExecutablePath();
    const fs::path bin = fs::path(self).parent_path();
    // mailsift-cli's own program folder, where it finds the provider beside it.
    setenv("MAILSIFT_HOME", (root / "program").c_str(), 1);

    if (!fs::exists(store)) {
        double peak = 0;
        const double written = mailsift::bench::TimeChild(
            {self, "--write", store, std::to_string(size), std::to_string(messages)}, peak, false);
        const double megabytes = static_cast<double>(fs::file_size(store)) / (1024.0 * 1024.0);
        Report("", "write (sample writer)", written, peak, megabytes);
    }
    const double megabytes = static_cast<double>(fs::file_size(store)) / (1024.0 * 1024.0);
    std::printf("store of %.1f MB in %d folders: %s\n", megabytes, kFolders, store.c_str());

    std::vector<std::pair<std::string, fs::path>> places = {{"disk", root / "out"}};
    if (mailsift::bench::IsTmpfs(root)) {
        std::printf("%s is on tmpfs: set TMPDIR to a folder on a disk\n", root.c_str());
    }
    if (mailsift::bench::IsTmpfs("/dev/shm")) {
        places.emplace_back("tmpfs", fs::path("/dev/shm") / root.filename());
    } else {
        std::printf("/dev/shm is no tmpfs: the exports run on the disk only\n");
    }
    for (const auto& [where, out] : places) {
        // Each step starts with nothing left to write back from the one before, and its time
        // includes writing its own output back to the disk: otherwise a step pays for the one
        // before it.
        const auto timed = [&](const char* what, const std::vector<std::string>& args) {
            fs::remove_all(out);
            fs::create_directories(out);
            sync();
            double peak = 0;
            const double seconds = mailsift::bench::TimeChild(args, peak, true);
            const auto flushing = std::chrono::steady_clock::now();
            sync();
            const std::chrono::duration<double> flushed =
                std::chrono::steady_clock::now() - flushing;
            Report(where.c_str(), what, seconds + flushed.count(), peak, megabytes);
        };
        for (const char* form : {"eml", "msg"}) {
            timed(form[0] == 'e' ? "mailsift-cli .eml" : "mailsift-cli .msg",
                  {(bin / "mailsift-cli").string(), "export", store, "--to", out.string(),
                   "--format", form, "--no-date-folder", "--no-zip"});
        }
        timed("readpst -j 0 -e", {"readpst", "-q", "-j", "0", "-e", "-o", out.string(), store});
        timed("pffexport", {"pffexport", "-q", "-t", (out / "pff").string(), store});
        fs::remove_all(out);
    }
    if (!keep) fs::remove(store);
    fs::remove_all(root);
    return 0;
}
