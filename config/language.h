#pragma once
#include <string>
#include <string_view>

namespace mailsift {

// Path of the selected language's "language.ini" under the configuration folder.
std::string LanguageFilePath();
// The text for key in the selected language file, or "%" + key when the file has none (the key
// is then appended to the file with an empty value, so translators see what was asked for).
std::string LanguageString(std::string_view key);
// As LanguageString, but a missing text is stored as defaultText and defaultText returned.
std::string LanguageStringDef(std::string_view key, std::string_view defaultText);

}  // namespace mailsift
