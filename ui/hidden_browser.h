#pragma once
// A browser that shows nothing: it loads one web document at a time, follows redirects, knows
// the address of the document it shows, lets its owner veto every navigation, and hands over
// the document's text once it has loaded. Only http and https are spoken, and a hostile or
// broken server meets limits on size, redirects and time.
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace mailsift::ui {

// What a server gets of the browser before a navigation counts as failed.
struct BrowserLimits {
    qint64 bodyBytes = 64 * 1024;
    int redirects = 5;
    // For the whole navigation, redirects included.
    std::chrono::milliseconds timeout{15000};
};

class HiddenBrowser : public QObject {
    Q_OBJECT
  public:
    // Navigation flags, combinable.
    enum NavigationFlag : int {
        NavNoHistory = 2,
        NavNoReadFromCache = 4,
        NavNoWriteToCache = 8,
    };

    // Asked before every navigation, redirects included, with its target; false cancels it.
    using BeforeNavigate = std::function<bool(const QUrl& target)>;

    explicit HiddenBrowser(BrowserLimits limits = {}, QObject* parent = nullptr);
    ~HiddenBrowser() override;

    // Starts loading address, ending any navigation under way, unless BeforeNavigate cancels
    // it. The document shown so far stays until the new one has loaded.
    void Navigate(const QUrl& address, int flags);
    // The address of the document shown (after its redirects); empty before the first one.
    QUrl LocationURL() const { return location_; }
    void SetBeforeNavigate(BeforeNavigate handler) { beforeNavigate_ = std::move(handler); }

    // An http or https address with a host: the only kind this browser opens.
    static bool IsWebAddress(const QUrl& address);

  signals:
    // A document has loaded and LocationURL() names it. bodyText is its text as a browser
    // renders it (markup removed for HTML), with CR LF line breaks. Error pages of the server
    // are documents too.
    void DocumentComplete(const QString& bodyText);
    // A navigation ended without a document: no answer, an answer over the limits, or an
    // address this browser does not open.
    void NavigationFailed(const QUrl& address, const QString& reason);

  private:
    void Request(const QUrl& address);
    void ReadBody();
    void Finished();
    void Fail(const QString& reason);
    void DropReply();

    BrowserLimits limits_;
    QNetworkAccessManager* network_;
    BeforeNavigate beforeNavigate_;
    QUrl location_;
    QUrl address_;  // of the request under way or last made
    QPointer<QNetworkReply> reply_;
    QByteArray body_;
    int flags_ = 0;
    int redirects_ = 0;
    QTimer deadline_;
};

}  // namespace mailsift::ui
