#include "scaleddrawing.h"

#include "core/geometry/twips.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// Halves an RGB32 picture of even width and height: each pixel is the rounded mean of a
// 2 x 2 block, worked on two channels at a time in 16-bit lanes.
QImage halve(const QImage &src)
{
    const int w = src.width() / 2;
    const int h = src.height() / 2;
    QImage out(w, h, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    for (int y = 0; y < h; ++y) {
        const quint32 *a = reinterpret_cast<const quint32 *>(src.constScanLine(2 * y));
        const quint32 *b = reinterpret_cast<const quint32 *>(src.constScanLine(2 * y + 1));
        quint32 *o = reinterpret_cast<quint32 *>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const quint32 p0 = a[2 * x], p1 = a[2 * x + 1], p2 = b[2 * x], p3 = b[2 * x + 1];
            const quint32 rb = (p0 & 0x00ff00ffu) + (p1 & 0x00ff00ffu) + (p2 & 0x00ff00ffu) + (p3 & 0x00ff00ffu);
            const quint32 ag = ((p0 >> 8) & 0x00ff00ffu) + ((p1 >> 8) & 0x00ff00ffu) + ((p2 >> 8) & 0x00ff00ffu)
                + ((p3 >> 8) & 0x00ff00ffu);
            o[x] = (((rb + 0x00020002u) >> 2) & 0x00ff00ffu) | ((((ag + 0x00020002u) >> 2) & 0x00ff00ffu) << 8);
        }
    }
    return out;
}

// Whether drawing onto a rectangle of `target` would start from a halving of `current`:
// it is 32-bit with even sides, and half of it still covers the target.
bool halvable(const QImage &current, const QSize &target)
{
    const QSize half = current.size() / 2;
    return current.format() == QImage::Format_RGB32 && current.width() % 2 == 0 && current.height() % 2 == 0
        && half.width() >= target.width() && half.height() >= target.height();
}

// The halvings of the picture drawn last. Both picture areas are drawn from the same
// picture at each refresh, so the second draw finds the smaller copies ready.
struct Halvings
{
    qint64 key = 0;
    std::vector<QImage> levels;
};

Halvings &halvingsCache()
{
    static Halvings cache;
    return cache;
}

// The smallest exact halving still at least as large as the target, or the picture
// itself. Shrinking from there averages every source pixel as the direct way does, at a
// fraction of the cost.
QImage startingPoint(const QImage &picture, const QSize &target)
{
    Halvings &cache = halvingsCache();
    if (cache.key != picture.cacheKey()) {
        cache.key = picture.cacheKey();
        cache.levels.clear();
    }
    const QImage *current = &picture;
    for (std::size_t i = 0;; ++i) {
        if (!halvable(*current, target))
            return *current;
        if (i == cache.levels.size()) {
            QImage next = halve(*current);
            if (next.isNull())
                return *current;
            cache.levels.push_back(std::move(next));
        }
        current = &cache.levels[i];
    }
}

// Where the picture lands in an area of this size.
ScaledPlacement placementIn(const QSize &area, const QImage &picture, ViewScaleMode mode)
{
    return scaledPlacement(mode, float(twips::fromPixels(area.width())), float(twips::fromPixels(area.height())),
                           float(twips::fromPixels(picture.width())), float(twips::fromPixels(picture.height())));
}

// Whether the placement puts anything of the picture into the area.
bool showsAnything(const ScaledPlacement &place, const QSize &area)
{
    return place.ok() && !place.pixels.isEmpty() && place.pixels.intersects(QRect(QPoint(0, 0), area));
}

// Copies src to `at` on dst and makes everything of dst outside it black, writing each
// pixel of the area once.
void placeOnBlack(QImage &dst, const QImage &src, QPoint at)
{
    const QRect r = QRect(at, src.size()) & dst.rect();
    const int w = dst.width();
    for (int y = 0; y < dst.height(); ++y) {
        quint32 *line = reinterpret_cast<quint32 *>(dst.scanLine(y));
        if (y < r.top() || y > r.bottom()) {
            std::fill(line, line + w, 0xff000000u);
            continue;
        }
        std::fill(line, line + r.left(), 0xff000000u);
        const quint32 *from = reinterpret_cast<const quint32 *>(src.constScanLine(y - at.y())) + (r.left() - at.x());
        std::copy(from, from + r.width(), line + r.left());
        std::fill(line + r.right() + 1, line + w, 0xff000000u);
    }
}

} // namespace

