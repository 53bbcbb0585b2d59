// What the X server shows, for tests on a real screen: a widget as grabbed from the screen,
// and how many of a region's pixels are near white (a text drawn in white).
#pragma once

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QTest>
#include <QWidget>

// What the X server shows of a widget, in its logical pixels (the screen's ratio is 1).
inline QImage onScreen(QWidget &w)
{
    QCoreApplication::processEvents();
    QTest::qWait(150); // let the server paint what was drawn
    const QPoint at = w.mapToGlobal(QPoint(0, 0));
    return QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), w.width(), w.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

inline int whitePixels(const QImage &image, const QRect &rect)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            n += qRed(c) > 230 && qGreen(c) > 230 && qBlue(c) > 230;
        }
    return n;
}
