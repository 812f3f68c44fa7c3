#include "ui/outside_links.h"

#include <QUrl>

#include "config/report_log.h"
#include "outlook/client_programs.h"
#include "ui/help_page.h"
#include "ui/shell_open.h"

namespace mailsift::ui {

void StartClientProgram(const QString& client) {
    const std::string program = ClientProgramPath(client.toStdString());
    if (program.empty()) {
        WriteReport(client.toStdString() + " is not installed on this computer.");
        return;
    }
    ShellOpen(QUrl::fromLocalFile(QString::fromStdString(program)));
}

void OpenSupportPage() {
    QUrl support = QUrl::fromLocalFile(HelpPagePath());
    support.setFragment(QStringLiteral("support"));
    ShellOpen(support);
}

}  // namespace mailsift::ui
