#include <QAction>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "config/settings.h"
#include "export/history_database.h"
#include "platform/work_hooks.h"
#include "samples/mailbox_writer.h"
#include "ui/browse_form.h"
#include "ui/main_form.h"
#include "ui/startup.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

using samples::MailboxMessage;
using samples::MailboxWriter;
using samples::MailClient;

int ExportedFiles(const std::string& folder) {
    int count = 0;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator entry(folder, error), end;
         !error && entry != end; entry.increment(error)) {
        if (entry->is_regular_file() && entry->path().extension() == ".eml") ++count;
    }
    return count;
}

// A Thunderbird profile folder with one inbox of count messages, chosen as the only client
// and exported as plain .eml files into "out".
void SetUpThunderbird(const WindowTestFolder& folder, int count) {
    const std::string profile = folder / "Local Folders";
    std::filesystem::create_directories(profile);
    MailboxWriter inbox(samples::AddMailboxFolder(MailClient::Thunderbird, profile, "Inbox"));
    for (int i = 0; i < count; ++i) {
        MailboxMessage message;
        message.Subject = "Message " + std::to_string(i);
        inbox.Add(message);
    }
    inbox.Close();
    WindowTestFolder::ChooseClients(false, false, true, false);
    WriteSetting("ThunderbirdBaseFile", profile);
    WriteSetting("StoragePath", folder / "out");
    WriteSetting("AppendPath", "0");
    WriteSetting("ZipEmails", "0");
    WriteSetting("ExtractOptions", "0");
}

QAction& ExportAction(MainForm& main) {
    return *main.findChild<QAction*>("MSOutlookAction");
}

class ExportButtonTest : public QObject {
    Q_OBJECT
  private slots:
    void exportsTheChosenClientAndRecordsIt() {
        WindowTestFolder folder;
        SetUpThunderbird(folder, 12);
        std::unique_ptr<Windows> windows = StartUp({});
        MainForm& main = windows->mainForm();
        const QString restCaption = ExportAction(main).text();

        ExportAction(main).trigger();
        QCOMPARE(ExportedFiles(folder / "out"), 12);
        const std::vector<HistoryRow> rows = ReadHistoryRows();
        QCOMPARE(rows.size(), size_t{1});
        QCOMPARE(rows.front().OutlookClient, std::string("Thunderbird"));
        QCOMPARE(rows.front().Count, int64_t{12});
        QVERIFY2(main.findChild<QLabel*>("Label7")->text().endsWith(" 12"),
                 qPrintable(main.findChild<QLabel*>("Label7")->text()));
        QCOMPARE(ExportAction(main).text(), restCaption);
        QVERIFY(!main.ExportRunning());
        QVERIFY(folder.boxes().asked.isEmpty());
    }

    void stopEndsTheRunAtTheNextMessage() {
        WindowTestFolder folder;
        constexpr int kMessages = 3000;
        SetUpThunderbird(folder, kMessages);
        std::unique_ptr<Windows> windows = StartUp({});
        MainForm& main = windows->mainForm();
        QString captionDuringRun;
        // The first time the run lets events through, the button is pressed again.
        QTimer::singleShot(0, &main, [&] {
            captionDuringRun = ExportAction(main).text();
            QVERIFY(main.ExportRunning());
            ExportAction(main).trigger();
        });
        ExportAction(main).trigger();
        QCOMPARE(captionDuringRun, QStringLiteral("Stop"));
        const int exported = ExportedFiles(folder / "out");
        QVERIFY2(exported < kMessages, qPrintable(QString::number(exported)));
        QVERIFY(StopRequested());
        QVERIFY(!main.ExportRunning());
        // The part that was exported is recorded as such.
        QCOMPARE(ReadHistoryRows().size(), size_t{1});
        QCOMPARE(ReadHistoryRows().front().Count, int64_t{exported});
    }

    void noClientChosenAsksAndExportsNothing() {
        WindowTestFolder folder;
        SetUpThunderbird(folder, 3);
        WindowTestFolder::ChooseClients(false, false, false, false);
        std::unique_ptr<Windows> windows = StartUp({});
        MainForm& main = windows->mainForm();
        const QString restCaption = ExportAction(main).text();
        ExportAction(main).trigger();
        QCOMPARE(folder.boxes().asked,
                 QList<QString>({QStringLiteral(
                     "No mail client is selected for export. Open the setup to choose one now?")}));
        QCOMPARE(ExportedFiles(folder / "out"), 0);
        QVERIFY(ReadHistoryRows().empty());
        QCOMPARE(ExportAction(main).text(), restCaption);
    }

    void clientNotSetUpIsAskedAboutAndStillExported() {
        WindowTestFolder folder;
        SetUpThunderbird(folder, 2);
        WriteSetting("ThunderbirdBaseFile", folder / "no such profile");
        std::unique_ptr<Windows> windows = StartUp({});
        ExportAction(windows->mainForm()).trigger();
        QCOMPARE(folder.boxes().asked.size(), 1);
        QVERIFY(folder.boxes().asked.first().contains("Thunderbird"));
        // The run that found nothing is recorded as an empty one.
        QCOMPARE(ReadHistoryRows().size(), size_t{1});
        QCOMPARE(ReadHistoryRows().front().Count, int64_t{0});
    }

    // "/extract" exports on the first activation only; the spelling must be exact.
    void extractArgumentActsOnTheFirstActivationOnly() {
        WindowTestFolder folder;
        SetUpThunderbird(folder, 5);
        std::unique_ptr<Windows> windows = StartUp({"/EXTRACT", "/extract"});
        MainForm& main = windows->mainForm();
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QTRY_COMPARE(ReadHistoryRows().size(), size_t{1});
        QCOMPARE(ExportedFiles(folder / "out"), 5);

        BrowseForm& other = windows->browseForm();
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        other.hide();
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QTest::qWait(100);
        QCOMPARE(ReadHistoryRows().size(), size_t{1});
    }
};

}  // namespace

std::unique_ptr<QObject> MakeExportButtonTest() {
    return std::make_unique<ExportButtonTest>();
}

}  // namespace mailsift::ui::test

#include "export_button_test.moc"
