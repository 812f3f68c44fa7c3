#include "ui/eae_wizard_form.h"

#include <QActionGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QShowEvent>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <limits>

#include "addresses/address_list.h"
#include "config/language.h"
#include "config/outlook_store_list.h"
#include "config/report_log.h"
#include "platform/date_time.h"
#include "platform/file_system.h"
#include "platform/work_hooks.h"
#include "ui/address_check_runner.h"
#include "ui/brightened_picture.h"
#include "ui/browse_form.h"
#include "ui/caption_walk.h"
#include "ui/message_boxes.h"
#include "ui/review_list_model.h"
#include "ui/section_highlight.h"
#include "ui/shell_open.h"
#include "ui/widget_colour.h"
#include "ui/window_work_hooks.h"
#include "ui_eae_wizard_form.h"

namespace mailsift::ui {

namespace {

constexpr int kStepCount = 5;
constexpr int kStepPictureSize = 32;
constexpr int kCheckPictureSize = 20;
constexpr std::chrono::milliseconds kClockInterval{100};
constexpr std::chrono::milliseconds kActivityInterval{10};

constexpr const char* kStepDefaults[kStepCount] = {
    "Step 1 - selecting source storages of e-mail addresses", "Step 2 - ", "Step 3 - ", "Step 4 - ",
    "Step 5 - "};

constexpr AddressSource kClients[] = {AddressSource::MSOutlook, AddressSource::OutlookExpress,
                                      AddressSource::Thunderbird, AddressSource::Eudora};

QString StepCaption(int step) {
    const std::string key = "EAEWizardFrm.Step" + std::to_string(step) + "MessageCaption";
    return QString::fromStdString(
        LanguageStringDef(key, kStepDefaults[static_cast<size_t>(step - 1)]));
}

// The language text of key, or fallback when the file has none.
QString TextOr(const QString& key, const QString& fallback) {
    return LanguageTextIfSet(key).value_or(fallback);
}

std::string& LocationOf(AddressSource source) {
    switch (source) {
        case AddressSource::OutlookExpress:
            return Settings.OutlookExpressBaseFile;
        case AddressSource::Thunderbird:
            return Settings.ThunderbirdBaseFile;
        default:
            return Settings.EudoraBaseFile;
    }
}

// The folder of the address file the settings name, where the wizard saves unless told
// otherwise; the documents folder when the setting names no folder.
QString DefaultOutputFolder() {
    std::string folder =
        std::filesystem::path(Settings.ExtractAddressesPath).parent_path().string();
    if (folder.empty()) folder = DefaultDocumentsFolder();
    if (folder.back() != '/') folder += '/';
    return QString::fromStdString(folder);
}

}  // namespace

EAEWizardFrm::EAEWizardFrm(SetupWindows setupWindows, BrowseForm& browseForm, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::EAEWizardFrm>()),
      setupWindows_(std::move(setupWindows)),
      browseForm_(browseForm),
      reviewList_(new ReviewListModel(this)),
      checker_(new AddressCheckRunner(this)),
      clock_(new QTimer(this)),
      activity_(new QTimer(this)) {
    ui_->setupUi(this);
    // The pages keep the names the wizard's steps have always had.
    for (int i = 0; i < ui_->Notebook1->count(); ++i) {
        ui_->Notebook1->widget(i)->setObjectName(QString::number(i + 1));
    }
    SetBackground(*ui_->Panel1, Qt::white);
    new SectionHighlight({ui_->Panel2, ui_->Panel3, ui_->Panel4, ui_->Panel5}, nullptr, this);
    for (int i = 0; i < kStepCount; ++i) {
        stepPictures_[static_cast<size_t>(i)] =
            QIcon(QStringLiteral(":/pictures/wizard-step%1.svg").arg(i + 1))
                .pixmap(kStepPictureSize, kStepPictureSize);
        passedStepPictures_[static_cast<size_t>(i)] =
            Brightened(stepPictures_[static_cast<size_t>(i)]);
    }
    const QPixmap success =
        QIcon(QStringLiteral(":/pictures/check-success.svg")).pixmap(kCheckPictureSize);
    const QPixmap failure =
        QIcon(QStringLiteral(":/pictures/check-failure.svg")).pixmap(kCheckPictureSize);
    for (QLabel* picture :
         {ui_->SuccessImage1, ui_->SuccessImage2, ui_->SuccessImage3, ui_->SuccessImage4}) {
        picture->setPixmap(success);
    }
    for (QLabel* picture :
         {ui_->FailureImage1, ui_->FailureImage2, ui_->FailureImage3, ui_->FailureImage4}) {
        picture->setPixmap(failure);
    }
    ui_->ComboBox1->addItems({QStringLiteral("Save in one file "),
                              QStringLiteral("Save from each stirage to different files")});
    ui_->ComboBox2->addItems(
        {QStringLiteral("Text file [*.txt]"), QStringLiteral("CSV-file [*.csv]")});
    ui_->ToolButton4->setText(QStringLiteral("Delete"));
    ui_->ToolButton6->setText(QStringLiteral("Check"));

    ui_->ListView1->setModel(reviewList_);
    // Every row is as high as the next, so that a list of many thousands lays out at once.
    ui_->ListView1->setUniformItemSizes(true);
    ui_->ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ui_->ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    clock_->setInterval(kClockInterval);
    connect(clock_, &QTimer::timeout, this, [this] { ShowNow(*ui_->NowLabel); });
    activity_->setInterval(kActivityInterval);
    connect(activity_, &QTimer::timeout, this, [this] {
        QProgressBar& bar = *ui_->Gauge2;
        bar.setValue(bar.value() >= bar.maximum() ? 0 : bar.value() + 1);
    });
    BindActions();
    BindListActions();
}

EAEWizardFrm::~EAEWizardFrm() = default;

void EAEWizardFrm::BindActions() {
    ui_->Nextbutton->setDefaultAction(ui_->Next_Action);
    ui_->BackButton->setDefaultAction(ui_->Prev_Action);
    ui_->FinishButton->setDefaultAction(ui_->Finish_Action);
    ui_->CancelButton->setDefaultAction(ui_->Cancel_Action);
    ui_->CancelCheckButton->setDefaultAction(ui_->Cancel_Action);
    ui_->SpeedButton5->setDefaultAction(ui_->Stop_Extract_Action);
    ui_->SpeedButton2->setDefaultAction(ui_->Browser_Action);

    connect(ui_->Next_Action, &QAction::triggered, this, &EAEWizardFrm::NextActionExecute);
    connect(ui_->Prev_Action, &QAction::triggered, this, &EAEWizardFrm::PrevActionExecute);
    connect(ui_->Finish_Action, &QAction::triggered, this, &EAEWizardFrm::FinishActionExecute);
    connect(ui_->Cancel_Action, &QAction::triggered, this, &EAEWizardFrm::reject);
    connect(ui_->Stop_Extract_Action, &QAction::triggered, this, [] { RequestStop(); });
    connect(ui_->Browser_Action, &QAction::triggered, this, &EAEWizardFrm::BrowserActionExecute);
    for (QCheckBox* box : {ui_->CheckBox1, ui_->CheckBox2, ui_->CheckBox3, ui_->CheckBox4}) {
        connect(box, &QCheckBox::clicked, this, &EAEWizardFrm::UpdateContinueForSources);
    }
}

void EAEWizardFrm::BindListActions() {
    // The actions carry the choice mark of the delete and the check that was used last.
    auto* deletes = new QActionGroup(this);
    for (QAction* action : {ui_->Delete_Email_Action, ui_->Delete_Email_WithDomain_Action,
                            ui_->Delete_Email_WithoutDomain_Action}) {
        deletes->addAction(action);
    }
    auto* checks = new QActionGroup(this);
    checks->addAction(ui_->Check_Selected_Email_Action);
    checks->addAction(ui_->Check_All_Emails_Action);

    ui_->ToolButton8->setDefaultAction(ui_->Copy_Email_Action);
    connect(ui_->ToolButton4, &QToolButton::clicked, ui_->Delete_Email_Action, &QAction::trigger);
    auto* checkMenu = new QMenu(this);
    checkMenu->addActions({ui_->Check_Selected_Email_Action, ui_->Check_All_Emails_Action});
    ui_->ToolButton6->setMenu(checkMenu);
    ui_->ToolButton6->setPopupMode(QToolButton::MenuButtonPopup);
    connect(ui_->ToolButton6, &QToolButton::clicked, this, [this] {
        if (ui_->Check_Selected_Email_Action->isChecked()) {
            ui_->Check_Selected_Email_Action->trigger();
        } else if (ui_->Check_All_Emails_Action->isChecked()) {
            ui_->Check_All_Emails_Action->trigger();
        }
    });

    auto separator = [this] {
        auto* line = new QAction(this);
        line->setSeparator(true);
        return line;
    };
    ui_->ListView1->setContextMenuPolicy(Qt::ActionsContextMenu);
    ui_->ListView1->addActions({ui_->Copy_Email_Action, separator(), ui_->Delete_Email_Action,
                                ui_->Delete_Email_WithDomain_Action,
                                ui_->Delete_Email_WithoutDomain_Action, separator(),
                                ui_->Check_Selected_Email_Action, ui_->Check_All_Emails_Action});

    connect(ui_->Copy_Email_Action, &QAction::triggered, this, &EAEWizardFrm::CopyEmail);
    connect(ui_->Delete_Email_Action, &QAction::triggered, this, &EAEWizardFrm::DeleteEmail);
    connect(ui_->Delete_Email_WithDomain_Action, &QAction::triggered, this,
            [this] { DeleteByDomain(true); });
    connect(ui_->Delete_Email_WithoutDomain_Action, &QAction::triggered, this,
            [this] { DeleteByDomain(false); });
    connect(ui_->Check_Selected_Email_Action, &QAction::triggered, this, [this] {
        if (const int row = SelectedRow(); row >= 0) CheckRows({row});
    });
    connect(ui_->Check_All_Emails_Action, &QAction::triggered, this, [this] {
        std::vector<int> rows(reviewList_->Items().size());
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
        CheckRows(std::move(rows));
    });
    connect(checker_, &AddressCheckRunner::Decided, this, [this](int index, bool exists) {
        if (!exists) reviewList_->MarkNotExisting(checkedRows_[static_cast<size_t>(index)]);
        ui_->ProgressBar1->setValue(ui_->ProgressBar1->value() + 1);
    });
    connect(checker_, &AddressCheckRunner::Finished, this, &EAEWizardFrm::CheckEnded);
}

void EAEWizardFrm::AdjustFixedCaptions() {
    ui_->ToolButton4->setText(
        TextOr(QStringLiteral("EAEWizardFrm.ToolButton4.Caption"), ui_->ToolButton4->text()));
    ui_->ToolButton4->setToolTip(
        TextOr(QStringLiteral("EAEWizardFrm.ToolButton4.Hint"), ui_->ToolButton4->toolTip()));
    ui_->ToolButton6->setText(
        TextOr(QStringLiteral("EAEWizardFrm.ToolButton6.Caption"), ui_->ToolButton6->text()));
    ui_->ToolButton6->setToolTip(
        TextOr(QStringLiteral("EAEWizardFrm.ToolButton6.Hint"), ui_->ToolButton6->toolTip()));
    for (auto [combo, name] :
         {std::pair{ui_->ComboBox1, "Combobox1"}, std::pair{ui_->ComboBox2, "Combobox2"}}) {
        for (int i = 0; i < combo->count(); ++i) {
            const QString key = QStringLiteral("EAEWizardFrm.%1Item%2").arg(name).arg(i + 1);
            combo->setItemText(i, TextOr(key, combo->itemText(i)));
        }
        combo->setCurrentIndex(0);
    }
    const std::array<QCheckBox*, 4> boxes = {ui_->CheckBox1, ui_->CheckBox2, ui_->CheckBox3,
                                             ui_->CheckBox4};
    for (size_t i = 0; i < boxes.size(); ++i) {
        const QString key = QStringLiteral("EAEWizardFrm.CheckBox%1.Caption").arg(i + 1);
        boxes[i]->setText(TextOr(key, boxes[i]->text()));
    }
    ui_->Label10->setText(StepCaption(step_));
    ui_->Label10->setToolTip(ui_->Label10->text());
}

void EAEWizardFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Shown again after being minimised is no new run.
    if (!event->spontaneous()) Activate();
}

