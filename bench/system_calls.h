#pragma once
// How many system calls a program makes, of each kind, counted by strace in a child process.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace mailsift::bench {

// Calls by name, and "total"; empty when strace cannot run.
using SystemCallCounts = std::map<std::string, int64_t>;

inline bool CanCountSystemCalls() {
    return std::system("strace -V >/dev/null 2>&1") == 0;
}

// Runs args under "strace -f -c" (the children of the program are counted with it) with its
// standard output silenced.
inline SystemCallCounts CountSystemCalls(const std::vector<std::string>& args,
                                         const std::filesystem::path& summary) {
    std::vector<std::string> traced = {"strace", "-f", "-c", "-o", summary.string()};
    traced.insert(traced.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (const std::string& arg : traced) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    SystemCallCounts counts;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return counts;
    // Rows: "% time, seconds, usecs/call, calls, [errors,] syscall"; the last row is the total.
    std::ifstream in(summary);
    for (std::string line; std::getline(in, line);) {
        std::istringstream row(line);
        std::vector<std::string> fields;
        for (std::string field; row >> field;) fields.push_back(field);
        if (fields.size() < 5 || fields[3].find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        counts[fields.back()] += std::stoll(fields[3]);
    }
    std::filesystem::remove(summary);
    return counts;
}

// "N.NN calls/message: name n.nn …" for the calls that a message costs at least a tenth of.
inline std::string PerMessage(const SystemCallCounts& counts, int64_t messages) {
    if (counts.empty() || messages <= 0) return "(not counted)";
    const auto total = counts.find("total");
    char text[64];
    std::snprintf(text, sizeof text, "%6.2f calls/message:",
                  total == counts.end()
                      ? 0.0
                      : static_cast<double>(total->second) / static_cast<double>(messages));
    std::string line = text;
    for (const auto& [name, calls] : counts) {
        const double each = static_cast<double>(calls) / static_cast<double>(messages);
        if (name == "total" || each < 0.1) continue;
        std::snprintf(text, sizeof text, " %s %.2f", name.c_str(), each);
        line += text;
    }
    return line;
}

}  // namespace mailsift::bench
