#include "ui/message_view_form.h"

#include <QCloseEvent>
#include <QFile>
#include <QScreen>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>

#include "platform/thousands.h"
#include "ui/caption_walk.h"
#include "ui/component_class.h"
#include "ui/find_dialog.h"
#include "ui_message_view_form.h"

namespace mailsift::ui {

namespace {

constexpr int kCascadeStep = 16;

}  // namespace

MessageViewForm::MessageViewForm(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::MessageViewForm>()), findDialog_(nullptr) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Window);
    findDialog_ = new FindDialog(this);
    ui_->Button2->setDefaultAction(ui_->FindAction);
    ui_->Button1->setDefaultAction(ui_->CloseAction);
    ui_->RichEdit1->addActions(
        {ui_->EditCopy1, ui_->EditSelectAll1, new QAction(this), ui_->FindAction});
    ui_->RichEdit1->actions()[2]->setSeparator(true);
    // Selection stays visible while the find box has the focus.
    QPalette palette = ui_->RichEdit1->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    ui_->RichEdit1->setPalette(palette);
    for (QAction* action : {ui_->EditCopy1, ui_->EditSelectAll1}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    }
    addActions({ui_->FindAction, ui_->CloseAction});

    connect(ui_->EditCopy1, &QAction::triggered, ui_->RichEdit1, &QPlainTextEdit::copy);
    connect(ui_->EditSelectAll1, &QAction::triggered, ui_->RichEdit1, &QPlainTextEdit::selectAll);
    connect(ui_->FindAction, &QAction::triggered, this, &MessageViewForm::ShowFindDialog);
    connect(ui_->CloseAction, &QAction::triggered, this, &QWidget::close);
    connect(findDialog_, &FindDialog::find, this, [this] { FindNext(findDialog_->FindText()); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

MessageViewForm::~MessageViewForm() = default;

QPlainTextEdit& MessageViewForm::TextBox() {
    return *ui_->RichEdit1;
}

void MessageViewForm::Relabel() {
    if (const auto title = LanguageTextIfSet(QStringLiteral("MessageViewForm.Caption"))) {
        setWindowTitle(*title);
    }
    WalkWindow(
        *this,
        {.keyPrefix = QStringLiteral("MessageViewForm."),
         .shortcutPrefix = QStringLiteral("MessageViewForm."),
         .rules = {{component::Action, {Property::Caption, Property::Hint, Property::Shortcut}}}});
    findDialog_->Relabel();
}

void MessageViewForm::ShowMessageFile(const std::string& path, const TMessage& message, int row) {
    Relabel();
    QFile file(QString::fromStdString(path));
    QByteArray bytes;
    int64_t size = 0;
    if (file.open(QIODevice::ReadOnly)) {
        size = file.size();
        // A message of tens of megabytes would hold the window for seconds in the text box:
        // its beginning is what a reader of the source looks at.
        bytes = file.read(kShownBytes);
    }
    const QString text = QString::fromUtf8(bytes);
    ui_->RichEdit1->setPlainText(text);
    QString status = QString::fromStdString(FormatThousands(size)) + QStringLiteral(" byte(s)");
    if (size > bytes.size()) {
        status += QStringLiteral(" ") +
                  LanguageText("MessageViewForm.Shortened")
                      .arg(QString::fromStdString(FormatThousands(int64_t{bytes.size()})));
    }
    ui_->StatusBar1->showMessage(status);
    setWindowTitle(QString::fromStdString(message.ToName) + QStringLiteral(" [") +
                   QString::fromStdString(message.Subject) + QStringLiteral("]"));

    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : this->screen();
    if (screen != nullptr) {
        const QPoint centred = screen->availableGeometry().center() - rect().center();
        move(centred + QPoint(kCascadeStep * row, kCascadeStep * row));
    }
    show();
}

bool MessageViewForm::FindNext(const QString& text) {
    if (text.isEmpty()) return false;
    QPlainTextEdit& box = *ui_->RichEdit1;
    const QTextCursor selection = box.textCursor();
    const int from = selection.hasSelection() ? selection.selectionEnd() : 0;
    const QTextCursor found = box.document()->find(text, from, QTextDocument::FindCaseSensitively);
    if (found.isNull()) return false;
    box.setFocus();
    box.setTextCursor(found);
    return true;
}

void MessageViewForm::ShowFindDialog() {
    findDialog_->move(frameGeometry().topLeft());
    findDialog_->show();
    findDialog_->raise();
}

void MessageViewForm::closeEvent(QCloseEvent* event) {
    findDialog_->hide();
    QDialog::closeEvent(event);
}

}  // namespace mailsift::ui
