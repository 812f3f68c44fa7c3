#include "ui/main_form.h"

#include <QCloseEvent>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include "config/report_log.h"
#include "outlook/outlook_discovery.h"
#include "platform/file_system.h"
#include "platform/work_hooks.h"
#include "ui/caption_walk.h"
#include "ui/eae_wizard_form.h"
#include "ui/help_page.h"
#include "ui/message_boxes.h"
#include "ui/section_highlight.h"
#include "ui/setup_form.h"
#include "ui/shell_open.h"
#include "ui/update_check.h"
#include "ui/window_export_dialogs.h"
#include "ui/window_work_hooks.h"
#include "ui/windows.h"
#include "ui_main_form.h"

namespace mailsift::ui {

namespace {

constexpr const char* kClientPictureNames[] = {"msoutlook", "outlookexpress", "thunderbird",
                                               "eudora"};
constexpr int kClientPictureSize = 50;
constexpr int kSectionPictureSize = 48;

QPixmap Picture(const QString& name, int size) {
    return QIcon(QStringLiteral(":/pictures/%1.svg").arg(name)).pixmap(size, size);
}

}  // namespace

MainForm::MainForm(Windows& windows, QStringList arguments)
    : ui_(std::make_unique<Ui::MainForm>()),
      windows_(windows),
      updateCheck_(std::make_unique<UpdateCheck>(this)),
      arguments_(std::move(arguments)) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    for (size_t i = 0; i < 4; ++i) {
        clientPictures_[i] =
            Picture(QStringLiteral("client-%1").arg(kClientPictureNames[i]), kClientPictureSize);
        clientPictures_[i + 4] = Picture(
            QStringLiteral("client-%1-off").arg(kClientPictureNames[i]), kClientPictureSize);
    }
    ui_->Image1->setPixmap(Picture(QStringLiteral("section-export"), kSectionPictureSize));
    ui_->Image2->setPixmap(Picture(QStringLiteral("section-viewer"), kSectionPictureSize));
    ui_->Image3->setPixmap(Picture(QStringLiteral("section-setup"), kSectionPictureSize));
    ui_->Image8->setPixmap(Picture(QStringLiteral("section-addresses"), kSectionPictureSize));

    BindActions();
    new SectionHighlight({ui_->Panel1, ui_->Panel2, ui_->Panel3, ui_->Panel5}, ui_->Panel4, this);

    reportListener_ = AddReportListener([label = ui_->Label9](const std::string& message) {
        label->setText(QString::fromStdString(message));
    });
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

MainForm::~MainForm() {
    RemoveReportListener(reportListener_);
}

void MainForm::BindActions() {
    ui_->SpeedButton1->setDefaultAction(ui_->MSOutlookAction);
    ui_->SpeedButton6->setDefaultAction(ui_->MsOutloolFileAction);
    ui_->SpeedButton5->setDefaultAction(ui_->DBXViewrAction);
    ui_->SpeedButton3->setDefaultAction(ui_->SetupAction);
    ui_->SpeedButton4->setDefaultAction(ui_->StorageFolderAction);
    ui_->SpeedButton2->setDefaultAction(ui_->ExtractAddressesAction);
    ui_->Button1->setDefaultAction(ui_->AboutAction);
    ui_->Button2->setDefaultAction(ui_->HelpAction);
    ui_->Button3->setDefaultAction(ui_->CloseAction);
    // Actions bound to no control still answer their shortcuts.
    addActions({ui_->OutlookExpressFolderAction, ui_->GetUpdateAction});

    connect(ui_->CloseAction, &QAction::triggered, this, &QWidget::close);
    connect(ui_->MSOutlookAction, &QAction::triggered, this, &MainForm::MSOutlookActionExecute);
    connect(ui_->AboutAction, &QAction::triggered, this, [this] { windows_.ShowAbout(); });
    connect(ui_->HelpAction, &QAction::triggered, this,
            [] { ShellOpen(QUrl::fromLocalFile(HelpPagePath())); });
    connect(ui_->GetUpdateAction, &QAction::triggered, updateCheck_.get(), &UpdateCheck::Start);
    connect(ui_->DBXViewrAction, &QAction::triggered, this, [this] { windows_.ShowViewer(); });
    connect(ui_->StorageFolderAction, &QAction::triggered, this,
            [this] { windows_.ShowStorageManager(); });
    connect(ui_->SetupAction, &QAction::triggered, this,
            [this] { windows_.setupForm().ShowPage(SetupForm::ExtractOptionsPage); });
    connect(ui_->MsOutloolFileAction, &QAction::triggered, this,
            [this] { windows_.setupForm().ShowPage(SetupForm::MainPage); });
    connect(ui_->OutlookExpressFolderAction, &QAction::triggered, this,
            [this] { windows_.setupForm().PickOutlookExpressFolder(); });
    connect(ui_->ExtractAddressesAction, &QAction::triggered, this,
            &MainForm::ExtractAddressesActionExecute);
    connect(ui_->Image8, &ClickableLabel::clicked, this, &MainForm::Image8Click);
    connect(ui_->Image1, &ClickableLabel::clicked, ui_->SetupAction, &QAction::trigger);
    connect(ui_->Image2, &ClickableLabel::clicked, ui_->DBXViewrAction, &QAction::trigger);

    const std::array<ClickableLabel*, 4> clients = ClientPictures();
    for (size_t i = 0; i < clients.size(); ++i) {
        connect(clients[i], &ClickableLabel::clicked, this,
                [this, i] { ClientPictureClick(static_cast<ExtractSource>(i)); });
    }

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, ui_->CloseAction, &QAction::trigger);
}

