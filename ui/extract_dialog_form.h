#pragma once
// The question an export may put about a message it cannot write: skip it, skip all such
// messages, or halt. Its answers are QMessageBox's Yes, Ignore and Cancel.
#include <QDialog>
#include <memory>

namespace Ui {
class ExtractDialogForm;
}

namespace mailsift::ui {

class ExtractDialogForm : public QDialog {
    Q_OBJECT
  public:
    explicit ExtractDialogForm(QWidget* parent = nullptr);
    ~ExtractDialogForm() override;

    void reject() override;

  private:
    std::unique_ptr<Ui::ExtractDialogForm> ui_;
};

}  // namespace mailsift::ui
