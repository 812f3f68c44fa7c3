#pragma once
#include <string>
#include <string_view>

namespace mailsift {

// Whose variables an expansion uses: this process's, or those a program inside the Wine prefix
// sees, for Windows paths read from the prefix's registry.
enum class ExpansionContext { Process, WinePrefix };

// Replaces every "%NAME%" with the environment variable NAME (names compared without regard
// to case, as on Windows). Temp and TMP fall back to $TMPDIR or /tmp, USERPROFILE to $HOME,
// ProgramFiles to the Wine prefix's "drive_c/Program Files" when that exists. In the Wine
// prefix's context USERPROFILE is the prefix user's profile, "C:\users\<user name>". A
// reference to an unknown variable, and a lone "%", stay as they are.
std::string ExpandEnvironmentStrings(std::string_view text,
                                     ExpansionContext context = ExpansionContext::Process);

// $HOME, or the password database's home folder when HOME is unset.
std::string HomeFolder();
// $USER, or the password database's name when USER is unset.
std::string UserName();
// $WINEPREFIX, default ~/.wine.
std::string WinePrefix();
// The user's documents folder: XDG_DOCUMENTS_DIR (environment, then user-dirs.dirs),
// else ~/Documents when it exists, else the home folder. No trailing "/".
std::string UserDocumentsFolder();

}  // namespace mailsift
