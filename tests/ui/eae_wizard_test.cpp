#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <string>

#include "config/settings.h"
#include "platform/work_hooks.h"
#include "samples/mailbox_writer.h"
#include "support/file_helpers.h"
#include "ui/brightened_picture.h"
#include "ui/browse_form.h"
#include "ui/caption_walk.h"
#include "ui/eae_wizard_form.h"
#include "ui/main_form.h"
#include "ui/review_list_model.h"
#include "ui/startup.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

namespace fs = std::filesystem;
using samples::MailboxMessage;
using samples::MailboxWriter;
using samples::MailClient;

// A mailbox folder of client in dir holding one message from one address to another.
void WriteMailbox(MailClient client, const std::string& dir, const std::string& name,
                  const std::string& from, const std::string& to) {
    fs::create_directories(dir);
    MailboxWriter writer(samples::AddMailboxFolder(client, dir, name));
    MailboxMessage message;
    message.FromAddress = from;
    message.To = "Someone <" + to + ">";
    writer.Add(message);
    writer.Close();
}

std::vector<std::pair<std::string, std::string>> Review(EAEWizardFrm& wizard) {
    std::vector<std::pair<std::string, std::string>> items;
    for (const ReviewItem& item : wizard.reviewList().Items()) {
        items.emplace_back(item.Caption, item.Tag);
    }
    return items;
}

// A program folder with Thunderbird and Eudora stores set up and chosen, and the address file
// in a folder of its own.
class Fixture {
  public:
    Fixture() {
        WriteMailbox(MailClient::Thunderbird, folder_ / "tb", "Inbox", "Tina@tb.org", "zed@tb.org");
        WriteMailbox(MailClient::Thunderbird, folder_ / "tb", "Sent", "tina@tb.org",
                     "bob@both.org");
        WriteMailbox(MailClient::Eudora, folder_ / "eu", "In", "eve@eu.org", "bob@both.org");
        WriteSetting("ThunderbirdBaseFile", folder_ / "tb");
        WriteSetting("EudoraBaseFile", folder_ / "eu");
        WriteSetting("ExtractAddressesPath", folder_ / "out/EmailAddresses.txt");
        WindowTestFolder::ChooseClients(false, false, true, true);
        windows_ = StartUp({});
        wizard().show();
    }

    WindowTestFolder& folder() { return folder_; }
    EAEWizardFrm& wizard() { return windows_->eaeWizardFrm(); }
    MainForm& main() { return windows_->mainForm(); }
    BrowseForm& browse() { return windows_->browseForm(); }
    template <class T = QWidget>
    T& Get(const char* name) {
        return *wizard().findChild<T*>(name);
    }
    void Trigger(const char* action) { Get<QAction>(action).trigger(); }
    int Page() { return Get<QStackedWidget>("Notebook1").currentIndex() + 1; }
    bool Shows(const char* picture) { return Get<QLabel>(picture).isVisible(); }

    // Through the checks and the extraction to the output options.
    void ReachOutputOptions() {
        Trigger("Next_Action");
        Trigger("Next_Action");
        Trigger("Next_Action");
        QCOMPARE(wizard().Step(), 5);
    }

  private:
    WindowTestFolder folder_;
    std::unique_ptr<Windows> windows_;
};

using Items = std::vector<std::pair<std::string, std::string>>;

