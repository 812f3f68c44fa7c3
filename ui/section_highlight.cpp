#include "ui/section_highlight.h"

#include <QEvent>
#include <QWidget>

#include "ui/widget_colour.h"

namespace mailsift::ui {

SectionHighlight::SectionHighlight(QList<QWidget*> sections, QWidget* bottomBar, QObject* parent)
    : QObject(parent), sections_(std::move(sections)), bottomBar_(bottomBar) {
    for (QWidget* section : sections_) Watch(section);
    if (bottomBar_ != nullptr) {
        Watch(bottomBar_);
        SetBackground(*bottomBar_, kSectionColour);
    }
    for (QWidget* section : sections_) SetBackground(*section, kSectionColour);
    Highlight(sections_.value(0));
}

void SectionHighlight::Watch(QWidget* area) {
    area->installEventFilter(this);
    for (QWidget* inside : area->findChildren<QWidget*>()) inside->installEventFilter(this);
}

QWidget* SectionHighlight::AreaOf(QObject* watched) const {
    for (QObject* object = watched; object != nullptr; object = object->parent()) {
        if (object == bottomBar_) return bottomBar_;
        for (QWidget* section : sections_) {
            if (object == section) return section;
        }
    }
    return nullptr;
}

void SectionHighlight::Highlight(QWidget* section) {
    for (QWidget* candidate : sections_) {
        const QColor wanted = candidate == section ? kHighlightColour : kSectionColour;
        if (candidate->palette().color(QPalette::Window) != wanted) {
            SetBackground(*candidate, wanted);
        }
    }
}

bool SectionHighlight::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
        QWidget* area = AreaOf(watched);
        if (area != nullptr) Highlight(area == bottomBar_ ? nullptr : area);
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace mailsift::ui
