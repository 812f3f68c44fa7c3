#include "mime/line_reader.h"

#include <cstring>

namespace mailsift {

bool LineReader::Fill() {
    if (ended_) return false;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    const std::streamsize got =
        input_.sgetn(buffer_.data() + end_, static_cast<std::streamsize>(buffer_.size() - end_));
    if (got <= 0) {
        ended_ = true;
        return false;
    }
    end_ += static_cast<size_t>(got);
    return true;
}

std::optional<std::string_view> LineReader::NextLine(bool crlfOnly) {
    long_line_.clear();
    bool spilled = false;
    for (;;) {
        const char* start = buffer_.data() + begin_;
        size_t searched = 0;
        while (begin_ + searched < end_) {
            const void* hit = std::memchr(start + searched, '\n', end_ - begin_ - searched);
            if (hit == nullptr) break;
            const size_t at = static_cast<size_t>(static_cast<const char*>(hit) - start);
            // A CR that ends the previous chunk counts as the one before this LF.
            const bool crBefore =
                at > 0 ? start[at - 1] == '\r'
                       : (spilled && !long_line_.empty() && long_line_.back() == '\r');
            if (crlfOnly && !crBefore) {
                searched = at + 1;
                continue;
            }
            std::string_view piece(start, at);
            begin_ += at + 1;
            ended_with_line_end_ = true;
            if (!line_end_seen_) {
                line_end_seen_ = true;
                uses_crlf_ = crBefore;
            }
            if (!spilled) {
                if (crBefore) piece.remove_suffix(1);
                return piece;
            }
            long_line_.append(piece);
            if (crBefore) long_line_.pop_back();
            return std::string_view(long_line_);
        }
        // No line end in the buffer: keep what there is and read on.
        if (end_ - begin_ == buffer_.size() || (ended_ && begin_ < end_)) {
            long_line_.append(start, end_ - begin_);
            spilled = true;
            begin_ = end_ = 0;
        }
        if (!Fill()) {
            if (begin_ < end_) {
                long_line_.append(buffer_.data() + begin_, end_ - begin_);
                spilled = true;
                begin_ = end_ = 0;
            }
            if (spilled && !long_line_.empty()) {
                ended_with_line_end_ = long_line_.back() == '\r';
                if (long_line_.back() == '\r') long_line_.pop_back();
                return std::string_view(long_line_);
            }
            return std::nullopt;
        }
    }
}

}  // namespace mailsift
