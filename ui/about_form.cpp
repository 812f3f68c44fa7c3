#include "ui/about_form.h"

#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

#include "ui/help_page.h"
#include "ui/outside_links.h"
#include "ui/shell_open.h"
#include "ui_about_form.h"

namespace mailsift::ui {

namespace {

constexpr qreal kCornerRadius = 10;  // elliptic corners of 20 × 20 pixels

}  // namespace

AboutForm::AboutForm(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::AboutForm>()) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    ui_->Image1->setPixmap(QIcon(QStringLiteral(":/pictures/mailsift.svg")).pixmap(64, 64));
    ui_->Label2->setText(QStringLiteral("Mailsift %1").arg(QStringLiteral(MAILSIFT_VERSION)));
    // The product has no web site of its own: its home is the help page that comes with it.
    const QUrl help = QUrl::fromLocalFile(HelpPagePath());
    connect(ui_->Label4, &ClickableLabel::clicked, this, [help] { ShellOpen(help); });
    connect(ui_->Label5, &ClickableLabel::clicked, this, [] { OpenSupportPage(); });
    connect(ui_->SpeedButton1, &QToolButton::clicked, this, &QDialog::accept);
}

AboutForm::~AboutForm() = default;

void AboutForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Escape) {
        ui_->SpeedButton1->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AboutForm::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawPixmap(rect(), QIcon(QStringLiteral(":/pictures/about-background.svg"))
                                   .pixmap(size(), devicePixelRatio()));
    QDialog::paintEvent(event);
}

void AboutForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

}  // namespace mailsift::ui
