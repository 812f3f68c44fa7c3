#pragma once
// A small non-modal search box: a text and a Find button. Only the text is used, each press
// of Find asks once more from where the last match ended.
#include <QDialog>

class QLineEdit;
class QPushButton;
class QLabel;

namespace mailsift::ui {

class FindDialog : public QDialog {
    Q_OBJECT
  public:
    explicit FindDialog(QWidget* parent);

    QString FindText() const;
    void SetFindText(const QString& text);
    // Re-labels the box in the language of the program.
    void Relabel();

  signals:
    void find();

  private:
    QLabel* label_;
    QLineEdit* text_;
    QPushButton* findButton_;
    QPushButton* cancelButton_;
};

}  // namespace mailsift::ui
