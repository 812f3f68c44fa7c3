#pragma once
// Message text read line by line, as the message reader takes it.
#include <array>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

namespace mailsift {

// Reads lines from a stream buffer in large chunks. A line ends at LF and a CR before the LF is
// dropped; in CR LF mode only the pair ends a line and a lone LF stays in it. When the input
// ends, a last line without its line end is still returned, and from then on every call
// returns the end line, so no loop over the lines can run past the input.
class LineReader {
  public:
    explicit LineReader(std::streambuf& input) : input_(input) {}
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next line; the view stays valid until the next call.
    std::string_view Next(bool crlfOnly = false) {
        return NextLine(crlfOnly).value_or(kEndOfInput);
    }
    // The next line, or nullopt once the input is exhausted.
    std::optional<std::string_view> NextLine(bool crlfOnly = false);
    // Whether the input ended with a line end (or was empty), once NextLine gave nullopt.
    bool EndedWithLineEnd() const { return ended_with_line_end_; }
    // Whether the text ends its lines with CR LF, as its first line does; true until a line
    // end has been read. Text a store keeps with LF line ends has no CR LF anywhere.
    bool UsesCrLf() const { return uses_crlf_; }

    // Whether a line from Next ends the message. Message files are not a transmission: a "."
    // line is text, so only the end of the input (told apart by where its view points) ends it.
    bool IsEnd(std::string_view line) const { return line.data() == kEndOfInput.data(); }

  private:
    static constexpr std::string_view kEndOfInput = ".";

    bool Fill();

    std::streambuf& input_;
    // Left uninitialised: only bytes read into it are ever looked at, and a message read is too
    // short a job to clear 64 KB for.
    std::array<char, 1 << 16> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool ended_ = false;
    std::string long_line_;
    bool ended_with_line_end_ = true;
    bool line_end_seen_ = false;
    bool uses_crlf_ = true;
};

}  // namespace mailsift
