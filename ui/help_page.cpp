#include "ui/help_page.h"

#include <filesystem>

#include "config/folders.h"

namespace mailsift::ui {

QString HelpPagePath() {
    // Beside the executable, not in the program folder: a program folder of the user's own
    // (MAILSIFT_HOME, or the data folder of an installation that cannot be written) holds
    // settings and logs, while the page is part of what was installed.
    const std::filesystem::path folder = std::filesystem::path(ExecutablePath()).parent_path();
    return QString::fromStdString((folder / "Help.html").string());
}

}  // namespace mailsift::ui
