#pragma once
// How much smaller than its full size a picture may be decoded and still be drawn as sharp
// as the full picture: a JPEG decoder can hand out the picture at 1/2, 1/4 or 1/8 of its
// size for a fraction of the work.
//
// Drawing a picture into an area scales it onto the rectangle its placement gives, in the
// area's device pixels. Shrinking onto that rectangle averages every source pixel, so any
// source at least the rectangle's size in both directions draws alike; a smaller one would
// be stretched and blur. What the rectangle is depends on the mode: the area itself when
// stretching, the part of it the picture fits into (inline), or the larger rectangle that
// covers it and overhangs (outline).
//
// Only exact reductions are taken: both sides of the picture divisible by the factor. The
// reduced picture then has exactly the full picture's proportions, so it is placed on the
// very same pixels; a rounded side would move the picture's edges.
#include "core/geometry/devicepixels.h"
#include "core/geometry/scalegeometry.h"

#include <QList>
#include <QSize>

namespace decode_reduction {

// The largest factor offered.
inline constexpr int MaxFactor = 8;

// The device pixels drawing a picture of this size into the area covers; empty when
// nothing of it is drawn there (no mode, an area without height, a placement error).
QSize drawnSize(ViewScaleMode mode, const QSize &picture, const DrawingArea &area);

// The largest of 1, 2, 4 and 8 by which a picture of this size can be reduced while it is
// still drawn as sharp into every one of the areas: its sides divide by it, and the
// reduced picture covers each area's drawn size. 1 when no area shows anything of it.
int factorFor(ViewScaleMode mode, const QSize &picture, const QList<DrawingArea> &areas);

// Whether a picture decoded at this size, a reduction of one of fullSize, is large enough
// for these areas, so that no decode at a larger size is needed.
bool enoughFor(ViewScaleMode mode, const QSize &fullSize, const QSize &decoded, const QList<DrawingArea> &areas);

} // namespace decode_reduction