class EAEWizardTest : public QObject {
    Q_OBJECT
  private slots:
    void pageFlowWithBackAndContinue() {
        Fixture f;
        QCOMPARE(f.Page(), 1);
        QVERIFY(f.Get<QCheckBox>("CheckBox3").isChecked());
        QVERIFY(!f.Get<QCheckBox>("CheckBox1").isChecked());
        QVERIFY(!f.Get<QAction>("Prev_Action").isEnabled());
        f.Get<QCheckBox>("CheckBox3").click();
        f.Get<QCheckBox>("CheckBox4").click();
        QVERIFY(!f.Get<QAction>("Next_Action").isEnabled());
        f.Get<QCheckBox>("CheckBox4").click();
        QVERIFY(f.Get<QAction>("Next_Action").isEnabled());

        f.Trigger("Next_Action");
        QCOMPARE(f.Page(), 2);
        QVERIFY(f.Shows("FailureImage1") && !f.Shows("SuccessImage1"));
        QVERIFY(f.Shows("FailureImage3") && !f.Shows("SuccessImage3"));
        QVERIFY(f.Shows("SuccessImage4") && !f.Shows("FailureImage4"));
        QVERIFY(f.folder().boxes().asked.isEmpty());

        // The extraction goes on to the review by itself; only Eudora was left ticked.
        f.Trigger("Next_Action");
        QCOMPARE(f.Page(), 4);
        QCOMPARE(Review(f.wizard()), (Items{{"bob@both.org", "eudora"}, {"eve@eu.org", "eudora"}}));
        QCOMPARE(f.Get<QLabel>("TotalLabel").text(), QStringLiteral("2"));

        // Back to the statistics and on again: the review is refilled, deletions undone.
        f.wizard().reviewList().RemoveItem(0);
        f.Trigger("Prev_Action");
        QCOMPARE(f.Page(), 3);
        f.Trigger("Next_Action");
        QCOMPARE(Review(f.wizard()).size(), size_t{2});

        // Back to the start with Thunderbird ticked again: the second pass adds its addresses,
        // each list sorted and free of duplicates, an address of two sources listed twice.
        for (int i = 0; i < 3; ++i) f.Trigger("Prev_Action");
        QCOMPARE(f.Page(), 1);
        f.Get<QCheckBox>("CheckBox3").click();
        f.Trigger("Next_Action");
        f.Trigger("Next_Action");
        QCOMPARE(Review(f.wizard()), (Items{{"bob@both.org", "thunderbird"},
                                            {"tina@tb.org", "thunderbird"},
                                            {"zed@tb.org", "thunderbird"},
                                            {"bob@both.org", "eudora"},
                                            {"eve@eu.org", "eudora"}}));

        f.Trigger("Next_Action");
        QCOMPARE(f.Page(), 5);
        QVERIFY(!f.Get("Nextbutton").isVisible() && f.Get("FinishButton").isVisible());
        f.Trigger("Prev_Action");
        QVERIFY(f.Get("Nextbutton").isVisible() && !f.Get("FinishButton").isVisible());
        QVERIFY(f.Get<QAction>("Next_Action").isEnabled());
    }

    void stopEndsTheExtractionAndMovesToTheReview() {
        Fixture f;
        f.Trigger("Next_Action");
        // The stop arrives at the first turn the extraction gives the event loop.
        QTest::qWait(30);
        QTimer::singleShot(0, &f.wizard(), [&f] { f.Trigger("Stop_Extract_Action"); });
        f.Trigger("Next_Action");
        QCOMPARE(f.Page(), 4);
        QVERIFY(StopRequested());
        for (const auto& [caption, tag] : Review(f.wizard())) {
            QCOMPARE(tag, std::string("thunderbird"));  // Eudora was never reached
        }
        QVERIFY(!f.Get<QAction>("Stop_Extract_Action").isEnabled());
    }

