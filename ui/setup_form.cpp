#include "ui/setup_form.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QShortcut>
#include <filesystem>

#include "config/settings_keys.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/work_hooks.h"
#include "ui/adjust_caption.h"
#include "ui/browse_form.h"
#include "ui/file_dialogs.h"
#include "ui/main_form.h"
#include "ui/outside_links.h"
#include "ui/search_storages_form.h"
#include "ui/section_highlight.h"
#include "ui/windows.h"
#include "ui_setup_form.h"

namespace mailsift::ui {

namespace {

constexpr char kSettingKeyProperty[] = "settingKey";
constexpr char kInvertedProperty[] = "settingInverted";
constexpr int kHeaderPictureSize = 48;
const QColor kMissingFileColour(160, 160, 160);
// Whether an entry's file exists; a missing one is listed grey and cannot be ticked.
constexpr int kExistsRole = Qt::UserRole + 1;

// One header picture per page, by page index.
constexpr const char* kPagePictures[] = {"section-setup",      "section-export",
                                         "client-msoutlook",   "client-outlookexpress",
                                         "client-thunderbird", "client-eudora"};

// The controls of the window bound to a settings key that LoadSettings reads.
template <class Visit>
void ForEachBoundControl(QWidget& window, Visit visit) {
    for (const SettingKey& row : SettingKeys()) {
        if (row.phase != SettingPhase::Load) continue;
        for (QWidget* control : window.findChildren<QWidget*>()) {
            if (control->property(kSettingKeyProperty).toString() ==
                QLatin1String(row.key.data(), static_cast<qsizetype>(row.key.size()))) {
                visit(row, *control);
            }
        }
    }
}

QString WithSlash(QString folder) {
    if (!folder.endsWith(u'/')) folder += u'/';
    return folder;
}

// Only the last level is made: a storage folder on a drive that is not there stays absent.
void CreateLastLevel(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::create_directory(WithoutTrailingSlashes(folder), ignored);
}

}  // namespace

SetupForm::SetupForm(Windows& windows, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::SetupForm>()), windows_(windows) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    ui_->ExtractOptionsComboBox->addItems(
        {QStringLiteral("Original file format (.eml, .msg)"), QStringLiteral("Text file (.txt)"),
         QStringLiteral("HTML file (.html)"), QStringLiteral("Attachments only")});
    for (auto [picture, client] :
         {std::pair{ui_->Image2, "client-msoutlook"},
          std::pair{ui_->Image3, "client-outlookexpress"},
          std::pair{ui_->Image4, "client-thunderbird"}, std::pair{ui_->Image5, "client-eudora"}}) {
        picture->setPixmap(
            QIcon(QStringLiteral(":/pictures/%1.svg").arg(QLatin1String(client))).pixmap(40, 40));
    }
    ui_->Label5->setBuddy(ui_->ComboBox1);
    BindActions();
    BindClientPanels();

