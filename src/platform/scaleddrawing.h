#pragma once
// Draws a picture onto a picture area's surface by a scale mode.
//
// The surface is cleared to black first, whatever follows. The picture lands where
// scaledPlacement() puts it for the area's and the picture's sizes in twips, a rectangle in
// logical pixels. The surface holds the area's device pixels (its devicePixelRatio), so the
// picture is scaled smoothly onto that rectangle in device pixels and stays sharp on a
// screen of more than one device pixel to a logical one; the rest of the area stays black
// and what overhangs the area is cut off. A null picture leaves the area black. An error
// of the arithmetic is returned with the area cleared and nothing drawn; nothing is thrown.
//
// Shrinking goes through exact halvings of the picture (each pixel the mean of a 2 x 2
// block), kept for the picture drawn last so that the second area and later redraws find
// them ready. They can be made ahead, on any thread, with prepareHalvings() and handed over
// with keepHalvings(); the drawing is the same either way.
#include "core/geometry/devicepixels.h"
#include "core/geometry/scalegeometry.h"

#include <QList>
#include <QRect>
#include <QSize>

#include <atomic>
#include <vector>

#include <QImage>

// area is the logical size of the picture area the surface belongs to; a surface not of
// deviceSize(area, surface.devicePixelRatio()) (an area without height still has a
// one-pixel surface) is left black.
ScaleError drawScaledPicture(QImage &surface, const QSize &area, const QImage &picture, ViewScaleMode mode);

// The halvings drawing the picture into these areas by this mode will use. Safe on any
// thread; gives up (with what it has) once *cancel is set.
std::vector<QImage> prepareHalvings(const QImage &picture, const QList<DrawingArea> &areas, ViewScaleMode mode,
                                    const std::atomic<bool> *cancel = nullptr);

// The picture as drawing it into the area by this mode lands on the surface: scaled to
// exactly the device rectangle it covers there, so that drawing the result into the same
// area only copies pixels. The picture itself when nothing of it would show. Safe on any
// thread (it keeps no halvings).
QImage scaledToPlacement(const QImage &picture, const DrawingArea &area, ViewScaleMode mode);
// The whole area's surface with the picture drawn in by this mode, black round it: what a
// view that shows one picture can take as its surface as it is, with no copy of its own.
// The picture itself for an area without pixels. Safe on any thread.
QImage framedInArea(const QImage &picture, const DrawingArea &area, ViewScaleMode mode);
// Keeps halvings made by prepareHalvings() for this picture, in place of any kept before.
// Window thread only.
void keepHalvings(const QImage &picture, std::vector<QImage> levels);

// Hands over the halvings kept and keeps none; the next draw makes what it needs again.
std::vector<QImage> takeHalvings();
