#pragma once
// Parts of a window drawn translucent over what lies beneath them in the same window: alpha
// 0 (invisible) to 255 (as given). The window blends them as it draws, so they need no
// compositor, no window of their own and no picture of the whole made at every redraw.
#include <QColor>

class QPixmap;

// The colour at `alpha` of its own opacity.
QColor translucent(QColor colour, int alpha);
// The picture at `alpha` of its own opacity.
QPixmap translucent(const QPixmap &picture, int alpha);
