#pragma once
// The address lists that the recognisers fill, and the review list that is shown, checked,
// edited and saved.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mailsift {

// An ordered list of addresses in which no two entries are equal when letter case is ignored.
// Entries are ASCII (both recognisers keep only ASCII letters, digits and a little
// punctuation), so ASCII case folding is the whole comparison. A hash index beside the list
// keeps the duplicate test constant in time, however long the list grows.
class AddressList {
  public:
    // Appends address unless an entry equals it ignoring case; true when it was appended.
    bool Add(std::string_view address);
    bool Contains(std::string_view address) const;

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const std::string& operator[](size_t index) const { return entries_[index]; }
    const std::vector<std::string>& entries() const { return entries_; }
    std::vector<std::string>::const_iterator begin() const { return entries_.begin(); }
    std::vector<std::string>::const_iterator end() const { return entries_.end(); }

    void Clear();
    // Ascending, letter case ignored; the list stays sorted until entries are added.
    void Sort();

  private:
    // The index is open addressing over a flat array, with the folded keys side by side in one
    // buffer: a lookup touches about two cache lines where a node-based set touches four or
    // five, and the bracketed scan of a large mailbox makes one lookup per address it meets.
    struct Slot {
        uint64_t hash = 0;  // 0: the slot is free
        size_t offset = 0;  // of the folded key in keys_
        size_t length = 0;
    };

    static uint64_t FoldedHash(std::string_view text);
    // The slot that holds address, or the free slot where it would go.
    size_t FindSlot(std::string_view address, uint64_t hash) const;
    void GrowIndex();

    std::vector<std::string> entries_;
    std::vector<Slot> slots_;  // a power of two in size, at most half of them used
    std::string keys_;
};

// Ascending order with letter case ignored (ASCII); texts equal in that sense are ordered by
// their bytes, so the order never depends on where the texts came from.
bool ComesBeforeIgnoringCase(std::string_view a, std::string_view b);

// One line of the review list: the address as shown (with any marks a check appended) and
// the tag of the source it came from, which decides its file when each source is saved apart.
struct ReviewItem {
    std::string Caption;
    std::string Tag;

    bool operator==(const ReviewItem&) const = default;
};

// Remove every item whose caption, letter case ignored, ends in "@" followed by the domain of
// the selected item (the text after its first "@"), the selected item included. Nothing is
// removed when selected is out of range or its caption holds no "@". Returns the number
// removed.
size_t DeleteWithDomain(std::vector<ReviewItem>& items, size_t selected);
// Remove every item that holds an "@" and whose domain differs, letter case ignored, from the
// selected item's. The same conditions as above; returns the number removed.
size_t DeleteWithoutDomain(std::vector<ReviewItem>& items, size_t selected);

}  // namespace mailsift
