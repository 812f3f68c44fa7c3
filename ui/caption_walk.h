#pragma once
// Re-labels a window from the language file: every component of a class the window's rules
// name gets its caption, hint and shortcut from keys built of the window's prefix, the
// component's name and the property. A key the file lacks is added to it with no text, for the
// translators, and the component keeps the text it has.
#include <QString>
#include <QStringList>
#include <optional>
#include <string_view>
#include <vector>

class QWidget;
class QKeySequence;

namespace mailsift::ui {

enum class Property { Caption, Hint, Shortcut };

struct WalkRule {
    QString componentClass;
    std::vector<Property> properties;  // applied in this order
};

struct WindowWalk {
    QString keyPrefix = {};       // "MainForm.": keys are prefix + name + ".caption" / ".Hint"
    QString shortcutPrefix = {};  // shortcut keys of main.ini are prefix + name + "ShortCut"
    std::vector<WalkRule> rules = {};
    // Components that keep their design texts in every language.
    QStringList keepDesignText = {};
    // Captions of labels use their design text as the value of a key the file lacks.
    bool labelCaptionDefaultsToDesign = false;
    QString captionSuffix = QStringLiteral(".caption");
    QString hintSuffix = QStringLiteral(".Hint");
    // Lets pending events run after each component, for windows with many components.
    bool yieldPerComponent = false;
};

// Applies walk to every component of window, in component order.
void WalkWindow(QWidget& window, const WindowWalk& walk);

// Lets each panel of window paint its own colour rather than its parent's background.
void PaintPanelsOwnColour(QWidget& window);

// The language text of key, as Qt text; the not-set marker when the file has none.
QString LanguageText(std::string_view key);
// The language text of key, or none when the file has none, so that the caller keeps the text
// it has (a label its design text).
std::optional<QString> LanguageTextIfSet(const QString& key);

// The shortcut a settings value names: optional "Shift+", "Ctrl+", "Alt+" before one key's
// name. Anything else, the not-set marker among it, is no shortcut.
QKeySequence ParseShortcut(const QString& text);

}  // namespace mailsift::ui
