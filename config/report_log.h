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
// Appends to "wizardreport.txt" whatever DebugMode says; tells no listener. Never throws.
void WriteWizardReport(std::string_view message);

}  // namespace mailsift
