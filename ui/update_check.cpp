#include "ui/update_check.h"

#include <exception>

#include "config/report_log.h"
#include "config/settings.h"
#include "platform/thousands.h"
#include "ui/caption_walk.h"
#include "ui/message_boxes.h"
#include "ui/shell_open.h"

namespace mailsift::ui {

namespace {

constexpr int kCheckFlags = HiddenBrowser::NavNoHistory | HiddenBrowser::NavNoReadFromCache |
                            HiddenBrowser::NavNoWriteToCache;

QUrl ConfiguredAddress(const std::string& address) {
    return QUrl(QString::fromStdString(address).trimmed());
}

QUrl UpdatePage() {
    return ConfiguredAddress(Settings.UpdatePageAddress);
}

QUrl UpdateText() {
    return ConfiguredAddress(Settings.UpdateTextAddress);
}

void Report(const QString& message) {
    WriteReport("Update check: " + message.toStdString());
}

}  // namespace

UpdateCheck::UpdateCheck(QWidget* window, BrowserLimits limits)
    : window_(window), browser_(limits) {
    browser_.SetBeforeNavigate([this](const QUrl& target) { return MayNavigate(target); });
    connect(&browser_, &HiddenBrowser::DocumentComplete, this, &UpdateCheck::DocumentComplete);
    connect(&browser_, &HiddenBrowser::NavigationFailed, this,
            [](const QUrl& address, const QString& reason) {
                Report(address.toDisplayString() + QStringLiteral(": ") + reason);
            });
}

void UpdateCheck::Start() {
    pendingDownload_.clear();
    const QUrl address = UpdatePage().isEmpty() ? UpdateText() : UpdatePage();
    if (address.isEmpty()) {
        if (userAsked_) CurrentMessageBoxes().Tell(window_, LanguageText("NoUpdateAddress"));
        return;
    }
    browser_.Navigate(address, kCheckFlags);
}

// The test is on the page shown, not on the target: once the browser shows some other page,
// no check leaves it again.
bool UpdateCheck::MayNavigate(const QUrl& target) const {
    const QUrl shown = browser_.LocationURL();
    if (shown.isEmpty() || shown == UpdatePage() || shown == UpdateText() ||
        shown == QUrl(QStringLiteral("about:blank"))) {
        return true;
    }
    Report(QStringLiteral("not leaving ") + shown.toDisplayString() + QStringLiteral(" for ") +
           target.toDisplayString());
    return false;
}

void UpdateCheck::DocumentComplete(const QString& bodyText) {
    const QUrl shown = browser_.LocationURL();
    if (shown != UpdatePage() && shown != UpdateText()) return;
    if (!pendingDownload_.isEmpty()) return;
    // A text that cannot be read ends the check without a word to the user.
    try {
        Examine(bodyText);
    } catch (const std::exception& error) {
        Report(QString::fromStdString(error.what()));
    }
}

// The update text: the latest version code, CR LF, the download address.
void UpdateCheck::Examine(const QString& bodyText) {
    const qsizetype lineEnd = bodyText.indexOf(QLatin1Char('\r'));
    const QString versionLine = lineEnd < 0 ? QString() : bodyText.left(lineEnd).trimmed();
    pendingDownload_ = lineEnd < 0 ? bodyText.mid(1) : bodyText.mid(lineEnd + 2);
    const int64_t latest = ParseSignedDecimal(versionLine.toStdString()).value_or(0);
    if (latest > Settings.UpdateCode) {
        Offer(pendingDownload_.trimmed());
    } else if (userAsked_) {
        CurrentMessageBoxes().Tell(window_, LanguageText("NoUpdateForThisVersion"));
    }
}

// Only a web page is handed on: the user's browser opens it, and the user downloads.
void UpdateCheck::Offer(const QString& downloadAddress) {
    const QUrl address(downloadAddress, QUrl::StrictMode);
    if (!HiddenBrowser::IsWebAddress(address)) {
        Report(QStringLiteral("the download address is not an http or https address: ") +
               downloadAddress.left(200));
        return;
    }
    if (!CurrentMessageBoxes().Ask(window_, LanguageText("RedyToUpdate"))) return;
    if (!ShellOpen(address)) {
        Report(QStringLiteral("no web browser opened ") + address.toDisplayString());
    }
}

}  // namespace mailsift::ui
