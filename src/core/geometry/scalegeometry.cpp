#include "scalegeometry.h"

#include "core/geometry/twips.h"

#include <cmath>

namespace {

// Each division is checked before it runs: a zero divisor is an error, not an infinity.
bool divide(float a, float b, float &result)
{
    if (b == 0.0f)
        return false;
    result = a / b;
    return true;
}

// Whole numbers handed to the copy; halves go to the even neighbour like every store.
int roundWhole(float v)
{
    return static_cast<int>(std::nearbyint(v));
}

// Fit to the height (H = dH, W scaled) or to the width (W = dW, H scaled); false when the
// picture's size would divide by zero.
bool fitHeight(float dH, float oW, float oH, ScaledPlacement &p)
{
    float f;
    if (!divide(dH, oH, f))
        return false;
    p.H = dH;
    p.W = f * oW;
    return true;
}

bool fitWidth(float dW, float oW, float oH, ScaledPlacement &p)
{
    float f;
    if (!divide(dW, oW, f))
        return false;
    p.W = dW;
    p.H = f * oH;
    return true;
}

// Sets the drawn size W x H the mode asks for; false on a division by zero.
bool drawnSize(ViewScaleMode mode, float dW, float dH, float oW, float oH, ScaledPlacement &p)
{
    switch (mode) {
    case ViewScaleMode::Stretch:
        p.W = dW;
        p.H = dH;
        return true;
    case ViewScaleMode::ScaleInline:
    case ViewScaleMode::ScaleOutline: {
        float area, picture;
        if (!divide(dW, dH, area) || !divide(oW, oH, picture))
            return false;
        // Inline fits the height when the area is relatively wider, outline when it is
        // relatively narrower; equal ratios fit the width in both.
        const bool byHeight = mode == ViewScaleMode::ScaleInline ? area > picture : area < picture;
        return byHeight ? fitHeight(dH, oW, oH, p) : fitWidth(dW, oW, oH, p);
    }
    case ViewScaleMode::Unselected:
        return true;
    }
    return true;
}

// Sets the origin that centres the drawn size in the area; false when it does not fit the
// 16 bits it is stored in.
bool centredOrigin(float dW, float dH, ScaledPlacement &p)
{
    const float halfX = (dW - p.W) / 2.0f;
    const float halfY = (dH - p.H) / 2.0f;
    const auto x = twips::toInt16(halfX);
    const auto y = twips::toInt16(halfY);
    if (!x || !y)
        return false;
    p.X = *x;
    p.Y = *y;
    return true;
}

// The whole pixels the placement covers; empty when nothing visible would be drawn.
QRect pixelRect(const ScaledPlacement &p)
{
    const int xp = roundWhole(float(p.X) / float(twips::PerPixel));
    const int yp = roundWhole(float(p.Y) / float(twips::PerPixel));
    const int w = roundWhole(float(roundWhole(p.W)) / float(twips::PerPixel));
    const int h = roundWhole(float(roundWhole(p.H)) / float(twips::PerPixel));
    if (w > 0 && h > 0)
        return QRect(xp, yp, w, h);
    return QRect();
}

} // namespace

ScaledPlacement scaledPlacement(ViewScaleMode mode, float dW, float dH, float oW, float oH)
{
    ScaledPlacement p;
    // A failed placement keeps the size worked so far but covers no pixels.
    if (!drawnSize(mode, dW, dH, oW, oH, p)) {
        p.error = ScaleError::DivisionByZero;
        return p;
    }
    if (!centredOrigin(dW, dH, p)) {
        p.error = ScaleError::Overflow;
        return p;
    }
    p.pixels = pixelRect(p);
    return p;
}
