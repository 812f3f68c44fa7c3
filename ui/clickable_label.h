#pragma once
// A picture or a link text that answers a click: the main window's client and section
// pictures, the About window's links.
#include <QLabel>

namespace mailsift::ui {

class ClickableLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ClickableLabel(QWidget* parent = nullptr) : QLabel(parent) {}

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace mailsift::ui
