#include "ui/search_library_form.h"

#include <QCoreApplication>

#include "config/settings.h"
#include "ui/outside_links.h"
#include "ui_search_library_form.h"

namespace mailsift::ui {

SearchLibraryForm::SearchLibraryForm(QWidget* parent)
    : FileSearchWindow(parent), ui_(std::make_unique<Ui::SearchLibraryForm>()) {
    ui_->setupUi(this);
    Attach(ui_->FoundList, ui_->CurrentFolderLabel, ui_->Button1, false);
    ui_->Image2->setPixmap(QIcon(QStringLiteral(":/pictures/client-msoutlook.svg")).pixmap(48, 48));
    connect(ui_->Image2, &ClickableLabel::clicked, this,
            [] { StartClientProgram(QStringLiteral("Outlook")); });
    connect(ui_->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->Button2, &QPushButton::clicked, this, &QDialog::reject);
}

SearchLibraryForm::~SearchLibraryForm() = default;

void SearchLibraryForm::SearchLibrary(const QString& description, const std::string& root,
                                      const std::string& mask, bool choosesLibrary) {
    choosesLibrary_ = choosesLibrary;
    ui_->Label1->setText(description);
    ui_->RootLabel->setText(QString::fromStdString(root));
    BeginSearch();
    // Modal to the whole program but not blocking its caller: the walk runs from here.
    setWindowModality(Qt::ApplicationModal);
    show();
    repaint();
    QCoreApplication::processEvents();
    Search(root, mask, [this](const QString& drive) { ui_->RootLabel->setText(drive); });
}

void SearchLibraryForm::accept() {
    const QString chosen = SelectedFile();
    if (choosesLibrary_ && !chosen.isEmpty()) {
        WriteSetting("MSOutlookLibraryPath", chosen.toStdString());
    }
    FileSearchWindow::accept();
}

}  // namespace mailsift::ui
