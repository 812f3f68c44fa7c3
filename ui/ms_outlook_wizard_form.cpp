#include "ui/ms_outlook_wizard_form.h"

#include "config/language.h"
#include "config/settings.h"
#include "ui/ms_outlook_step_by_step_form.h"
#include "ui/outside_links.h"
#include "ui/search_library_form.h"
#include "ui/windows.h"
#include "ui_ms_outlook_wizard_form.h"

namespace mailsift::ui {

MSOutlookWizardForm::MSOutlookWizardForm(Windows& windows, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::MSOutlookWizardForm>()), windows_(windows) {
    ui_->setupUi(this);
    ui_->Image1->setPixmap(QIcon(QStringLiteral(":/pictures/client-msoutlook.svg")).pixmap(64, 64));
    connect(ui_->Image1, &ClickableLabel::clicked, this,
            [] { StartClientProgram(QStringLiteral("Outlook")); });
    connect(ui_->Label3, &ClickableLabel::clicked, this, [] { OpenSupportPage(); });
    connect(ui_->Button1, &QPushButton::clicked, this, &MSOutlookWizardForm::Next);
    connect(ui_->Button2, &QPushButton::clicked, this, &QDialog::reject);
}

MSOutlookWizardForm::~MSOutlookWizardForm() = default;

void MSOutlookWizardForm::Next() {
    if (ui_->RadioButton1->isChecked()) {
        SearchMSOutlookLibrary();
    } else if (ui_->RadioButton3->isChecked()) {
        SearchMSOutlookPSTFiles();
    } else {
        windows_.msOutlookStepByStepForm().exec();
    }
}

void MSOutlookWizardForm::SearchMSOutlookLibrary() {
    windows_.searchLibraryForm().SearchLibrary(
        QString::fromStdString(LanguageString("SearchLibraryForm.SearchLibraryCaption")),
        ExpandEnvironmentPath("%programfiles%"), "MSMAPI32.DLL", true);
}

void MSOutlookWizardForm::SearchMSOutlookPSTFiles() {
    windows_.searchLibraryForm().SearchLibrary(
        QString::fromStdString(LanguageString("SearchLibraryForm.SearchPSTFilesCaption")), {},
        "*.pst", false);
}

}  // namespace mailsift::ui