    // The show logic loads the MS Outlook list with the settings' controls.
    LoadSettings();
    // No export or scan is under way.
    RequestStop();
    ShowLogic();
    ShowPagePicture();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

SetupForm::~SetupForm() = default;

void SetupForm::BindActions() {
    ui_->MSOutlookReplaceButton->setDefaultAction(ui_->MSOutlookReplace);
    ui_->MSOutlookAddButton->setDefaultAction(ui_->MSOutlookAddAction);
    ui_->MSOutlookDeleteButton->setDefaultAction(ui_->MSOutlookDeleteAction);
    ui_->MSOutlookDeleteInvalidButton->setDefaultAction(ui_->MSOutlookDeleteInvalidAction);
    ui_->MSOutlookSearchButton->setDefaultAction(ui_->MSOutlookSearchStorages);
    ui_->ConnectionWizardButton->setDefaultAction(ui_->MSOutlookConnectionWizardAction);
    ui_->Button10->setDefaultAction(ui_->OutlookExpress_SetMonual);
    ui_->Button11->setDefaultAction(ui_->ExtractAddressesAction);
    for (QToolButton* button : {ui_->MSOutlookReplaceButton, ui_->MSOutlookAddButton,
                                ui_->MSOutlookDeleteButton, ui_->MSOutlookDeleteInvalidButton,
                                ui_->MSOutlookSearchButton, ui_->ConnectionWizardButton}) {
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    ui_->MSOutlookFileList->addActions({ui_->MSOutlookReplace, ui_->MSOutlookAddAction,
                                        ui_->MSOutlookDeleteAction, separator,
                                        ui_->MSOutlookDeleteInvalidAction});
    // Actions bound to no control of the current page still answer their shortcuts.
    addActions({ui_->MSOutlookReplace, ui_->MSOutlookAddAction, ui_->MSOutlookDeleteAction,
                ui_->MSOutlookDeleteInvalidAction, ui_->MSOutlookConnectionWizardAction,
                ui_->MSOutlookSearchStorages, ui_->OutlookExpress_SetMonual,
                ui_->ExtractAddressesAction});

    connect(ui_->MSOutlookReplace, &QAction::triggered, this, &SetupForm::ReplaceAction);
    connect(ui_->MSOutlookAddAction, &QAction::triggered, this, &SetupForm::AddAction);
    connect(ui_->MSOutlookDeleteAction, &QAction::triggered, this, &SetupForm::DeleteAction);
    connect(ui_->MSOutlookDeleteInvalidAction, &QAction::triggered, this,
            &SetupForm::DeleteInvalidAction);
    connect(ui_->MSOutlookConnectionWizardAction, &QAction::triggered, this,
            [this] { windows_.OpenOutlookWizard(); });
    connect(ui_->MSOutlookSearchStorages, &QAction::triggered, this, &SetupForm::SearchStorages);
    connect(ui_->OutlookExpress_SetMonual, &QAction::triggered, this,
            &SetupForm::SetOutlookExpressFromRegistry);
    connect(ui_->ExtractAddressesAction, &QAction::triggered, this, &SetupForm::PickAddressFile);

    connect(ui_->Button1, &QPushButton::clicked, this, &SetupForm::PickStorageFolder);
    connect(ui_->Button2, &QPushButton::clicked, this, &SetupForm::BrowsePstFile);
    connect(ui_->Button3, &QPushButton::clicked, this, &SetupForm::PickOutlookExpressFolder);
    connect(ui_->Button8, &QPushButton::clicked, this, [this] {
        if (PickFolder(ui_->Edit2)) Settings.ThunderbirdBaseFile = ui_->Edit2->text().toStdString();
    });
    connect(ui_->Button9, &QPushButton::clicked, this, [this] {
        if (PickFolder(ui_->Edit4)) Settings.EudoraBaseFile = ui_->Edit4->text().toStdString();
    });
    connect(ui_->Button6, &QPushButton::clicked, this, [this] { windows_.mainForm().UpdateNow(); });
    connect(ui_->Button4, &QPushButton::clicked, this, [this] {
        ApplySettings();
        accept();
    });
    connect(ui_->Button7, &QPushButton::clicked, this, &SetupForm::ApplySettings);
    connect(ui_->Button5, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui_->Label14, &ClickableLabel::clicked, this, [] { OpenSupportPage(); });
    connect(ui_->PageControl1, &QTabWidget::currentChanged, this, &SetupForm::ShowPagePicture);

    connect(ui_->MSOutlookFileList, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ui_->MSOutlookPathEdit->setText(item->text()); });
    ui_->MSOutlookFileList->installEventFilter(this);

    // Enter anywhere is OK and Escape is Close, whichever control has the focus.
    for (QKeySequence key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        connect(new QShortcut(key, this), &QShortcut::activated, ui_->Button4, &QPushButton::click);
    }
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, ui_->Button5,
            &QPushButton::click);
}

