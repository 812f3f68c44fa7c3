#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QListView>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <algorithm>

#include "platform/work_hooks.h"
#include "ui/address_check_runner.h"
#include "ui/eae_wizard_form.h"
#include "ui/host_lookup.h"
#include "ui/review_list_model.h"
#include "ui/startup.h"
#include "ui/windows.h"
#include "ui_test_classes.h"
#include "ui_test_support.h"

namespace mailsift::ui::test {

namespace {

// The wizard's review page over items of our own, with the fake resolver installed.
class ReviewPage {
  public:
    explicit ReviewPage(const std::vector<std::string>& captions) : windows_(StartUp({})) {
        wizard().show();
        std::vector<ReviewItem> items;
        for (const std::string& caption : captions) items.push_back({caption, "thunderbird"});
        wizard().reviewList().SetItems(std::move(items));
    }

    EAEWizardFrm& wizard() { return windows_->eaeWizardFrm(); }
    FakeDns& dns() { return dns_.dns(); }
    QAction& Action(const char* name) { return *wizard().findChild<QAction*>(name); }
    QWidget& Widget(const char* name) { return *wizard().findChild<QWidget*>(name); }

    void Select(int row) {
        auto* list = wizard().findChild<QListView*>("ListView1");
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::ClearAndSelect);
    }

    QStringList Captions() {
        QStringList captions;
        for (const ReviewItem& item : wizard().reviewList().Items()) {
            captions.append(QString::fromStdString(item.Caption));
        }
        return captions;
    }

    // Waits for the check under way to end; false when it did not within the time given.
    bool WaitForCheck(int milliseconds = 5000) {
        return QTest::qWaitFor([this] { return !wizard().checker().Running(); }, milliseconds);
    }

  private:
    WindowTestFolder folder_;
    FakeDnsInstalled dns_;
    std::unique_ptr<Windows> windows_;
};

const QString kMark = QStringLiteral(" [not exists]");

class AddressListPageTest : public QObject {
    Q_OBJECT
  private slots:
    void checkAllLooksUpEachDomainOnceAndMarksAsAnswersArrive() {
        ReviewPage page({"a@web.org", "b@Web.org", "c+d@web.org", "\xC3\xA9t\xC3\xA9@web.org",
                         "e@bare.org", "f@gone.org", "g@bare.org", "h@gone.org"});
        page.dns().resolving = {"www.web.org", "bare.org"};
        page.dns().delay = std::chrono::milliseconds(20);
        page.Action("Check_All_Emails_Action").trigger();
        QVERIFY(!page.Widget("Panel12").isHidden());
        QVERIFY2(!page.Action("Delete_Email_Action").isEnabled(), "rows stay put meanwhile");
        QVERIFY(page.WaitForCheck());

        QCOMPARE(page.Captions(),
                 QStringList({"a@web.org", "b@Web.org", "c+d@web.org" + kMark,
                              QString::fromUtf8("\xC3\xA9t\xC3\xA9@web.org") + kMark, "e@bare.org",
                              "f@gone.org" + kMark, "g@bare.org", "h@gone.org" + kMark}));
        QCOMPARE(page.dns().asked, QStringList({"www.web.org", "www.bare.org", "www.gone.org",
                                                "bare.org", "gone.org"}));
        QVERIFY(page.Widget("Panel12").isHidden());
        QVERIFY(page.Action("Delete_Email_Action").isEnabled());
        QVERIFY(page.Action("Next_Action").isEnabled());

        // Each check asks again and marks again, as the marks are part of the caption.
        page.Select(5);
        page.Action("Check_Selected_Email_Action").trigger();
        QVERIFY(page.WaitForCheck());
        QCOMPARE(page.Captions()[5], "f@gone.org" + kMark + kMark);
    }

    void theCheckButtonRunsTheCheckUsedLast() {
        ReviewPage page({"a@gone.org", "b@gone.org"});
        auto& button = static_cast<QToolButton&>(page.Widget("ToolButton6"));
        page.Select(1);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(page.WaitForCheck());
        QCOMPARE(page.Captions(), QStringList({"a@gone.org", "b@gone.org" + kMark}));

        page.Action("Check_All_Emails_Action").trigger();
        QVERIFY(page.WaitForCheck());
        QVERIFY(page.Action("Check_All_Emails_Action").isChecked());
        QVERIFY(!page.Action("Check_Selected_Email_Action").isChecked());
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(page.WaitForCheck());
        QCOMPARE(page.Captions(),
                 QStringList({"a@gone.org" + kMark + kMark, "b@gone.org" + kMark + kMark + kMark}));
    }

