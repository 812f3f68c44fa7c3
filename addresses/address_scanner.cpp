#include "addresses/address_scanner.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "config/report_log.h"
#include "platform/text_match.h"
#include "platform/work_hooks.h"
#include "stores/store_facade.h"

namespace mailsift {

namespace {

constexpr std::string_view kAddressMask = "*@*.*";
constexpr size_t kMinCleanLength = 2;
constexpr size_t kMaxCleanLength = 34;

// Per byte: whether it belongs to a bracketed address, whether it may stand in the first
// domain label (the same bytes but the dot, which ends that label), and its lower case.
constexpr uint8_t kInAddress = 1;
constexpr uint8_t kInLabel = 2;

struct ByteTables {
    std::array<uint8_t, 256> kind{};
    std::array<unsigned char, 256> lower{};
};

constexpr ByteTables MakeByteTables() {
    ByteTables tables;
    for (int c = 0; c < 256; ++c) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = c >= '0' && c <= '9';
        if (letter || digit || c == '-') tables.kind[c] = kInAddress | kInLabel;
        if (c == '.') tables.kind[c] = kInAddress;
        tables.lower[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return tables;
}

constexpr ByteTables kBytes = MakeByteTables();

const unsigned char* SkipWhile(const unsigned char* p, const unsigned char* end, uint8_t kind) {
    while (p < end && (kBytes.kind[*p] & kind) != 0) ++p;
    return p;
}

bool IsAsciiAlnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Feeds one body line that holds an address to the clean filter, with the message's sender
// and recipient.
void TakeFromLine(std::string_view line, const TMessage& message, AddressList& list) {
    AddCleanAddress(TakeLineCandidate(line), list);
    AddCleanAddress(message.FromAddress, list);
    AddCleanAddress(message.ToAddress, list);
}

// Lines end at CR, LF or CR LF; a zero byte ends the text.
void ScanBody(const TMessage& message, AddressList& list, const std::function<void()>& report) {
    std::string_view body(message.Body);
    body = body.substr(0, body.find('\0'));
    size_t pos = 0;
    while (pos < body.size() && !StopRequested()) {
        const size_t end = std::min(body.find_first_of("\r\n", pos), body.size());
        const std::string_view line = body.substr(pos, end - pos);
        pos = end;
        if (pos < body.size()) {
            pos += (body[pos] == '\r' && pos + 1 < body.size() && body[pos + 1] == '\n') ? 2 : 1;
        }
        if (!MatchesMask(line, kAddressMask)) continue;
        TakeFromLine(line, message, list);
        report();
        LetMessageLoopRun();
    }
}

}  // namespace

void BracketedScanner::Append(const unsigned char* from, const unsigned char* to) {
    const auto count = static_cast<size_t>(to - from);
    length_ += count;
    if (length_ > kMaxBracketedAddress) return;
    const size_t start = token_.size();
    token_.append(reinterpret_cast<const char*>(from), count);
    for (size_t i = start; i < token_.size(); ++i) {
        token_[i] = static_cast<char>(kBytes.lower[static_cast<unsigned char>(token_[i])]);
    }
}

void BracketedScanner::Commit() {
    if (length_ > kMaxBracketedAddress || !list_.Add(token_)) return;
    ++sourceCount_;
    if (progress_) progress_(sourceCount_);
}

// A failed attempt leaves p on the byte that ended it, which is looked at again as a possible
// "<"; so "<<a@b.c>" is found, and no byte is looked at more than twice.
bool BracketedScanner::Feed(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        switch (state_) {
            case State::Outside: {
                const void* bracket = std::memchr(p, '<', static_cast<size_t>(end - p));
                if (bracket == nullptr) return true;
                if (StopRequested()) return false;
                p = static_cast<const unsigned char*>(bracket) + 1;
                token_.clear();
                length_ = 0;
                state_ = State::Local;
                break;
            }
            case State::Local: {
                const unsigned char* run = p;
                p = SkipWhile(p, end, kInAddress);
                Append(run, p);
                if (p == end) return true;
                // An empty local part ends the attempt at the "@".
                if (*p == '@' && length_ > 0) {
                    Append(p, p + 1);
                    ++p;
                    state_ = State::FirstLabel;
                } else {
                    state_ = State::Outside;
                }
                break;
            }
            case State::FirstLabel: {
                const unsigned char* run = p;
                p = SkipWhile(p, end, kInLabel);
                Append(run, p);
                if (p == end) return true;
                if (*p == '.') {
                    Append(p, p + 1);
                    ++p;
                    state_ = State::Rest;
                } else {
                    state_ = State::Outside;
                }
                break;
            }
            case State::Rest: {
                const unsigned char* run = p;
                p = SkipWhile(p, end, kInAddress);
                Append(run, p);
                if (p == end) return true;
                if (*p == '>') {
                    ++p;
                    Commit();
                }
                state_ = State::Outside;
                break;
            }
        }
    }
    return true;
}

void BracketedScanner::Finish() {
    state_ = State::Outside;
    token_.clear();
    length_ = 0;
}

bool ScanStoreFileRaw(const std::string& path, int64_t size, AddressList& list,
                      int64_t& sourceCount, const AddressProgress& progress, size_t chunkSize) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    if (StopRequested() || size <= 0) return true;
    // The chunks are read straight into our buffer; a stream buffer would only copy them again.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    const auto chunk = static_cast<uint64_t>(std::max<size_t>(chunkSize, 1));
    std::vector<char> buffer(static_cast<size_t>(std::min(chunk, static_cast<uint64_t>(size))));
    BracketedScanner scanner(list, sourceCount, progress);
    auto left = static_cast<uint64_t>(size);
    while (left > 0) {
        // Also where no "<" comes for a long stretch (an attachment), a Stop ends the scan.
        if (StopRequested()) return true;
        const auto want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), left));
        const size_t got = std::fread(buffer.data(), 1, want, file.get());
        if (!scanner.Feed({buffer.data(), got})) return true;
        left -= got;
        LetMessageLoopRun();
        if (got < want) {
            if (std::ferror(file.get()) != 0) return false;
            break;  // the file has shrunk since its size was taken: this is its end
        }
    }
    scanner.Finish();
    return true;
}

