#include "ui/extract_dialog_form.h"

#include <QIcon>
#include <QMessageBox>

#include "ui/widget_colour.h"
#include "ui_extract_dialog_form.h"

namespace mailsift::ui {

ExtractDialogForm::ExtractDialogForm(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ExtractDialogForm>()) {
    ui_->setupUi(this);
    SetBackground(*ui_->Panel1, Qt::white);
    ui_->Image1->setPixmap(QIcon(QStringLiteral(":/pictures/message.svg")).pixmap(32, 32));
    connect(ui_->Button1, &QPushButton::clicked, this, [this] { done(QMessageBox::Yes); });
    connect(ui_->Button2, &QPushButton::clicked, this, [this] { done(QMessageBox::Ignore); });
    connect(ui_->Button3, &QPushButton::clicked, this, [this] { done(QMessageBox::Cancel); });
}

ExtractDialogForm::~ExtractDialogForm() = default;

// Escape, and closing the window, mean "Halt Extraction".
void ExtractDialogForm::reject() {
    done(QMessageBox::Cancel);
}

}  // namespace mailsift::ui
