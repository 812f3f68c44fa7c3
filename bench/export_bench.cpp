// Speed and peak memory of the export run (message files, no date folder) over a generated
// mailbox and a generated Outlook Express store of about 500 MB each, about 50,000 messages of
// 2 to 16 KB with one in fifty carrying a 50 to 400 KB attachment; beside them the time that
// "git mailsplit" and "undbx" take to split the same stores into files.
//   bench_export [FOLDER [MEGABYTES]]
// The stores are written to FOLDER/stores and kept for later runs (a temporary folder without
// FOLDER). Each export runs in a child process of its own, so that the memory it reports is the
// export's alone and not the generator's.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/child_process.h"
#include "bench/sample_mail.h"
#include "config/folders.h"
#include "config/settings.h"
#include "samples/dbx_store_writer.h"
#include "samples/mailbox_writer.h"
#include "stores/dbx_reader.h"

namespace {

namespace fs = std::filesystem;

// Small messages, as most mail is: about 10 KB on average, one in fifty with an attachment.
constexpr mailsift::bench::SampleShape kShape{.minLines = 30,
                                              .maxLines = 240,
                                              .attachmentEvery = 50,
                                              .minAttachment = 50 << 10,
                                              .maxAttachment = 400 << 10};

// The message as the mailbox writer writes it, without its separator line.
std::string MessageText(const mailsift::samples::MailboxMessage& message, const fs::path& scratch) {
    {
        mailsift::samples::MailboxWriter writer(scratch.string(), mailsift::samples::LineEnd::CrLf);
        writer.Add(message);
        writer.Close();
    }
    std::FILE* file = std::fopen(scratch.c_str(), "rb");
    std::string text(fs::file_size(scratch), '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    return text.substr(text.find('\n') + 1);
}

int64_t WriteMailbox(const fs::path& path, int64_t bytes) {
    std::mt19937 random(20261208);
    mailsift::samples::MailboxWriter writer(path.string());
    for (size_t n = 0; writer.Size() < bytes; ++n)
        writer.Add(mailsift::bench::SampleMessage(random, n, kShape));
    writer.Close();
    return static_cast<int64_t>(writer.MessageStarts().size());
}

// Five folder files of equal share below "folders.dbx".
int64_t WriteDbxStore(const fs::path& folder, int64_t bytes) {
    fs::create_directories(folder);
    std::mt19937 random(20030407);
    const char* names[] = {"Inbox", "Sent Items", "Archive", "Projects", "Drafts"};
    mailsift::samples::DbxFoldersFileWriter list;
    int64_t messages = 0;
    size_t n = 0;
    for (int i = 0; i < 5; ++i) {
        mailsift::samples::DbxFolderFileWriter file;
        for (int64_t written = 0; written < bytes / 5; ++n, ++messages) {
            const mailsift::samples::MailboxMessage source =
                mailsift::bench::SampleMessage(random, n, kShape);
            mailsift::samples::DbxMessage message;
            message.Text = MessageText(source, folder / "scratch");
            message.Subject = source.Subject;
            message.SenderName = source.FromName;
            message.SenderAddress = source.FromAddress;
            message.ReceivedTime = 126597932400000000ULL + n * 600'000'000ULL;
            if (!source.Attachments.empty()) message.Flags = mailsift::kDbxAttachmentFlag;
            written += static_cast<int64_t>(message.Text.size());
            file.Add(std::move(message));
        }
        const std::string fileName = std::string(names[i]) + ".dbx";
        file.Write((folder / fileName).string());
        list.Add({names[i], fileName, i + 2, 1, false});
    }
    fs::remove(folder / "scratch");
    list.Write((folder / "folders.dbx").string());
    return messages;
}

struct Written {
    int64_t files = 0;
    int64_t bytes = 0;
};

Written WrittenBelow(const fs::path& folder) {
    Written written;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        ++written.files;
        written.bytes += static_cast<int64_t>(entry.file_size());
    }
    return written;
}

void Report(const char* what, const char* program, double seconds, double storeMegabytes,
            double peakMegabytes, const Written& written) {
    std::printf("%-8s %-14s %6.2f s  %5.0f MB/s  peak memory %5.1f MB  %lld files, %lld bytes\n",
                what, program, seconds, storeMegabytes / seconds, peakMegabytes,
                static_cast<long long>(written.files), static_cast<long long>(written.bytes));
}

// Each program writes into a folder of its own that is removed only at the end: deleting many
// files makes the next thousands of file creations slower (the file system skips the inodes
// it freed a moment ago), which would charge one program for the other's clean-up.
void Compare(const char* what, const std::vector<std::string>& ours,
             const std::vector<std::string>& theirs, const fs::path& ourOutput,
             const fs::path& theirOutput, double storeMegabytes) {
    fs::create_directories(theirOutput);
    ::sync();
    double peak = 0;
    const double ourSeconds = mailsift::bench::TimeChild(ours, peak, false);
    Report(what, "export run", ourSeconds, storeMegabytes, peak, WrittenBelow(ourOutput));
    ::sync();
    double theirPeak = 0;
    const double theirSeconds = mailsift::bench::TimeChild(theirs, theirPeak, true);
    Report(what, theirs[0] == "git" ? "git mailsplit" : theirs[0].c_str(), theirSeconds,
           storeMegabytes, theirPeak, WrittenBelow(theirOutput));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--export") {
        return mailsift::bench::ExportStoreInChild(argv[2], argv[3], ".eml", "Bench");
    }
    const bool keep = argc > 1;
    const fs::path root =
        keep ? fs::path(argv[1]) : fs::temp_directory_path() / "mailsift-bench-export";
    const int64_t bytes = (argc > 2 ? std::atoll(argv[2]) : 500) * 1000 * 1000;
    const fs::path stores = root / "stores";
    fs::create_directories(stores);
    // The bench's own program folder: its history and log stay out of the user's.
    setenv("MAILSIFT_HOME", (root / "program").c_str(), 1);
    const std::string self = mailsift::ExecutablePath();

