#pragma once
// The MS Outlook connection wizard: three ways to make MS Outlook's files readable, acted on
// with "Next >" while the wizard stays open.
#include <QDialog>
#include <memory>

namespace Ui {
class MSOutlookWizardForm;
}

namespace mailsift::ui {

class Windows;

class MSOutlookWizardForm : public QDialog {
    Q_OBJECT
  public:
    MSOutlookWizardForm(Windows& windows, QWidget* parent = nullptr);
    ~MSOutlookWizardForm() override;

    // "Next >": the chosen way.
    void Next();
    // The automatic way: the MAPI library below the program files folder.
    void SearchMSOutlookLibrary();
    // The personal folder files on all drives.
    void SearchMSOutlookPSTFiles();

  private:
    std::unique_ptr<Ui::MSOutlookWizardForm> ui_;
    Windows& windows_;
};

}  // namespace mailsift::ui
