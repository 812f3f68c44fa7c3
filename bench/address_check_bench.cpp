// Time of a check of a whole review list: 10,000 addresses over 300 domains, each lookup
// answered after 50 ms by a resolver that stands in for a slow name server (two thirds of the
// domains resolve in their "www." form, a sixth only bare, a sixth not at all). The lookups run
// as the wizard runs them, kDomainLookupsAtOnce at a time, each started as soon as one ends, on
// a simulated clock, so that the figure is the waiting a user sees and not this machine's. The
// bookkeeping itself is timed for real. Prints both, the lookups made and the addresses found
// missing, next to what resolving every address on its own, one after another, would take.
//   bench_address_check [ADDRESSES [DOMAINS [MILLISECONDS]]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <queue>
#include <string>
#include <vector>

#include "addresses/address_check.h"

namespace {

using Clock = std::chrono::steady_clock;

int Argument(int argc, char** argv, int index, int fallback) {
    return argc > index ? std::atoi(argv[index]) : fallback;
}

// d<i>.example: i % 6 < 4 resolves as www.d<i>.example, i % 6 == 4 only bare.
bool Resolves(const std::string& host) {
    const bool www = host.starts_with("www.");
    const std::string domain = www ? host.substr(4) : host;
    const int number = std::atoi(domain.c_str() + 1);
    return www ? number % 6 < 4 : number % 6 == 4;
}

struct Answer {
    long long at;  // simulated milliseconds
    size_t ticket;
    bool resolves;
    bool operator>(const Answer& other) const { return at > other.at; }
};

}  // namespace

int main(int argc, char** argv) {
    const int addresses = Argument(argc, argv, 1, 10000);
    const int domains = Argument(argc, argv, 2, 300);
    const long long delay = Argument(argc, argv, 3, 50);

    const Clock::time_point start = Clock::now();
    mailsift::DomainCheckRun run;
    size_t missing = 0;
    for (int i = 0; i < addresses; ++i) {
        const std::string address =
            "user" + std::to_string(i) + "@d" + std::to_string(i % domains) + ".example";
        if (const std::optional<bool> exists = run.Add(static_cast<size_t>(i), address)) {
            missing += *exists ? 0 : 1;
        }
    }
    std::priority_queue<Answer, std::vector<Answer>, std::greater<>> pending;
    long long now = 0;
    const auto begin = [&] {
        while (pending.size() < mailsift::kDomainLookupsAtOnce) {
            const std::optional<mailsift::DomainCheckRun::Lookup> lookup = run.NextLookup();
            if (!lookup) break;
            pending.push({now + delay, lookup->ticket, Resolves(lookup->host)});
        }
    };
    begin();
    while (!pending.empty()) {
        const Answer answer = pending.top();
        pending.pop();
        now = answer.at;
        for (const mailsift::DomainCheckRun::Verdict& verdict :
             run.Answer(answer.ticket, answer.resolves)) {
            missing += verdict.exists ? 0 : 1;
        }
        begin();
    }
    const double bookkeeping = std::chrono::duration<double>(Clock::now() - start).count();

    double oneByOne = 0;
    for (int i = 0; i < addresses; ++i) {
        oneByOne += (i % domains % 6 < 4 ? 1 : 2) * static_cast<double>(delay) / 1000;
    }
    std::printf("addresses %d, domains %d, answers after %lld ms, %zu lookups at once\n", addresses,
                domains, delay, mailsift::kDomainLookupsAtOnce);
    std::printf(
        "check        %8.2f s waited  %6zu lookups  %6zu not existing  (bookkeeping %.3f s)\n",
        static_cast<double>(now) / 1000, run.LookupsStarted(), missing, bookkeeping);
    std::printf("one by one   %8.2f s waited  (each address resolved on its own)\n", oneByOne);
    return run.Finished() ? 0 : 1;
}
