#pragma once
#include <string>
#include <string_view>

namespace mailsift {

// Flat key files ("main.ini", every "language.ini"): one "key<TAB>value" line per entry, no
// sections. Each operation reads the whole file and, when it changes it, rewrites it whole with
// CR LF line ends; lines that are not the requested key's are kept as they are. A key that is not
// set reads as its not-set marker, "%" followed by the key as the caller spelled it. A file that
// can neither be read nor created throws std::system_error.

// The value of the key's first line. A missing file is created holding "key<TAB>"; a key
// without a line gets "key<TAB>" appended, so the file lists every key that was asked for.
std::string ReadKey(const std::string& file, std::string_view key);
// The value of the key's next line after KeyCursor(); the marker, with the cursor and the file
// unchanged, when there is none (a missing file is still created as by ReadKey).
std::string ReadNextKey(const std::string& file, std::string_view key);
// Replaces the key's first line with "key<TAB>value", or appends it. Line breaks in value are
// stored as "/ln", which reading turns back into CR LF. Always true; failures throw.
bool WriteKey(const std::string& file, std::string_view key, std::string_view value);

// The process-wide line index that ReadNextKey continues from (-1: none). ReadKey and WriteKey
// set it to the key's line, or -1 when the key had none.
int& KeyCursor();

// Field n (from 1) of text, fields being separated by any one TAB, blank, "=" or ":";
// "%" + n when that field is empty or missing.
std::string GetField(std::string_view text, int n);
std::string RemoveNulChars(std::string_view text);
// True for a not-set marker, that is any value starting with "%".
bool IsNotSet(std::string_view value);

}  // namespace mailsift
