#include "stores/mailbox_scan.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <utility>

#include "config/report_log.h"
#include "platform/safe_path_component.h"
#include "platform/work_hooks.h"

namespace mailsift {

namespace {

// Reads are large so that a multi-gigabyte mailbox costs few system calls; the first read is
// small because most files of a profile are no mailbox and tell so in their first bytes.
constexpr size_t kChunkSize = size_t{1} << 20;
constexpr size_t kProbeSize = size_t{1} << 12;

constexpr std::string_view kSeparatorStart = "From ";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Decides whether a line is a separator line from its bytes as they arrive, so that a line of
// any length is tested without being held: the verdict needs only the state below. The usual
// line is settled by its first byte.
class SeparatorMatcher {
  public:
    void Feed(std::string_view piece) {
        for (const char c : piece) {
            if (verdict_ != Verdict::Open) return;
            Step(c);
        }
    }

    // Whether the bytes seen so far settle the verdict whatever follows.
    bool Settled() const { return verdict_ != Verdict::Open; }

    // The verdict once the whole line has been fed.
    bool Matches() const {
        return verdict_ == Verdict::Yes || (verdict_ == Verdict::Open && token_ == Token::Minute2);
    }

  private:
    enum class Verdict { Open, Yes, No };
    // The shape of the current blank-delimited word, while it can still be "h:mm" or "hh:mm".
    enum class Token { Start, Hour1, Hour2, Colon, Minute1, Minute2, Other };

    void Step(char c) {
        if (prefix_ < kSeparatorStart.size()) {
            if (c != kSeparatorStart[prefix_]) verdict_ = Verdict::No;
            ++prefix_;
            return;
        }
        if (!afterBlank_) {
            afterBlank_ = c == ' ';
            return;
        }
        if (c == ':' && ++colons_ == 2) {
            verdict_ = Verdict::Yes;
            return;
        }
        if (c == ' ' || c == '\t' || c == '\r') {
            if (token_ == Token::Minute2) verdict_ = Verdict::Yes;
            token_ = Token::Start;
            return;
        }
        token_ = NextToken(c);
    }

    Token NextToken(char c) const {
        const bool digit = IsDigit(c);
        switch (token_) {
            case Token::Start:
                return digit ? Token::Hour1 : Token::Other;
            case Token::Hour1:
                return digit ? Token::Hour2 : c == ':' ? Token::Colon : Token::Other;
            case Token::Hour2:
                return c == ':' ? Token::Colon : Token::Other;
            case Token::Colon:
                return digit ? Token::Minute1 : Token::Other;
            case Token::Minute1:
                return digit ? Token::Minute2 : Token::Other;
            case Token::Minute2:
            case Token::Other:
                break;
        }
        return Token::Other;
    }

