#pragma once
// The main window's sections light up under the mouse: entering a section, or any control
// inside it, gives that section the highlight colour and the others white; the bottom bar
// lights none.
#include <QColor>
#include <QList>
#include <QObject>

class QWidget;

namespace mailsift::ui {

inline const QColor kSectionColour = Qt::white;
inline const QColor kHighlightColour = QColor(241, 242, 245);

class SectionHighlight : public QObject {
    Q_OBJECT
  public:
    // Watches sections and bottomBar (if any) with every widget inside them; the first section
    // starts lit.
    SectionHighlight(QList<QWidget*> sections, QWidget* bottomBar, QObject* parent);

    // Lights section (none for all white); a section already lit is left alone.
    void Highlight(QWidget* section);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Watch(QWidget* area);
    QWidget* AreaOf(QObject* watched) const;

    QList<QWidget*> sections_;
    QWidget* bottomBar_;
};

}  // namespace mailsift::ui
