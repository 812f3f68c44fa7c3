#include "ui/shell_open.h"

#include <QDesktopServices>

#include "ui/replaceable_service.h"

namespace mailsift::ui {

namespace {

class DesktopShellOpener : public ShellOpener {
  public:
    bool Open(const QUrl& address) override { return QDesktopServices::openUrl(address); }
};

using Opener = ReplaceableService<ShellOpener, DesktopShellOpener>;

}  // namespace

ShellOpener& CurrentShellOpener() {
    return Opener::Current();
}

std::unique_ptr<ShellOpener> InstallShellOpener(std::unique_ptr<ShellOpener> opener) {
    return Opener::Install(std::move(opener));
}

bool ShellOpen(const QUrl& address) {
    return CurrentShellOpener().Open(address);
}

}  // namespace mailsift::ui
