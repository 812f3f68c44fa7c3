// A large personal folder file written with the sample store writer, then exported as .eml and
// as .msg files by mailsift-cli, beside "readpst -j 0 -e" and pffexport on the same file.
//   bench_pst_store [FILE [MESSAGES]]
// Writes FILE (default: a temporary file, removed at the end; a FILE given is kept, so that
// other tools can be timed on it) with MESSAGES messages (default 30000) in 24 folders, one in
// twenty with an attachment of 50 KB to 2 MB. Each step runs once, in a child process of its
// own, and reports its time, its throughput over the store's size and its peak memory.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/child_process.h"
#include "bench/sample_mail.h"
#include "samples/pst_store_writer.h"

namespace {

namespace fs = std::filesystem;
using mailsift::samples::PstMessage;
using mailsift::samples::PstStoreWriter;

constexpr int kFolders = 24;

int WriteStore(const std::string& path, long messages) {
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
    for (long n = 0; n < messages; ++n) {
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
    return 0;
}

void Report(const char* what, double seconds, double peak, double megabytes) {
    std::printf("%-22s %8.1f s  %7.1f MB/s  %7.1f MB peak\n", what, seconds, megabytes / seconds,
                peak);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--write") {
        return WriteStore(argv[2], std::atol(argv[3]));
    }
    const fs::path root = fs::temp_directory_path() / "mailsift-bench-pst-store";
    fs::create_directories(root);
    const bool keep = argc > 1;
    const std::string store = keep ? std::string(argv[1]) : (root / "bench.pst").string();
    const long messages = argc > 2 ? std::atol(argv[2]) : 30000;
    const std::string self = mailsift::ExecutablePath();
    const fs::path bin = fs::path(self).parent_path();
    // mailsift-cli's own program folder, where it finds the provider beside it.
    setenv("MAILSIFT_HOME", (root / "program").c_str(), 1);

    double peak = 0;
    const double written =
        mailsift::bench::TimeChild({self, "--write", store, std::to_string(messages)}, peak, true);
    const double megabytes = static_cast<double>(fs::file_size(store)) / (1024.0 * 1024.0);
    std::printf("%ld messages in %d folders, %.1f MB: %s\n", messages, kFolders, megabytes,
                store.c_str());
    Report("write (sample writer)", written, peak, megabytes);

    const fs::path out = root / "out";
    const auto timed = [&](const char* what, const std::vector<std::string>& args) {
        fs::remove_all(out);
        fs::create_directories(out);
        double childPeak = 0;
        const double seconds = mailsift::bench::TimeChild(args, childPeak, true);
        Report(what, seconds, childPeak, megabytes);
    };
    for (const char* form : {"eml", "msg"}) {
        timed(form[0] == 'e' ? "mailsift-cli .eml" : "mailsift-cli .msg",
              {(bin / "mailsift-cli").string(), "export", store, "--to", out.string(), "--format",
               form, "--no-date-folder", "--no-zip"});
    }
    timed("readpst -j 0 -e", {"readpst", "-q", "-j", "0", "-e", "-o", out.string(), store});
    timed("pffexport", {"pffexport", "-q", "-t", (out / "pff").string(), store});
    fs::remove_all(out);
    if (!keep) fs::remove(store);
    fs::remove_all(root);
    return 0;
}
