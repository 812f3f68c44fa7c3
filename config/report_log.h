#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace mailsift {

using ReportListener = std::function<void(const std::string& message)>;

// Listeners (the windows' status lines) hear every WriteReport message. The id removes it.
int AddReportListener(ReportListener listener);
void RemoveReportListener(int id);

// Tells the listeners, then appends "time stamp<TAB>message" to "report.txt" in the program
// folder when DebugMode is on. Never fails and never throws.
void WriteReport(std::string_view message);
// Whether a WriteReport line now reaches anyone (a listener, or the log with DebugMode on):
// work that logs every item need not even build a line that nobody gets.
bool ReportHeard();

// While one lives, "report.txt" stays open, so that a line costs one write rather than an open,
// a write and a close. Each line is still written out as it is reported: a crash loses none.
class ReportLogKeptOpen {
  public:
    ReportLogKeptOpen();
    ~ReportLogKeptOpen();
    ReportLogKeptOpen(const ReportLogKeptOpen&) = delete;
    ReportLogKeptOpen& operator=(const ReportLogKeptOpen&) = delete;
};
// Appends to "wizardreport.txt" whatever DebugMode says; tells no listener. Never throws.
void WriteWizardReport(std::string_view message);

}  // namespace mailsift
