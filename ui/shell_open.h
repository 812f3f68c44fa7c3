#pragma once
// Files, folders and web pages are opened with the desktop's default handler through one
// interface, so that tests record what would have been opened instead of launching it.
#include <QUrl>
#include <memory>

namespace mailsift::ui {

class ShellOpener {
  public:
    virtual ~ShellOpener() = default;
    // False when no handler could be started.
    virtual bool Open(const QUrl& address) = 0;
};

// The opener in force: the desktop's (xdg-open) unless a test installed another.
ShellOpener& CurrentShellOpener();
// Installs opener (none puts the desktop's back) and returns the one that was in force.
std::unique_ptr<ShellOpener> InstallShellOpener(std::unique_ptr<ShellOpener> opener);

// Opens address with CurrentShellOpener().
bool ShellOpen(const QUrl& address);

}  // namespace mailsift::ui
