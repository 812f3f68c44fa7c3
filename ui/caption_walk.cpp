#include "ui/caption_walk.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QTabWidget>
#include <QWidget>
#include <algorithm>
#include <optional>

#include "config/key_file.h"
#include "config/language.h"
#include "config/settings.h"
#include "ui/component_class.h"

namespace mailsift::ui {

namespace {

// The language files' "/ln" arrives as CR LF, which Qt would show with a stray CR.
QString QtText(const std::string& text) {
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString CurrentCaption(QObject& component) {
    if (auto* label = qobject_cast<QLabel*>(&component)) return label->text();
    if (auto* action = qobject_cast<QAction*>(&component)) return action->text();
    if (auto* button = qobject_cast<QAbstractButton*>(&component)) return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(&component)) return group->title();
    return {};
}

// A tab sheet's caption is its tab's text in the page control that holds it.
void SetTabCaption(QWidget& page, const QString& text) {
    for (QWidget* parent = page.parentWidget(); parent != nullptr;
         parent = parent->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(parent)) {
            const int index = tabs->indexOf(&page);
            if (index >= 0) tabs->setTabText(index, text);
            return;
        }
    }
}

void SetCaption(QObject& component, const QString& text) {
    if (ComponentClass(&component) == component::TabSheet) {
        if (auto* page = qobject_cast<QWidget*>(&component)) SetTabCaption(*page, text);
    } else if (auto* label = qobject_cast<QLabel*>(&component)) {
        label->setText(text);
    } else if (auto* action = qobject_cast<QAction*>(&component)) {
        action->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(&component)) {
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(&component)) {
        group->setTitle(text);
    }
}

void SetHint(QObject& component, const QString& text) {
    if (auto* action = qobject_cast<QAction*>(&component)) {
        action->setToolTip(text);
    } else if (auto* widget = qobject_cast<QWidget*>(&component)) {
        widget->setToolTip(text);
    }
}

void Apply(QObject& component, Property property, const WindowWalk& walk) {
    const QString name = component.objectName();
    switch (property) {
        case Property::Caption: {
            const QString key = walk.keyPrefix + name + walk.captionSuffix;
            if (walk.labelCaptionDefaultsToDesign &&
                ComponentClass(&component) == component::Label) {
                SetCaption(component,
                           QtText(LanguageStringDef(key.toStdString(),
                                                    CurrentCaption(component).toStdString())));
            } else if (const std::optional<QString> text = LanguageTextIfSet(key)) {
                SetCaption(component, *text);
            }
            break;
        }
        case Property::Hint:
            if (const std::optional<QString> text =
                    LanguageTextIfSet(walk.keyPrefix + name + walk.hintSuffix)) {
                SetHint(component, *text);
            }
            break;
        case Property::Shortcut:
            if (auto* action = qobject_cast<QAction*>(&component)) {
                const std::string key = (walk.shortcutPrefix + name + "ShortCut").toStdString();
                action->setShortcut(ParseShortcut(QString::fromStdString(ReadSetting(key))));
            }
            break;
    }
}

// Components of windows owned by this one (a dialog with the window as its parent) belong to
// their own window and its walk.
bool BelongsTo(QObject& component, const QWidget& window) {
    for (QObject* object = component.parent(); object != nullptr; object = object->parent()) {
        if (object == &window) return true;
        if (auto* widget = qobject_cast<QWidget*>(object);
            widget != nullptr && widget->isWindow()) {
            return false;
        }
    }
    return false;
}

}  // namespace

QString LanguageText(std::string_view key) {
    return QtText(LanguageString(key));
}

std::optional<QString> LanguageTextIfSet(const QString& key) {
    const std::string name = key.toStdString();
    if (IsNotSet(LanguageString(name))) return std::nullopt;
    return LanguageText(name);
}

QKeySequence ParseShortcut(const QString& text) {
    static const QStringList kModifiers = {QStringLiteral("Shift+"), QStringLiteral("Ctrl+"),
                                           QStringLiteral("Alt+")};
    QString rest = text;
    for (bool found = true; found;) {
        found = false;
        for (const QString& modifier : kModifiers) {
            if (rest.startsWith(modifier, Qt::CaseInsensitive) && rest.size() > modifier.size()) {
                rest = rest.mid(modifier.size());
                found = true;
            }
        }
    }
    // Only a key's name may follow the modifiers; Qt would read "A, B" as two key presses.
    if (rest.isEmpty() || rest.contains(QLatin1Char(',')) || rest.contains(QLatin1Char('+')) ||
        rest.startsWith(QLatin1Char('%'))) {
        return {};
    }
    const QKeySequence sequence = QKeySequence::fromString(text, QKeySequence::PortableText);
    if (sequence.count() != 1 || sequence[0].key() == Qt::Key_unknown) return {};
    return sequence;
}

void WalkWindow(QWidget& window, const WindowWalk& walk) {
    for (QObject* component : window.findChildren<QObject*>()) {
        if (!BelongsTo(*component, window) ||
            walk.keepDesignText.contains(component->objectName())) {
            continue;
        }
        const QString componentClass = ComponentClass(component);
        const auto rule = std::find_if(
            walk.rules.begin(), walk.rules.end(),
            [&](const WalkRule& candidate) { return candidate.componentClass == componentClass; });
        if (rule == walk.rules.end()) continue;
        for (Property property : rule->properties) Apply(*component, property, walk);
        if (walk.yieldPerComponent) QCoreApplication::processEvents();
    }
}

void PaintPanelsOwnColour(QWidget& window) {
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (ComponentClass(widget) == component::Panel && BelongsTo(*widget, window)) {
            widget->setAutoFillBackground(true);
        }
    }
}

}  // namespace mailsift::ui
