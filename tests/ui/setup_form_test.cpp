#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "config/folders.h"
#include "config/settings.h"
#include "support/scoped_env.h"
#include "ui/browse_form.h"
#include "ui/main_form.h"
#include "ui/ms_outlook_wizard_form.h"
#include "ui/setup_form.h"
#include "ui/startup.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

template <class T>
T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no %s in %s", name, qPrintable(window.objectName()));
    return child;
}

void Trigger(SetupForm& setup, const char* action) {
    Child<QAction>(setup, action)->trigger();
}

std::string MainIniText() {
    std::ifstream file(ConfigFolder() + "main.ini");
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Answers the next folder picker: with folder, or Cancel when it is empty.
void AnswerPicker(BrowseForm& browse, const QString& folder) {
    QTimer::singleShot(0, &browse, [&browse, folder] {
        if (folder.isEmpty()) {
            browse.reject();
        } else {
            browse.SetPath(folder);
            browse.accept();
        }
    });
}

class SetupFormTest : public QObject {
    Q_OBJECT
  private slots:
    void listEditingKeepsOneEntryPerPathAndGreysMissingFiles() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        SetupForm& setup = windows->setupForm();
        auto* list = Child<QListWidget>(setup, "MSOutlookFileList");
        auto* path = Child<QLineEdit>(setup, "MSOutlookPathEdit");
        QCOMPARE(list->count(), 0);
        const std::string present = folder / "present.pst";
        std::ofstream(present) << "x";
        const std::string missing = folder / "missing.pst";

        // Replace with nothing selected adds.
        path->setText(QString::fromStdString(present));
        Trigger(setup, "MSOutlookReplace");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->checkState(), Qt::Checked);
        // A second Add of the same path unticks it instead of listing it twice.
        Trigger(setup, "MSOutlookAddAction");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->checkState(), Qt::Unchecked);

        path->setText(QString::fromStdString(missing));
        Trigger(setup, "MSOutlookAddAction");
        QCOMPARE(list->count(), 2);
        QVERIFY(!(list->item(1)->flags() & Qt::ItemIsUserCheckable));
        std::vector<TMSOutlookStore> stores = setup.MSOutlookStores();
        QVERIFY(stores[0].Exists);
        QVERIFY(!stores[1].Exists);

        // Replace of a selected entry renames it and says whether the file is there.
        list->setCurrentRow(1);
        path->setText(QString::fromStdString(present + ".renamed"));
        Trigger(setup, "MSOutlookReplace");
        QCOMPARE(list->item(1)->text(), QString::fromStdString(present + ".renamed"));
        std::ofstream(present + ".other") << "x";
        path->setText(QString::fromStdString(present + ".other"));
        Trigger(setup, "MSOutlookReplace");
        QVERIFY(setup.MSOutlookStores()[1].Exists);
        QCOMPARE(list->count(), 2);

        // Clicking an entry copies its path; Clear drops the grey ones and empties the edit.
        path->setText(QString::fromStdString(missing));
        list->setCurrentRow(-1);
        list->clearSelection();
        Trigger(setup, "MSOutlookAddAction");
        QCOMPARE(list->count(), 3);
        Trigger(setup, "MSOutlookDeleteInvalidAction");
        QCOMPARE(list->count(), 2);
        QVERIFY(path->text().isEmpty());
        Trigger(setup, "MSOutlookDeleteInvalidAction");
        QCOMPARE(list->count(), 2);

        // Delete removes the selected entry, down to the last one.
        list->setCurrentRow(1);
        Trigger(setup, "MSOutlookDeleteAction");
        list->setCurrentRow(0);
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->count(), 0);
        Trigger(setup, "MSOutlookDeleteAction");
        QCOMPARE(list->count(), 0);
    }

    void okSavesTheListAndTheControlsAndAnotherLanguageRelabelsEveryWindow() {
        WindowTestFolder folder;
        SaveMSOutlookFileList({{folder / "gone.pst", true, false}});
        std::unique_ptr<Windows> windows = StartUp({});
        SetupForm& setup = windows->setupForm();
        // A listed file that is gone keeps its tick, greyed.
        QCOMPARE(setup.MSOutlookStores().size(), size_t{1});
        QVERIFY(setup.MSOutlookStores()[0].Selected);
        QVERIFY(!setup.MSOutlookStores()[0].Exists);

        const std::string storage = folder / "Exported";
        Child<QLineEdit>(setup, "Edit1")->setText(QString::fromStdString(storage));
        Child<QCheckBox>(setup, "CheckBox2")->setChecked(true);
        Child<QComboBox>(setup, "ExtractOptionsComboBox")->setCurrentIndex(2);
        Child<QCheckBox>(setup, "ExtractFromEudoraCheckBox")->setChecked(true);
        Child<QListWidget>(setup, "MSOutlookFileList")->item(0)->setCheckState(Qt::Unchecked);
        const std::string languageBefore = ReadSetting("SelectedLanguage");
        const QString mainLabel = Child<QLabel>(windows->mainForm(), "Label5")->text();

        QTest::mouseClick(Child<QPushButton>(setup, "Button7"), Qt::LeftButton);
        QCOMPARE(ReadSetting("StoragePath"), storage + "/");
        QVERIFY(std::filesystem::is_directory(storage));
        QCOMPARE(ReadSetting("ZipEmails"), std::string("-1"));
        QCOMPARE(ReadSetting("ExtractOptions"), std::string("2"));
        QCOMPARE(ReadSetting("ExtractFromEudora"), std::string("-1"));
        QCOMPARE(ReadSetting("SelectedLanguage"), languageBefore);
        QVERIFY(!LoadMSOutlookFileList()[0].Selected);
        QCOMPARE(Child<QLabel>(windows->mainForm(), "Label5")->text(), mainLabel);

        // French: every window speaks it before the window closes.
        Child<QComboBox>(setup, "ComboBox1")->setCurrentIndex(2);
        QTest::mouseClick(Child<QPushButton>(setup, "Button7"), Qt::LeftButton);
        QCOMPARE(ReadSetting("SelectedLanguage"), std::string("2"));
        QCOMPARE(Settings.SelectedLanguage, 2);
        QCOMPARE(Child<QTabWidget>(setup, "PageControl1")->tabText(0), QStringLiteral("Général"));
        QCOMPARE(windows->msOutlookWizardForm().windowTitle(),
                 QStringLiteral("Assistant de connexion à MS Outlook"));
        QVERIFY(Child<QLabel>(windows->mainForm(), "Label5")->text() != mainLabel ||
                mainLabel.isEmpty());
        QCOMPARE(Child<QComboBox>(setup, "ComboBox1")->currentIndex(), 2);
    }

    void foldersPickedWithOrWithoutSavingAndTheEmptyStorageFolder() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        SetupForm& setup = windows->setupForm();
        BrowseForm& browse = windows->browseForm();
        const std::string before = Settings.StoragePath;

        // A cancelled storage picker still saves what the window shows.
        Child<QCheckBox>(setup, "CheckBox2")->setChecked(true);
        AnswerPicker(browse, {});
        QTest::mouseClick(Child<QPushButton>(setup, "Button1"), Qt::LeftButton);
        QCOMPARE(ReadSetting("ZipEmails"), std::string("-1"));
        QCOMPARE(ReadSetting("StoragePath"), before);

        // An empty storage folder keeps the one in use.
        Child<QLineEdit>(setup, "Edit1")->clear();
        setup.ApplySettings();
        QCOMPARE(ReadSetting("StoragePath"), before);

        // A Thunderbird folder is in effect at once but saved only by OK or Apply.
        const std::string mail = folder / "Thunderbird";
        std::filesystem::create_directories(mail);
        const std::string mainIni = MainIniText();
        AnswerPicker(browse, QString::fromStdString(mail));
        QTest::mouseClick(Child<QPushButton>(setup, "Button8"), Qt::LeftButton);
        QCOMPARE(Settings.ThunderbirdBaseFile, mail + "/");
        QTimer::singleShot(0, &setup, [&setup] {
            QTest::mouseClick(setup.findChild<QPushButton*>("Button5"), Qt::LeftButton);
        });
        setup.ShowPage(SetupForm::ThunderbirdPage);
        QCOMPARE(MainIniText(), mainIni);
        QCOMPARE(Child<QLineEdit>(setup, "Edit2")->text(), QString::fromStdString(mail + "/"));

        // The address file goes into the folder picked.
        AnswerPicker(browse, QString::fromStdString(mail));
        Child<QAction>(setup, "ExtractAddressesAction")->trigger();
        QCOMPARE(ReadSetting("ExtractAddressesPath"), mail + "/EmailAddresses.txt");
    }

    void setManualReadsTheWineRegistry() {
        WindowTestFolder folder;
        const std::string prefix = folder / "wine";
        mailsift::test::ScopedEnv wine("WINEPREFIX", prefix);
        std::unique_ptr<Windows> windows = StartUp({});
        SetupForm& setup = windows->setupForm();
        auto* edit = Child<QLineEdit>(setup, "Edit3");
        edit->setText(QStringLiteral("typed"));
        Trigger(setup, "OutlookExpress_SetMonual");
        QCOMPARE(edit->text(), QString());

        std::filesystem::create_directories(prefix);
        std::ofstream(prefix + "/user.reg") << "WINE REGISTRY Version 2\n\n"
                                               "[Software\\\\Microsoft\\\\Outlook Express] 1\n"
                                               "\"Store Root\"=\"D:\\\\Stores\"\n";
        Trigger(setup, "OutlookExpress_SetMonual");
        QCOMPARE(edit->text(), QString::fromStdString(prefix + "/dosdevices/d:/Stores"));
        QCOMPARE(edit->toolTip(), edit->text());
    }

    // The box reads "keep .MSG": ticked means .msg files, which main.ini keeps as false.
    void keepMsgBoxShowsTheStoredSettingInverted() {
        WindowTestFolder folder;
        WriteSetting("MSOutlookStroreInEML", "-1");
        std::unique_ptr<Windows> windows = StartUp({});
        SetupForm& setup = windows->setupForm();
        auto* keepMsg = Child<QCheckBox>(setup, "MSOutlookKeepOriginalCheckBox");
        QVERIFY(!keepMsg->isChecked());
        keepMsg->setChecked(true);
        setup.ApplySettings();
        QCOMPARE(ReadSetting("MSOutlookStroreInEML"), std::string("0"));
        QVERIFY(!Settings.MSOutlookStoreInEml);
    }

    void keysAndClientPanels() {
        WindowTestFolder folder;
        WindowTestFolder::ChooseClients(false, false, false, false);
        std::unique_ptr<Windows> windows = StartUp({});
        SetupForm& setup = windows->setupForm();
        auto* thunderbird = Child<QCheckBox>(setup, "ExtractFromThunderbirdCheckBox");

        // Enter is OK wherever the focus is; Escape is Close and saves nothing.
        QTimer::singleShot(0, &setup, [&setup] {
            QLabel* description = setup.findChild<QLabel*>("Label8");
            QTest::mouseClick(description, Qt::LeftButton);
            QTest::keyClick(setup.findChild<QLineEdit*>("Edit1"), Qt::Key_Return);
        });
        setup.ShowPage(SetupForm::MainPage);
        QVERIFY(thunderbird->isChecked());
        QCOMPARE(ReadSetting("ExtractFromThunderbird"), std::string("-1"));

        QTimer::singleShot(0, &setup, [&setup] {
            QTest::mouseClick(setup.findChild<QLabel*>("Label9"), Qt::LeftButton);
            QTest::keyClick(&setup, Qt::Key_Escape);
        });
        setup.ShowPage(SetupForm::MainPage);
        QCOMPARE(ReadSetting("ExtractFromEudora"), std::string("0"));
        // Shown again, the window shows what is saved.
        QTimer::singleShot(0, &setup, [&setup] { setup.reject(); });
        setup.ShowPage(SetupForm::ExtractOptionsPage);
        QVERIFY(!Child<QCheckBox>(setup, "ExtractFromEudoraCheckBox")->isChecked());
        QCOMPARE(Child<QTabWidget>(setup, "PageControl1")->currentIndex(), 1);

        // The main window's client picture goes through the window's OK.
        windows->ToggleSource(SourceMSOutlook);
        QVERIFY(Child<QCheckBox>(setup, "ExtractFromMSOutlookCheckBox")->isChecked());
        QCOMPARE(ReadSetting("ExtractFromMSOutlook"), std::string("-1"));
        QCOMPARE(ReadSetting("ExtractFromThunderbird"), std::string("-1"));
    }
};

}  // namespace

std::unique_ptr<QObject> MakeSetupFormTest() {
    return std::make_unique<SetupFormTest>();
}

}  // namespace mailsift::ui::test

#include "setup_form_test.moc"
