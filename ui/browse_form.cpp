#include "ui/browse_form.h"

#include <QFileSystemModel>

#include "ui/message_boxes.h"
#include "ui_browse_form.h"

namespace mailsift::ui {

BrowseForm::BrowseForm(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::BrowseForm>()), model_(new QFileSystemModel(this)) {
    ui_->setupUi(this);
    model_->setFilter(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot);
    model_->setRootPath(QDir::rootPath());
    ui_->ShellTreeView1->setModel(model_);
    // Only the names: sizes, kinds and dates say nothing about a folder to choose.
    for (int column = 1; column < model_->columnCount(); ++column) {
        ui_->ShellTreeView1->hideColumn(column);
    }
    ui_->Label1->setBuddy(ui_->ComboBox1);

    connect(ui_->ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &BrowseForm::SelectionChanged);
    connect(ui_->ComboBox1, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        const QModelIndex index = model_->index(text);
        if (index.isValid() && index != ui_->ShellTreeView1->currentIndex()) {
            ui_->ShellTreeView1->setCurrentIndex(index);
            ui_->ShellTreeView1->scrollTo(index);
        }
    });
    connect(ui_->Button1, &QPushButton::clicked, this, &BrowseForm::accept);
    connect(ui_->Button2, &QPushButton::clicked, this, &BrowseForm::reject);
}

BrowseForm::~BrowseForm() = default;

void BrowseForm::SetPath(const QString& folder) {
    ui_->ShellTreeView1->setFocus();
    ui_->ComboBox1->setEditText(folder);
    const QModelIndex index = model_->index(folder);
    ui_->ShellTreeView1->setCurrentIndex(index);
    if (index.isValid()) ui_->ShellTreeView1->scrollTo(index);
}

QString BrowseForm::SelectedPath() const {
    const QModelIndex index = ui_->ShellTreeView1->currentIndex();
    return index.isValid() ? model_->filePath(index) : QString();
}

void BrowseForm::SelectionChanged() {
    const QString path = SelectedPath();
    ui_->StatusBar1->showMessage(path);
    if (!path.isEmpty() && ui_->ComboBox1->currentText() != path) {
        ui_->ComboBox1->setEditText(path);
    }
}

void BrowseForm::accept() {
    if (SelectedPath().isEmpty()) {
        CurrentMessageBoxes().Tell(this, QStringLiteral("Please select path."));
        return;
    }
    QDialog::accept();
}

}  // namespace mailsift::ui
