#pragma once
// The system's file-open dialog, behind one interface so that tests choose a file, or cancel,
// instead of a modal dialog waiting for a click.
#include <QString>
#include <memory>

class QWidget;

namespace mailsift::ui {

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // The file chosen, starting in folder, with filter as Qt writes it; "" when cancelled.
    virtual QString OpenFile(QWidget* parent, const QString& folder, const QString& filter) = 0;
};

FileDialogs& CurrentFileDialogs();
// Installs dialogs (none puts the real one back) and returns the one that was in force.
std::unique_ptr<FileDialogs> InstallFileDialogs(std::unique_ptr<FileDialogs> dialogs);

// The filter of the personal folder file dialogs.
inline const QString kPstFileFilter = QStringLiteral(".PST files (*.pst *.PST);;all files (*)");

}  // namespace mailsift::ui
