#include "outlook/outlook_first_step.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>
#include <vector>

#include "config/language.h"
#include "config/report_log.h"
#include "config/settings.h"
#include "outlook/client_programs.h"
#include "platform/process_modules.h"
#include "platform/text_match.h"
#include "platform/work_hooks.h"

extern char** environ;

namespace mailsift {

namespace {

constexpr std::chrono::milliseconds kSleepSlice{5};

// Blanks separate the words of the command; double quotes keep blanks inside one word.
std::vector<std::string> SplitCommand(std::string_view command) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (char c : command) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

// The process id, or the error that kept the program from starting.
struct Launch {
    pid_t process = 0;
    std::string error;
};

Launch Start(const std::string& command) {
    std::vector<std::string> words = SplitCommand(command);
    if (words.empty()) {
        return {.error = "no MS Outlook program: set " + std::string(kOutlookLaunchCommandKey) +
                         " in main.ini"};
    }
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t process = 0;
    const int status = posix_spawnp(&process, argv[0], nullptr, nullptr, argv.data(), environ);
    if (status != 0) return {.error = words[0] + ": " + std::strerror(status)};
    return {.process = process, .error = {}};
}

// Sleeps for pause with pending events running meanwhile.
void PauseWithEvents(std::chrono::milliseconds pause) {
    const auto end = std::chrono::steady_clock::now() + pause;
    while (std::chrono::steady_clock::now() < end) {
        LetMessageLoopRun();
        std::this_thread::sleep_for(kSleepSlice);
    }
}

bool Ended(pid_t process) {
    int status = 0;
    return waitpid(process, &status, WNOHANG) == process;
}

bool HasMapiLibrary(const std::vector<std::string>& modules) {
    for (const std::string& module : modules) {
        if (IsMapiLibraryPath(module)) return true;
    }
    return false;
}

bool WaitAndFind(pid_t process, const FirstStepTiming& timing) {
    WriteWizardReport("The MS Outlook Process ID: " + std::to_string(process));
    std::vector<std::string> modules;
    bool ended = false;
    for (int attempt = 0; attempt < timing.Tries; ++attempt) {
        PauseWithEvents(timing.Pause);
        modules = ProcessModules(process);
        if (HasMapiLibrary(modules)) break;
        if (Ended(process)) {
            ended = true;
            break;
        }
    }
    if (ended) {
        WriteWizardReport("The MS Outlook process ended without loading the MAPI library.");
        return false;
    }
    if (modules.empty()) {
        WriteWizardReport("The MS Outlook process memory cannot be read.");
        return false;
    }
    WriteWizardReport("Enumerating MS Outlook librarys in MS Outlook process memory:");
    std::string found;
    for (const std::string& module : modules) {
        WriteWizardReport(module);
        if (IsMapiLibraryPath(module)) found = module;
    }
    if (found.empty()) {
        WriteWizardReport("MSMAPI library not found.");
        return false;
    }
    WriteWizardReport("MSMAPI library found, with full path: " + found);
    WriteSetting("MSOutlookLibraryPath", found);
    WriteWizardReport("MSMAPI library path is stored");
    return true;
}

}  // namespace

bool IsMapiLibraryPath(std::string_view path) {
    const size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return MatchesMask(name, "msmapi32.dll") || MatchesMask(name, "msmapi32.dll.so");
}

FirstStepOutcome FirstStep(const FirstStepTiming& timing) {
    FirstStepOutcome outcome;
    const std::string command = OutlookLaunchCommand();
    WriteWizardReport("Launch command: " + command);
    const Launch launch = Start(command);
    WriteWizardReport("Try to launch MS Outlook application, with result: " +
                      (launch.error.empty() ? std::to_string(launch.process) : launch.error));
    if (!launch.error.empty()) {
        WriteWizardReport("The MS Outlook launch result is negative.");
        std::string message = LanguageString("MSOutlookStepByStepForm.TheMailsiftCould");
        if (const size_t at = message.find("%s"); at != std::string::npos) {
            message.replace(at, 2, launch.error);
        }
        WriteWizardReport("The message: " + message);
        outcome.UserMessage = std::move(message);
    } else {
        WriteWizardReport("The MS Outlook launch result is positive.");
        outcome.ProcessId = launch.process;
        outcome.Succeeded = WaitAndFind(launch.process, timing);
    }
    WriteWizardReport(outcome.Succeeded ? "Result of Step 1 is positive."
                                        : "Result of Step 1 is negative.");
    return outcome;
}

}  // namespace mailsift
