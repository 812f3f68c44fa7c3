#pragma once
// Every window, control and action carries the class it has in the program's own terms (a
// label, an action, a flat button, ...) as a dynamic property set in its form. The caption walk
// and the window tests go by that class, not by the Qt class, which may be shared by several
// (a flat button and a push button are both tool buttons here).
#include <QObject>
#include <QString>

namespace mailsift::ui {

inline constexpr char kComponentClassProperty[] = "componentClass";

namespace component {
inline const QString Label = QStringLiteral("TLabel");
inline const QString Action = QStringLiteral("TAction");
inline const QString TabSheet = QStringLiteral("TTabSheet");
inline const QString SpeedButton = QStringLiteral("TSpeedButton");
inline const QString CheckBox = QStringLiteral("TCheckBox");
inline const QString Image = QStringLiteral("TImage");
inline const QString Button = QStringLiteral("TButton");
inline const QString RadioButton = QStringLiteral("TRadioButton");
inline const QString GroupBox = QStringLiteral("TGroupBox");
inline const QString Panel = QStringLiteral("TPanel");
}  // namespace component

// The component class of object, or "" when its form gave it none.
inline QString ComponentClass(const QObject* object) {
    return object->property(kComponentClassProperty).toString();
}

}  // namespace mailsift::ui
