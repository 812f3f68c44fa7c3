#include "ui/mailsift_application.h"

#include <exception>
#include <string>

#include "config/report_log.h"

// The pictures are compiled into this static library, whose resources the linker would
// otherwise leave out; registering them must happen outside any namespace.
static void RegisterPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace mailsift::ui {

MailsiftApplication::MailsiftApplication(int& argc, char** argv) : QApplication(argc, argv) {
    RegisterPictures();
}

bool MailsiftApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        WriteReport(std::string("Exception(3): ") + error.what());
    } catch (...) {
        WriteReport("Exception(3): unknown exception");
    }
    return false;
}

}  // namespace mailsift::ui
