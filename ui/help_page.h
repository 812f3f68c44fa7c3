#pragma once
#include <QString>

namespace mailsift::ui {

// The help page "Help.html" beside the program.
QString HelpPagePath();

}  // namespace mailsift::ui
