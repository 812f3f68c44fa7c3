// Speed of the mailbox backend over a generated mailbox of about 500 MB with LF line ends:
// plain messages of 2 to 20 KB, some quoting "From " lines, and one in ten carrying a base64
// attachment of 50 KB to 1 MB. Times counting the messages, then saving every message raw
// into one reused file, then the header read of every message.
//   bench_mailbox [FILE [MEGABYTES]]
// A FILE given is kept, so that other tools can be timed on the same mailbox, and one that is
// there already is used as it is, never written over; otherwise the mailbox goes to a temporary
// file that is removed at the end.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bench/sample_mail.h"
#include "config/settings.h"
#include "samples/mailbox_writer.h"
#include "stores/mailbox_backend.h"
#include "stores/mailbox_scan.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void Report(const char* what, double megabytes, double seconds, size_t messages) {
    std::printf("%-34s %8.3f s  %7.0f MB/s  %8.0f messages/s\n", what, seconds, megabytes / seconds,
                static_cast<double>(messages) / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    // The backend logs as it counts; the log is not what is measured.
    mailsift::Settings.DebugMode = false;
    const bool keep = argc > 1;
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / "mailsift-bench-mailbox";
    std::filesystem::create_directories(work);
    const std::string path = keep ? argv[1] : (work / "Inbox").string();
    const int64_t target = (argc > 2 ? std::atoll(argv[2]) : 500) * 1000 * 1000;

    // A FILE that is there already is read as it is, never written over; the offsets written
    // are then not known to check the count against.
    auto start = Clock::now();
    std::optional<mailsift::TMessageOffset> written;
    if (!keep || !std::filesystem::exists(path)) {
        std::mt19937 random(20261208);
        mailsift::samples::MailboxWriter writer(path);
        for (size_t n = 0; writer.Size() < target; ++n)
            writer.Add(mailsift::bench::SampleMessage(random, n));
        writer.Close();
        written = writer.MessageStarts();
        std::printf("wrote %zu messages to %s in %.1f s\n", written->size(), path.c_str(),
                    Seconds(start));
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::printf("mailbox of %.1f MB\n", megabytes);

    start = Clock::now();
    mailsift::TMessageOffset offsets;
    const int32_t count = mailsift::CountMailboxMessages(path, offsets);
    Report("count", megabytes, Seconds(start), static_cast<size_t>(count));
    if (written && offsets != *written) {
        std::printf("the offsets counted differ from the offsets written\n");
        return 1;
    }

    mailsift::MailboxStoreBackend backend;
    mailsift::TFolderList folders;
    const mailsift::StoreHandle handle = backend.Open(path, folders);
    if (handle <= mailsift::kMaxResultCode) {
        std::printf("open failed: %u\n", handle);
        return 1;
    }
    const mailsift::TFolder& folder = *folders.front();

    mailsift::TMessageExtractionOptions save;
    save.SaveMessage = true;
    save.TargetFile = (work / "message.eml").string();
    mailsift::TMessage message;
    start = Clock::now();
    for (uint32_t i = 0; i < static_cast<uint32_t>(count); ++i) {
        backend.ReadMessage(handle, save, folder, i, message);
    }
    Report("raw save of every message", megabytes, Seconds(start), static_cast<size_t>(count));

    start = Clock::now();
    for (uint32_t i = 0; i < static_cast<uint32_t>(count); ++i) {
        backend.ReadMessage(handle, {}, folder, i, message);
    }
    Report("header read of every message", megabytes, Seconds(start), static_cast<size_t>(count));

    backend.Close(handle);
    std::filesystem::remove_all(work);
    return 0;
}
