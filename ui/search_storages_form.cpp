#include "ui/search_storages_form.h"

#include <QCoreApplication>

#include "config/language.h"
#include "ui/browse_form.h"
#include "ui/outside_links.h"
#include "ui/windows.h"
#include "ui_search_storages_form.h"

namespace mailsift::ui {

namespace {

constexpr char kStorageMask[] = "*.PST";

}  // namespace

SearchStoragesForm::SearchStoragesForm(Windows& windows, QWidget* parent)
    : FileSearchWindow(parent), ui_(std::make_unique<Ui::SearchStoragesForm>()), windows_(windows) {
    ui_->setupUi(this);
    Attach(ui_->FoundList, ui_->CurrentFolderLabel, ui_->Button1, true);
    ui_->Image2->setPixmap(QIcon(QStringLiteral(":/pictures/client-msoutlook.svg")).pixmap(48, 48));
    connect(ui_->Image2, &ClickableLabel::clicked, this,
            [] { StartClientProgram(QStringLiteral("Outlook")); });
    connect(ui_->GlobalSearchCheckBox, &QCheckBox::toggled, this,
            &SearchStoragesForm::ApplyGlobalSearch);
    connect(ui_->Button3, &QPushButton::clicked, this, &SearchStoragesForm::PickRoot);
    connect(ui_->SearchButton, &QPushButton::clicked, this, &SearchStoragesForm::SearchAction);
    connect(ui_->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->Button2, &QPushButton::clicked, this, &QDialog::reject);
}

SearchStoragesForm::~SearchStoragesForm() = default;

void SearchStoragesForm::Prepare(const QString& root) {
    ui_->RootEdit->setText(root);
    ClearFound();
    ui_->GlobalSearchCheckBox->setChecked(false);
}

void SearchStoragesForm::showEvent(QShowEvent* event) {
    FileSearchWindow::showEvent(event);
    ApplyGlobalSearch();
    ui_->SearchButton->setFocus();
}

void SearchStoragesForm::ApplyGlobalSearch() {
    const bool global = ui_->GlobalSearchCheckBox->isChecked();
    ui_->RootEdit->setEnabled(!global);
    ui_->Button3->setEnabled(!global);
}

void SearchStoragesForm::PickRoot() {
    BrowseForm& browse = windows_.browseForm();
    browse.SetPath(QStringLiteral("/"));
    if (browse.exec() != QDialog::Accepted) return;
    QString folder = browse.SelectedPath();
    if (!folder.endsWith(u'/')) folder += u'/';
    ui_->RootEdit->setText(folder);
}

void SearchStoragesForm::SetSearchCaption(bool running) {
    // The caption at rest is the language text AdjustCaption gave the button.
    if (running == stopCaption_) return;
    stopCaption_ = running;
    if (running) {
        restCaption_ = ui_->SearchButton->text();
        ui_->SearchButton->setText(
            QString::fromStdString(LanguageStringDef("SearchStoragesForm.StopCaption", "Stop")));
    } else {
        ui_->SearchButton->setText(restCaption_);
    }
}

void SearchStoragesForm::SearchAction() {
    if (Searching()) {
        StopSearch();
        SetCurrentFolder({});
        SetSearchCaption(false);
        return;
    }
    SetSearchCaption(true);
    QString root = ui_->RootEdit->text();
    if (root.size() > 1 && root.endsWith(u'/')) root.chop(1);
    ui_->RootEdit->setText(root);
    BeginSearch();
    QCoreApplication::processEvents();
    const bool global = ui_->GlobalSearchCheckBox->isChecked() || root.isEmpty();
    Search(global ? std::string() : root.toStdString(), kStorageMask,
           [this](const QString& drive) { ui_->RootEdit->setText(drive); });
    StopSearch();
    SetSearchCaption(false);
}

void SearchStoragesForm::reject() {
    StopSearch();
    ClearFound();
    FileSearchWindow::reject();
}

}  // namespace mailsift::ui
