#pragma once
// The program's message boxes, behind one interface so that tests answer them and see what
// was asked instead of a modal box waiting for a click.
#include <QString>
#include <memory>

class QWidget;

namespace mailsift::ui {

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // A question with Yes and No buttons, titled "Mailsift"; true for Yes.
    virtual bool Ask(QWidget* parent, const QString& text) = 0;
    // A message with an OK button, titled "Mailsift".
    virtual void Tell(QWidget* parent, const QString& text) = 0;
};

// The boxes in force: real message boxes unless a test installed others.
MessageBoxes& CurrentMessageBoxes();
// Installs boxes (none puts the real ones back) and returns the ones that were in force.
std::unique_ptr<MessageBoxes> InstallMessageBoxes(std::unique_ptr<MessageBoxes> boxes);

}  // namespace mailsift::ui