    void aLookupThatNeverAnswersEndsByItsTimeout() {
        ReviewPage page({"a@silent.org", "b@fine.org"});
        page.dns().resolving = {"www.fine.org"};
        page.dns().silent = {"www.silent.org", "silent.org"};
        page.wizard().checker().SetLookupTimeout(std::chrono::milliseconds(50));
        QSignalSpy finished(&page.wizard().checker(), &AddressCheckRunner::Finished);
        page.Action("Check_All_Emails_Action").trigger();
        QVERIFY(page.WaitForCheck());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(page.Captions(), QStringList({"a@silent.org" + kMark, "b@fine.org"}));
        QCOMPARE(page.dns().aborted.size(), 2);  // both forms were given up
    }

    void cancelStopsWhatIsPendingAndClosesTheWizard() {
        std::vector<std::string> captions;
        for (int i = 0; i < 40; ++i) captions.push_back("u@d" + std::to_string(i) + ".org");
        ReviewPage page(captions);
        page.dns().delay = std::chrono::milliseconds(30);
        page.Action("Check_All_Emails_Action").trigger();
        QCOMPARE(page.dns().asked.size(), qsizetype(kDomainLookupsAtOnce));
        QVERIFY(QTest::qWaitFor([&] { return page.Captions().join("").contains(kMark); }));

        ClearStopRequest();
        static_cast<QToolButton&>(page.Widget("CancelCheckButton")).click();
        const qsizetype asked = page.dns().asked.size();
        QVERIFY(!page.wizard().isVisible());
        QVERIFY(StopRequested());
        QVERIFY(!page.wizard().checker().Running());
        QVERIFY(!page.dns().aborted.isEmpty());
        const QStringList atCancel = page.Captions();
        QTest::qWait(150);
        QCOMPARE(page.Captions(), atCancel);       // no mark after the cancel
        QCOMPARE(page.dns().asked.size(), asked);  // and nothing begun
    }

    void checkAllOfNothingShowsAndHidesThePanel() {
        ReviewPage page({});
        QSignalSpy finished(&page.wizard().checker(), &AddressCheckRunner::Finished);
        page.Action("Check_All_Emails_Action").trigger();
        QCOMPARE(finished.count(), 1);
        QVERIFY(page.Widget("Panel12").isHidden());
        QVERIFY(page.Action("Check_All_Emails_Action").isEnabled());
        QVERIFY(page.dns().asked.isEmpty());
    }

    // The system's resolver answers through the event loop; a numeric address needs no network.
    void systemLookupAnswersLater() {
        HostLookup& system = CurrentHostLookup();
        std::vector<bool> answers;
        system.Start(QStringLiteral("127.0.0.1"),
                     [&answers](bool resolves) { answers.push_back(resolves); });
        system.Start(QStringLiteral("localhost\0.example.org"),
                     [&answers](bool resolves) { answers.push_back(resolves); });
        QVERIFY(answers.empty());
        QVERIFY(QTest::qWaitFor([&answers] { return answers.size() == 2; }, 10000));
        QCOMPARE(std::count(answers.begin(), answers.end(), true), 1);
    }

    void copyTakesTheSelectedCaptionOnly() {
        ReviewPage page({"first@x.org", "second@x.org"});
        QGuiApplication::clipboard()->setText(QStringLiteral("what was there"));
        page.Action("Copy_Email_Action").trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("what was there"));
        page.Select(1);
        page.Action("Copy_Email_Action").trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("second@x.org"));
    }

    void deletionsByDomainSkipNoItem() {
        const std::vector<std::string> items = {"a@x.org", "b@X.org",   "c@y.org",    "d@x.org",
                                                "e@x.org", "no-domain", "f@sub.x.org"};
        {
            ReviewPage page(items);
            page.Select(0);
            page.Action("Delete_Email_WithDomain_Action").trigger();
            QCOMPARE(page.Captions(), QStringList({"c@y.org", "no-domain", "f@sub.x.org"}));
            QVERIFY(page.Action("Delete_Email_WithDomain_Action").isChecked());
            QVERIFY(!page.Action("Delete_Email_Action").isChecked());
        }
        {
            ReviewPage page(items);
            page.Select(3);
            page.Action("Delete_Email_WithoutDomain_Action").trigger();
            QCOMPARE(page.Captions(),
                     QStringList({"a@x.org", "b@X.org", "d@x.org", "e@x.org", "no-domain"}));
        }
        {
            ReviewPage page(items);
            page.Action("Delete_Email_Action").trigger();
            QCOMPARE(page.Captions().size(), 7);  // nothing selected, nothing deleted
            page.Select(2);
            static_cast<QToolButton&>(page.Widget("ToolButton4")).click();
            QCOMPARE(page.Captions().size(), 6);
            QVERIFY(!page.Captions().contains("c@y.org"));
        }
    }
};

}  // namespace

std::unique_ptr<QObject> MakeAddressListPageTest() {
    return std::make_unique<AddressListPageTest>();
}

}  // namespace mailsift::ui::test

#include "address_list_page_test.moc"
