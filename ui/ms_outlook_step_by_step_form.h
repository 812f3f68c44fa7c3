#pragma once
// The step-by-step wizard: start MS Outlook to learn where its MAPI library is, choose a
// personal folder file, and test-open it. Each step's caption turns green or red, and every
// step is written to "wizardreport.txt".
#include <QDialog>
#include <memory>

#include "outlook/outlook_first_step.h"

class QLabel;

namespace Ui {
class MSOutlookStepByStepForm;
}

namespace mailsift::ui {

class Windows;

class MSOutlookStepByStepForm : public QDialog {
    Q_OBJECT
  public:
    MSOutlookStepByStepForm(Windows& windows, QWidget* parent = nullptr);
    ~MSOutlookStepByStepForm() override;

    void Step1();
    void Step2Browse();
    void Step2Search();
    void Step3();

    // The process Step 1 started last, 0 when none.
    pid_t LaunchedProcess() const { return launched_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Colour(QLabel* caption, bool succeeded);

    std::unique_ptr<Ui::MSOutlookStepByStepForm> ui_;
    Windows& windows_;
    pid_t launched_ = 0;
};

}  // namespace mailsift::ui
