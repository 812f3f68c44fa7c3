#pragma once
// Every window of the program, created once at start-up in a fixed order, hidden, and living
// until the program ends.
#include <QList>
#include <QStringList>
#include <memory>
#include <optional>

#include "config/settings.h"

class QWidget;

namespace mailsift::ui {

class AboutForm;
class BrowseForm;
class ExtractDialogForm;
class MainForm;
class MSOutlookStepByStepForm;
class MSOutlookWizardForm;
class SearchLibraryForm;
class SearchStoragesForm;
class SetupForm;

class Windows {
  public:
    // arguments: the command line after the program name.
    explicit Windows(const QStringList& arguments);
    ~Windows();
    Windows(const Windows&) = delete;
    Windows& operator=(const Windows&) = delete;

    MainForm& mainForm() { return *mainForm_; }
    SetupForm& setupForm() { return *setupForm_; }
    BrowseForm& browseForm() { return *browseForm_; }
    AboutForm& aboutForm() { return *aboutForm_; }
    ExtractDialogForm& extractDialogForm() { return *extractDialogForm_; }
    MSOutlookWizardForm& msOutlookWizardForm() { return *msOutlookWizardForm_; }
    MSOutlookStepByStepForm& msOutlookStepByStepForm() { return *msOutlookStepByStepForm_; }
    SearchStoragesForm& searchStoragesForm() { return *searchStoragesForm_; }
    SearchLibraryForm& searchLibraryForm() { return *searchLibraryForm_; }

    // Every window in the order it was created.
    const QList<QWidget*>& All() const { return created_; }

    void ShowAbout();
    // Chooses or drops source as a source of the export, and saves the settings.
    void ToggleSource(ExtractSource source);
    // The Setup window on the page of source (the first page for none), and the MS Outlook
    // connection wizard, modally.
    void OpenSetup(std::optional<ExtractSource> source);
    void OpenOutlookWizard();

  private:
    template <class Form>
    std::unique_ptr<Form> Create(std::unique_ptr<Form> form);

    std::unique_ptr<MainForm> mainForm_;
    std::unique_ptr<SetupForm> setupForm_;
    std::unique_ptr<BrowseForm> browseForm_;
    std::unique_ptr<AboutForm> aboutForm_;
    std::unique_ptr<ExtractDialogForm> extractDialogForm_;
    std::unique_ptr<MSOutlookWizardForm> msOutlookWizardForm_;
    std::unique_ptr<MSOutlookStepByStepForm> msOutlookStepByStepForm_;
    std::unique_ptr<SearchStoragesForm> searchStoragesForm_;
    std::unique_ptr<SearchLibraryForm> searchLibraryForm_;
    QList<QWidget*> created_;
};

}  // namespace mailsift::ui
