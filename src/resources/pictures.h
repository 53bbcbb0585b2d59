#pragma once
// Pictures this program draws for itself.
#include <QPixmap>

namespace pictures {

// The start-up picture, 422 x 220 pixels.
QPixmap splash();

} // namespace pictures
