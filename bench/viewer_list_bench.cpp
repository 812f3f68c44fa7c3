// Speed and memory of the store viewer's message list over a written mailbox folder of 100,000
// small messages: the viewer lists the folder into its model offscreen, beside
// "mailsift-cli headers" reading the same headers into its output.
//   bench_viewer_list [MESSAGES [RUNS]]
// Each run of the viewer reads the store's folders and lists the folder; the first run is the
// one that scans the mailbox, as the command does on every run.
#include <stdlib.h>

#include <QApplication>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench/child_process.h"
#include "bench/sample_mail.h"
#include "config/folders.h"
#include "config/settings.h"
#include "samples/mailbox_writer.h"
#include "ui/browse_form.h"
#include "ui/dbx_view_form.h"
#include "ui/message_list_model.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A value of /proc/self/status in kB ("VmRSS", "VmHWM").
long StatusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    }
    return 0;
}

void WriteFolder(const std::string& root, long messages) {
    fs::create_directories(root);
    std::mt19937 random(20261209);
    mailsift::samples::MailboxWriter writer(mailsift::samples::AddMailboxFolder(
        mailsift::samples::MailClient::Thunderbird, root, "Inbox"));
    for (long n = 0; n < messages; ++n) {
        mailsift::samples::MailboxMessage message;
        message.FromName = "Sender " + std::to_string(n % 977);
        message.FromAddress = "sender" + std::to_string(n % 977) + "@example.org";
        message.Subject = mailsift::bench::SampleSentence(random).substr(0, 20 + n % 40);
        message.Body = {mailsift::bench::SampleSentence(random),
                        mailsift::bench::SampleSentence(random)};
        writer.Add(message);
    }
    writer.Close();
}

// The bytes the list's rows hold: the rows themselves and their texts' heap.
size_t ModelBytes(const mailsift::ui::MessageListModel& model) {
    size_t bytes = 0;
    for (int row = 0; row < model.rowCount(); ++row) {
        const mailsift::ui::MessageRow& data = model.Row(row);
        bytes += sizeof(data);
        for (const std::string* text : {&data.From, &data.Subject}) {
            if (text->capacity() > 15) bytes += text->capacity() + 1;
        }
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const long messages = argc > 1 ? std::atol(argv[1]) : 100000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const fs::path work = fs::temp_directory_path() / "mailsift-bench-viewer";
    fs::remove_all(work);
    const std::string store = (work / "store").string();
    const std::string program = (work / "program").string();
    setenv("MAILSIFT_HOME", program.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string self = mailsift::ExecutablePath();
    mailsift::InitFolders(self);
    // Neither program logs each message: the report log is not what is measured.
    mailsift::WriteSetting("DebugMode", "0");
    mailsift::ReadStartupSettings();

    auto start = Clock::now();
    WriteFolder(store, messages);
    double megabytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(store)) {
        if (entry.is_regular_file()) megabytes += static_cast<double>(entry.file_size()) / 1e6;
    }
    std::printf("%ld messages, %.1f MB, written in %.1f s\n", messages, megabytes, Seconds(start));

    const std::string cli = (fs::path(self).parent_path() / "mailsift-cli").string();
    for (int run = 1; run <= runs; ++run) {
        double peak = 0;
        const double seconds = mailsift::bench::TimeChild({cli, "headers", store}, peak, true);
        std::printf("mailsift-cli headers   run %d  %7.2f s  %8.0f messages/s  %6.1f MB peak\n",
                    run, seconds, static_cast<double>(messages) / seconds, peak);
    }

    QApplication application(argc, argv);
    mailsift::ui::BrowseForm browse;
    mailsift::ui::DBXViewForm viewer(browse);
    viewer.resize(1000, 700);
    viewer.show();
    QApplication::processEvents();
    QTreeWidget& tree = viewer.Tree();
    QTreeWidgetItem* node = viewer.AddStorageToTree(QStringLiteral("bench"), store);
    const long residentBefore = StatusKilobytes("VmRSS");
    for (int run = 1; run <= runs; ++run) {
        tree.setCurrentItem(nullptr);
        start = Clock::now();
        tree.setCurrentItem(node);
        const double read = Seconds(start);
        const auto listing = Clock::now();
        tree.setCurrentItem(node->child(0));
        const double listed = Seconds(listing);
        const double seconds = Seconds(start);
        const int rows = viewer.Messages().rowCount();
        std::printf(
            "viewer list            run %d  %7.2f s  %8.0f messages/s  (store read %.2f s, "
            "listing %.2f s, %d rows)\n",
            run, seconds, static_cast<double>(rows) / seconds, read, listed, rows);
        if (rows != messages) std::printf("  the list holds %d rows of %ld\n", rows, messages);
        if (run == 1) {
            const double rowCount = std::max(rows, 1);
            std::printf(
                "  memory per row: %.0f bytes held by the model, %.0f bytes resident "
                "growth; peak %.1f MB\n",
                static_cast<double>(ModelBytes(viewer.Messages())) / rowCount,
                static_cast<double>(StatusKilobytes("VmRSS") - residentBefore) * 1024.0 / rowCount,
                static_cast<double>(StatusKilobytes("VmHWM")) / 1024.0);
        }
        // A store node is read once: take it off so that the next run reads it again.
        delete node;
        node = viewer.AddStorageToTree(QStringLiteral("bench"), store);
    }
    fs::remove_all(work);
    return 0;
}
