#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "config/folders.h"
#include "export/history_database.h"
#include "ui/startup.h"
#include "ui/storage_manager_form.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

namespace fs = std::filesystem;

QStringList Column(QTreeWidget& list, int column) {
    QStringList texts;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        texts << list.topLevelItem(row)->text(column);
    }
    return texts;
}

// An export's storage folder with one file in it.
std::string ExportFolder(const std::string& path) {
    fs::create_directories(path + "/Inbox");
    std::ofstream(path + "/Inbox/1 Ann.eml") << "Subject: hi\r\n\r\nhi\r\n";
    return path + "/";
}

class StorageManagerTest : public QObject {
    Q_OBJECT
  private slots:
    void listsTheHistoryNewestFirstAndSortsByTheClickedColumn() {
        WindowTestFolder folder;
        const std::string kept = ExportFolder(folder / "kept");
        NewStorageRecord("MSOutlook", kept, 2000, 30, false, false);
        NewStorageRecord("Thunderbird", folder / "gone/", 1000, 200, true, true);
        NewStorageRecord("Eudora", kept, 30000, 4, false, false);
        std::unique_ptr<Windows> windows = StartUp({});
        StorageManagerForm& manager = windows->storageManagerForm();
        windows->ShowStorageManager();
        QTreeWidget& list = manager.List();
        QCOMPARE(list.topLevelItemCount(), 3);
        // The same second: the newest row first all the same.
        QCOMPARE(Column(list, 1), QStringList({"4", "200", "30"}));
        QCOMPARE(list.currentItem(), list.topLevelItem(0));
        QCOMPARE(manager.findChild<QStatusBar*>()->currentMessage(), QStringLiteral("Items: 3"));
        QCOMPARE(Column(list, 2), QStringList({"30,000", "1,000", "2,000"}));
        // A folder that is gone greys the row's date; the folder is always grey.
        QCOMPARE(list.topLevelItem(1)->foreground(0).color(), QColor(128, 128, 128));
        QCOMPARE(list.topLevelItem(0)->foreground(0).color(), QColor(Qt::black));
        QCOMPARE(list.topLevelItem(0)->foreground(3).color(), QColor(128, 128, 128));

        // Every click flips the direction, whichever column.
        QHeaderView& header = *list.header();
        emit header.sectionClicked(1);
        QCOMPARE(Column(list, 1), QStringList({"4", "30", "200"}));
        emit header.sectionClicked(1);
        QCOMPARE(Column(list, 1), QStringList({"200", "30", "4"}));
        emit header.sectionClicked(2);
        QCOMPARE(Column(list, 2), QStringList({"1,000", "2,000", "30,000"}));
        emit header.sectionClicked(3);
        QCOMPARE(Column(list, 3).first(), QString::fromStdString(folder / "gone/"));
        QCOMPARE(list.topLevelItem(0)->background(3).color(), QColor(245, 245, 245));
        QCOMPARE(list.topLevelItem(0)->background(1).style(), Qt::NoBrush);

        // The file pane follows the selected row, and says so when the folder is gone.
        auto* missing = manager.findChild<QLabel*>("Panel2");
        list.setCurrentItem(list.topLevelItem(0));
        QVERIFY(!missing->isHidden());
        QVERIFY(!manager.FileTree().isEnabled());
        list.setCurrentItem(list.topLevelItem(1));
        QVERIFY(missing->isHidden());
        QVERIFY(manager.FileTree().isEnabled());

        // Browse opens the row's folder through the desktop.
        manager.findChild<QAction*>("BrowseAction")->trigger();
        QCOMPARE(folder.opens().opened,
                 QList<QUrl>({QUrl::fromLocalFile(QString::fromStdString(kept))}));
    }

    void clearAsksThenDeletesTheFolderButNeverAProtectedOne() {
        WindowTestFolder folder;
        const std::string exported = ExportFolder(folder / "export");
        NewStorageRecord("MSOutlook", exported, 1, 1, false, false);
        // A row naming the program folder itself, as a damaged history could.
        NewStorageRecord("OutlookExpress", ProgramFolder() + "/", 1, 1, false, false);
        NewStorageRecord("Eudora", exported, 1, 1, false, false);
        std::unique_ptr<Windows> windows = StartUp({});
        StorageManagerForm& manager = windows->storageManagerForm();
        windows->ShowStorageManager();
        QTreeWidget& list = manager.List();
        QAction& clear = *manager.findChild<QAction*>("ClearAction");

        // No keeps everything.
        folder.boxes().answer = false;
        clear.trigger();
        QCOMPARE(folder.boxes().asked.size(), 1);
        QCOMPARE(list.topLevelItemCount(), 3);
        QVERIFY(fs::exists(exported));

        // The program folder stays; only its row goes, and the user is told.
        folder.boxes().answer = true;
        list.setCurrentItem(list.topLevelItem(1));
        clear.trigger();
        QCOMPARE(list.topLevelItemCount(), 2);
        QVERIFY(fs::exists(ProgramFolder() + "/Config"));
        QCOMPARE(folder.boxes().told.size(), 1);
        QVERIFY(folder.boxes().told[0].contains(QString::fromStdString(ProgramFolder())));
        // The row that took the cleared one's place is selected.
        QCOMPARE(list.currentItem(), list.topLevelItem(1));

        // An ordinary folder goes with everything in it; the other row naming it turns grey.
        clear.trigger();
        QVERIFY(!fs::exists(exported));
        QCOMPARE(list.topLevelItemCount(), 1);
        QCOMPARE(list.topLevelItem(0)->foreground(0).color(), QColor(128, 128, 128));
        QCOMPARE(ReadHistoryRows().size(), size_t{1});
        QCOMPARE(manager.findChild<QStatusBar*>()->currentMessage(), QStringLiteral("Items: 1"));
    }
};

}  // namespace

std::unique_ptr<QObject> MakeStorageManagerTest() {
    return std::make_unique<StorageManagerTest>();
}

}  // namespace mailsift::ui::test

#include "storage_manager_test.moc"
