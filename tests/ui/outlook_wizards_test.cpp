#include <signal.h>
#include <sys/wait.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "config/folders.h"
#include "config/report_log.h"
#include "config/settings.h"
#include "outlook/default_store_backends.h"
#include "support/file_helpers.h"
#include "support/scoped_env.h"
#include "ui/file_dialogs.h"
#include "ui/ms_outlook_step_by_step_form.h"
#include "ui/ms_outlook_wizard_form.h"
#include "ui/search_library_form.h"
#include "ui/search_storages_form.h"
#include "ui/setup_form.h"
#include "ui/startup.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

namespace fs = std::filesystem;

const QColor kGreen(0, 128, 0);
const QColor kRed(200, 0, 0);

QColor CaptionColour(QWidget& window, const char* label) {
    return window.findChild<QLabel*>(QString::fromLatin1(label))
        ->palette()
        .color(QPalette::WindowText);
}

std::string WizardReport() {
    std::ifstream file(ProgramFolder() + "/wizardreport.txt");
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

void EndProcess(pid_t process) {
    if (process <= 0) return;
    kill(process, SIGKILL);
    waitpid(process, nullptr, 0);
}

class ChosenFile : public FileDialogs {
  public:
    explicit ChosenFile(QString file) : file_(std::move(file)) {}
    QString OpenFile(QWidget*, const QString&, const QString&) override { return file_; }

  private:
    QString file_;
};

QStringList FoundPaths(const FileSearchWindow& window) {
    QStringList paths;
    for (const FoundRow& row : window.FoundFiles()) paths.append(row.path);
    paths.sort();
    return paths;
}

class OutlookWizardsTest : public QObject {
    Q_OBJECT
  private slots:
    void stepOneFindsTheLibraryTheStartedProgramLoaded() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        MSOutlookStepByStepForm& steps = windows->msOutlookStepByStepForm();
        WriteSetting("MSOutlookLaunchCommand",
                     "\"" OUTLOOK_STAND_IN "\" \"" STAND_IN_MAPI_LIBRARY "\" 20");
        steps.Step1();
        EndProcess(steps.LaunchedProcess());
        QCOMPARE(ReadSetting("MSOutlookLibraryPath"), std::string(STAND_IN_MAPI_LIBRARY));
        QCOMPARE(CaptionColour(steps, "Label2"), kGreen);
        const std::string report = WizardReport();
        QVERIFY(report.find("MSMAPI library found, with full path: " STAND_IN_MAPI_LIBRARY) !=
                std::string::npos);
        QVERIFY(report.find("Result of Step 1 is positive.") != std::string::npos);
        QVERIFY(folder.boxes().told.isEmpty());
    }

    void stepOneFailsWhenNoLibraryIsLoadedOrNoProgramStarts() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        MSOutlookStepByStepForm& steps = windows->msOutlookStepByStepForm();
        WriteSetting("MSOutlookLibraryPath", "/kept");
        WriteSetting("MSOutlookLaunchCommand", "\"" OUTLOOK_STAND_IN "\" - 1");
        steps.Step1();
        EndProcess(steps.LaunchedProcess());
        QCOMPARE(CaptionColour(steps, "Label2"), kRed);
        QCOMPARE(ReadSetting("MSOutlookLibraryPath"), std::string("/kept"));
        QVERIFY(WizardReport().find("Result of Step 1 is negative.") != std::string::npos);
        QVERIFY(folder.boxes().told.isEmpty());

        // A program that is not there: the user is told, in the report too.
        WriteSetting("MSOutlookLaunchCommand", folder / "no-such-outlook");
        steps.Step1();
        QCOMPARE(steps.LaunchedProcess(), 0);
        QCOMPARE(folder.boxes().told.size(), 1);
        QVERIFY(folder.boxes().told[0].contains(QStringLiteral("no-such-outlook")));
        QVERIFY(WizardReport().find("The MS Outlook launch result is negative.") !=
                std::string::npos);
    }

    void stepTwoAddsTheChosenFileAndStepThreeTestsTheLastOne() {
        WindowTestFolder folder;
        UseDefaultStoreBackends();
        WriteSetting("MSOutlookLibraryPath", MAPI_PROVIDER_PATH);
        std::unique_ptr<Windows> windows = StartUp({});
        MSOutlookStepByStepForm& steps = windows->msOutlookStepByStepForm();
        SetupForm& setup = windows->setupForm();

        steps.Step3();
        QCOMPARE(CaptionColour(steps, "Label4"), kRed);
        QVERIFY(WizardReport().find("No .PST files selected") != std::string::npos);

        const std::string fixtures = mailsift::test::SharedFixturesDir();
        if (fixtures.empty()) QSKIP("../shared/fixtures is absent");
        setup.AddStorePath(QString::fromStdString(fixtures + "/pst/sample1.pst"));
        steps.Step3();
        QCOMPARE(CaptionColour(steps, "Label4"), kGreen);
        QVERIFY(WizardReport().find("Message folders found.") != std::string::npos);
        const std::string damaged = folder / "damaged.pst";
        WriteFile(damaged, std::string("!BDN") + std::string(600, '\xff'));
        auto previous =
            InstallFileDialogs(std::make_unique<ChosenFile>(QString::fromStdString(damaged)));
        steps.Step2Browse();
        InstallFileDialogs(std::move(previous));
        QCOMPARE(CaptionColour(steps, "Label3"), kGreen);
        QCOMPARE(LoadMSOutlookFileList().size(), size_t{2});
        steps.Step3();
        QCOMPARE(CaptionColour(steps, "Label4"), kRed);
        QVERIFY(WizardReport().find("Can't initialize. CODE: ") != std::string::npos);
    }

    void storageSearchHandsTheTickedFilesToSetupAndCancelHandsNone() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        SetupForm& setup = windows->setupForm();
        SearchStoragesForm& search = windows->searchStoragesForm();
        // The search starts in the home folder, which the test folder is.
        WriteFile(folder / "home/mail/old/Archive.PST", "1234567");
        WriteFile(folder / "home/mail/new.pst", "1");
        fs::create_directory_symlink(folder / "home/mail", folder / "home/mail/old/loop");
        setup.AddStorePath(QString::fromStdString(folder / "home/mail/new.pst"));
        setup.findChild<QListWidget*>("MSOutlookFileList")->item(0)->setCheckState(Qt::Unchecked);
        setup.findChild<QLineEdit*>("MSOutlookPathEdit")->setText(QStringLiteral("typed"));

        QTimer::singleShot(0, &search, [&search] { search.reject(); });
        setup.SearchStorages();
        QCOMPARE(setup.MSOutlookStores().size(), size_t{1});

        QTimer::singleShot(0, &search, [&search] {
            search.SearchAction();
            search.accept();
        });
        setup.SearchStorages();
        QCOMPARE(FoundPaths(search),
                 QStringList({QString::fromStdString(folder / "home/mail/new.pst"),
                              QString::fromStdString(folder / "home/mail/old/Archive.PST")}));
        const std::vector<TMSOutlookStore> stores = setup.MSOutlookStores();
        QCOMPARE(stores.size(), size_t{2});
        QVERIFY(stores[0].Selected);
        QCOMPARE(stores[1].Path, folder / "home/mail/old/Archive.PST");
        QVERIFY(stores[1].Selected);
        QCOMPARE(setup.findChild<QLineEdit*>("MSOutlookPathEdit")->text(), QStringLiteral("typed"));
        QCOMPARE(ReadSetting("MSOutlookLibraryPath").front(), '%');
    }

    void stopEndsAStorageSearchUnderWay() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        SearchStoragesForm& search = windows->searchStoragesForm();
        for (int i = 0; i < 3000; ++i) {
            WriteFile(
                folder / ("many/" + std::to_string(i % 30) + "/" + std::to_string(i) + ".pst"), "");
        }
        search.Prepare(QString::fromStdString(folder / "many"));
        auto* button = search.findChild<QPushButton*>("SearchButton");
        const QString rest = button->text();
        QString captionWhileRunning;
        // Stop as soon as the first file is listed.
        QAbstractItemModel* found = search.findChild<QTreeView*>("FoundList")->model();
        connect(found, &QAbstractItemModel::rowsInserted, &search, [&] {
            if (!captionWhileRunning.isEmpty()) return;
            captionWhileRunning = button->text();
            search.SearchAction();
        });
        search.SearchAction();
        QVERIFY(captionWhileRunning != rest);
        QCOMPARE(button->text(), rest);
        QCOMPARE(search.FoundFiles().size(), 1);
        QVERIFY(!search.Searching());
    }

    void librarySearchStoresTheChosenLibrary() {
        WindowTestFolder folder;
        std::unique_ptr<Windows> windows = StartUp({});
        SearchLibraryForm& library = windows->searchLibraryForm();
        WriteFile(folder / "pf/Office/MSMAPI32.DLL", "x");
        WriteFile(folder / "pf/Other/msmapi32.dll", "yy");
        WriteFile(folder / "pf/Other/msmapi32.dll.bak", "yy");
        library.SearchLibrary(QStringLiteral("Looking"), folder / "pf", "MSMAPI32.DLL", true);
        QVERIFY(library.isVisible());
        QCOMPARE(FoundPaths(library),
                 QStringList({QString::fromStdString(folder / "pf/Office/MSMAPI32.DLL"),
                              QString::fromStdString(folder / "pf/Other/msmapi32.dll")}));
        const QString chosen = library.SelectedFile();
        QVERIFY(!chosen.isEmpty());
        QTest::mouseClick(library.findChild<QPushButton*>("Button1"), Qt::LeftButton);
        QVERIFY(!library.isVisible());
        QCOMPARE(QString::fromStdString(ReadSetting("MSOutlookLibraryPath")), chosen);

        // The files of the other search are only listed.
        library.SearchLibrary(QStringLiteral("Files"), folder / "pf", "*.dll", false);
        QTest::mouseClick(library.findChild<QPushButton*>("Button1"), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(ReadSetting("MSOutlookLibraryPath")), chosen);
    }

    void wizardNextActsOnTheChoiceAndPicturesGoThroughTheShell() {
        WindowTestFolder folder;
        const std::string prefix = folder / "wine";
        mailsift::test::ScopedEnv wine("WINEPREFIX", prefix);
        std::unique_ptr<Windows> windows = StartUp({});
        MSOutlookWizardForm& wizard = windows->msOutlookWizardForm();
        MSOutlookStepByStepForm& steps = windows->msOutlookStepByStepForm();

        QTimer::singleShot(0, &wizard, [&] {
            QTimer::singleShot(0, &steps, [&steps] { QTest::keyClick(&steps, Qt::Key_Escape); });
            QTest::keyClick(wizard.findChild<QRadioButton*>("RadioButton2"), Qt::Key_Return);
            QVERIFY(wizard.isVisible());
            QTest::keyClick(&wizard, Qt::Key_Escape);
        });
        windows->OpenOutlookWizard();
        QVERIFY(!wizard.isVisible());
        QVERIFY(WizardReport().find("Activate wizard") != std::string::npos);

        // No MS Outlook in the prefix: said in the status line, nothing opened.
        QTest::mouseClick(wizard.findChild<QLabel*>("Image1"), Qt::LeftButton);
        QVERIFY(folder.opens().opened.isEmpty());
        QVERIFY(folder.program().ReportLog().find("Outlook is not installed") != std::string::npos);
        WriteFile(prefix + "/drive_c/Program Files/Microsoft Office/Office16/OUTLOOK.EXE", "MZ");
        QTest::mouseClick(wizard.findChild<QLabel*>("Image1"), Qt::LeftButton);
        QTest::mouseClick(wizard.findChild<QLabel*>("Label3"), Qt::LeftButton);
        QCOMPARE(folder.opens().opened.size(), 2);
        QCOMPARE(folder.opens().opened[0].fileName(), QStringLiteral("OUTLOOK.EXE"));
        QCOMPARE(folder.opens().opened[1].fragment(), QStringLiteral("support"));
    }
};

}  // namespace

std::unique_ptr<QObject> MakeOutlookWizardsTest() {
    return std::make_unique<OutlookWizardsTest>();
}

}  // namespace mailsift::ui::test

#include "outlook_wizards_test.moc"
