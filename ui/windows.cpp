#include "ui/windows.h"

#include "platform/work_hooks.h"
#include "ui/about_form.h"
#include "ui/browse_form.h"
#include "ui/eae_wizard_form.h"
#include "ui/extract_dialog_form.h"
#include "ui/main_form.h"

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
    aboutForm_ = Create(std::make_unique<AboutForm>(mainForm_.get()));
    extractDialogForm_ = Create(std::make_unique<ExtractDialogForm>(mainForm_.get()));
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

}  // namespace mailsift::ui
