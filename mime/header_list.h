#pragma once
// Header lines as a message holds them, with lookup by name.
#include <string>
#include <string_view>
#include <vector>

namespace mailsift {

// Every line of a header block as read (continuation lines are entries of their own, beginning
// with a blank or TAB). Lookup joins a header's continuation lines; setting replaces them.
class TIdHeaderList {
  public:
    std::vector<std::string> Lines;

    // The value of the first header named name (case-insensitive): the text after the colon,
    // with its continuation lines appended as they stand (RFC 5322 unfolding: only the line
    // breaks go, including CR LF pairs held inside one entry), trimmed of blanks. "" when the
    // header is absent.
    std::string Value(std::string_view name) const;
    bool Has(std::string_view name) const;

    // Replaces the first header named name (its line and continuation lines) by
    // "name: value", or appends that line when there is none. An empty value deletes the
    // header (every line of its first occurrence). The value may hold CRLF followed by a blank
    // or TAB, which writes a folded header.
    void SetValue(std::string_view name, std::string_view value);

    void Add(std::string line) { Lines.push_back(std::move(line)); }
    void Clear() { Lines.clear(); }
    bool Empty() const { return Lines.empty(); }

    // All lines joined, each ended by CRLF.
    std::string Text() const;
};

// The media type of a Content-Type value: the text up to the first ";", trimmed.
std::string MediaType(std::string_view contentType);

// A Content-Type value as it is to be read. One whose media type has no subtype, such as
// "text; charset=us-ascii", is invalid and reads as "text/plain" with its parameters kept;
// an empty one is "text/plain".
std::string ValidContentType(std::string_view contentType);

// The value of parameter name (case-insensitive) in a header value such as
// 'text/plain; charset="utf-8"': quotes removed, backslash escapes resolved; "" when absent.
// RFC 2231 continuations and charset-tagged values (name*=, name*0*=) are joined and decoded
// into UTF-8.
std::string HeaderParameter(std::string_view value, std::string_view name);

}  // namespace mailsift
