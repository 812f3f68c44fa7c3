#pragma once
// Quoted-printable (RFC 2045) for message bodies.
#include <string>
#include <string_view>

namespace mailsift {

// Decodes one line (without its line end) and appends it to out, followed by CRLF unless the
// line ends in a soft line break ("=" and optional trailing blanks). Malformed escapes are kept
// as they stand; trailing blanks of a line are dropped.
void DecodeQuotedPrintableLine(std::string_view line, std::string& out);

// Encodes one line of text (without its line end) into one or more lines of at most 76
// characters, soft breaks between them, each ended by CRLF. Characters above 126, "=",
// controls and trailing blanks are escaped; so is a "." that would start an output line,
// so the result passes unchanged through a mail transfer that dot-stuffs.
void AppendQuotedPrintableLine(std::string_view line, std::string& out);

}  // namespace mailsift
