#pragma once
// The pale form of a picture that marks a step already passed.
#include <QPixmap>

namespace mailsift::ui {

// picture over white in 24-bit colour, each channel value v made 255 * (v / 255)^(1/3),
// rounded: 0 and 255 stay as they are, every value between grows lighter.
QPixmap Brightened(const QPixmap& picture);

}  // namespace mailsift::ui