void SetupForm::BindClientPanels() {
    const struct {
        QWidget* panel;
        ClickableLabel* picture;
        ClickableLabel* description;
        QCheckBox* check;
        QToolButton* adjust;
        const char* program;
        int page;
    } clients[] = {
        {ui_->Panel3, ui_->Image2, ui_->Label6, ui_->ExtractFromMSOutlookCheckBox,
         ui_->SpeedButton1, "Outlook", -1},
        {ui_->Panel4, ui_->Image3, ui_->Label7, ui_->ExtractFromOutlookExpressCheckBox,
         ui_->SpeedButton2, "MSIMN", OutlookExpressPage},
        {ui_->Panel5, ui_->Image4, ui_->Label8, ui_->ExtractFromThunderbirdCheckBox,
         ui_->SpeedButton3, "Thunderbird", ThunderbirdPage},
        {ui_->Panel6, ui_->Image5, ui_->Label9, ui_->ExtractFromEudoraCheckBox, ui_->SpeedButton4,
         "Eudora", EudoraPage},
    };
    for (const auto& client : clients) {
        const QString program = QString::fromLatin1(client.program);
        connect(client.picture, &ClickableLabel::clicked, this,
                [program] { StartClientProgram(program); });
        QCheckBox* check = client.check;
        connect(client.description, &ClickableLabel::clicked, check, &QCheckBox::toggle);
        client.panel->installEventFilter(this);
        const int page = client.page;
        connect(client.adjust, &QToolButton::clicked, this, [this, page] {
            if (page < 0) {
                windows_.OpenOutlookWizard();
            } else {
                ui_->PageControl1->setCurrentIndex(page);
            }
        });
    }
    new SectionHighlight({ui_->Panel3, ui_->Panel4, ui_->Panel5, ui_->Panel6}, ui_->TabSheet1,
                         this);
}

