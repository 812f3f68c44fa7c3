#include "config/language.h"

#include "config/folders.h"
#include "config/key_file.h"
#include "config/settings.h"

namespace mailsift {

std::string LanguageFilePath() {
    // at() turns a language index outside the table into an exception, not a stray read.
    const std::string& name =
        Settings.LanguageNames.at(static_cast<size_t>(Settings.SelectedLanguage));
    return ConfigFolder() + name + "/language.ini";
}

std::string LanguageString(std::string_view key) {
    return ReadKey(LanguageFilePath(), key);
}

std::string LanguageStringDef(std::string_view key, std::string_view defaultText) {
    std::string text = LanguageString(key);
    if (!IsNotSet(text)) return text;
    WriteKey(LanguageFilePath(), key, defaultText);
    return std::string(defaultText);
}

}  // namespace mailsift
