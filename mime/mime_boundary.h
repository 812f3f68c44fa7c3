#pragma once
// Boundaries of the multipart bodies the writer produces.
#include <string>

namespace mailsift {

// 34 random letters and digits with "=_" at a random place: "=_" never occurs in base64 or
// in quoted-printable text, so no encoded line can be taken for the boundary. Made once per
// run and shared by every message written.
const std::string& MimeBoundary();

// A nested multipart's boundary: its parent's and one more random letter or digit.
std::string NestedMimeBoundary(const std::string& parent);

}  // namespace mailsift