bool SetupForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->MSOutlookFileList && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        ui_->MSOutlookDeleteAction->trigger();
        return true;
    }
    // A click on the panel itself, beside its controls, ticks or unticks its client. A click
    // on a control reaches the panel too when the control passes it on: that one is not counted.
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        const std::pair<QWidget*, QCheckBox*> panels[] = {
            {ui_->Panel3, ui_->ExtractFromMSOutlookCheckBox},
            {ui_->Panel4, ui_->ExtractFromOutlookExpressCheckBox},
            {ui_->Panel5, ui_->ExtractFromThunderbirdCheckBox},
            {ui_->Panel6, ui_->ExtractFromEudoraCheckBox}};
        const QPoint position = static_cast<QMouseEvent*>(event)->position().toPoint();
        for (const auto& [panel, check] : panels) {
            if (watched == panel && panel->childAt(position) == nullptr) check->toggle();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SetupForm::ShowPagePicture() {
    const int page = ui_->PageControl1->currentIndex();
    ui_->Image1->clear();
    if (page >= 0 && page < static_cast<int>(std::size(kPagePictures))) {
        ui_->Image1->setPixmap(
            QIcon(QStringLiteral(":/pictures/%1.svg").arg(QLatin1String(kPagePictures[page])))
                .pixmap(kHeaderPictureSize, kHeaderPictureSize));
    }
}

void SetupForm::ShowPage(Page page) {
    ShowLogic();
    ui_->PageControl1->setCurrentIndex(page);
    ShowPagePicture();
    ui_->Button4->setFocus();
    exec();
}

void SetupForm::ShowLogic() {
    ForEachBoundControl(*this, [](const SettingKey& row, QWidget& control) {
        const bool inverted = control.property(kInvertedProperty).toBool();
        switch (row.kind) {
            case SettingKind::Path:
            case SettingKind::Folder: {
                const QString text = QString::fromStdString(FieldOf<std::string>(row, Settings));
                static_cast<QLineEdit&>(control).setText(text);
                control.setToolTip(text);
                break;
            }
            case SettingKind::Flag:
                static_cast<QCheckBox&>(control).setChecked(FieldOf<bool>(row, Settings) !=
                                                            inverted);
                break;
            case SettingKind::Choice:
                static_cast<QComboBox&>(control).setCurrentIndex(FieldOf<int>(row, Settings));
                break;
            default:
                break;
        }
    });
    if (!IsExistingFolder(Settings.StoragePath)) CreateLastLevel(Settings.StoragePath);
    // The list file is what the export reads; discovery may have filled it meanwhile.
    LoadMSOutlookFilesList();
    ui_->ComboBox1->setCurrentIndex(Settings.SelectedLanguage);
}

void SetupForm::ApplySettings() {
    SaveMSOutlookFilesList();
    // A storage folder left empty keeps the one in use: the export needs a folder.
    if (ui_->Edit1->text().isEmpty())
        ui_->Edit1->setText(QString::fromStdString(Settings.StoragePath));
    ui_->Edit1->setText(WithSlash(ui_->Edit1->text()));
    ForEachBoundControl(*this, [](const SettingKey& row, QWidget& control) {
        const bool inverted = control.property(kInvertedProperty).toBool();
        switch (row.kind) {
            case SettingKind::Path:
            case SettingKind::Folder:
                FieldOf<std::string>(row, Settings) =
                    static_cast<QLineEdit&>(control).text().toStdString();
                break;
            case SettingKind::Flag:
                FieldOf<bool>(row, Settings) =
                    static_cast<QCheckBox&>(control).isChecked() != inverted;
                break;
            case SettingKind::Choice: {
                const int index = static_cast<QComboBox&>(control).currentIndex();
                // No entry chosen keeps the format in use.
                if (index >= 0) FieldOf<int>(row, Settings) = index;
                break;
            }
            default:
                break;
        }
    });
    if (!IsExistingFolder(Settings.StoragePath)) CreateLastLevel(Settings.StoragePath);
    SaveSettings();
    const int language = ui_->ComboBox1->currentIndex();
    if (language >= 0 && language != Settings.SelectedLanguage) {
        Settings.SelectedLanguage = language;
        WriteSetting("SelectedLanguage", std::to_string(language));
        AdjustCaption(windows_);
    }
}

void SetupForm::done(int result) {
    QDialog::done(result);
    windows_.mainForm().RefreshClientsImage();
}

void SetupForm::ToggleSource(ExtractSource source) {
    ShowLogic();
    QCheckBox* checks[] = {ui_->ExtractFromMSOutlookCheckBox,
                           ui_->ExtractFromOutlookExpressCheckBox,
                           ui_->ExtractFromThunderbirdCheckBox, ui_->ExtractFromEudoraCheckBox};
    checks[source]->toggle();
    ApplySettings();
}

bool SetupForm::PickFolder(QLineEdit* edit) {
    BrowseForm& browse = windows_.browseForm();
    browse.SetPath(edit->text());
    if (browse.exec() != QDialog::Accepted) return false;
    edit->setText(WithSlash(browse.SelectedPath()));
    return true;
}

void SetupForm::PickStorageFolder() {
    if (PickFolder(ui_->Edit1)) Settings.StoragePath = ui_->Edit1->text().toStdString();
    // The choice is saved at once, as is everything else the window shows, even when the
    // picker was cancelled.
    ApplySettings();
}

void SetupForm::PickAddressFile() {
    const QString file = ui_->ExtractAddressesEdit->text();
    QString folder = QFileInfo(file).path();
    ui_->ExtractAddressesEdit->setText(folder);
    if (PickFolder(ui_->ExtractAddressesEdit)) {
        ui_->ExtractAddressesEdit->setText(ui_->ExtractAddressesEdit->text() +
                                           QStringLiteral("EmailAddresses.txt"));
        Settings.ExtractAddressesPath = ui_->ExtractAddressesEdit->text().toStdString();
    } else {
        ui_->ExtractAddressesEdit->setText(file);
    }
    ApplySettings();
}

void SetupForm::PickOutlookExpressFolder() {
    if (PickFolder(ui_->Edit3)) {
        Settings.OutlookExpressBaseFile = ui_->Edit3->text().toStdString();
        ui_->Edit3->setToolTip(ui_->Edit3->text());
    }
}

void SetupForm::SetOutlookExpressFromRegistry() {
    ui_->Edit3->setText(QString::fromStdString(ReadStoreRoot()));
    ui_->Edit3->setToolTip(ui_->Edit3->text());
}

QListWidgetItem* SetupForm::FindStore(const QString& path) const {
    // File names differ by letter case here, so only the same text is the same file.
    for (int row = 0; row < ui_->MSOutlookFileList->count(); ++row) {
        QListWidgetItem* item = ui_->MSOutlookFileList->item(row);
        if (item->text() == path) return item;
    }
    return nullptr;
}

void SetupForm::MarkExisting(QListWidgetItem* item) {
    // Long paths are cut off by the list: the whole path shows under the mouse.
    item->setToolTip(item->text());
    const bool exists = IsExistingFile(item->text().toStdString());
    item->setData(kExistsRole, exists);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (exists) flags |= Qt::ItemIsUserCheckable;
    item->setFlags(flags);
    item->setForeground(exists ? QBrush() : QBrush(kMissingFileColour));
}

void SetupForm::AppendStore(const QString& path, bool ticked) {
    auto* item = new QListWidgetItem(path, ui_->MSOutlookFileList);
    item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    MarkExisting(item);
}

void SetupForm::LoadMSOutlookFilesList() {
    ui_->MSOutlookFileList->clear();
    for (const TMSOutlookStore& store : LoadMSOutlookFileList()) {
        AppendStore(QString::fromStdString(store.Path), store.Selected);
    }
}

void SetupForm::SaveMSOutlookFilesList() const {
    SaveMSOutlookFileList(MSOutlookStores());
}

std::vector<TMSOutlookStore> SetupForm::MSOutlookStores() const {
    std::vector<TMSOutlookStore> stores;
    for (int row = 0; row < ui_->MSOutlookFileList->count(); ++row) {
        const QListWidgetItem* item = ui_->MSOutlookFileList->item(row);
        stores.push_back({.Path = item->text().toStdString(),
                          .Selected = item->checkState() == Qt::Checked,
                          .Exists = item->data(kExistsRole).toBool()});
    }
    return stores;
}

void SetupForm::AddStorePath(const QString& path) {
    ui_->MSOutlookPathEdit->setText(path);
    AddAction();
}

void SetupForm::AddAction() {
    const QString path = ui_->MSOutlookPathEdit->text();
    if (path.isEmpty()) return;
    if (QListWidgetItem* listed = FindStore(path)) {
        listed->setCheckState(listed->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        return;
    }
    AppendStore(path, true);
}

void SetupForm::ReplaceAction() {
    QListWidgetItem* selected = ui_->MSOutlookFileList->currentItem();
    if (selected == nullptr || !selected->isSelected()) {
        AddAction();
        return;
    }
    const QString path = ui_->MSOutlookPathEdit->text();
    if (path.isEmpty()) return;
    selected->setText(path);
    MarkExisting(selected);
}

void SetupForm::DeleteAction() {
    QListWidgetItem* selected = ui_->MSOutlookFileList->currentItem();
    if (selected != nullptr && selected->isSelected()) delete selected;
}

void SetupForm::DeleteInvalidAction() {
    for (int row = ui_->MSOutlookFileList->count() - 1; row >= 0; --row) {
        QListWidgetItem* item = ui_->MSOutlookFileList->item(row);
        if (!item->data(kExistsRole).toBool()) delete item;
    }
    ui_->MSOutlookPathEdit->clear();
}

void SetupForm::BrowsePstFile() {
    const QString chosen = CurrentFileDialogs().OpenFile(this, PathEditFolder(), kPstFileFilter);
    if (!chosen.isEmpty()) ui_->MSOutlookPathEdit->setText(chosen);
}

QString SetupForm::PathEditFolder() const {
    const QString text = ui_->MSOutlookPathEdit->text();
    if (text.isEmpty()) return QString::fromStdString(HomeFolder());
    return QFileInfo(text).isDir() ? text : QFileInfo(text).path();
}

void SetupForm::SearchStorages() {
    const QString remembered = ui_->MSOutlookPathEdit->text();
    SearchStoragesForm& search = windows_.searchStoragesForm();
    search.Prepare(QString::fromStdString(HomeFolder()));
    search.exec();
    for (const FoundRow& found : search.FoundFiles()) {
        if (!found.checked) continue;
        if (QListWidgetItem* listed = FindStore(found.path)) {
            listed->setCheckState(Qt::Checked);
        } else {
            AppendStore(found.path, true);
        }
    }
    ui_->MSOutlookPathEdit->setText(remembered);
}

}  // namespace mailsift::ui