    size_t prefix_ = 0;
    Verdict verdict_ = Verdict::Open;
    bool afterBlank_ = false;
    int colons_ = 0;
    Token token_ = Token::Start;
};

bool IsPowerOfTwo(size_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

// Written for the counts that are powers of two and for the total, so the log shows a large
// file's progress without a line per message.
void ReportFound(size_t count, const std::string& path) {
    WriteReport("Found " + std::to_string(count) + " emails in message box file: " + path);
}

// Splits the bytes of a mailbox file into lines and keeps the offsets of the separator lines.
// A line is judged only when the next one begins, because the file's last line does not count.
class MessageCounter {
  public:
    MessageCounter(const std::string& path, TMessageOffset& offsets)
        : path_(path), offsets_(offsets) {}

    // False once counting is over: the file is no mailbox, or a stop was requested.
    bool Feed(const char* data, size_t size) {
        size_t at = 0;
        while (at < size) {
            if (!inLine_) {
                if (pending_ && !Judge()) return false;
                inLine_ = true;
                lineStart_ = position_ + static_cast<int64_t>(at);
                matcher_ = SeparatorMatcher();
            }
            const void* lineEnd = std::memchr(data + at, '\n', size - at);
            const size_t end = lineEnd != nullptr
                                   ? static_cast<size_t>(static_cast<const char*>(lineEnd) - data)
                                   : size;
            if (!matcher_.Settled()) matcher_.Feed(std::string_view(data + at, end - at));
            if (lines_ == 0 && matcher_.Settled() && !matcher_.Matches()) return NoMailbox();
            if (lineEnd == nullptr) break;
            pending_ = true;
            pendingStart_ = lineStart_;
            pendingSeparator_ = matcher_.Matches();
            inLine_ = false;
            at = end + 1;
        }
        position_ += static_cast<int64_t>(size);
        return true;
    }

    int32_t Finish() {
        const size_t count = offsets_.size();
        if (count != 0 && !IsPowerOfTwo(count)) ReportFound(count, path_);
        return static_cast<int32_t>(count);
    }

  private:
    bool NoMailbox() {
        offsets_.clear();
        return false;
    }

    // The pending line is known not to be the last one.
    bool Judge() {
        pending_ = false;
        if (lines_++ == 0 && !pendingSeparator_) return NoMailbox();
        if (skipNext_) {
            skipNext_ = false;
            return true;
        }
        if (!pendingSeparator_) return true;
        offsets_.push_back(pendingStart_);
        skipNext_ = true;
        if (IsPowerOfTwo(offsets_.size())) ReportFound(offsets_.size(), path_);
        LetMessageLoopRun();
        return !StopRequested() &&
               offsets_.size() < static_cast<size_t>(std::numeric_limits<int32_t>::max());
    }

    const std::string& path_;
    TMessageOffset& offsets_;
    SeparatorMatcher matcher_;
    int64_t position_ = 0;  // file offset of the bytes being fed
    bool inLine_ = false;
    int64_t lineStart_ = 0;
    bool pending_ = false;  // a whole line waits for its verdict
    int64_t pendingStart_ = 0;
    bool pendingSeparator_ = false;
    int64_t lines_ = 0;  // lines judged
    bool skipNext_ = false;
};

std::string JoinPath(const std::string& dir, const std::string& name) {
    return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::vector<std::string> SortedEntryNames(const std::string& dir) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entry(dir, fs::directory_options::skip_permission_denied, error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        names.push_back(entry->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TFolder MakeFolder(const std::string& file, const std::string& name, const std::string& below,
                   TMessageOffset offsets) {
    TFolder folder;
    folder.Name = name;
    folder.Path = "MailBox/" + below + "/" + SafePathComponent(name);
    folder.StoreFile = file;
    folder.MessageCount = static_cast<int32_t>(offsets.size());
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    folder.Size = error ? 0 : static_cast<int64_t>(size);
    folder.MessageOffsets = std::move(offsets);
    return folder;
}

class TreeScan {
  public:
    std::vector<TFolder> Run(const std::string& root) {
        ScanDirectory(root, "", 0);
        return std::move(folders_);
    }

  private:
    // below: the directory's path under the scanned root, "" for the root, else "/a/b".
    void ScanDirectory(const std::string& dir, const std::string& below, int32_t parent) {
        WriteReport("Find messages box in: " + dir);
        for (const std::string& name : SortedEntryNames(dir)) {
            if (StopRequested()) return;
            LetMessageLoopRun();
            const std::string path = JoinPath(dir, name);
            TMessageOffset offsets;
            if (CountMailboxMessages(path, offsets) > 0) {
                folders_.push_back(MakeFolder(path, name, below, std::move(offsets)));
                folders_.back().Id = ++running_;
                folders_.back().ParentId = parent;
            }
            std::error_code error;
            if (std::filesystem::is_directory(std::filesystem::symlink_status(path, error))) {
                ScanDirectory(path, below + "/" + SafePathComponent(name), running_);
            }
        }
    }

    std::vector<TFolder> folders_;
    int32_t running_ = 0;
};

}  // namespace

bool IsSeparatorLine(std::string_view line) {
    SeparatorMatcher matcher;
    matcher.Feed(line);
    return matcher.Matches();
}

int32_t CountMailboxMessages(const std::string& path, TMessageOffset& offsets) {
    offsets.clear();
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) return 0;
    MessageCounter counter(path, offsets);
    const auto buffer = std::make_unique_for_overwrite<char[]>(kChunkSize);
    size_t want = kProbeSize;
    while (!StopRequested()) {
        file.read(buffer.get(), static_cast<std::streamsize>(want));
        const auto got = file.gcount();
        if (got <= 0 || !counter.Feed(buffer.get(), static_cast<size_t>(got))) break;
        want = kChunkSize;
        LetMessageLoopRun();
    }
    return counter.Finish();
}

std::vector<TFolder> ScanMailboxDirectory(const std::string& root) {
    return TreeScan().Run(root);
}

std::vector<TFolder> ScanMailboxFile(const std::string& path) {
    std::vector<TFolder> folders;
    TMessageOffset offsets;
    if (CountMailboxMessages(path, offsets) > 0) {
        const std::string name = std::filesystem::path(path).filename().string();
        folders.push_back(MakeFolder(path, name, "", std::move(offsets)));
        folders.back().Id = 1;
    }
    return folders;
}

}  // namespace mailsift
