#pragma once
// What every window test needs: a throwaway program folder, message boxes that record what
// they were asked and answer as told, and a shell-open that records instead of launching.
#include <QList>
#include <QString>
#include <QUrl>
#include <filesystem>
#include <memory>
#include <string>

#include "support/test_program_folder.h"
#include "ui/message_boxes.h"
#include "ui/shell_open.h"

namespace mailsift::ui::test {

struct RecordedBoxes {
    QList<QString> asked;  // questions, in order
    QList<QString> told;   // messages, in order
    bool answer = false;   // the answer to every question
};

struct RecordedOpens {
    QList<QUrl> opened;
};

// Installs the recorders for its lifetime, in a program folder of its own; the current folder,
// which start-up moves into the program folder, is put back at the end.
class WindowTestFolder {
  public:
    WindowTestFolder();
    ~WindowTestFolder();

    const mailsift::test::TestProgramFolder& program() const { return program_; }
    std::string operator/(const std::string& name) const { return program_.dir() / name; }
    RecordedBoxes& boxes() { return *boxes_; }
    RecordedOpens& opens() { return *opens_; }

    // Chooses exactly the clients given, by their settings keys' order (MS Outlook, Outlook
    // Express, Thunderbird, Eudora).
    static void ChooseClients(bool msOutlook, bool outlookExpress, bool thunderbird, bool eudora);

  private:
    std::filesystem::path startFolder_;
    mailsift::test::TestProgramFolder program_;
    std::shared_ptr<RecordedBoxes> boxes_ = std::make_shared<RecordedBoxes>();
    std::shared_ptr<RecordedOpens> opens_ = std::make_shared<RecordedOpens>();
    std::unique_ptr<MessageBoxes> realBoxes_;
    std::unique_ptr<ShellOpener> realOpener_;
};

}  // namespace mailsift::ui::test
