#pragma once
// BinHex 4.0 (RFC 1741): the Macintosh attachment encoding.
#include <string>
#include <string_view>

namespace mailsift {

// Decodes the text of a BinHex 4.0 attachment (the lines before the leading ":" are ignored)
// and returns the data fork. Throws MimeError when the text is damaged: no ":" start, a
// character outside the alphabet, a truncated header or data fork, a header or data fork CRC
// that does not match. The resource fork after the data fork is neither needed nor checked.
std::string DecodeBinHex(std::string_view text);

// The BinHex 4.0 text of data as a file named fileName: the
// "(This file must be converted with BinHex 4.0)" line, then lines of 64 characters, each ended
// by CRLF.
std::string EncodeBinHex(std::string_view data, std::string_view fileName);

}  // namespace mailsift