void EAEWizardFrm::Activate() {
    for (QLabel* value : {ui_->StartedLabel, ui_->NowLabel, ui_->StorageLabel}) value->clear();
    ui_->TotalLabel->setText(QStringLiteral("0"));
    ui_->CountLabel->setText(QStringLiteral("0"));
    ui_->Gauge1->setValue(0);
    ui_->Gauge2->setValue(0);
    ui_->Stop_Extract_Action->setEnabled(false);
    outputFolder_ = DefaultOutputFolder();
    ui_->Label19->setText(outputFolder_);

    const std::array<QCheckBox*, 4> boxes = {ui_->CheckBox1, ui_->CheckBox2, ui_->CheckBox3,
                                             ui_->CheckBox4};
    for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(Settings.ExtractFrom[i]);
    ui_->Delete_Email_Action->setChecked(true);
    ui_->Check_Selected_Email_Action->setChecked(true);
    ui_->Finish_Action->setEnabled(false);
    ui_->FinishButton->hide();
    ui_->Nextbutton->show();
    for (QLabel* picture :
         {ui_->SuccessImage1, ui_->SuccessImage2, ui_->SuccessImage3, ui_->SuccessImage4,
          ui_->FailureImage1, ui_->FailureImage2, ui_->FailureImage3, ui_->FailureImage4}) {
        picture->hide();
    }

    checker_->Cancel();
    CheckEnded();
    run_ = AddressExtraction{};
    reviewList_->SetItems({});
    cancelled_ = false;
    ShowStep(1);
    UpdateContinueForSources();
}

