#pragma once
// Asks the configured update address for the latest version code and, when it is newer than
// the installed one, offers to open the download address in the user's web browser. Nothing is
// downloaded or run by the program itself.
#include <QObject>
#include <QString>
#include <QUrl>

#include "ui/hidden_browser.h"

class QWidget;

namespace mailsift::ui {

class UpdateCheck : public QObject {
    Q_OBJECT
  public:
    // window: the window the check's messages are shown over.
    explicit UpdateCheck(QWidget* window, BrowserLimits limits = {});

    // Starts a check: loads the update page, or the update text when no page is configured.
    // With neither configured nothing is sent.
    void Start();
    // The user asked for a check: from now on a check that finds no newer version, or has no
    // address to ask, says so.
    void SetUserAsked() { userAsked_ = true; }
    bool UserAsked() const { return userAsked_; }
    const HiddenBrowser& browser() const { return browser_; }

  private:
    bool MayNavigate(const QUrl& target) const;
    void DocumentComplete(const QString& bodyText);
    void Examine(const QString& bodyText);
    void Offer(const QString& downloadAddress);

    QWidget* window_;
    HiddenBrowser browser_;
    // Filled from the update text; while set, later documents belong to a check already handled.
    QString pendingDownload_;
    bool userAsked_ = false;
};

}  // namespace mailsift::ui
