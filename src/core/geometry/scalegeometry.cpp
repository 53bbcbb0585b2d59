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

} // namespace

ScaledPlacement scaledPlacement(ViewScaleMode mode, float dW, float dH, float oW, float oH)
{
    ScaledPlacement p;
    auto fail = [&p](ScaleError e) {
        p.error = e;
        p.pixels = QRect();
        return p;
    };

    // Fit to the height (H = dH, W scaled) or to the width (W = dW, H scaled).
    auto fitHeight = [&]() {
        float f;
        if (!divide(dH, oH, f))
            return false;
        p.H = dH;
        p.W = f * oW;
        return true;
    };
    auto fitWidth = [&]() {
        float f;
        if (!divide(dW, oW, f))
            return false;
        p.W = dW;
        p.H = f * oH;
        return true;
    };

    switch (mode) {
    case ViewScaleMode::Stretch:
        p.W = dW;
        p.H = dH;
        break;
    case ViewScaleMode::ScaleInline:
    case ViewScaleMode::ScaleOutline: {
        float area, picture;
        if (!divide(dW, dH, area) || !divide(oW, oH, picture))
            return fail(ScaleError::DivisionByZero);
        // Inline fits the height when the area is relatively wider, outline when it is
        // relatively narrower; equal ratios fit the width in both.
        const bool byHeight = mode == ViewScaleMode::ScaleInline ? area > picture : area < picture;
        if (!(byHeight ? fitHeight() : fitWidth()))
            return fail(ScaleError::DivisionByZero);
        break;
    }
    case ViewScaleMode::Unselected:
        break;
    }

    const float halfX = (dW - p.W) / 2.0f;
    const float halfY = (dH - p.H) / 2.0f;
    const auto x = twips::toInt16(halfX);
    const auto y = twips::toInt16(halfY);
    if (!x || !y)
        return fail(ScaleError::Overflow);
    p.X = *x;
    p.Y = *y;

    const int xp = roundWhole(float(p.X) / float(twips::PerPixel));
    const int yp = roundWhole(float(p.Y) / float(twips::PerPixel));
    const int w = roundWhole(float(roundWhole(p.W)) / float(twips::PerPixel));
    const int h = roundWhole(float(roundWhole(p.H)) / float(twips::PerPixel));
    if (w > 0 && h > 0)
        p.pixels = QRect(xp, yp, w, h);
    return p;
}
