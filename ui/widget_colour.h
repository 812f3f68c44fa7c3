#pragma once
#include <QColor>
#include <QPalette>
#include <QWidget>

namespace mailsift::ui {

// Paints widget's own background in colour, whatever its parent or the style paint.
inline void SetBackground(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

}  // namespace mailsift::ui
