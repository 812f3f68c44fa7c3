// Speed, system calls and peak memory of the export run over a generated mailbox and a generated
// Outlook Express store of about 500 MB each, about 50,000 messages of 2 to 16 KB with one in
// fifty carrying a 16 to 160 KB attachment (a fifth of the bytes): exported as message files
// beside "git mailsplit" and "undbx", which split the same stores into files, and as
// attachments only. Every program writes on the disk of FOLDER and on tmpfs (/dev/shm).
//   bench_export [FOLDER [MEGABYTES [RUNS]]]
// The stores are written to FOLDER/stores and kept for later runs; without FOLDER it is the
// folder "bench-export" beside the build. Each export runs in a child process of its own, so
// that the memory it reports is the export's alone and not the generator's. Each program runs
// RUNS times (3 by default) into fresh folders, in alternating order; the fastest and the
// median time are shown. The system calls per message are counted by one run under strace.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
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
#include "bench/system_calls.h"
#include "config/folders.h"
#include "samples/dbx_store_writer.h"
#include "samples/mailbox_writer.h"
#include "stores/dbx_reader.h"

namespace {

namespace fs = std::filesystem;

// Small messages, as most mail is: about 10 KB on average, one in fifty with an attachment, so
// that attachments make about a fifth of the bytes.
constexpr mailsift::bench::SampleShape kShape{.minLines = 30,
                                              .maxLines = 240,
                                              .attachmentEvery = 50,
                                              .minAttachment = 16 << 10,
                                              .maxAttachment = 160 << 10};

// Bytes of the written stores and of the attachments in them (as base64 text).
struct Share {
    int64_t total = 0;
    int64_t attachments = 0;

    void Add(const mailsift::samples::MailboxMessage& message, int64_t size) {
        total += size;
        for (const auto& attachment : message.Attachments) {
            attachments += static_cast<int64_t>(attachment.Content.size()) * 4 / 3;
        }
    }
};

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

int64_t WriteMailbox(const fs::path& path, int64_t bytes, Share& share) {
    std::mt19937 random(20261208);
    mailsift::samples::MailboxWriter writer(path.string());
    for (size_t n = 0; writer.Size() < bytes; ++n) {
        const mailsift::samples::MailboxMessage message =
            mailsift::bench::SampleMessage(random, n, kShape);
        const int64_t before = writer.Size();
        writer.Add(message);
        share.Add(message, writer.Size() - before);
    }
    writer.Close();
    return static_cast<int64_t>(writer.MessageStarts().size());
}

// Five folder files of equal share below "folders.dbx".
int64_t WriteDbxStore(const fs::path& folder, int64_t bytes, Share& share) {
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
            share.Add(source, static_cast<int64_t>(message.Text.size()));
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
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
        if (!entry.is_regular_file()) continue;
        ++written.files;
        written.bytes += static_cast<int64_t>(entry.file_size());
    }
    return written;
}

// One program of the comparison: its name in the table and its command, into which "OUT" is
// the output folder.
struct Program {
    Program(std::string programName, std::vector<std::string> command)
        : name(std::move(programName)), args(std::move(command)) {}

    std::string name;
    std::vector<std::string> args;
    std::vector<double> seconds;
    double peakMegabytes = 0;
    Written written;
    mailsift::bench::SystemCallCounts calls;

    std::vector<std::string> Into(const fs::path& output) const {
        std::vector<std::string> filled;
        for (const std::string& arg : args) {
            const size_t at = arg.find("OUT");
            filled.push_back(at == std::string::npos
                                 ? arg
                                 : arg.substr(0, at) + output.string() + arg.substr(at + 3));
        }
        return filled;
    }
};

struct Comparison {
    std::string store;
    double megabytes = 0;
    std::vector<Program> programs;  // the first is our message-file export
};

// Runs every program of every comparison `runs` times below outputs. Each run writes into
// folders of its own; the order of the programs turns round from one run to the next, so that
// none always runs on the file system the one before has just filled.
void TimeAll(std::vector<Comparison>& comparisons, const fs::path& outputs, int runs,
             bool removeEachRun) {
    for (int run = 0; run < runs; ++run) {
        const fs::path round = outputs / ("run" + std::to_string(run));
        for (Comparison& comparison : comparisons) {
            std::vector<Program*> order;
            for (Program& program : comparison.programs) order.push_back(&program);
            if (run % 2 == 1) std::reverse(order.begin(), order.end());
            for (Program* program : order) {
                const fs::path output = round / (comparison.store + " " + program->name);
                fs::create_directories(output);
                ::sync();
                double peak = 0;
                program->seconds.push_back(
                    mailsift::bench::TimeChild(program->Into(output), peak, true));
                program->peakMegabytes = std::max(program->peakMegabytes, peak);
                program->written = WrittenBelow(output);
            }
        }
        // On tmpfs the outputs hold memory; a file system on disk keeps them to the end, since
        // it creates files slowly right after a mass deletion.
        if (removeEachRun) fs::remove_all(round);
    }
}

void CountCalls(std::vector<Comparison>& comparisons, const fs::path& outputs) {
    for (Comparison& comparison : comparisons) {
        for (Program& program : comparison.programs) {
            const fs::path output = outputs / "traced" / (comparison.store + " " + program.name);
            fs::create_directories(output);
            program.calls =
                mailsift::bench::CountSystemCalls(program.Into(output), outputs / "strace.txt");
        }
    }
}

