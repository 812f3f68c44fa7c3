#include "ui/windows.h"

#include <QTreeWidget>

#include "platform/work_hooks.h"
#include "ui/about_form.h"
#include "ui/browse_form.h"
#include "ui/dbx_view_form.h"
#include "ui/eae_wizard_form.h"
#include "ui/extract_dialog_form.h"
#include "ui/main_form.h"
#include "ui/message_view_form.h"
#include "ui/storage_manager_form.h"

namespace mailsift::ui {

template <class Form>
std::unique_ptr<Form> Windows::Create(std::unique_ptr<Form> form) {
    created_.append(form.get());
    return form;
}

Windows::Windows(const QStringList& arguments) {
    mainForm_ = Create(std::make_unique<MainForm>(*this, arguments));
    // The settings are loaded where the Setup window is created, and no work is under way.
    LoadSettings();
    RequestStop();
    browseForm_ = Create(std::make_unique<BrowseForm>());
    messageViewForm_ = Create(std::make_unique<MessageViewForm>());
    dbxViewForm_ = Create(std::make_unique<DBXViewForm>(*browseForm_));
    aboutForm_ = Create(std::make_unique<AboutForm>(mainForm_.get()));
    extractDialogForm_ = Create(std::make_unique<ExtractDialogForm>(mainForm_.get()));
    storageManagerForm_ = Create(std::make_unique<StorageManagerForm>());
    eaeWizardFrm_ = Create(std::make_unique<EAEWizardFrm>(
        EAEWizardFrm::SetupWindows{.openSetup = [this](ExtractSource source) { OpenSetup(source); },
                                   .openOutlookWizard = [this] { OpenOutlookWizard(); }},
        *browseForm_));
}

Windows::~Windows() = default;

void Windows::ShowAbout() {
    aboutForm_->exec();
}

void Windows::ToggleSource(ExtractSource source) {
    Settings.ExtractFrom[source] = !Settings.ExtractFrom[source];
    SaveSettings();
}

// The Setup window and the connection wizard are created in their slots above once they
// exist; until then a Yes to the questions that offer them changes nothing.
void Windows::OpenSetup(std::optional<ExtractSource>) {}

void Windows::OpenOutlookWizard() {}

void Windows::ShowViewer() {
    dbxViewForm_->show();
    dbxViewForm_->raise();
    dbxViewForm_->activateWindow();
    dbxViewForm_->RefreshStorages();
}

void Windows::OpenStoresInViewer(const QStringList& paths) {
    ShowViewer();
    QTreeWidgetItem* first = nullptr;
    for (const QString& path : paths) {
        QTreeWidgetItem* node =
            dbxViewForm_->AddStorageToTree(DBXViewForm::UserDefinedCaption(), path.toStdString());
        if (first == nullptr) first = node;
    }
    if (first != nullptr) dbxViewForm_->Tree().setCurrentItem(first);
}

void Windows::ShowStorageManager() {
    storageManagerForm_->show();
    storageManagerForm_->raise();
    storageManagerForm_->activateWindow();
}

}  // namespace mailsift::ui