void EAEWizardFrm::UpdateContinueForSources() {
    ui_->Next_Action->setEnabled(ui_->CheckBox1->isChecked() || ui_->CheckBox2->isChecked() ||
                                 ui_->CheckBox3->isChecked() || ui_->CheckBox4->isChecked());
}

void EAEWizardFrm::ShowStep(int step) {
    step_ = std::clamp(step, 1, kStepCount);
    ui_->Notebook1->setCurrentIndex(step_ - 1);
    ui_->Label10->setText(StepCaption(step_));
    ui_->Label10->setToolTip(ui_->Label10->text());
    ui_->Prev_Action->setEnabled(step_ > 1);
    ShowStepPictures();
}

// The steps already passed turn pale; the current step and those ahead keep their colours.
void EAEWizardFrm::ShowStepPictures() {
    const std::array<QLabel*, kStepCount> pictures = {ui_->Image2, ui_->Image3, ui_->Image4,
                                                      ui_->Image5, ui_->Image6};
    for (size_t i = 0; i < pictures.size(); ++i) {
        const bool passed = static_cast<int>(i) + 1 < step_;
        pictures[i]->setPixmap(passed ? passedStepPictures_[i] : stepPictures_[i]);
    }
}

void EAEWizardFrm::NextActionExecute() {
    if (step_ >= kStepCount) return;
    try {
        ShowStep(step_ + 1);
        switch (step_) {
            case 2:
                RunSourceChecks();
                break;
            case 3: {
                const ExtractionEnd end = RunExtraction();
                if (cancelled_) return;
                if (end == ExtractionEnd::Failed) {
                    WriteReport(LanguageStringDef("EAEWizardFrm.ExtractionFailed",
                                                  "The address extraction failed") +
                                ": " + run_.FailureMessage);
                    return;
                }
                NextActionExecute();
                break;
            }
            case 4:
                ui_->Next_Action->setEnabled(false);
                reviewList_->SetItems(MakeReviewList(run_));
                ui_->Next_Action->setEnabled(true);
                break;
            case 5:
                ui_->Finish_Action->setEnabled(true);
                ui_->FinishButton->show();
                ui_->Next_Action->setEnabled(false);
                ui_->Nextbutton->hide();
                break;
            default:
                break;
        }
    } catch (const std::exception& error) {
        // The wizard stays on the page it reached; the log keeps what went wrong.
        WriteReport(std::string("Exception: ") + error.what());
    }
}

