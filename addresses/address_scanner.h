#pragma once
// The two address recognisers: the bracketed scan, which reads a store file as plain bytes and
// takes every address written between "<" and ">", and the message scan, which reads every
// message of a store through the store facade and takes one address per body line, plus the
// sender and recipient of each message that has such a line.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "addresses/address_list.h"

namespace mailsift {

// Hears a running count: new entries of the source (bracketed scan) or the list's size
// (message scan).
using AddressProgress = std::function<void(int64_t count)>;

// Bytes read from a store file at a time. The scan's memory does not grow with the file.
constexpr size_t kScanChunkSize = size_t{1} << 20;
// An address between brackets longer than this is passed over. No real address comes near it
// (the mail standards allow 254 characters); the cap keeps a file made of one endless
// "<aaaa..." from filling memory.
constexpr size_t kMaxBracketedAddress = 4096;

// The bracketed recogniser over bytes fed in pieces of any size. An attempt under way when a
// piece ends goes on in the next one, so what is found does not depend on where the pieces
// were cut. Found addresses are lower-cased; each one the list does not yet hold is appended,
// raises sourceCount by one and is told to progress with the new count.
class BracketedScanner {
  public:
    BracketedScanner(AddressList& list, int64_t& sourceCount, AddressProgress progress = {})
        : list_(list), sourceCount_(sourceCount), progress_(std::move(progress)) {}

    // Scans the next piece; false once the stop flag has ended the scan.
    bool Feed(std::string_view bytes);
    // The end of the data: an attempt still under way lacks its ">" and is dropped.
    void Finish();

  private:
    enum class State { Outside, Local, FirstLabel, Rest };

    void Append(const unsigned char* from, const unsigned char* to);
    void Commit();

    AddressList& list_;
    int64_t& sourceCount_;
    AddressProgress progress_;
    State state_ = State::Outside;
    std::string token_;
    size_t length_ = 0;  // of the attempt so far; token_ stops growing at the cap
};

// Runs the bracketed scan over the first size bytes of the file at path (fewer when the file
// has shrunk since its size was taken), reading it in pieces of chunkSize bytes. sourceCount
// and progress as for BracketedScanner. Returns false when the file could not be opened or a
// read failed; the addresses found before a failed read are kept.
bool ScanStoreFileRaw(const std::string& path, int64_t size, AddressList& list,
                      int64_t& sourceCount, const AddressProgress& progress = {},
                      size_t chunkSize = kScanChunkSize);

// Opens the store at path through the facade, runs the message scan over every message of
// every folder into list and closes the store. progress hears the list's size after every
// body line that holds an address and once at the end. Failures are written to the report log.
void ScanStoreMessages(const std::string& path, AddressList& list,
                       const AddressProgress& progress = {});

// The candidate of one body line: the text around its first "@", from after the last space
// before it up to the first space or comma after it, then cut after its first colon. Empty when
// the line holds no "@".
std::string TakeLineCandidate(std::string_view line);

// Keeps the ASCII letters and digits of text, and "-", ".", "_" and "@" except as its first or
// last character, and appends the result to list when it is 2 to 34 characters long, holds an
// "@" with a "." after it and the list holds no entry equal to it ignoring case. True when it
// was appended.
bool AddCleanAddress(std::string_view text, AddressList& list);

}  // namespace mailsift
