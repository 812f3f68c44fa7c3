#include <QApplication>
#include <QLabel>
#include <QTest>
#include <fstream>

#include "config/settings.h"
#include "platform/work_hooks.h"
#include "ui/main_form.h"
#include "ui/startup.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

class StartupTest : public QObject {
    Q_OBJECT
  private slots:
    void createsEveryWindowInOrderThenLabelsThem() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        QVERIFY(windows);
        // The windows that exist, in the order of the program's start-up.
        QStringList names;
        for (QWidget* window : windows->All()) names << window->objectName();
        QCOMPARE(names,
                 QStringList({"MainForm", "SetupForm", "BrowseForm", "MessageViewForm",
                              "DBXViewForm", "AboutForm", "ExtractDialogForm", "StorageManagerForm",
                              "MSOutlookWizardForm", "MSOutlookStepByStepForm",
                              "SearchStoragesForm", "SearchLibraryForm", "EAEWizardFrm"}));
        for (QWidget* window : windows->All()) QVERIFY(!window->isVisible());

        MainForm& main = windows->mainForm();
        QCOMPARE(main.windowTitle(), QStringLiteral("Mailsift"));
        // Labelled from the language file after every window existed, the status line last.
        QCOMPARE(main.findChild<QLabel*>("Label1")->text(),
                 QStringLiteral("MS Outlook mail export"));
        QCOMPARE(main.findChild<QLabel*>("Label9")->text(), QString());
        QVERIFY(!main.findChild<QLabel*>("EudoraImage")->pixmap().isNull());
        QVERIFY(folder.boxes().told.isEmpty());
        // The settings were loaded with the windows: the stop flag is set until work starts.
        QVERIFY(StopRequested());
    }

    void unreadableLanguageChoiceEndsBeforeAnyWindow() {
        WindowTestFolder folder;
        WriteSetting("SelectedLanguage", "second");
        const int topLevelBefore = static_cast<int>(QApplication::topLevelWidgets().size());
        QVERIFY(!StartUp({}));
        QCOMPARE(folder.boxes().told.size(), 1);
        const QString text = folder.boxes().told.first();
        QVERIFY2(text.startsWith("Resource is fault: ") && text.endsWith("\nReinstall Mailsift"),
                 qPrintable(text));
        QCOMPARE(static_cast<int>(QApplication::topLevelWidgets().size()), topLevelBefore);
    }

    void languageFileThatCannotBeMadeEndsWithTheFileError() {
        WindowTestFolder folder;
        // A language folder that is a file: its language file can be neither read nor made.
        std::ofstream(folder / "Config/Blocked").close();
        WriteSetting("Language", "Blocked");
        QVERIFY(!StartUp({}));
        QCOMPARE(folder.boxes().told.size(), 1);
        QVERIFY2(folder.boxes().told.first().contains("language.ini"),
                 qPrintable(folder.boxes().told.first()));
    }
};

}  // namespace

std::unique_ptr<QObject> MakeStartupTest() {
    return std::make_unique<StartupTest>();
}

}  // namespace mailsift::ui::test

#include "startup_test.moc"
