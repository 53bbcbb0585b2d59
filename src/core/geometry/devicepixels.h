#pragma once
// Logical pixels to a picture area's device pixels.
#include <QRect>
#include <QSize>

// A picture area as drawing sees it: its size in logical pixels and the device pixels to
// each of them.
struct DrawingArea
{
    QSize size;
    qreal pixelRatio = 1.0;

    bool operator==(const DrawingArea &other) const { return size == other.size && pixelRatio == other.pixelRatio; }
    bool operator!=(const DrawingArea &other) const { return !(*this == other); }
};

// The device pixel a logical coordinate falls on. Every edge goes through this one rule,
// so rectangles that meet in logical pixels meet in device pixels; at ratio 1 it changes
// nothing.
int toDevicePixels(int logical, qreal ratio);
// The device pixels an area of this logical size covers.
QSize deviceSize(const QSize &logical, qreal ratio);
// The device pixels a logical rectangle covers.
QRect deviceRect(const QRect &logical, qreal ratio);
