#include "addresses/address_check.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <algorithm>

#include "platform/work_hooks.h"

namespace mailsift {

namespace {

bool IsLocalPartCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

}  // namespace

bool HostResolves(const std::string& name) {
    // A zero byte would cut the name short and look up another host than the one asked for.
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (found != nullptr) freeaddrinfo(found);
    return result == 0;
}

std::optional<std::string> DomainToLookUp(std::string_view address) {
    std::string lower(address);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    const size_t at = lower.find('@');
    if (at == std::string::npos) return std::nullopt;
    if (!std::all_of(lower.begin(), lower.begin() + static_cast<std::ptrdiff_t>(at),
                     IsLocalPartCharacter)) {
        return std::nullopt;
    }
    return lower.substr(at + 1);
}

bool CheckAddressExists(std::string_view address, const HostResolver& resolves) {
    const std::optional<std::string> domain = DomainToLookUp(address);
    return domain && (resolves("www." + *domain) || resolves(*domain));
}

bool CheckReviewItem(ReviewItem& item, const HostResolver& resolves) {
    const bool exists = CheckAddressExists(item.Caption, resolves);
    if (!exists) item.Caption += kNotExistsMark;
    return exists;
}

size_t CheckAllReviewItems(std::vector<ReviewItem>& items, const HostResolver& resolves,
                           const std::function<bool()>& cancelled,
                           const std::function<void(size_t done, size_t total)>& progress) {
    size_t marked = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (cancelled && cancelled()) break;
        if (!CheckReviewItem(items[i], resolves)) ++marked;
        LetMessageLoopRun();
        if (progress) progress(i + 1, items.size());
    }
    return marked;
}

std::optional<bool> DomainCheckRun::Add(size_t key, std::string_view address) {
    std::optional<std::string> name = DomainToLookUp(address);
    if (!name) return false;
    const auto [found, added] = byName_.try_emplace(*name, domains_.size());
    if (added) {
        Domain domain;
        domain.name = std::move(*name);
        domains_.push_back(std::move(domain));
        queue_.push_back(found->second);
    }
    Domain& domain = domains_[found->second];
    if (domain.stage == Stage::Decided) return domain.exists;
    if (domain.waiting.empty()) ++undecided_;
    domain.waiting.push_back(key);
    return std::nullopt;
}

std::optional<DomainCheckRun::Lookup> DomainCheckRun::NextLookup() {
    if (queue_.empty()) return std::nullopt;
    const size_t ticket = queue_.front();
    queue_.pop_front();
    Domain& domain = domains_[ticket];
    ++lookupsStarted_;
    if (domain.stage == Stage::Queued) {
        domain.stage = Stage::AskingWww;
        return Lookup{ticket, "www." + domain.name};
    }
    domain.stage = Stage::AskingBare;
    return Lookup{ticket, domain.name};
}

std::vector<DomainCheckRun::Verdict> DomainCheckRun::Answer(size_t ticket, bool resolves) {
    if (ticket >= domains_.size()) return {};
    Domain& domain = domains_[ticket];
    if (domain.stage == Stage::AskingWww && !resolves) {
        // The bare form goes ahead of domains not yet begun, so that this one is decided soon.
        domain.stage = Stage::BareQueued;
        queue_.push_front(ticket);
        return {};
    }
    if (domain.stage != Stage::AskingWww && domain.stage != Stage::AskingBare) return {};
    domain.stage = Stage::Decided;
    domain.exists = resolves;
    std::vector<Verdict> verdicts;
    verdicts.reserve(domain.waiting.size());
    for (size_t key : domain.waiting) verdicts.push_back({key, resolves});
    if (!domain.waiting.empty()) --undecided_;
    domain.waiting = {};
    return verdicts;
}

}  // namespace mailsift
