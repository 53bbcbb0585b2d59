#pragma once
// Pictures this program draws for itself.
#include <QPixmap>

namespace pictures {

// The start-up picture, 422 x 220 pixels.
QPixmap splash();

// The toolbar's 16 x 16 button pictures: the scale-mode button (a frame with a picture
// being fitted into it) and "Random Cam" (a die).
QPixmap scaleModeIcon();
QPixmap randomCamIcon();

} // namespace pictures
