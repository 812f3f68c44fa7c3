#include "config/report_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "config/folders.h"
#include "config/settings.h"
#include "config/text_file.h"
#include "platform/date_time.h"

namespace mailsift {

namespace {

struct Listeners {
    int nextId = 1;
    std::vector<std::pair<int, ReportListener>> entries;
};

Listeners& ReportListeners() {
    static Listeners listeners;
    return listeners;
}

// The report log held open by the ReportLogKeptOpen objects alive; opened at its first line.
struct KeptLog {
    int holders = 0;
    int fd = -1;
};

KeptLog& KeptReportLog() {
    static KeptLog log;
    return log;
}

std::string LogLine(std::string_view message) {
    std::string line = FormatDateTime(NowDateTime());
    line += '\t';
    line += message;
    line += "\r\n";
    return line;
}

void AppendLogLine(const std::string& fileName, std::string_view message) {
    AppendTextFile(ProgramFolder() + "/" + fileName, LogLine(message));
}

void AppendReportLine(std::string_view message) {
    KeptLog& kept = KeptReportLog();
    if (kept.holders == 0) {
        AppendLogLine("report.txt", message);
        return;
    }
    if (kept.fd < 0) {
        kept.fd = ::open((ProgramFolder() + "/report.txt").c_str(),
                         O_WRONLY | O_CREAT | O_CLOEXEC | O_APPEND, 0666);
        if (kept.fd < 0) return;
    }
    const std::string line = LogLine(message);
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t n = ::write(kept.fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        rest.remove_prefix(static_cast<size_t>(n));
    }
}

}  // namespace

int AddReportListener(ReportListener listener) {
    Listeners& listeners = ReportListeners();
    int id = listeners.nextId++;
    listeners.entries.emplace_back(id, std::move(listener));
    return id;
}

void RemoveReportListener(int id) {
    std::erase_if(ReportListeners().entries, [id](const auto& entry) { return entry.first == id; });
}

void WriteReport(std::string_view message) {
    try {
        // A copy, so that a listener may add or remove listeners while it is told.
        std::vector<std::pair<int, ReportListener>> entries = ReportListeners().entries;
        std::string text(message);
        for (const auto& entry : entries) {
            try {
                entry.second(text);
            } catch (...) {
            }
        }
    } catch (...) {
    }
    try {
        if (Settings.DebugMode) AppendReportLine(message);
    } catch (...) {
    }
}

bool ReportHeard() {
    return Settings.DebugMode || !ReportListeners().entries.empty();
}

ReportLogKeptOpen::ReportLogKeptOpen() {
    ++KeptReportLog().holders;
}

ReportLogKeptOpen::~ReportLogKeptOpen() {
    KeptLog& kept = KeptReportLog();
    if (--kept.holders == 0 && kept.fd >= 0) {
        ::close(kept.fd);
        kept.fd = -1;
    }
}

void WriteWizardReport(std::string_view message) {
    try {
        AppendLogLine("wizardreport.txt", message);
    } catch (...) {
    }
}

}  // namespace mailsift
