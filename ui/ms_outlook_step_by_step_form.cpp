#include "ui/ms_outlook_step_by_step_form.h"

#include <QUrl>
#include <exception>

#include "config/folders.h"
#include "config/report_log.h"
#include "platform/work_hooks.h"
#include "stores/store_facade.h"
#include "ui/file_dialogs.h"
#include "ui/message_boxes.h"
#include "ui/outside_links.h"
#include "ui/setup_form.h"
#include "ui/shell_open.h"
#include "ui/windows.h"
#include "ui_ms_outlook_step_by_step_form.h"

namespace mailsift::ui {

namespace {

const QColor kSucceeded(0, 128, 0);
const QColor kFailed(200, 0, 0);

// Opens the store and closes it again at once, reporting what the open found.
bool TestOpen(const std::string& path) {
    TFolderList folders;
    // The open walks the store's folders as a run does, which a stop flag left set would end
    // at once; afterwards no run is under way again.
    ClearStopRequest();
    const StoreHandle handle = OpenMessageStore(path, folders);
    RequestStop();
    if (handle <= kMaxResultCode) {
        WriteWizardReport("Can't initialize. CODE: " + std::to_string(handle));
        return false;
    }
    WriteWizardReport("Export thread created.");
    const bool found = !folders.empty();
    CloseMessageStore(handle);
    WriteWizardReport(found ? "Message folders found." : "Message folders not found.");
    return found;
}

}  // namespace

MSOutlookStepByStepForm::MSOutlookStepByStepForm(Windows& windows, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::MSOutlookStepByStepForm>()), windows_(windows) {
    ui_->setupUi(this);
    ui_->Image2->setPixmap(QIcon(QStringLiteral(":/pictures/client-msoutlook.svg")).pixmap(64, 64));
    connect(ui_->Image2, &ClickableLabel::clicked, this,
            [] { StartClientProgram(QStringLiteral("Outlook")); });
    connect(ui_->Label5, &ClickableLabel::clicked, this, [] { OpenSupportPage(); });
    connect(ui_->Button1, &QPushButton::clicked, this, &MSOutlookStepByStepForm::Step1);
    connect(ui_->Button2, &QPushButton::clicked, this, &MSOutlookStepByStepForm::Step2Browse);
    connect(ui_->Button3, &QPushButton::clicked, this, &MSOutlookStepByStepForm::Step2Search);
    connect(ui_->Button4, &QPushButton::clicked, this, &MSOutlookStepByStepForm::Step3);
    connect(ui_->Button5, &QPushButton::clicked, this, [] {
        ShellOpen(
            QUrl::fromLocalFile(QString::fromStdString(ProgramFolder() + "/wizardreport.txt")));
    });
    connect(ui_->Button6, &QPushButton::clicked, this, &QDialog::reject);
}

MSOutlookStepByStepForm::~MSOutlookStepByStepForm() = default;

void MSOutlookStepByStepForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    WriteWizardReport("-------------- Activate wizard ---------------------");
}

void MSOutlookStepByStepForm::Colour(QLabel* caption, bool succeeded) {
    QPalette palette = caption->palette();
    palette.setColor(QPalette::WindowText, succeeded ? kSucceeded : kFailed);
    caption->setPalette(palette);
}

void MSOutlookStepByStepForm::Step1() {
    WriteWizardReport("Begin Step 1.");
    ui_->Button1->setEnabled(false);
    const FirstStepOutcome outcome = FirstStep();
    ui_->Button1->setEnabled(true);
    launched_ = outcome.ProcessId;
    Colour(ui_->Label2, outcome.Succeeded);
    if (!outcome.UserMessage.empty()) {
        CurrentMessageBoxes().Tell(this, QString::fromStdString(outcome.UserMessage));
    }
}

void MSOutlookStepByStepForm::Step2Browse() {
    SetupForm& setup = windows_.setupForm();
    const QString chosen =
        CurrentFileDialogs().OpenFile(this, setup.PathEditFolder(), kPstFileFilter);
    if (chosen.isEmpty()) return;
    setup.AddStorePath(chosen);
    setup.SaveMSOutlookFilesList();
    Colour(ui_->Label3, true);
}

void MSOutlookStepByStepForm::Step2Search() {
    SetupForm& setup = windows_.setupForm();
    setup.SearchStorages();
    setup.SaveMSOutlookFilesList();
    if (!setup.MSOutlookStores().empty()) Colour(ui_->Label3, true);
}

void MSOutlookStepByStepForm::Step3() {
    WriteWizardReport("Begin Step 3.");
    const std::vector<TMSOutlookStore> stores = windows_.setupForm().MSOutlookStores();
    if (stores.empty()) {
        WriteWizardReport("No .PST files selected");
        Colour(ui_->Label4, false);
        return;
    }
    bool succeeded = false;
    try {
        succeeded = TestOpen(stores.back().Path);
    } catch (const std::exception& error) {
        WriteWizardReport(std::string("Step 3 exception: ") + error.what());
    }
    Colour(ui_->Label4, succeeded);
}

}  // namespace mailsift::ui
