#pragma once
// What the windows' pictures and link texts open outside the program: a mail client, and the
// page that tells how to reach support.
#include <QString>

namespace mailsift::ui {

// Opens the client's program ("Outlook", "MSIMN", "Thunderbird", "Eudora") through the
// shell; a client that is not installed is reported in the status line instead.
void StartClientProgram(const QString& client);

// The support section of the help page.
void OpenSupportPage();

}  // namespace mailsift::ui
