// Speed of the bracketed address scan over a generated mailbox of about 1 GB holding many
// addresses (a pool of 300,000, in mixed case, in headers and bodies, with near misses), next
// to grep with the equivalent pattern on the same file, lower-cased and made unique by sort.
// Prints both times, MB/s, the addresses each found and the peak memory of each.
//   bench_address_scan [FILE [MEGABYTES]]
// A FILE given is kept, so that other tools can be timed on the same mailbox, and one that is
// there already is used as it is, never written over; otherwise the mailbox goes to a temporary
// file that is removed at the end.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "addresses/address_scanner.h"
#include "bench/sample_mail.h"
#include "samples/mailbox_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kPoolSize = 300000;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The address pool: every tenth address in capitals, as some mailers write them.
std::vector<std::string> MakePool() {
    static const char* kNames[] = {"ann", "bob", "carol", "dan", "erin", "frank", "gina", "hal"};
    static const char* kDomains[] = {"example.com", "mail.example.org", "dept.example.co.uk",
                                     "example.net"};
    std::vector<std::string> pool;
    pool.reserve(kPoolSize);
    for (size_t i = 0; i < kPoolSize; ++i) {
        std::string address = std::string(kNames[i % 8]) + "." + std::to_string(i) + "@host" +
                              std::to_string(i % 997) + "." + kDomains[i % 4];
        if (i % 10 == 0) {
            for (char& c : address) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        }
        pool.push_back(std::move(address));
    }
    return pool;
}

mailsift::samples::MailboxMessage RandomMessage(std::mt19937& random,
                                                const std::vector<std::string>& pool) {
    std::uniform_int_distribution<size_t> pick(0, pool.size() - 1);
    mailsift::samples::MailboxMessage message;
    message.FromAddress = pool[pick(random)];
    message.To = "Reader <" + pool[pick(random)] + ">, <" + pool[pick(random)] + ">";
    message.Body.clear();
    const size_t lines = std::uniform_int_distribution<size_t>(10, 60)(random);
    for (size_t i = 0; i < lines; ++i) {
        switch (i % 8) {
            case 0:
                message.Body.push_back("> On Monday <" + pool[pick(random)] + "> wrote:");
                break;
            case 3:  // near misses: no dot in the domain, a plus sign, no closing bracket
                message.Body.push_back("<postmaster@localhost> <a+b@x.org> <open@x.org");
                break;
            default:
                message.Body.push_back(mailsift::bench::SampleSentence(random));
        }
    }
    return message;
}

struct ChildRun {
    std::string output;
    double seconds = 0;
    double peakMegabytes = 0;
};

// Runs work in a child process and collects what it prints. The parent never holds more than
// a few megabytes, so the peak that wait4 reports for the child (and whatever it started and
// waited for) is the child's own.
ChildRun RunInChild(const std::function<void()>& work) {
    ChildRun run;
    int fds[2];
    if (pipe(fds) != 0) return run;
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], STDOUT_FILENO);
        close(fds[1]);
        work();
        std::fflush(stdout);
        _exit(0);
    }
    close(fds[1]);
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0) {
        run.output.append(buffer, static_cast<size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    rusage usage{};
    if (pid > 0) wait4(pid, &status, 0, &usage);
    run.seconds = Seconds(start);
    run.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return run;
}

ChildRun RunShell(const std::string& command) {
    return RunInChild([&command] {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    });
}

void Report(const char* what, double megabytes, double seconds, long count, double peak) {
    std::printf("%-28s %7.3f s  %7.0f MB/s  %8ld addresses  peak RSS %6.1f MB\n", what, seconds,
                megabytes / seconds, count, peak);
}

}  // namespace

int main(int argc, char** argv) {
    const bool keep = argc > 1;
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / "mailsift-bench-addresses";
    std::filesystem::create_directories(work);
    const std::string path = keep ? argv[1] : (work / "Inbox").string();
    if (path.find('\'') != std::string::npos) {
        std::printf("the path must not hold a quote: it is given to the shell\n");
        return 2;
    }
    const int64_t target = (argc > 2 ? std::atoll(argv[2]) : 1000) * 1000 * 1000;

    // A FILE that is there already is scanned as it is, never written over.
    const bool reuse = keep && std::filesystem::exists(path);
    ChildRun written;
    if (!reuse)
        written = RunInChild([&path, target] {
            std::mt19937 random(20261208);
            const std::vector<std::string> pool = MakePool();
            mailsift::samples::MailboxWriter writer(path);
            while (writer.Size() < target) writer.Add(RandomMessage(random, pool));
            writer.Close();
            std::printf("%zu\n", writer.MessageStarts().size());
        });
    std::error_code error;
    const auto size = static_cast<int64_t>(std::filesystem::file_size(path, error));
    if (error || size == 0) {
        std::printf("the mailbox could not be written to %s\n", path.c_str());
        return 1;
    }
    const double megabytes = static_cast<double>(size) / 1e6;
    if (reuse) {
        std::printf("using the %.1f MB mailbox %s\n", megabytes, path.c_str());
    } else {
        std::printf("wrote %ld messages, %.1f MB, to %s in %.1f s\n",
                    std::atol(written.output.c_str()), megabytes, path.c_str(), written.seconds);
    }
    // Once through the file so that both readers find it in the page cache.
    RunShell("cat '" + path + "' > /dev/null");

    const ChildRun scan = RunInChild([&path, size] {
        mailsift::AddressList list;
        int64_t newEntries = 0;
        const auto start = Clock::now();
        const bool whole = mailsift::ScanStoreFileRaw(path, size, list, newEntries);
        std::printf("%zu %.6f %d\n", list.size(), Seconds(start), whole ? 1 : 0);
    });
    long found = -1;
    double ours = 0;
    int whole = 0;
    std::sscanf(scan.output.c_str(), "%ld %lf %d", &found, &ours, &whole);
    if (whole == 0) std::printf("the scan could not read the whole file\n");
    Report("ScanStoreFileRaw", megabytes, ours, found, scan.peakMegabytes);

    const std::string grep =
        "LC_ALL=C grep -oE '<[-.0-9A-Za-z]+@[-0-9A-Za-z]*\\.[-.0-9A-Za-z]*>' '" + path + "'";
    const ChildRun matches = RunShell(grep + " | wc -l");
    Report("grep -oE (matches only)", megabytes, matches.seconds, std::atol(matches.output.c_str()),
           matches.peakMegabytes);
    const ChildRun unique = RunShell(grep + " | LC_ALL=C tr A-Z a-z | LC_ALL=C sort -u | wc -l");
    const long uniqueCount = std::atol(unique.output.c_str());
    Report("grep -oE | tr | sort -u", megabytes, unique.seconds, uniqueCount, unique.peakMegabytes);
    std::printf("the scan takes %.2f of the time of grep alone and %.2f of the pipeline; %s\n",
                ours / matches.seconds, ours / unique.seconds,
                uniqueCount == found ? "the same addresses counted" : "the counts differ");

    if (!keep) std::filesystem::remove_all(work);
    return 0;
}