void Report(const char* fileSystem, const std::vector<Comparison>& comparisons) {
    for (const Comparison& comparison : comparisons) {
        // Every message is one file of our message-file export.
        const int64_t messages = comparison.programs.front().written.files;
        const double reference = *std::min_element(comparison.programs.front().seconds.begin(),
                                                   comparison.programs.front().seconds.end());
        for (const Program& program : comparison.programs) {
            std::vector<double> sorted = program.seconds;
            std::sort(sorted.begin(), sorted.end());
            std::printf(
                "%-5s %-7s %-18s fastest %6.2f s (%4.2fx)  median %6.2f s  %5.0f MB/s  peak %5.1f "
                "MB  %lld files, %lld bytes\n",
                fileSystem, comparison.store.c_str(), program.name.c_str(), sorted.front(),
                sorted.front() / reference, sorted[sorted.size() / 2],
                comparison.megabytes / sorted.front(), program.peakMegabytes,
                static_cast<long long>(program.written.files),
                static_cast<long long>(program.written.bytes));
        }
        for (const Program& program : comparison.programs) {
            std::printf("%-5s %-7s %-18s %s\n", fileSystem, comparison.store.c_str(),
                        program.name.c_str(),
                        mailsift::bench::PerMessage(program.calls, messages).c_str());
        }
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--export") {
        const bool attachments = std::string(argv[4]) == "attachments";
        return mailsift::bench::ExportStoreInChild(argv[2], argv[3], ".eml", "Bench",
                                                   attachments
                                                       ? mailsift::ExportForm::AttachmentsOnly
                                                       : mailsift::ExportForm::MessageFiles);
    }
    const std::string self = mailsift::ExecutablePath();
    const fs::path root =
        argc > 1 ? fs::path(argv[1]) : fs::path(self).parent_path().parent_path() / "bench-export";
    const int64_t bytes = (argc > 2 ? std::atoll(argv[2]) : 500) * 1000 * 1000;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const fs::path stores = root / "stores";
    fs::create_directories(stores);
    // The bench's own program folder: its history and log stay out of the user's.
    setenv("MAILSIFT_HOME", (root / "program").c_str(), 1);

    const fs::path mailbox = stores / "Inbox";
    const fs::path express = stores / "express";
    // The writers hold a folder's messages in memory; they run in a child of their own, so that
    // this process stays small and the children it times do not inherit its memory.
    if (!fs::exists(mailbox) || !fs::exists(express / "folders.dbx")) {
        const pid_t writer = fork();
        if (writer == 0) {
            Share share;
            if (!fs::exists(mailbox)) {
                std::printf("wrote a mailbox of %lld messages\n",
                            static_cast<long long>(WriteMailbox(mailbox, bytes, share)));
            }
            if (!fs::exists(express / "folders.dbx")) {
                std::printf("wrote an Outlook Express store of %lld messages\n",
                            static_cast<long long>(WriteDbxStore(express, bytes, share)));
            }
            std::printf("attachments are %.0f%% of the bytes written\n",
                        100.0 * static_cast<double>(share.attachments) /
                            static_cast<double>(std::max<int64_t>(share.total, 1)));
            std::fflush(stdout);
            _exit(0);
        }
        waitpid(writer, nullptr, 0);
    }
    const double mailboxMegabytes = static_cast<double>(fs::file_size(mailbox)) / 1e6;
    const double expressMegabytes = static_cast<double>(WrittenBelow(express).bytes) / 1e6;
    std::printf("mailbox %.1f MB, Outlook Express store %.1f MB, %d runs\n", mailboxMegabytes,
                expressMegabytes, runs);

    const std::string dbx = (express / "folders.dbx").string();
    const std::vector<Comparison> comparisons = {
        {"mailbox",
         mailboxMegabytes,
         {{"export .eml", {self, "--export", mailbox.string(), "OUT", "messages"}},
          {"git mailsplit", {"git", "mailsplit", "-oOUT", mailbox.string()}},
          {"export attachments", {self, "--export", mailbox.string(), "OUT", "attachments"}}}},
        {"dbx",
         expressMegabytes,
         {{"export .eml", {self, "--export", dbx, "OUT", "messages"}},
          {"undbx", {"undbx", express.string(), "OUT"}},
          {"export attachments", {self, "--export", dbx, "OUT", "attachments"}}}},
    };
    const bool counting = mailsift::bench::CanCountSystemCalls();
    if (!counting) std::printf("strace is not installed: system calls are not counted\n");

    std::vector<std::pair<std::string, fs::path>> fileSystems = {{"disk", root / "outputs"}};
    if (mailsift::bench::IsTmpfs("/dev/shm")) {
        fileSystems.emplace_back(
            "tmpfs", fs::path("/dev/shm") / ("mailsift-bench-export-" + std::to_string(getpid())));
    } else {
        std::printf("/dev/shm is no tmpfs: the exports run on the disk only\n");
    }
    for (const auto& [name, outputs] : fileSystems) {
        if (name == "disk" && mailsift::bench::IsTmpfs(root)) {
            std::printf("%s is on tmpfs: give a FOLDER on a disk\n", root.c_str());
        }
        fs::remove_all(outputs);
        std::vector<Comparison> measured = comparisons;
        TimeAll(measured, outputs, runs, name == "tmpfs");
        if (counting) CountCalls(measured, outputs);
        Report(name.c_str(), measured);
        fs::remove_all(outputs);
    }
    return 0;
}
