#include "ui/find_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/caption_walk.h"

namespace mailsift::ui {

FindDialog::FindDialog(QWidget* parent)
    : QDialog(parent),
      label_(new QLabel(QStringLiteral("Find what:"), this)),
      text_(new QLineEdit(this)),
      findButton_(new QPushButton(QStringLiteral("Find next"), this)),
      cancelButton_(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(QStringLiteral("FindDialog1"));
    setModal(false);
    auto* row = new QHBoxLayout;
    row->addWidget(label_);
    row->addWidget(text_, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(findButton_);
    buttons->addWidget(cancelButton_);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(row, 1);
    layout->addLayout(buttons);
    label_->setBuddy(text_);
    findButton_->setDefault(true);
    connect(findButton_, &QPushButton::clicked, this, &FindDialog::find);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

QString FindDialog::FindText() const {
    return text_->text();
}

void FindDialog::SetFindText(const QString& text) {
    text_->setText(text);
}

void FindDialog::Relabel() {
    if (const auto text = LanguageTextIfSet(QStringLiteral("FindDialog.Caption"))) {
        setWindowTitle(*text);
    }
    if (const auto text = LanguageTextIfSet(QStringLiteral("FindDialog.Label1.caption"))) {
        label_->setText(*text);
    }
    if (const auto text = LanguageTextIfSet(QStringLiteral("FindDialog.FindButton.caption"))) {
        findButton_->setText(*text);
    }
    if (const auto text = LanguageTextIfSet(QStringLiteral("FindDialog.CancelButton.caption"))) {
        cancelButton_->setText(*text);
    }
}

}  // namespace mailsift::ui
