#include "config/report_log.h"

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

void AppendLogLine(const std::string& fileName, std::string_view message) {
    std::string line = FormatDateTime(NowDateTime());
    line += '\t';
    line += message;
    line += "\r\n";
    AppendTextFile(ProgramFolder() + "/" + fileName, line);
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
        if (Settings.DebugMode) AppendLogLine("report.txt", message);
    } catch (...) {
    }
}

void WriteWizardReport(std::string_view message) {
    try {
        AppendLogLine("wizardreport.txt", message);
    } catch (...) {
    }
}

}  // namespace mailsift
