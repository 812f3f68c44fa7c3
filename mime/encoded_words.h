#pragma once
// RFC 2047 encoded words and character-set conversion into UTF-8.
#include <optional>
#include <string>
#include <string_view>

namespace mailsift {

// Converts bytes in charset (any name iconv knows; "", "us-ascii" and unknown names as the
// fallback below) into UTF-8. Bytes that do not convert are replaced by U+FFFD; never throws.
std::string ConvertToUtf8(std::string_view bytes, std::string_view charset);

// Decodes a header value into UTF-8: encoded words in Q or B form, in any character set
// (ISO-2022-JP included), with the RFC 2231 language suffix ("=?utf-8*en?Q?...?=") allowed;
// white space between two adjacent encoded words is dropped. Text outside encoded words is
// kept when it is valid UTF-8; otherwise raw ISO-2022-JP escape sequences are converted, and
// any other 8-bit text is taken as Windows-1252. A malformed encoded word stays as it is.
std::string DecodeHeader(std::string_view raw);

// A header value for writing: the text unchanged when it is printable ASCII; otherwise the
// non-ASCII words as "=?UTF-8?B?...?=" encoded words of at most 75 characters, runs of such
// words joined by CRLF and a blank (a folded header).
std::string EncodeHeader(std::string_view utf8);

// The whole text as "=?UTF-8?B?...?=" words of at most 75 characters joined by CRLF and a
// blank, ASCII words included: for display names, where a plain word beside an encoded one
// could hold specials that change how the address list reads.
std::string EncodeWords(std::string_view utf8);

}  // namespace mailsift
