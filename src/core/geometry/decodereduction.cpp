#include "decodereduction.h"

#include "core/geometry/twips.h"

namespace decode_reduction {

namespace {

// A reduced picture of this factor exists and covers the drawn size.
bool fits(const QSize &picture, int factor, const QSize &drawn)
{
    return picture.width() % factor == 0 && picture.height() % factor == 0
        && picture.width() / factor >= drawn.width() && picture.height() / factor >= drawn.height();
}

} // namespace

QSize drawnSize(ViewScaleMode mode, const QSize &picture, const DrawingArea &area)
{
    const ScaledPlacement place =
        scaledPlacement(mode, float(twips::fromPixels(area.size.width())), float(twips::fromPixels(area.size.height())),
                        float(twips::fromPixels(picture.width())), float(twips::fromPixels(picture.height())));
    if (!place.ok() || place.pixels.isEmpty() || !place.pixels.intersects(QRect(QPoint(0, 0), area.size)))
        return QSize();
    const QSize drawn = deviceRect(place.pixels, area.pixelRatio).size();
    return drawn.isEmpty() ? QSize() : drawn;
}

int factorFor(ViewScaleMode mode, const QSize &picture, const QList<DrawingArea> &areas)
{
    if (picture.isEmpty())
        return 1;
    int factor = MaxFactor;
    bool shown = false;
    for (const DrawingArea &area : areas) {
        const QSize drawn = drawnSize(mode, picture, area);
        if (!drawn.isValid())
            continue;
        shown = true;
        // Whatever fits at one factor fits at half of it too.
        while (factor > 1 && !fits(picture, factor, drawn))
            factor /= 2;
    }
    return shown ? factor : 1;
}

bool enoughFor(ViewScaleMode mode, const QSize &fullSize, const QSize &decoded, const QList<DrawingArea> &areas)
{
    if (decoded == fullSize)
        return true;
    for (const DrawingArea &area : areas) {
        const QSize drawn = drawnSize(mode, fullSize, area);
        if (drawn.isValid() && (decoded.width() < drawn.width() || decoded.height() < drawn.height()))
            return false;
    }
    return true;
}

} // namespace decode_reduction