    void unconfiguredSourcesAskAndOfferTheirSetup() {
        WindowTestFolder folder;
        fs::create_directories(folder / "express");
        WriteMailbox(MailClient::Thunderbird, folder / "tb", "Inbox", "a@b.org", "c@d.org");
        WriteSetting("OutlookExpressBaseFile", folder / "nowhere");
        WriteSetting("ThunderbirdBaseFile", "");
        WriteSetting("EudoraBaseFile", "");
        WriteSetting("MSOutlookLibraryPath", folder / "no-library.so");
        WindowTestFolder::ChooseClients(true, true, true, true);
        std::unique_ptr<Windows> windows = StartUp({});

        std::vector<ExtractSource> setups;
        int outlookWizards = 0;
        EAEWizardFrm wizard({.openSetup =
                                 [&](ExtractSource source) {
                                     setups.push_back(source);
                                     // The user sets up Thunderbird only.
                                     if (source == SourceThunderbird) {
                                         Settings.ThunderbirdBaseFile = folder / "tb";
                                     }
                                 },
                             .openOutlookWizard = [&] { ++outlookWizards; }},
                            windows->browseForm());
        wizard.show();
        folder.boxes().answer = true;
        wizard.findChild<QAction*>("Next_Action")->trigger();

        QCOMPARE(folder.boxes().asked, QStringList({LanguageText("MSOutlookNotAdjusted"),
                                                    LanguageText("OutlookExpressNotAdjusted"),
                                                    LanguageText("ThunderbirdNotAdjusted"),
                                                    LanguageText("EudoraNotAdjusted")}));
        QCOMPARE(outlookWizards, 1);
        QCOMPARE(setups, (std::vector<ExtractSource>{SourceOutlookExpress, SourceThunderbird,
                                                     SourceEudora}));
        const auto shows = [&wizard](const char* picture) {
            return wizard.findChild<QLabel*>(picture)->isVisible();
        };
        // MS Outlook's library is still missing after its wizard; Eudora is still not set up
        // and its empty folder is not searched as the program's own.
        QVERIFY(shows("FailureImage1"));
        QVERIFY(shows("FailureImage2"));
        QVERIFY(shows("SuccessImage3"));
        QVERIFY(shows("FailureImage4"));

        // No to every question: nothing is opened.
        wizard.hide();
        wizard.show();
        folder.boxes().answer = false;
        folder.boxes().asked.clear();
        Settings.ThunderbirdBaseFile.clear();
        setups.clear();
        wizard.findChild<QAction*>("Next_Action")->trigger();
        QCOMPARE(folder.boxes().asked.size(), 4);
        QVERIFY(setups.empty());
        QCOMPARE(outlookWizards, 1);
        QVERIFY(shows("FailureImage3"));
    }

