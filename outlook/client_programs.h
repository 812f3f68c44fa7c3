#pragma once
// Where the mail clients' programs are: the Windows ones inside the Wine prefix, the Linux
// ones on the PATH.
#include <string>
#include <string_view>

namespace mailsift {

// The settings key of the command that starts MS Outlook for the step-by-step wizard.
inline constexpr std::string_view kOutlookLaunchCommandKey = "MSOutlookLaunchCommand";

// The first file named program (any letter case) below the Wine prefix's program folders, or "".
std::string WineProgramPath(std::string_view program);

// The program of a mail client named as the shell knows it ("Outlook", "MSIMN",
// "Thunderbird", "Eudora"), or "" when it is not installed.
std::string ClientProgramPath(std::string_view client);

// The setting "MSOutlookLaunchCommand" when it is set; otherwise "wine" and the Wine prefix's
// outlook.exe in quotes when one is installed, else "".
std::string OutlookLaunchCommand();

}  // namespace mailsift
