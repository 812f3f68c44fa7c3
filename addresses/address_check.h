#pragma once
// Whether an address can exist: its local part holds only characters that mail systems accept
// unquoted, and its domain, or the domain with "www." in front, is known to the name resolver.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
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

}  // namespace mailsift
