#pragma once
// The program's one application object. An exception that escapes an event handler ends
// nowhere but in the report log and the status line: no dialog, and the program goes on.
#include <QApplication>

namespace mailsift::ui {

class MailsiftApplication : public QApplication {
    Q_OBJECT
  public:
    MailsiftApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace mailsift::ui
