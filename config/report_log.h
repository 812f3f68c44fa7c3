#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "platform/date_time.h"

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

// "dd.mm.yyyy hh:mm:ss", or only the date when the time is exactly midnight.
std::string FormatLogTimeStamp(TDateTime when);

}  // namespace mailsift
