#pragma once
// Step 1 of the step-by-step wizard: start MS Outlook and read the MAPI library's full path
// from the libraries the running program loaded. Every step is written to the wizard report.
#include <sys/types.h>
#include <chrono>
#include <string>
#include <string_view>

namespace mailsift {

struct FirstStepTiming {
    int Tries = 101;
    std::chrono::milliseconds Pause{100};
};

struct FirstStepOutcome {
    bool Succeeded = false;
    pid_t ProcessId = 0;      // the program started, 0 when none was
    std::string UserMessage;  // what the user is told when the program could not be started
};

// Whether the file name of path names the MAPI library, a Windows one loaded by Wine
// ("MSMAPI32.DLL") or a Linux build ("msmapi32.dll.so"), in any letter case.
bool IsMapiLibraryPath(std::string_view path);

// Starts OutlookLaunchCommand(), then looks among the files the program and its children have
// mapped for the MAPI library, after each pause, up to timing.Tries times. The last library
// listed is stored in "MSOutlookLibraryPath". The program is left running for the user.
FirstStepOutcome FirstStep(const FirstStepTiming& timing = {});

}  // namespace mailsift