std::array<ClickableLabel*, 4> MainForm::ClientPictures() const {
    return {ui_->MSOutlookImage, ui_->OutlookExpressImage, ui_->ThunderbirdImage, ui_->EudoraImage};
}

void MainForm::RefreshClientsImage() {
    const std::array<ClickableLabel*, 4> clients = ClientPictures();
    for (size_t i = 0; i < clients.size(); ++i) {
        clients[i]->setPixmap(clientPictures_[Settings.ExtractFrom[i] ? i : i + 4]);
        clients[i]->repaint();
    }
}

void MainForm::CheckForUpdate() {
    ui_->GetUpdateAction->trigger();
}

void MainForm::UpdateNow() {
    updateCheck_->SetUserAsked();
    ui_->GetUpdateAction->trigger();
}

void MainForm::ClientPictureClick(ExtractSource source) {
    windows_.ToggleSource(source);
    RefreshClientsImage();
}

void MainForm::SetExportCaption(bool running) {
    // The caption of the action at rest is its language text, set by AdjustCaption.
    if (running) {
        restCaption_ = ui_->MSOutlookAction->text();
        ui_->MSOutlookAction->setText(QStringLiteral("Stop"));
    } else {
        ui_->MSOutlookAction->setText(restCaption_);
    }
}

void MainForm::MSOutlookActionExecute() {
    if (exportRunning_) {
        RequestStop();
        SetExportCaption(false);
        return;
    }
    WindowExportDialogs dialogs(this, windows_);
    if (!AnyClientChosen()) {
        ExportChosenClients(dialogs);
        return;
    }
    RunChosenExport();
}

void MainForm::RunChosenExport() {
    exportRunning_ = true;
    SetExportCaption(true);
    // However the run ends, by Stop, by an exception on its way to the handler, or by
    // itself, the button is ready for the next one.
    struct RunEnd {
        MainForm& form;
        ~RunEnd() {
            if (form.exportRunning_) form.SetExportCaption(false);
            form.exportRunning_ = false;
        }
    } runEnd{*this};
    ScopedWorkHooks hooks(WindowWorkHooks({ui_->Label7, ui_->Gauge2, ui_->Label9}));
    WindowExportDialogs dialogs(this, windows_);
    ExportChosenClients(dialogs);
}

void MainForm::ExtractAddressesActionExecute() {
    try {
        windows_.eaeWizardFrm().exec();
    } catch (const std::exception&) {
        // A wizard that fails to open leaves the main window as it was.
    }
}

void MainForm::Image8Click() {
    const QString path = QString::fromStdString(Settings.ExtractAddressesPath);
    // The desktop opens a missing file without complaint, so the file is looked for first.
    if (!IsExistingFile(Settings.ExtractAddressesPath) || !ShellOpen(QUrl::fromLocalFile(path))) {
        CurrentMessageBoxes().Tell(
            this, LanguageText("NoEmailAddressesFileExistst") + QStringLiteral(": ") + path);
    }
}

void MainForm::RunActivationWork() {
    RunOutlookActivationDiscovery();
    if (!firstActivation_) return;
    firstActivation_ = false;
    for (const QString& argument : arguments_) {
        // Queued, so that the export does not run inside the activation's own event.
        if (argument == QStringLiteral("/extract")) {
            QTimer::singleShot(0, this, &MainForm::MSOutlookActionExecute);
        }
    }
}

void MainForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) RunActivationWork();
}

void MainForm::closeEvent(QCloseEvent* event) {
    // A run or scan under way ends at its next check.
    RequestStop();
    QWidget::closeEvent(event);
}

}  // namespace mailsift::ui
