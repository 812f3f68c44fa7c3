#pragma once
// UUE and XXE: the attachment encodings of plain-text (non-MIME) messages.
#include <optional>
#include <string>
#include <string_view>

namespace mailsift {

enum class UuAlphabet { Uue, Xxe };

struct UuBeginLine {
    std::string Mode;      // the octal file mode as written, e.g. "644"
    std::string FileName;  // the rest of the line, trimmed
};

// A "begin MODE NAME" line (MODE three or four octal digits); nullopt for any other line.
std::optional<UuBeginLine> ParseUuBeginLine(std::string_view line);

// Which alphabet the first data line after a begin line uses.
UuAlphabet DetectUuAlphabet(std::string_view firstDataLine);

// Decodes one data line and appends its bytes to out. Returns false for the line that ends the
// data (a zero-length line: "`", " " or empty for UUE, "+" or empty for XXE) and for "end".
// Damaged lines decode as far as their characters allow and never read past the line; a UUE
// line shorter than its length character announces is read as if the blanks that transports
// strip from line ends were still there.
bool DecodeUuLine(std::string_view line, UuAlphabet alphabet, std::string& out);

// "begin 644 NAME" and CRLF.
std::string UuBeginText(std::string_view fileName);
// Appends data as lines of 45 bytes (the last may be shorter), each ended by CRLF. A stream is
// encoded in pieces whose sizes are multiples of 45, except the last.
void AppendUuLines(std::string_view data, UuAlphabet alphabet, std::string& out);
// The zero-length line and "end", each ended by CRLF.
std::string UuEndText(UuAlphabet alphabet);

}  // namespace mailsift