    const fs::path mailbox = stores / "Inbox";
    const fs::path express = stores / "express";
    // The writers hold a folder's messages in memory; they run in a child of their own, so that
    // this process stays small and the children it times do not inherit its memory.
    if (!fs::exists(mailbox) || !fs::exists(express / "folders.dbx")) {
        const pid_t writer = fork();
        if (writer == 0) {
            if (!fs::exists(mailbox)) {
                std::printf("wrote a mailbox of %lld messages\n",
                            static_cast<long long>(WriteMailbox(mailbox, bytes)));
            }
            if (!fs::exists(express / "folders.dbx")) {
                std::printf("wrote an Outlook Express store of %lld messages\n",
                            static_cast<long long>(WriteDbxStore(express, bytes)));
            }
            std::fflush(stdout);
            _exit(0);
        }
        waitpid(writer, nullptr, 0);
    }
    const double mailboxMegabytes = static_cast<double>(fs::file_size(mailbox)) / 1e6;
    const double expressMegabytes = static_cast<double>(WrittenBelow(express).bytes) / 1e6;
    std::printf("mailbox %.1f MB, Outlook Express store %.1f MB\n", mailboxMegabytes,
                expressMegabytes);

    const fs::path outputs = root / "outputs";
    fs::remove_all(outputs);
    Compare("mailbox", {self, "--export", mailbox.string(), (outputs / "ours-mailbox").string()},
            {"git", "mailsplit", "-o" + (outputs / "theirs-mailbox").string(), mailbox.string()},
            outputs / "ours-mailbox", outputs / "theirs-mailbox", mailboxMegabytes);
    Compare("dbx",
            {self, "--export", (express / "folders.dbx").string(), (outputs / "ours-dbx").string()},
            {"undbx", express.string(), (outputs / "theirs-dbx").string()}, outputs / "ours-dbx",
            outputs / "theirs-dbx", expressMegabytes);
    fs::remove_all(keep ? outputs : root);
    return 0;
}
