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
class DBXViewForm;
class EAEWizardFrm;
class ExtractDialogForm;
class MainForm;
class MessageViewForm;
class StorageManagerForm;
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
    EAEWizardFrm& eaeWizardFrm() { return *eaeWizardFrm_; }
    MessageViewForm& messageViewForm() { return *messageViewForm_; }
    DBXViewForm& dbxViewForm() { return *dbxViewForm_; }
    StorageManagerForm& storageManagerForm() { return *storageManagerForm_; }
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
    // The store viewer, not modally, with its tree rebuilt from the configured stores.
    void ShowViewer();
    // The store viewer with each of paths (stores named on the command line) added as a store
    // of the user's; the first is read and chosen.
    void OpenStoresInViewer(const QStringList& paths);
    // The storage manager, not modally.
    void ShowStorageManager();

  private:
    template <class Form>
    std::unique_ptr<Form> Create(std::unique_ptr<Form> form);

    std::unique_ptr<MainForm> mainForm_;
    std::unique_ptr<SetupForm> setupForm_;
    std::unique_ptr<BrowseForm> browseForm_;
    std::unique_ptr<MessageViewForm> messageViewForm_;
    std::unique_ptr<DBXViewForm> dbxViewForm_;
    std::unique_ptr<AboutForm> aboutForm_;
    std::unique_ptr<ExtractDialogForm> extractDialogForm_;
    std::unique_ptr<StorageManagerForm> storageManagerForm_;
    std::unique_ptr<EAEWizardFrm> eaeWizardFrm_;
    std::unique_ptr<MSOutlookWizardForm> msOutlookWizardForm_;
    std::unique_ptr<MSOutlookStepByStepForm> msOutlookStepByStepForm_;
    std::unique_ptr<SearchStoragesForm> searchStoragesForm_;
    std::unique_ptr<SearchLibraryForm> searchLibraryForm_;
    QList<QWidget*> created_;
};

}  // namespace mailsift::ui
