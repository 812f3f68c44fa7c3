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
#include "ui/ms_outlook_step_by_step_form.h"
#include "ui/ms_outlook_wizard_form.h"
#include "ui/search_library_form.h"
#include "ui/search_storages_form.h"
#include "ui/setup_form.h"
#include "ui/storage_manager_form.h"

namespace mailsift::ui {

template <class Form>
std::unique_ptr<Form> Windows::Create(std::unique_ptr<Form> form) {
    created_.append(form.get());
    return form;
}

Windows::Windows(const QStringList& arguments) {
    mainForm_ = Create(std::make_unique<MainForm>(*this, arguments));
    setupForm_ = Create(std::make_unique<SetupForm>(*this, mainForm_.get()));
    browseForm_ = Create(std::make_unique<BrowseForm>());
    messageViewForm_ = Create(std::make_unique<MessageViewForm>());
    dbxViewForm_ = Create(std::make_unique<DBXViewForm>(*browseForm_));
    aboutForm_ = Create(std::make_unique<AboutForm>(mainForm_.get()));
    extractDialogForm_ = Create(std::make_unique<ExtractDialogForm>(mainForm_.get()));
    storageManagerForm_ = Create(std::make_unique<StorageManagerForm>());
    msOutlookWizardForm_ = Create(std::make_unique<MSOutlookWizardForm>(*this, mainForm_.get()));
    msOutlookStepByStepForm_ =
        Create(std::make_unique<MSOutlookStepByStepForm>(*this, mainForm_.get()));
    searchStoragesForm_ = Create(std::make_unique<SearchStoragesForm>(*this, mainForm_.get()));
    searchLibraryForm_ = Create(std::make_unique<SearchLibraryForm>(mainForm_.get()));
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
    setupForm_->ToggleSource(source);
}

void Windows::OpenSetup(std::optional<ExtractSource> source) {
    static constexpr SetupForm::Page kSourcePages[] = {
        SetupForm::MSOutlookPage, SetupForm::OutlookExpressPage, SetupForm::ThunderbirdPage,
        SetupForm::EudoraPage};
    setupForm_->ShowPage(source ? kSourcePages[*source] : SetupForm::MainPage);
}

void Windows::OpenOutlookWizard() {
    msOutlookWizardForm_->exec();
}

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
