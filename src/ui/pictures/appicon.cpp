#include "ui/pictures/appicon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace appicon {

QList<int> bitmapSizes()
{
    return {16, 22, 24, 32, 48, 64, 128, 256};
}

QImage render(int size)
{
    QSvgRenderer renderer(QStringLiteral(":/icons/io.lumora.Viewer.svg"));
    if (!renderer.isValid() || size <= 0)
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    return image;
}

QIcon icon()
{
    QIcon result;
    for (int size : bitmapSizes())
        result.addPixmap(QPixmap::fromImage(render(size)));
    return result;
}

} // namespace appicon