void EAEWizardFrm::PrevActionExecute() {
    if (step_ <= 1) return;
    if (step_ == kStepCount) {
        ui_->Next_Action->setEnabled(true);
        ui_->Nextbutton->show();
        ui_->Finish_Action->setEnabled(false);
        ui_->FinishButton->hide();
    }
    ShowStep(step_ - 1);
}

void EAEWizardFrm::RunSourceChecks() {
    const std::array<QCheckBox*, 4> boxes = {ui_->CheckBox1, ui_->CheckBox2, ui_->CheckBox3,
                                             ui_->CheckBox4};
    for (size_t i = 0; i < boxes.size(); ++i) {
        run_.Selected[AddressExtraction::Index(kClients[i])] = boxes[i]->isChecked();
    }
    ui_->Next_Action->setEnabled(false);
    ui_->Prev_Action->setEnabled(false);
    const std::array<QLabel*, 4> lines = {ui_->Label6, ui_->Label7, ui_->Label8, ui_->Label9};
    const std::array<QLabel*, 4> successes = {ui_->SuccessImage1, ui_->SuccessImage2,
                                              ui_->SuccessImage3, ui_->SuccessImage4};
    const std::array<QLabel*, 4> failures = {ui_->FailureImage1, ui_->FailureImage2,
                                             ui_->FailureImage3, ui_->FailureImage4};
    for (size_t i = 0; i < lines.size(); ++i) {
        successes[i]->hide();
        failures[i]->hide();
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        QFont font = lines[i]->font();
        font.setBold(true);
        lines[i]->setFont(font);
        const bool ready = run_.IsSelected(kClients[i]) && CheckSource(kClients[i]);
        font.setBold(false);
        lines[i]->setFont(font);
        successes[i]->setVisible(ready);
        failures[i]->setVisible(!ready);
    }
    ui_->Next_Action->setEnabled(true);
    ui_->Prev_Action->setEnabled(true);
}

