#include "translucency.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace {

int clamped(int alpha) { return std::clamp(alpha, 0, 255); }

} // namespace

QColor translucent(QColor colour, int alpha)
{
    colour.setAlpha((colour.alpha() * clamped(alpha) + 127) / 255);
    return colour;
}

QPixmap translucent(const QPixmap &picture, int alpha)
{
    QPixmap result(picture.size());
    result.setDevicePixelRatio(picture.devicePixelRatio());
    result.fill(Qt::transparent);
    QPainter p(&result);
    p.setOpacity(clamped(alpha) / 255.0);
    p.drawPixmap(0, 0, picture);
    return result;
}
