#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <stdexcept>

#include "config/report_log.h"
#include "config/settings.h"
#include "platform/work_hooks.h"
#include "ui/main_form.h"
#include "ui/section_highlight.h"
#include "ui/startup.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

// Client pictures are coloured circles when chosen and grey ones when not; the circle's left
// edge tells which.
bool ShowsColour(const QLabel& picture) {
    const QColor edge = picture.pixmap().toImage().pixelColor(6, 25);
    return edge.alpha() > 0 && !(edge.red() == edge.green() && edge.green() == edge.blue());
}

QColor Background(const QWidget& panel) {
    return panel.palette().color(QPalette::Window);
}

// Fails in every event it is given, as a faulty handler would.
struct FailingHandler : QObject {
    int calls = 0;
    bool event(QEvent*) override {
        ++calls;
        throw std::runtime_error("the handler failed");
    }
};

class MainFormTest : public QObject {
    Q_OBJECT
  private slots:
    void clientPictureClickTogglesTheSourceAndSavesIt() {
        WindowTestFolder folder;
        WindowTestFolder::ChooseClients(false, false, false, false);
        std::unique_ptr<Windows> windows = StartUp({});
        QVERIFY(windows);
        MainForm& main = windows->mainForm();
        const char* pictures[] = {"MSOutlookImage", "OutlookExpressImage", "ThunderbirdImage",
                                  "EudoraImage"};
        for (const char* name : pictures) QVERIFY(!ShowsColour(*main.findChild<QLabel*>(name)));

        QTest::mouseClick(main.findChild<QLabel*>("ThunderbirdImage"), Qt::LeftButton);
        QVERIFY(ShowsColour(*main.findChild<QLabel*>("ThunderbirdImage")));
        QVERIFY(!ShowsColour(*main.findChild<QLabel*>("EudoraImage")));
        QCOMPARE(ReadSetting("ExtractFromThunderbird"), std::string("-1"));
        QCOMPARE(ReadSetting("ExtractFromEudora"), std::string("0"));
        QVERIFY(Settings.ExtractFromThunderbird());

        QTest::mouseClick(main.findChild<QLabel*>("ThunderbirdImage"), Qt::LeftButton);
        QVERIFY(!ShowsColour(*main.findChild<QLabel*>("ThunderbirdImage")));
        QCOMPARE(ReadSetting("ExtractFromThunderbird"), std::string("0"));
    }

    void sectionUnderTheMouseIsHighlighted() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        MainForm& main = windows->mainForm();
        auto* first = main.findChild<QFrame*>("Panel1");
        auto* second = main.findChild<QFrame*>("Panel2");
        QCOMPARE(Background(*first), kHighlightColour);
        QCOMPARE(Background(*second), kSectionColour);

        // Over a control inside a section, the section lights up and the others go white.
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(main.findChild<QLabel*>("Label4"), &enter);
        QCOMPARE(Background(*second), kHighlightColour);
        QCOMPARE(Background(*first), kSectionColour);
        // The bottom bar lights nothing.
        QApplication::sendEvent(main.findChild<QWidget*>("Button1"), &enter);
        for (const char* name : {"Panel1", "Panel2", "Panel3", "Panel5"}) {
            QCOMPARE(Background(*main.findChild<QFrame*>(name)), kSectionColour);
        }
    }

    void escapeClosesTheWindowAndStopsWork() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        MainForm& main = windows->mainForm();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        ClearStopRequest();
        QTest::keyClick(&main, Qt::Key_Escape);
        QVERIFY(!main.isVisible());
        QVERIFY(StopRequested());
    }

    void helpOpensThePageBesideTheProgram() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        windows->mainForm().findChild<QAction*>("HelpAction")->trigger();
        QCOMPARE(folder.opens().opened.size(), 1);
        const QUrl page = folder.opens().opened.first();
        QVERIFY(page.isLocalFile());
        QCOMPARE(page.fileName(), QStringLiteral("Help.html"));
        QVERIFY2(QFile::exists(page.toLocalFile()), qPrintable(page.toLocalFile()));
    }

    // An exception out of an event handler reaches the log and the status line, and nothing
    // else: no box, and the program goes on.
    void exceptionFromAHandlerIsOnlyReported() {
        WindowTestFolder folder;
        WriteSetting("DebugMode", "-1");
        std::unique_ptr<Windows> windows = StartUp({});
        MainForm& main = windows->mainForm();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        FailingHandler handler;
        QCoreApplication::postEvent(&handler, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCOMPARE(handler.calls, 1);
        QCOMPARE(main.findChild<QLabel*>("Label9")->text(),
                 QStringLiteral("Exception(3): the handler failed"));
        QVERIFY(folder.program().ReportLog().find("\tException(3): the handler failed") !=
                std::string::npos);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY(qobject_cast<QMessageBox*>(widget) == nullptr || !widget->isVisible());
        }
        QCoreApplication::postEvent(&handler, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCOMPARE(handler.calls, 2);
    }
};

}  // namespace

std::unique_ptr<QObject> MakeMainFormTest() {
    return std::make_unique<MainFormTest>();
}

}  // namespace mailsift::ui::test

#include "main_form_test.moc"
