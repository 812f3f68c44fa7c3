#include "ui/windows.h"

#include "ui/about_form.h"
#include "ui/browse_form.h"
#include "ui/extract_dialog_form.h"
#include "ui/main_form.h"
#include "ui/ms_outlook_step_by_step_form.h"
#include "ui/ms_outlook_wizard_form.h"
#include "ui/search_library_form.h"
#include "ui/search_storages_form.h"
#include "ui/setup_form.h"

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
    aboutForm_ = Create(std::make_unique<AboutForm>(mainForm_.get()));
    extractDialogForm_ = Create(std::make_unique<ExtractDialogForm>(mainForm_.get()));
    msOutlookWizardForm_ = Create(std::make_unique<MSOutlookWizardForm>(*this, mainForm_.get()));
    msOutlookStepByStepForm_ =
        Create(std::make_unique<MSOutlookStepByStepForm>(*this, mainForm_.get()));
    searchStoragesForm_ = Create(std::make_unique<SearchStoragesForm>(*this, mainForm_.get()));
    searchLibraryForm_ = Create(std::make_unique<SearchLibraryForm>(mainForm_.get()));
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

}  // namespace mailsift::ui