void ScanStoreMessages(const std::string& path, AddressList& list,
                       const AddressProgress& progress) {
    const std::function<void()> report = [&list, &progress] {
        if (progress) progress(static_cast<int64_t>(list.size()));
    };
    StoreHandle handle = 0;
    try {
        TFolderList folders;
        handle = OpenMessageStore(path, folders);
        if (handle > kMaxResultCode) {
            TMessage message;
            for (const TFolder* folder : folders) {
                for (int32_t index = 0; index < folder->MessageCount; ++index) {
                    if (StopRequested()) break;
                    try {
                        GetMessageBody(handle, *folder, index, message);
                    } catch (const std::exception&) {
                        continue;  // a damaged message costs only itself
                    }
                    ScanBody(message, list, report);
                    // Bodies without a line worth scanning do not yield, and a store may hold
                    // thousands of them.
                    LetMessageLoopRun();
                }
                if (StopRequested()) break;
            }
        }
    } catch (const std::exception& error) {
        WriteReport(std::string("Extract exception: ") + error.what());
    }
    // Also a failed open is answered with a close, of the code it returned: no backend owns
    // that value, so nothing is closed by mistake.
    try {
        CloseMessageStore(handle);
    } catch (const std::exception& error) {
        WriteReport(std::string("Extract exception(2): ") + error.what());
    }
    LetMessageLoopRun();
    report();
}

std::string TakeLineCandidate(std::string_view line) {
    const size_t at = line.find('@');
    if (at == std::string_view::npos) return {};
    const size_t space = line.rfind(' ', at);
    const size_t start = space == std::string_view::npos ? 0 : space + 1;
    const size_t end = std::min(line.find_first_of(" ,", at + 1), line.size());
    std::string candidate(line.substr(start, end - start));
    const size_t colon = candidate.find(':');
    if (colon != std::string::npos) candidate.erase(0, colon + 1);
    return candidate;
}

bool AddCleanAddress(std::string_view text, AddressList& list) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool inner = i != 0 && i + 1 != text.size();
        if (IsAsciiAlnum(c) || (inner && (c == '-' || c == '.' || c == '_' || c == '@'))) {
            result.push_back(c);
            // Longer input can only be rejected: stop before a huge line is copied whole.
            if (result.size() > kMaxCleanLength) return false;
        }
    }
    if (result.size() < kMinCleanLength || !MatchesMask(result, kAddressMask)) return false;
    return list.Add(result);
}

}  // namespace mailsift
