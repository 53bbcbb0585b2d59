#pragma once
// Widget geometry given in twips, converted at the widget boundary.
#include "core/geometry/twips.h"

#include <QWidget>

inline void setTwipGeometry(QWidget *w, double left, double top, double width, double height)
{
    w->setGeometry(twips::toPixels(left), twips::toPixels(top), twips::toPixels(width), twips::toPixels(height));
}