bool EAEWizardFrm::CheckSource(AddressSource source) {
    if (source == AddressSource::MSOutlook) {
        constexpr const char* kLibraryKey = "MSOutlookLibraryPath";
        if (IsExistingFile(ReadSetting(kLibraryKey))) return true;
        if (!CurrentMessageBoxes().Ask(this, LanguageText("MSOutlookNotAdjusted"))) return false;
        if (setupWindows_.openOutlookWizard) setupWindows_.openOutlookWizard();
        return IsExistingFile(ReadSetting(kLibraryKey));
    }
    const std::string& location = LocationOf(source);
    const auto configured = [&location] {
        return !location.empty() && (IsExistingFile(location) || IsExistingFolder(location));
    };
    if (!configured()) {
        const char* question = source == AddressSource::OutlookExpress ? "OutlookExpressNotAdjusted"
                               : source == AddressSource::Thunderbird  ? "ThunderbirdNotAdjusted"
                                                                       : "EudoraNotAdjusted";
        if (!CurrentMessageBoxes().Ask(this, LanguageText(question))) return false;
        if (setupWindows_.openSetup) {
            setupWindows_.openSetup(static_cast<ExtractSource>(AddressExtraction::Index(source)));
        }
        // An empty location would be searched as the current folder, the program's own.
        if (!configured()) return false;
    }
    return FindSourceStores(run_, source, location);
}

