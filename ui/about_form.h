#pragma once
// The About window: a borderless card with rounded corners, the product's name and version,
// and links that open in the user's web browser.
#include <QDialog>
#include <memory>

namespace Ui {
class AboutForm;
}

namespace mailsift::ui {

class AboutForm : public QDialog {
    Q_OBJECT
  public:
    explicit AboutForm(QWidget* parent = nullptr);
    ~AboutForm() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::unique_ptr<Ui::AboutForm> ui_;
};

}  // namespace mailsift::ui
