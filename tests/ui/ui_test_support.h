#pragma once
// What every window test needs: a throwaway program folder, message boxes that record what
// they were asked and answer as told, and a shell-open that records instead of launching.
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "support/test_program_folder.h"
#include "ui/host_lookup.h"
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

// What the fake resolver knows and what it was asked.
struct FakeDns {
    QSet<QString> resolving;  // names that have an address
    QSet<QString> silent;     // names whose lookup never answers
    std::chrono::milliseconds delay{0};
    QList<QString> asked;  // in the order asked
    QList<int> aborted;    // ids of the lookups given up
};

// Installs a resolver answering from a FakeDns after its delay, through the event loop, for
// its lifetime.
class FakeDnsInstalled {
  public:
    FakeDnsInstalled();
    ~FakeDnsInstalled();
    FakeDns& dns() { return *dns_; }

  private:
    std::shared_ptr<FakeDns> dns_ = std::make_shared<FakeDns>();
    std::unique_ptr<HostLookup> real_;
};

}  // namespace mailsift::ui::test
