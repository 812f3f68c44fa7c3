#include "ui/startup.h"

#include <QFileInfo>
#include <QIcon>
#include <QScreen>
#include <QTimer>
#include <exception>
#include <filesystem>

#include "config/folders.h"
#include "config/settings.h"
#include "ui/adjust_caption.h"
#include "ui/mailsift_application.h"
#include "ui/main_form.h"
#include "ui/message_boxes.h"
#include "ui/windows.h"

namespace mailsift::ui {

namespace {

const QString kProgramName = QStringLiteral("Mailsift");

// Linux shows no error boxes of its own for a process, and the date and time formats of the
// program's texts are fixed where they are written, so start-up begins with the folders.
void FixFolders() {
    InitFolders(ExecutablePath());
    std::error_code ignored;
    std::filesystem::current_path(ProgramFolder(), ignored);
}

}  // namespace

std::unique_ptr<Windows> StartUp(const QStringList& arguments) {
    FixFolders();
    try {
        ReadStartupSettings();
    } catch (const std::exception& error) {
        CurrentMessageBoxes().Tell(nullptr, QStringLiteral("Resource is fault: ") +
                                                QString::fromStdString(error.what()) +
                                                QStringLiteral("\nReinstall Mailsift"));
        return nullptr;
    }
    QApplication::setApplicationName(kProgramName);
    QApplication::setApplicationDisplayName(kProgramName);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/mailsift.svg")));

    auto windows = std::make_unique<Windows>(arguments);
    try {
        AdjustCaption(*windows);
    } catch (const std::exception& error) {
        // The language file could neither be read nor made.
        CurrentMessageBoxes().Tell(nullptr, QString::fromStdString(error.what()));
        return nullptr;
    }
    windows->mainForm().setWindowTitle(kProgramName);
    windows->mainForm().RefreshClientsImage();
    if (Settings.CheckForUpdate) windows->mainForm().CheckForUpdate();
    return windows;
}

QStringList StoreArguments(const QStringList& arguments) {
    QStringList stores;
    for (const QString& argument : arguments) {
        if (argument != QStringLiteral("/extract")) {
            stores.append(QFileInfo(argument).absoluteFilePath());
        }
    }
    return stores;
}

int RunMailsift(int argc, char** argv) {
    MailsiftApplication application(argc, argv);
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    // Start-up moves into the program folder: a store named relative to where the program
    // was started is made absolute first.
    const QStringList stores = StoreArguments(arguments);
    std::unique_ptr<Windows> windows = StartUp(arguments);
    if (!windows) return 0;
    MainForm& mainForm = windows->mainForm();
    mainForm.adjustSize();
    if (const QScreen* screen = mainForm.screen()) {
        mainForm.move(screen->availableGeometry().center() - mainForm.rect().center());
    }
    mainForm.show();
    // Without a window manager (a virtual X server, a kiosk session) nothing else would make
    // the window active, and the activation's work, "/extract" among it, would never run.
    mainForm.activateWindow();
    if (!stores.isEmpty()) {
        QTimer::singleShot(0, &mainForm,
                           [&windows, stores] { windows->OpenStoresInViewer(stores); });
    }
    return QApplication::exec();
}

}  // namespace mailsift::ui
