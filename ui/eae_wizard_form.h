#pragma once
// The address extraction wizard: choose the mail clients, check that each is set up and find
// its store files, extract the addresses with live counts, review the list (copy, delete,
// check that addresses can exist) and save it as text or CSV files.
#include <QDialog>
#include <QPixmap>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "addresses/address_sources.h"
#include "config/settings.h"

class QLabel;
class QTimer;

namespace Ui {
class EAEWizardFrm;
}

namespace mailsift::ui {

class AddressCheckRunner;
class BrowseForm;
class ReviewListModel;

class EAEWizardFrm : public QDialog {
    Q_OBJECT
  public:
    // The windows that set up a client that is not yet set up, offered on step 2; each is
    // shown modally and returns when the user has closed it.
    struct SetupWindows {
        std::function<void(ExtractSource source)> openSetup;
        std::function<void()> openOutlookWizard;
    };

    EAEWizardFrm(SetupWindows setupWindows, BrowseForm& browseForm, QWidget* parent = nullptr);
    ~EAEWizardFrm() override;

    // The texts of the language file that are not found by walking the controls: the choices of
    // the lists, the source check boxes, the tool buttons and the step headings.
    void AdjustFixedCaptions();

    // 1 to 5.
    int Step() const { return step_; }
    ReviewListModel& reviewList() { return *reviewList_; }
    AddressCheckRunner& checker() { return *checker_; }
    // The folder the files are saved in, ending in "/".
    const QString& OutputFolder() const { return outputFolder_; }

    // Cancel, Escape and closing the window: stops the extraction or check under way and
    // closes without saving.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Activate();
    void BindActions();
    void BindListActions();
    void ShowStep(int step);
    void ShowStepPictures();
    void UpdateContinueForSources();

    void NextActionExecute();
    void PrevActionExecute();
    void FinishActionExecute();
    void BrowserActionExecute();

    void RunSourceChecks();
    bool CheckSource(AddressSource source);
    ExtractionEnd RunExtraction();
    void ShowNow(QLabel& label) const;

    int SelectedRow() const;
    void CopyEmail();
    void DeleteEmail();
    void DeleteByDomain(bool sameDomain);
    // Checks the addresses of rows, with the checking panel shown until every verdict is in.
    void CheckRows(std::vector<int> rows);
    void CheckEnded();
    void SetListEditing(bool enabled);

    std::unique_ptr<Ui::EAEWizardFrm> ui_;
    SetupWindows setupWindows_;
    BrowseForm& browseForm_;
    ReviewListModel* reviewList_;
    AddressCheckRunner* checker_;
    QTimer* clock_;     // "Now:" while addresses are extracted
    QTimer* activity_;  // the source bar cycles meanwhile
    AddressExtraction run_;
    std::array<QPixmap, 5> stepPictures_;
    std::array<QPixmap, 5> passedStepPictures_;
    std::vector<int> checkedRows_;  // review rows of the check under way, by the check's index
    QString outputFolder_;
    int step_ = 1;
    bool cancelled_ = false;
};

}  // namespace mailsift::ui
