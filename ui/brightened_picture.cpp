#include "ui/brightened_picture.h"

#include <QImage>
#include <QPainter>
#include <array>
#include <cmath>

namespace mailsift::ui {

QPixmap Brightened(const QPixmap& picture) {
    static const std::array<uchar, 256> kLighter = [] {
        std::array<uchar, 256> table{};
        for (size_t v = 0; v < table.size(); ++v) {
            table[v] =
                static_cast<uchar>(std::lround(255.0 * std::cbrt(static_cast<double>(v) / 255.0)));
        }
        return table;
    }();
    QImage image(picture.size(), QImage::Format_RGB888);
    image.setDevicePixelRatio(picture.devicePixelRatio());
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.drawPixmap(0, 0, picture);
    }
    for (int y = 0; y < image.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < image.width() * 3; ++x) line[x] = kLighter[line[x]];
    }
    return QPixmap::fromImage(image);
}

}  // namespace mailsift::ui
