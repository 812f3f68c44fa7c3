#include "ui/message_boxes.h"

#include <QMessageBox>

#include "ui/replaceable_service.h"

namespace mailsift::ui {

namespace {

const QString kTitle = QStringLiteral("Mailsift");

class RealMessageBoxes : public MessageBoxes {
  public:
    bool Ask(QWidget* parent, const QString& text) override {
        return QMessageBox::question(parent, kTitle, text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    }
    void Tell(QWidget* parent, const QString& text) override {
        QMessageBox::information(parent, kTitle, text, QMessageBox::Ok);
    }
};

using Boxes = ReplaceableService<MessageBoxes, RealMessageBoxes>;

}  // namespace

MessageBoxes& CurrentMessageBoxes() {
    return Boxes::Current();
}

std::unique_ptr<MessageBoxes> InstallMessageBoxes(std::unique_ptr<MessageBoxes> boxes) {
    return Boxes::Install(std::move(boxes));
}

}  // namespace mailsift::ui
