#include "ui/file_dialogs.h"

#include <QFileDialog>

#include "ui/replaceable_service.h"

namespace mailsift::ui {

namespace {

class SystemFileDialogs : public FileDialogs {
  public:
    QString OpenFile(QWidget* parent, const QString& folder, const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, QString(), folder, filter);
    }
};

using Dialogs = ReplaceableService<FileDialogs, SystemFileDialogs>;

}  // namespace

FileDialogs& CurrentFileDialogs() {
    return Dialogs::Current();
}

std::unique_ptr<FileDialogs> InstallFileDialogs(std::unique_ptr<FileDialogs> dialogs) {
    return Dialogs::Install(std::move(dialogs));
}

}  // namespace mailsift::ui