void EAEWizardFrm::ShowNow(QLabel& label) const {
    const TDateTime now = NowDateTime();
    label.setText(QString::fromStdString(FormatDate(now) + " " + FormatLongTime(now)));
}

ExtractionEnd EAEWizardFrm::RunExtraction() {
    // However the run ends, by itself, by Stop or by a failure on its way out, the clock stops
    // and the buttons come back.
    struct RunEnd {
        EAEWizardFrm& form;
        ~RunEnd() {
            form.clock_->stop();
            form.activity_->stop();
            form.ui_->Stop_Extract_Action->setEnabled(false);
            form.ui_->Next_Action->setEnabled(true);
            form.ui_->Prev_Action->setEnabled(true);
        }
    };
    ui_->Next_Action->setEnabled(false);
    ui_->Prev_Action->setEnabled(false);
    ShowNow(*ui_->StartedLabel);
    ShowNow(*ui_->NowLabel);
    ui_->StorageLabel->clear();
    clock_->start();
    activity_->start();
    ui_->Stop_Extract_Action->setEnabled(true);
    const RunEnd runEnd{*this};

    if (run_.IsSelected(AddressSource::MSOutlook)) {
        std::vector<std::string>& files = run_.FilesOf(AddressSource::MSOutlook);
        files.clear();
        for (const TMSOutlookStore& store : LoadMSOutlookFileList()) files.push_back(store.Path);
    }
    ExtractionObserver observer;
    observer.SourceStarted = [this](AddressSource source) {
        ui_->StorageLabel->setText(QString::fromStdString(SourceCaption(source)));
        ui_->Gauge2->setValue(0);
    };
    observer.SourceEnded = [this](AddressSource) {
        ui_->StorageLabel->clear();
        ui_->Gauge2->setValue(ui_->Gauge2->maximum());
    };
    observer.SourceCountChanged = [this](int64_t count) {
        ui_->CountLabel->setText(QString::number(count));
    };
    observer.TotalChanged = [this](int64_t total) {
        ui_->TotalLabel->setText(QString::number(total));
    };
    observer.ProgressChanged = [this](int64_t position, int64_t maximum) {
        const int top =
            static_cast<int>(std::clamp<int64_t>(maximum, 0, std::numeric_limits<int>::max()));
        ui_->Gauge1->setRange(0, std::max(top, 1));
        ui_->Gauge1->setValue(static_cast<int>(std::clamp<int64_t>(position, 0, top)));
    };
    observer.FileUnreadable = [](const std::string& path) {
        WriteReport(LanguageStringDef("EAEWizardFrm.UnreadableFile", "Cannot read the store file") +
                    ": " + path);
    };
    const ScopedWorkHooks hooks(WindowWorkHooks({}));
    return RunAddressExtraction(run_, observer);
}

