#pragma once
// Timing another program, or this one again, in a child process of its own, and the part of
// the benchmark that runs in such a child: one export.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "config/folders.h"
#include "config/settings.h"
#include "export/export_run.h"
#include "outlook/default_store_backends.h"

namespace mailsift::bench {

// Runs argv in a child; returns the wall time and sets the child's peak memory in MB (which
// includes what this process had resident when it forked: a few MB).
inline double TimeChild(const std::vector<std::string>& args, double& peakMegabytes, bool quiet) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);  // a child's freopen would write out what is still buffered here
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (quiet) freopen("/dev/null", "w", stdout);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("  (%s ended with status %d)\n", args[0].c_str(), status);
    }
    return seconds;
}

// One export of one store into storage in the form, message files with the extension (".eml"
// files are written as Internet mail); the exit status of the child.
inline int ExportStoreInChild(const std::string& store, const std::string& storage,
                              const std::string& extension, const std::string& clientName,
                              ExportForm form = ExportForm::MessageFiles) {
    InitFolders(ExecutablePath());
    UseDefaultStoreBackends();
    Settings.DebugMode = false;  // the report log is not what is measured
    ExportRun run({.StoragePath = storage + "/",
                   .AppendPath = false,
                   .ZipEmails = false,
                   .ExtractOptions = static_cast<int>(form)});
    const ExportStoreResult result = run.ExtractAllMessages(store, clientName, extension == ".eml");
    std::printf("  %lld messages, %lld files\n", static_cast<long long>(result.Messages),
                static_cast<long long>(result.Files));
    return result.Opened() && result.WriteFailures == 0 ? 0 : 1;
}

}  // namespace mailsift::bench