    void finishInOneTextFileWritesTheAddressFileAndOpensIt() {
        Fixture f;
        f.ReachOutputOptions();
        const std::string out = f.folder() / "out/";
        QCOMPARE(f.wizard().OutputFolder(), QString::fromStdString(out));
        f.wizard().reviewList().MarkNotExisting(4);
        f.Trigger("Finish_Action");
        QVERIFY(!f.wizard().isVisible());
        QCOMPARE(mailsift::test::ReadFileBytes(out + "EmailAddresses.txt"),
                 std::string("bob@both.org\r\ntina@tb.org\r\nzed@tb.org\r\nbob@both.org\r\n"
                             "eve@eu.org [not exists]\r\n"));
        QCOMPARE(
            f.folder().opens().opened,
            QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(out + "EmailAddresses.txt"))});

        // The main window's link opens that very file.
        f.main().Image8Click();
        QCOMPARE(f.folder().opens().opened.size(), 2);
        QVERIFY(f.folder().boxes().told.isEmpty());

        // Saving again asks before replacing; No keeps the file and the wizard open.
        f.wizard().show();
        f.ReachOutputOptions();
        f.wizard().reviewList().RemoveItem(0);
        f.folder().boxes().answer = false;
        f.Trigger("Finish_Action");
        QCOMPARE(f.folder().boxes().asked.size(), 1);
        QVERIFY(f.folder().boxes().asked[0].contains(
            QString::fromStdString(out + "EmailAddresses.txt")));
        QVERIFY(f.wizard().isVisible());
        QCOMPARE(f.wizard().Step(), 5);
        QVERIFY(mailsift::test::ReadFileBytes(out + "EmailAddresses.txt").starts_with("bob@"));
        f.folder().boxes().answer = true;
        f.Trigger("Finish_Action");
        QVERIFY(!f.wizard().isVisible());
        QVERIFY(mailsift::test::ReadFileBytes(out + "EmailAddresses.txt").starts_with("tina@"));
    }

    void finishPerSourceInCsvAfterBrowsing() {
        Fixture f;
        f.ReachOutputOptions();
        const std::string chosen = f.folder() / "chosen";
        fs::create_directories(chosen);
        QTimer::singleShot(0, &f.browse(), [&] {
            f.browse().SetPath(QString::fromStdString(chosen));
            f.browse().accept();
        });
        f.Trigger("Browser_Action");
        QCOMPARE(f.wizard().OutputFolder(), QString::fromStdString(chosen + "/"));
        QCOMPARE(f.Get<QLabel>("Label19").text(), QString::fromStdString(chosen + "/"));

        f.Get<QComboBox>("ComboBox1").setCurrentIndex(1);
        f.Get<QComboBox>("ComboBox2").setCurrentIndex(1);
        f.Trigger("Finish_Action");
        QVERIFY(!f.wizard().isVisible());
        QCOMPARE(mailsift::test::ReadFileBytes(chosen + "/thunderbirdddresses.csv"),
                 std::string("Address,Source\r\nbob@both.org,thunderbird\r\ntina@tb.org,thunderbird"
                             "\r\nzed@tb.org,thunderbird\r\n"));
        QCOMPARE(mailsift::test::ReadFileBytes(chosen + "/eudoraddresses.csv"),
                 std::string("Address,Source\r\nbob@both.org,eudora\r\neve@eu.org,eudora\r\n"));
        QVERIFY(!fs::exists(chosen + "/outlookddresses.csv"));
        QVERIFY(f.folder().opens().opened.isEmpty());

        // One CSV file away from the address file's folder is "addresses.csv".
        f.wizard().show();
        f.ReachOutputOptions();
        QTimer::singleShot(0, &f.browse(), [&] {
            f.browse().SetPath(QString::fromStdString(chosen));
            f.browse().accept();
        });
        f.Trigger("Browser_Action");
        f.Get<QComboBox>("ComboBox1").setCurrentIndex(0);
        f.Get<QComboBox>("ComboBox2").setCurrentIndex(1);
        f.Trigger("Finish_Action");
        QCOMPARE(mailsift::test::ReadFileBytes(chosen + "/addresses.csv"),
                 std::string("Address\r\nbob@both.org\r\ntina@tb.org\r\nzed@tb.org\r\n"
                             "bob@both.org\r\neve@eu.org\r\n"));
    }

    void aFileThatCannotBeWrittenIsToldAndTheWizardStays() {
        Fixture f;
        // A file stands where the output folder would be made.
        mailsift::test::WriteFileBytes(f.folder() / "out", "in the way");
        f.ReachOutputOptions();
        f.Trigger("Finish_Action");
        QVERIFY(f.wizard().isVisible());
        QCOMPARE(f.folder().boxes().told.size(), 1);
        QVERIFY(f.folder().boxes().told[0].contains("EmailAddresses.txt"));
        QVERIFY(f.folder().opens().opened.isEmpty());
    }

    void addressFileLinkSaysWhenThereIsNone() {
        Fixture f;
        f.main().Image8Click();
        QVERIFY(f.folder().opens().opened.isEmpty());
        QCOMPARE(f.folder().boxes().told,
                 QStringList({LanguageText("NoEmailAddressesFileExistst") + ": " +
                              QString::fromStdString(f.folder() / "out/EmailAddresses.txt")}));
    }

    void passedStepsTurnPale() {
        QPixmap dot(1, 1);
        dot.fill(QColor(64, 0, 255));
        QCOMPARE(Brightened(dot).toImage().pixelColor(0, 0), QColor(161, 0, 255));
        dot.fill(Qt::transparent);
        QCOMPARE(Brightened(dot).toImage().pixelColor(0, 0), QColor(Qt::white));

        Fixture f;
        const auto lightness = [&f](const char* name) {
            const QImage image = f.Get<QLabel>(name).pixmap().toImage();
            qint64 sum = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) sum += qGray(image.pixel(x, y));
            }
            return sum;
        };
        const qint64 first = lightness("Image2");
        const qint64 second = lightness("Image3");
        f.Trigger("Next_Action");
        QVERIFY(lightness("Image2") > first);
        QCOMPARE(lightness("Image3"), second);  // the current step keeps its colours
        f.Trigger("Prev_Action");
        QCOMPARE(lightness("Image2"), first);
    }

    void escapeCancelsAndClosesWithoutSaving() {
        Fixture f;
        f.ReachOutputOptions();
        ClearStopRequest();
        QTest::keyClick(&f.wizard(), Qt::Key_Escape);
        QVERIFY(!f.wizard().isVisible());
        QVERIFY(StopRequested());
        QVERIFY(!fs::exists(f.folder() / "out/EmailAddresses.txt"));
    }
};

}  // namespace

std::unique_ptr<QObject> MakeEAEWizardTest() {
    return std::make_unique<EAEWizardTest>();
}

}  // namespace mailsift::ui::test

#include "eae_wizard_test.moc"
