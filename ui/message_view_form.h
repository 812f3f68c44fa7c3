#pragma once
// The message source viewer: one message as it is stored, read-only, to select, copy and
// search. The store viewer opens one such window per message it shows.
#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>

#include "stores/core_types.h"

namespace Ui {
class MessageViewForm;
}

class QPlainTextEdit;

namespace mailsift::ui {

class FindDialog;

class MessageViewForm : public QDialog {
    Q_OBJECT
  public:
    explicit MessageViewForm(QWidget* parent = nullptr);
    ~MessageViewForm() override;

    // A message file larger than this shows only its beginning, and the status says so.
    static constexpr int64_t kShownBytes = 4 * 1024 * 1024;

    // Re-labels the window and its actions from the language file and the shortcut settings.
    void Relabel();
    // Shows the message file saved at path, titled after message, cascaded by row (the
    // message's row in the store viewer's list), not modally.
    void ShowMessageFile(const std::string& path, const TMessage& message, int row);
    // Selects the next occurrence of text after the selection (from the start without one),
    // matching letter case; false, with the selection left alone, when there is none.
    bool FindNext(const QString& text);

    QPlainTextEdit& TextBox();
    FindDialog& FindBox() { return *findDialog_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void ShowFindDialog();

    std::unique_ptr<Ui::MessageViewForm> ui_;
    FindDialog* findDialog_;
};

}  // namespace mailsift::ui
