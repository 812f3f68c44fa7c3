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

bool CheckAddressExists(std::string_view address, const HostResolver& resolves) {
    std::string lower(address);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    const size_t at = lower.find('@');
    if (at == std::string::npos) return false;
    if (!std::all_of(lower.begin(), lower.begin() + static_cast<std::ptrdiff_t>(at),
                     IsLocalPartCharacter)) {
        return false;
    }
    const std::string domain = lower.substr(at + 1);
    return resolves("www." + domain) || resolves(domain);
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

}  // namespace mailsift