ScaleError drawScaledPicture(QImage &surface, const QSize &area, const QImage &picture, ViewScaleMode mode)
{
    if (picture.isNull()) {
        surface.fill(Qt::black);
        return ScaleError::None;
    }
    const qreal ratio = surface.devicePixelRatio();
    const ScaledPlacement place = placementIn(area, picture, mode);
    const QRect r = deviceRect(place.pixels, ratio);
    if (!showsAnything(place, area) || r.isEmpty() || surface.size() != deviceSize(area, ratio)) {
        surface.fill(Qt::black);
        return place.error;
    }

    // Area averaging when shrinking, as a halftone copy does; the scaled copy is exactly
    // the rectangle's size so its edges land on the rectangle's edges.
    const QImage source = startingPoint(picture, r.size());
    const QImage scaled = r.size() == source.size()
        ? source
        : source.scaled(r.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull() || scaled.format() != QImage::Format_RGB32) {
        surface.fill(Qt::black);
        // The painter works in logical pixels; at the surface's ratio the copy lands on
        // the device rectangle pixel for pixel.
        QImage placed = scaled;
        placed.setDevicePixelRatio(ratio);
        QPainter p(&surface);
        p.drawImage(QPointF(r.topLeft()) / ratio, placed);
    } else {
        placeOnBlack(surface, scaled, r.topLeft());
    }
    return ScaleError::None;
}

std::vector<QImage> prepareHalvings(const QImage &picture, const QList<DrawingArea> &areas, ViewScaleMode mode,
                                    const std::atomic<bool> *cancel)
{
    // Every area goes down the same chain of halvings; the one whose rectangle is
    // smallest goes deepest, and the others find their starting points on the way.
    std::vector<QImage> levels;
    if (picture.isNull())
        return levels;
    for (const DrawingArea &area : areas) {
        const ScaledPlacement place = placementIn(area.size, picture, mode);
        const QSize target = deviceRect(place.pixels, area.pixelRatio).size();
        if (!showsAnything(place, area.size) || target.isEmpty())
            continue;
        const QImage *current = &picture;
        for (std::size_t depth = 0; halvable(*current, target); ++depth) {
            if (depth == levels.size()) {
                if (cancel && cancel->load(std::memory_order_relaxed))
                    return levels;
                QImage next = halve(*current);
                if (next.isNull())
                    return levels;
                levels.push_back(std::move(next));
            }
            current = &levels[depth];
        }
    }
    return levels;
}

QImage scaledToPlacement(const QImage &picture, const DrawingArea &area, ViewScaleMode mode)
{
    if (picture.isNull())
        return picture;
    const ScaledPlacement place = placementIn(area.size, picture, mode);
    const QRect r = deviceRect(place.pixels, area.pixelRatio);
    if (!showsAnything(place, area.size) || r.isEmpty())
        return picture;
    QImage current = picture;
    while (halvable(current, r.size())) {
        QImage next = halve(current);
        if (next.isNull())
            break;
        current = std::move(next);
    }
    if (current.size() != r.size())
        current = current.scaled(r.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return current.format() == QImage::Format_RGB32 ? current : current.convertToFormat(QImage::Format_RGB32);
}

QImage framedInArea(const QImage &picture, const DrawingArea &area, ViewScaleMode mode)
{
    const QSize size = deviceSize(area.size, area.pixelRatio);
    if (picture.isNull() || size.isEmpty())
        return picture;
    QImage framed(size, QImage::Format_RGB32);
    framed.setDevicePixelRatio(area.pixelRatio);
    const ScaledPlacement place = placementIn(area.size, picture, mode);
    const QImage placed = scaledToPlacement(picture, area, mode);
    const QRect r = deviceRect(place.pixels, area.pixelRatio);
    // Not by drawScaledPicture(): its halvings are the window thread's.
    if (showsAnything(place, area.size) && placed.size() == r.size() && placed.format() == QImage::Format_RGB32)
        placeOnBlack(framed, placed, r.topLeft());
    else
        framed.fill(Qt::black);
    return framed;
}

void keepHalvings(const QImage &picture, std::vector<QImage> levels)
{
    Halvings &cache = halvingsCache();
    cache.key = picture.cacheKey();
    cache.levels = std::move(levels);
}

std::vector<QImage> takeHalvings()
{
    Halvings &cache = halvingsCache();
    cache.key = 0;
    return std::exchange(cache.levels, {});
}
