#pragma once
// Base64 (RFC 2045) for message bodies and encoded words.
#include <cstdint>
#include <string>
#include <string_view>

namespace mailsift {

// Decodes base64 text fed in pieces of any size (lines need not hold whole 4-character groups).
// Characters outside the alphabet (line ends, blanks, damage) are skipped; input after the
// padding that ends the data is ignored. Each byte is appended as soon as its bits are in, so
// data that lost its padding still yields every whole byte.
class Base64Decoder {
  public:
    // Appends the bytes decoded from text to out.
    void Decode(std::string_view text, std::string& out);
    void Reset();

  private:
    uint32_t bits_ = 0;
    int pending_ = 0;
    bool ended_ = false;
};

// Appends data as base64 lines of 76 characters, each ended by CRLF; the last line may be
// shorter and carries the padding. A stream is encoded in pieces whose sizes are multiples of
// 57 bytes (one full line), except the last.
void AppendBase64Lines(std::string_view data, std::string& out);

// Base64 without line breaks, as encoded words need it.
std::string EncodeBase64(std::string_view data);
std::string DecodeBase64(std::string_view text);

}  // namespace mailsift
