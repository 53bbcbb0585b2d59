#include "devicepixels.h"

#include <cmath>

int toDevicePixels(int logical, qreal ratio)
{
    // Halves go up, the same way on both sides of zero, so a rectangle keeps its device
    // width wherever it lies.
    return int(std::floor(logical * ratio + 0.5));
}

QSize deviceSize(const QSize &logical, qreal ratio)
{
    return QSize(toDevicePixels(logical.width(), ratio), toDevicePixels(logical.height(), ratio));
}

QRect deviceRect(const QRect &logical, qreal ratio)
{
    const QPoint topLeft(toDevicePixels(logical.left(), ratio), toDevicePixels(logical.top(), ratio));
    const QPoint end(toDevicePixels(logical.left() + logical.width(), ratio),
                     toDevicePixels(logical.top() + logical.height(), ratio));
    return QRect(topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y()));
}
