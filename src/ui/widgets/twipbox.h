#pragma once
// Reading and writing a widget's geometry as a twip box, at the widget boundary.
#include "core/geometry/fullscreenlayout.h"
#include "core/geometry/twips.h"
#include "ui/widgets/twipgeometry.h"

inline fullscreen_layout::TwipBox twipBox(const QWidget *w)
{
    const QRect r = w->geometry();
    return {double(twips::fromPixels(r.x())), double(twips::fromPixels(r.y())),
            double(twips::fromPixels(r.width())), double(twips::fromPixels(r.height()))};
}

inline void placeTwipBox(QWidget *w, const fullscreen_layout::TwipBox &b)
{
    setTwipGeometry(w, b.left, b.top, b.width, b.height);
}
