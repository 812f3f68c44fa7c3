#pragma once
#include <string>
#include <string_view>

namespace mailsift {

// Replaces every "%NAME%" with the environment variable NAME (names compared without regard
// to case, as on Windows). Temp and TMP fall back to $TMPDIR or /tmp, USERPROFILE to $HOME,
// ProgramFiles to the Wine prefix's "drive_c/Program Files" when that exists. A reference to
// an unknown variable, and a lone "%", stay as they are.
std::string ExpandEnvironmentStrings(std::string_view text);

// $HOME, or the password database's home folder when HOME is unset.
std::string HomeFolder();
// $WINEPREFIX, default ~/.wine.
std::string WinePrefix();
// The user's documents folder: XDG_DOCUMENTS_DIR (environment, then user-dirs.dirs),
// else ~/Documents when it exists, else the home folder. No trailing "/".
std::string UserDocumentsFolder();

}  // namespace mailsift
