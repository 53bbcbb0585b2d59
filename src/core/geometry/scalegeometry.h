#pragma once
// Where a picture lands in a picture area for a scale mode.
//
// Input: the mode, the area's inner size dW x dH and the picture's size oW x oH, all in
// twips (15 to a pixel). Output: the drawn size W x H (twips), the centred origin X, Y
// (twips, stored as 16-bit integers) and the pixel rectangle the picture covers, or an
// error. Everything is worked in single precision, and every rounding goes to the nearest
// integer with halves to the even neighbour. Errors are values, never exceptions:
// a division by a zero height or picture size, or an origin outside the 16-bit range.
#include <QRect>
#include <QtGlobal>

enum class ViewScaleMode {
    Stretch,       // fill the area, proportions ignored
    ScaleInline,   // largest size inside the area, proportions kept
    ScaleOutline,  // smallest size covering the area, proportions kept
    Unselected,    // no mode chosen: nothing visible is drawn
};

enum class ScaleError {
    None,
    DivisionByZero,
    Overflow,
};

struct ScaledPlacement
{
    ScaleError error = ScaleError::None;
    float W = 0;       // drawn size, twips
    float H = 0;
    qint16 X = 0;      // origin, twips
    qint16 Y = 0;
    QRect pixels;      // the pixel rectangle covered; empty when nothing is drawn

    bool ok() const { return error == ScaleError::None; }
};

ScaledPlacement scaledPlacement(ViewScaleMode mode, float dW, float dH, float oW, float oH);