int EAEWizardFrm::SelectedRow() const {
    const QModelIndexList selected = ui_->ListView1->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void EAEWizardFrm::CopyEmail() {
    const int row = SelectedRow();
    if (row < 0) return;
    QGuiApplication::clipboard()->setText(
        QString::fromStdString(reviewList_->Items()[static_cast<size_t>(row)].Caption));
}

void EAEWizardFrm::DeleteEmail() {
    reviewList_->RemoveItem(SelectedRow());
}

void EAEWizardFrm::DeleteByDomain(bool sameDomain) {
    const int row = SelectedRow();
    if (row < 0) return;
    std::vector<ReviewItem> items = reviewList_->Items();
    const size_t removed = sameDomain ? DeleteWithDomain(items, static_cast<size_t>(row))
                                      : DeleteWithoutDomain(items, static_cast<size_t>(row));
    if (removed > 0) reviewList_->SetItems(std::move(items));
}

void EAEWizardFrm::CheckRows(std::vector<int> rows) {
    checkedRows_ = std::move(rows);
    SetListEditing(false);
    ui_->ProgressBar1->setRange(0, std::max<int>(static_cast<int>(checkedRows_.size()), 1));
    ui_->ProgressBar1->setValue(0);
    ui_->Panel12->show();
    std::vector<std::string> addresses;
    addresses.reserve(checkedRows_.size());
    for (int row : checkedRows_) {
        addresses.push_back(reviewList_->Items()[static_cast<size_t>(row)].Caption);
    }
    checker_->Start(addresses);
}

void EAEWizardFrm::CheckEnded() {
    ui_->Panel12->hide();
    SetListEditing(true);
}

// While a check runs the rows it marks must stay where they are, and the list is neither
// left nor saved half checked.
void EAEWizardFrm::SetListEditing(bool enabled) {
    for (QAction* action :
         {ui_->Delete_Email_Action, ui_->Delete_Email_WithDomain_Action,
          ui_->Delete_Email_WithoutDomain_Action, ui_->Check_Selected_Email_Action,
          ui_->Check_All_Emails_Action, ui_->Next_Action, ui_->Prev_Action}) {
        action->setEnabled(enabled);
    }
    ui_->ToolButton4->setEnabled(enabled);
    ui_->ToolButton6->setEnabled(enabled);
}

void EAEWizardFrm::BrowserActionExecute() {
    browseForm_.SetPath(outputFolder_);
    if (browseForm_.exec() != QDialog::Accepted) return;
    QString folder = browseForm_.SelectedPath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    outputFolder_ = folder;
    ui_->Label19->setText(outputFolder_);
}

void EAEWizardFrm::FinishActionExecute() {
    AddressOutput output{
        .Mode = ui_->ComboBox1->currentIndex() == 1 ? OutputMode::PerSource : OutputMode::OneFile,
        .Format = ui_->ComboBox2->currentIndex() == 1 ? OutputFormat::Csv : OutputFormat::Text,
        .Folder = outputFolder_.toStdString()};
    output.OneFileName = OneFileNameIn(output.Folder, Settings.ExtractAddressesPath);
    const std::vector<AddressFile> files = ComposeAddressFiles(reviewList_->Items(), output);

    QStringList existing;
    for (const AddressFile& file : files) {
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(file.Path, error))) {
            existing.append(QString::fromStdString(file.Path));
        }
    }
    if (!existing.isEmpty() &&
        !CurrentMessageBoxes().Ask(
            this, TextOr(QStringLiteral("EAEWizardFrm.ReplaceFiles"),
                         QStringLiteral("These files exist already. Replace them?")) +
                      QStringLiteral("\n\n") + existing.join(QLatin1Char('\n')))) {
        return;
    }
    ForceDirectories(output.Folder);
    const WrittenFiles written = WriteAddressFiles(files);
    if (!written.Failed.empty()) {
        QStringList failed;
        for (const std::string& path : written.Failed) failed.append(QString::fromStdString(path));
        CurrentMessageBoxes().Tell(this,
                                   TextOr(QStringLiteral("EAEWizardFrm.CannotWriteFiles"),
                                          QStringLiteral("These files could not be written:")) +
                                       QStringLiteral("\n\n") + failed.join(QLatin1Char('\n')));
        return;
    }
    if (output.Mode == OutputMode::OneFile && !files.empty()) {
        ShellOpen(QUrl::fromLocalFile(QString::fromStdString(files.front().Path)));
    }
    accept();
}

void EAEWizardFrm::reject() {
    RequestStop();
    cancelled_ = true;
    checker_->Cancel();
    CheckEnded();
    QDialog::reject();
}

}  // namespace mailsift::ui
