#include <QAction>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTest>
#include <chrono>

#include "config/report_log.h"
#include "config/settings.h"
#include "loopback_http_server.h"
#include "ui/caption_walk.h"
#include "ui/hidden_browser.h"
#include "ui/main_form.h"
#include "ui/startup.h"
#include "ui/update_check.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

using namespace std::chrono_literals;

const QByteArray kDownload = "https://downloads.example/mailsift-2.tar.gz";

// Long enough for any request that was going to be sent to reach the server.
constexpr int kQuietMs = 300;

QString Text(const QUrl& address) {
    return address.toString();
}

// Every report line while it lives.
struct HeardReports {
    HeardReports() {
        id = AddReportListener(
            [this](const std::string& message) { lines.append(QString::fromStdString(message)); });
    }
    ~HeardReports() { RemoveReportListener(id); }
    QStringList lines;
    int id = 0;
};

class UpdateCheckTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        // A proxy named in the environment must not see the loopback requests.
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    }

    void newerVersionIsOfferedAndOpenedInTheWebBrowser() {
        WindowTestFolder folder;
        LoopbackHttpServer server;
        server.SetAnswer("/go?product=mailsift&version=1.0&action=update",
                         {.status = 302, .location = "/mailsift/update.txt"});
        server.SetAnswer("/mailsift/update.txt", {.body = "2\r\n" + kDownload + "\r\n"});
        Settings.UpdatePageAddress =
            Text(server.Address("/go?product=mailsift&version=1.0&action=update")).toStdString();
        Settings.UpdateTextAddress = Text(server.Address("/mailsift/update.txt")).toStdString();
        UpdateCheck check(nullptr);

        check.Start();
        QTRY_COMPARE(folder.boxes().asked.size(), 1);
        QCOMPARE(folder.boxes().asked.first(), LanguageText("RedyToUpdate"));
        QVERIFY(folder.opens().opened.isEmpty());
        QCOMPARE(check.browser().LocationURL(), server.Address("/mailsift/update.txt"));
        for (const LoopbackHttpServer::Request& request : server.requests()) {
            QVERIFY2(request.head.toLower().contains("cache-control: no-cache"), request.head);
        }

        // A later check asks again, and Yes hands the address to the user's web browser.
        folder.boxes().answer = true;
        check.Start();
        QTRY_COMPARE(folder.boxes().asked.size(), 2);
        QCOMPARE(folder.opens().opened, QList<QUrl>{QUrl(QString::fromLatin1(kDownload))});
        QVERIFY(folder.boxes().told.isEmpty());
        QCOMPARE(server.requests().size(), 4);
    }

    // Texts that offer nothing newer: an error page in place of the update text counts as
    // version 0, and an installed version above the site's is never offered the site's.
    void noNewerVersionIsSilentUnlessTheUserAsked_data() {
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<int>("installed");
        QTest::newRow("same version") << QByteArray("1\r\n" + kDownload) << 1;
        QTest::newRow("error page") << QByteArray() << 1;
        QTest::newRow("installed is newer") << QByteArray("2\r\n" + kDownload) << 3;
    }

    void noNewerVersionIsSilentUnlessTheUserAsked() {
        QFETCH(QByteArray, served);
        QFETCH(int, installed);
        WindowTestFolder folder;
        folder.boxes().answer = true;
        LoopbackHttpServer server;
        if (!served.isEmpty()) server.SetAnswer("/update.txt", {.body = served});
        Settings.UpdatePageAddress = Text(server.Address("/update.txt")).toStdString();
        Settings.UpdateCode = installed;
        UpdateCheck check(nullptr);
        QSignalSpy documents(&check.browser(), &HiddenBrowser::DocumentComplete);

        check.Start();
        QTRY_COMPARE(documents.size(), 1);
        QVERIFY(folder.boxes().told.isEmpty());

        check.SetUserAsked();
        check.Start();
        QTRY_COMPARE(folder.boxes().told.size(), 1);
        QCOMPARE(folder.boxes().told.first(), LanguageText("NoUpdateForThisVersion"));
        QVERIFY(folder.boxes().asked.isEmpty());
        QVERIFY(folder.opens().opened.isEmpty());
    }

    void onlyAWebDownloadAddressIsOffered() {
        WindowTestFolder folder;
        folder.boxes().answer = true;
        LoopbackHttpServer server;
        Settings.UpdateTextAddress = Text(server.Address("/update.txt")).toStdString();
        UpdateCheck check(nullptr);
        QSignalSpy documents(&check.browser(), &HiddenBrowser::DocumentComplete);

        server.SetAnswer("/update.txt", {.body = "7\r\nfile:///etc/passwd"});
        check.Start();
        QTRY_COMPARE(documents.size(), 1);
        QVERIFY(folder.boxes().asked.isEmpty());
        QVERIFY(folder.opens().opened.isEmpty());

        // A text written with bare LF line ends, behind a byte order mark, reads the same.
        server.SetAnswer("/update.txt", {.body = "\xEF\xBB\xBF"
                                                 "7\n" +
                                                 kDownload + "\n"});
        check.Start();
        QTRY_COMPARE(folder.boxes().asked.size(), 1);
        QCOMPARE(folder.opens().opened, QList<QUrl>{QUrl(QString::fromLatin1(kDownload))});
    }

    void guardKeepsTheBrowserOffPagesItWasLedTo() {
        WindowTestFolder folder;
        HeardReports reports;
        LoopbackHttpServer server;
        server.SetAnswer("/update.txt", {.status = 301, .location = "/elsewhere"});
        server.SetAnswer("/elsewhere", {.body = "2\r\n" + kDownload});
        Settings.UpdatePageAddress = Text(server.Address("/update.txt")).toStdString();
        UpdateCheck check(nullptr);
        QSignalSpy documents(&check.browser(), &HiddenBrowser::DocumentComplete);

        check.Start();
        QTRY_COMPARE(documents.size(), 1);
        QCOMPARE(check.browser().LocationURL(), server.Address("/elsewhere"));
        QVERIFY(folder.boxes().asked.isEmpty());

        // Showing a page that is not one of its own, the check goes nowhere, even when asked.
        check.SetUserAsked();
        check.Start();
        QTest::qWait(kQuietMs);
        QCOMPARE(server.requests().size(), 2);
        QVERIFY(folder.boxes().told.isEmpty());
        QCOMPARE(reports.lines.filter("not leaving").size(), 1);
    }

    void emptyAddressesSendNothing() {
        WindowTestFolder folder;
        LoopbackHttpServer server;
        server.SetAnswer("/update.txt", {.body = "1\r\n" + kDownload});
        UpdateCheck check(nullptr);

        check.Start();
        QTest::qWait(kQuietMs);
        QVERIFY(folder.boxes().told.isEmpty());
        check.SetUserAsked();
        check.Start();
        QTest::qWait(kQuietMs);
        QCOMPARE(folder.boxes().told, QList<QString>{LanguageText("NoUpdateAddress")});
        QVERIFY(server.requests().isEmpty());

        // The update text alone is enough to ask.
        Settings.UpdateTextAddress = Text(server.Address("/update.txt")).toStdString();
        check.Start();
        QTRY_COMPARE(folder.boxes().told.size(), 2);
        QCOMPARE(folder.boxes().told.last(), LanguageText("NoUpdateForThisVersion"));
        QCOMPARE(server.RequestsFor("/update.txt"), 1);
    }

    void hostileServersMeetTheLimits() {
        WindowTestFolder folder;
        LoopbackHttpServer server;
        const BrowserLimits limits{.bodyBytes = 100, .redirects = 3, .timeout = 2s};
        HiddenBrowser browser(limits);
        QSignalSpy documents(&browser, &HiddenBrowser::DocumentComplete);
        QSignalSpy failures(&browser, &HiddenBrowser::NavigationFailed);
        const int flags = HiddenBrowser::NavNoReadFromCache;

        server.SetAnswer("/full", {.body = QByteArray(100, 'x'), .sendLength = false});
        browser.Navigate(server.Address("/full"), flags);
        QTRY_COMPARE(documents.size(), 1);
        QCOMPARE(documents.last().first().toString().size(), 100);

        // Counted as it arrives, not taken from a header the server may leave out.
        server.SetAnswer("/huge", {.body = QByteArray(1 << 20, 'x'), .sendLength = false});
        browser.Navigate(server.Address("/huge"), flags);
        QTRY_COMPARE(failures.size(), 1);
        QCOMPARE(browser.LocationURL(), server.Address("/full"));

        // Three redirects are followed, a fourth is not, and a loop ends.
        server.SetAnswer("/r1", {.status = 302, .location = "/r2"});
        server.SetAnswer("/r2", {.status = 307, .location = "r3"});
        server.SetAnswer("/r3", {.status = 302, .location = "/full"});
        server.SetAnswer("/r0", {.status = 302, .location = "/r1"});
        server.SetAnswer("/loop", {.status = 302, .location = "/loop"});
        browser.Navigate(server.Address("/r1"), flags);
        QTRY_COMPARE(documents.size(), 2);
        browser.Navigate(server.Address("/r0"), flags);
        QTRY_COMPARE(failures.size(), 2);
        browser.Navigate(server.Address("/loop"), flags);
        QTRY_COMPARE(failures.size(), 3);
        QCOMPARE(server.RequestsFor("/loop"), 1 + limits.redirects);
        QCOMPARE(server.RequestsFor("/full"), 2);

        // A server that takes the request and never answers is given up on; meanwhile the
        // events kept flowing, or the wait above would not have seen the failure.
        server.SetAnswer("/silent", {.silent = true});
        browser.Navigate(server.Address("/silent"), flags);
        QTRY_COMPARE(failures.size(), 4);
        QCOMPARE(documents.size(), 2);
        QCOMPARE(failures.last().first().toUrl(), server.Address("/silent"));

        // An error page is a document, read as its text.
        browser.Navigate(server.Address("/missing"), flags);
        QTRY_COMPARE(documents.size(), 3);
        QVERIFY(documents.last().first().toString().contains("Not Found\r\nNo such page."));
        QCOMPARE(browser.LocationURL(), server.Address("/missing"));

        // Other schemes are never opened, even when the server points there.
        server.SetAnswer("/to-file", {.status = 302, .location = "file:///etc/passwd"});
        browser.Navigate(server.Address("/to-file"), flags);
        QTRY_COMPARE(failures.size(), 5);
        browser.Navigate(QUrl(QStringLiteral("file:///etc/passwd")), flags);
        QCOMPARE(failures.size(), 6);
        QCOMPARE(documents.size(), 3);
    }

    void silentServerLeavesTheCheckSilent() {
        WindowTestFolder folder;
        HeardReports reports;
        LoopbackHttpServer server;
        server.SetAnswer("/update.txt", {.silent = true});
        Settings.UpdatePageAddress = Text(server.Address("/update.txt")).toStdString();
        UpdateCheck check(nullptr, {.timeout = 300ms});
        check.SetUserAsked();

        check.Start();
        QTRY_COMPARE(reports.lines.size(), 1);
        QVERIFY(reports.lines.first().startsWith("Update check: "));
        QVERIFY(folder.boxes().asked.isEmpty());
        QVERIFY(folder.boxes().told.isEmpty());
    }

    void startupChecksOnlyWhenEnabled() {
        WindowTestFolder folder;
        LoopbackHttpServer server;
        server.SetAnswer("/update.txt", {.body = "1\r\n" + kDownload});
        WriteSetting("UpdatePageAddress", Text(server.Address("/update.txt")).toStdString());
        {
            std::unique_ptr<Windows> windows = StartUp({});
            QVERIFY(windows);
            QTest::qWait(kQuietMs);
            QVERIFY(server.requests().isEmpty());
            auto* action = windows->mainForm().findChild<QAction*>("GetUpdateAction");
            QVERIFY(action->isEnabled());

            // "Update now" still checks, and says that there is nothing newer.
            windows->mainForm().UpdateNow();
            QTRY_COMPARE(folder.boxes().told.size(), 1);
            QCOMPARE(folder.boxes().told.first(), LanguageText("NoUpdateForThisVersion"));
        }
        server.SetAnswer("/update.txt", {.body = "2\r\n" + kDownload});
        WriteSetting("CheckForUpdate", "-1");
        std::unique_ptr<Windows> windows = StartUp({});
        QTRY_COMPARE(folder.boxes().asked.size(), 1);
        QCOMPARE(server.requests().size(), 2);
    }
};

}  // namespace

std::unique_ptr<QObject> MakeUpdateCheckTest() {
    return std::make_unique<UpdateCheckTest>();
}

}  // namespace mailsift::ui::test

#include "update_check_test.moc"
