#include "addresses/address_list.h"

#include <algorithm>
#include <optional>
#include <random>

#include "platform/text_case.h"

namespace mailsift {

namespace {

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLowerCased(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = AsciiLower(c);
    return result;
}

// The text after the first "@", lower-cased; nullopt when there is no "@".
std::optional<std::string> LowerDomain(std::string_view caption) {
    const size_t at = caption.find('@');
    if (at == std::string_view::npos) return std::nullopt;
    return AsciiLowerCased(caption.substr(at + 1));
}

}  // namespace

uint64_t AddressList::FoldedHash(std::string_view text) {
    // FNV-1a over the folded bytes, so that no folded copy is made for a lookup. It starts from
    // a value drawn once per process and is mixed at the end: the table takes the low bits,
    // which plain FNV-1a leaves to the low bits of the input, and a store made to pile its
    // addresses into one run of slots would make every lookup a long search.
    static const uint64_t seed = [] {
        std::random_device device;
        return (static_cast<uint64_t>(device()) << 32) ^ device();
    }();
    uint64_t hash = 14695981039346656037ull ^ seed;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(AsciiLower(c));
        hash *= 1099511628211ull;
    }
    hash ^= hash >> 30;
    hash *= 0xbf58476d1ce4e5b9ull;
    hash ^= hash >> 27;
    hash *= 0x94d049bb133111ebull;
    hash ^= hash >> 31;
    return hash == 0 ? 1 : hash;
}

size_t AddressList::FindSlot(std::string_view address, uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.hash == 0) return i;
        if (slot.hash == hash && slot.length == address.size() &&
            EqualsIgnoringCase(std::string_view(keys_).substr(slot.offset, slot.length), address)) {
            return i;
        }
    }
}

void AddressList::GrowIndex() {
    std::vector<Slot> old(std::max<size_t>(slots_.size() * 2, 1024));
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.hash == 0) continue;
        size_t i = static_cast<size_t>(slot.hash) & mask;
        while (slots_[i].hash != 0) i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

bool AddressList::Add(std::string_view address) {
    if ((entries_.size() + 1) * 2 > slots_.size()) GrowIndex();
    const uint64_t hash = FoldedHash(address);
    Slot& slot = slots_[FindSlot(address, hash)];
    if (slot.hash != 0) return false;
    slot = {hash, keys_.size(), address.size()};
    for (char c : address) keys_.push_back(AsciiLower(c));
    entries_.emplace_back(address);
    return true;
}

bool AddressList::Contains(std::string_view address) const {
    return !slots_.empty() && slots_[FindSlot(address, FoldedHash(address))].hash != 0;
}

void AddressList::Clear() {
    entries_.clear();
    slots_.clear();
    keys_.clear();
}

void AddressList::Sort() {
    std::sort(entries_.begin(), entries_.end(), ComesBeforeIgnoringCase);
}

bool ComesBeforeIgnoringCase(std::string_view a, std::string_view b) {
    const auto folded = [](char c) { return static_cast<unsigned char>(AsciiLower(c)); };
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        if (folded(a[i]) != folded(b[i])) return folded(a[i]) < folded(b[i]);
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

size_t DeleteWithDomain(std::vector<ReviewItem>& items, size_t selected) {
    if (selected >= items.size()) return 0;
    const std::optional<std::string> domain = LowerDomain(items[selected].Caption);
    if (!domain) return 0;
    const std::string suffix = "@" + *domain;
    return std::erase_if(items, [&suffix](const ReviewItem& item) {
        return AsciiLowerCased(item.Caption).ends_with(suffix);
    });
}

size_t DeleteWithoutDomain(std::vector<ReviewItem>& items, size_t selected) {
    if (selected >= items.size()) return 0;
    const std::optional<std::string> domain = LowerDomain(items[selected].Caption);
    if (!domain) return 0;
    return std::erase_if(items, [&domain](const ReviewItem& item) {
        const std::optional<std::string> own = LowerDomain(item.Caption);
        return own && *own != *domain;
    });
}

}  // namespace mailsift
