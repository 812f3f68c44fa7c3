#pragma once
// Whether an address can exist: its local part holds only characters that mail systems accept
// unquoted, and its domain, or the domain with "www." in front, is known to the name resolver.
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "addresses/address_list.h"

namespace mailsift {

// The mark appended to the caption of an item whose address failed a check.
constexpr std::string_view kNotExistsMark = " [not exists]";

// Answers whether a host name resolves. Checks take one, so that tests need no network.
using HostResolver = std::function<bool(const std::string& name)>;

// The system's resolver (getaddrinfo): true when the name has at least one address. Every
// failure, a missing network included, counts as false.
bool HostResolves(const std::string& name);

// The domain that a check of address looks up, lower-cased: the text after its first "@".
// None when the address fails without any lookup: it has no "@", or its local part, lower-cased,
// holds other characters than "-", ".", "_", digits and the letters a to z.
std::optional<std::string> DomainToLookUp(std::string_view address);

// Lower-cased, the text before the first "@" must consist of "-", ".", "_", digits and the
// letters a to z (it may be empty); then the domain after the "@" is looked up, "www." form
// first, at most twice. False without any lookup when there is no "@" or the local part fails.
bool CheckAddressExists(std::string_view address, const HostResolver& resolves = HostResolves);

// Checks one item and appends the mark when it fails, also to a caption that carries one
// already. Returns the check's answer.
bool CheckReviewItem(ReviewItem& item, const HostResolver& resolves = HostResolves);

// Checks every item from the first, while cancelled() is false, letting the message loop run
// between items; progress hears (items checked, items in all). Returns the number marked.
size_t CheckAllReviewItems(std::vector<ReviewItem>& items, const HostResolver& resolves,
                           const std::function<bool()>& cancelled,
                           const std::function<void(size_t done, size_t total)>& progress = {});

// How many lookups of a check run at once, and how long one may take before its name counts as
// one that does not resolve.
constexpr size_t kDomainLookupsAtOnce = 8;
constexpr std::chrono::milliseconds kDomainLookupTimeout{5000};

// The lookups of one check over many addresses, each domain resolved once however many
// addresses share it: its "www." form first, the bare domain only when that fails. It knows
// nothing of time or threads; its owner starts the lookups it hands out, as many at a time as
// it likes, and tells it their answers.
class DomainCheckRun {
  public:
    struct Lookup {
        size_t ticket = 0;  // given back with the answer
        std::string host;
    };
    struct Verdict {
        size_t key = 0;
        bool exists = false;
    };

    // Adds address under the owner's key. Returns the verdict when it is known at once (a
    // local part that fails, or a domain already decided); none when it waits for a lookup.
    std::optional<bool> Add(size_t key, std::string_view address);
    // The next host name to resolve; none while every lookup needed is started or done.
    std::optional<Lookup> NextLookup();
    // The answer to a lookup handed out; returns the verdicts it decides. An unknown ticket, or
    // a second answer to the same lookup, decides nothing.
    std::vector<Verdict> Answer(size_t ticket, bool resolves);
    // Whether every address added has its verdict.
    bool Finished() const { return undecided_ == 0; }
    // Host names handed out so far.
    size_t LookupsStarted() const { return lookupsStarted_; }

  private:
    enum class Stage { Queued, AskingWww, BareQueued, AskingBare, Decided };
    struct Domain {
        std::string name;
        Stage stage = Stage::Queued;
        bool exists = false;
        std::vector<size_t> waiting;
    };

    std::vector<Domain> domains_;
    std::unordered_map<std::string, size_t> byName_;
    std::deque<size_t> queue_;  // domains whose next lookup is due
    size_t undecided_ = 0;
    size_t lookupsStarted_ = 0;
};

}  // namespace mailsift
