#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "ui/about_form.h"
#include "ui/browse_form.h"
#include "ui/extract_dialog_form.h"
#include "ui/startup.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

class SmallWindowsTest : public QObject {
    Q_OBJECT
  private slots:
    void aboutLinksOpenThroughTheShellAndKeysClose() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        AboutForm& about = windows->aboutForm();
        QTest::mouseClick(about.findChild<QLabel*>("Label4"), Qt::LeftButton);
        QTest::mouseClick(about.findChild<QLabel*>("Label5"), Qt::LeftButton);
        QCOMPARE(folder.opens().opened.size(), 2);
        QCOMPARE(folder.opens().opened[0].fileName(), QStringLiteral("Help.html"));
        QCOMPARE(folder.opens().opened[1].fragment(), QStringLiteral("support"));

        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            QTest::keyClick(&about, key);
            QVERIFY(!about.isVisible());
        }
    }

    void folderPickerFollowsThePathAndRefusesNoSelection() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        BrowseForm& browse = windows->browseForm();
        const QString wanted = QString::fromStdString(folder / "Config");
        browse.SetPath(wanted);
        browse.show();
        QCOMPARE(browse.SelectedPath(), wanted);
        browse.accept();
        QVERIFY(!browse.isVisible());
        QCOMPARE(browse.result(), int{QDialog::Accepted});

        // With nothing selected, OK says so and the picker stays.
        browse.show();
        browse.findChild<QTreeView*>()->setCurrentIndex({});
        QTest::mouseClick(browse.findChild<QPushButton*>("Button1"), Qt::LeftButton);
        QCOMPARE(folder.boxes().told, QList<QString>({QStringLiteral("Please select path.")}));
        QVERIFY(browse.isVisible());
        browse.reject();
    }

    void exportPromptAnswersSkipOnEnterAndHaltOnEscape() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        ExtractDialogForm& prompt = windows->extractDialogForm();
        const std::pair<Qt::Key, int> cases[] = {{Qt::Key_Return, QMessageBox::Yes},
                                                 {Qt::Key_Escape, QMessageBox::Cancel}};
        for (const auto& [key, result] : cases) {
            prompt.show();
            QVERIFY(QTest::qWaitForWindowExposed(&prompt));
            QTest::keyClick(&prompt, key);
            QVERIFY(!prompt.isVisible());
            QCOMPARE(prompt.result(), result);
        }
        prompt.show();
        QTest::mouseClick(prompt.findChild<QPushButton*>("Button2"), Qt::LeftButton);
        QCOMPARE(prompt.result(), int{QMessageBox::Ignore});
    }
};

}  // namespace

std::unique_ptr<QObject> MakeSmallWindowsTest() {
    return std::make_unique<SmallWindowsTest>();
}

}  // namespace mailsift::ui::test

#include "small_windows_test.moc"
