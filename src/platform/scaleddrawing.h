#pragma once
// Draws a picture onto a picture area's surface by a scale mode.
//
// The surface is cleared to black first, whatever follows. The picture lands where
// scaledPlacement() puts it for the area's and the picture's sizes in twips, a rectangle in
// logical pixels. The surface holds the area's device pixels (its devicePixelRatio), so the
// picture is resampled onto exactly that rectangle in device pixels and stays sharp on a
// screen of more than one device pixel to a logical one; the rest of the area stays black
// and what overhangs the area is cut off. A null picture leaves the area black. An error
// of the arithmetic is returned with the area cleared and nothing drawn; nothing is thrown.
//
// Resampling (libyuv) works on each side on its own. A side that shrinks to less than half
// is first halved, each pixel the mean of two, until it is less than twice its target; the
// last step weighs two neighbours by distance, so every pixel of a shrinking side counts,
// and a growing side is interpolated linearly. A Stretch that narrows and heightens the
// picture at once so averages across and interpolates down. A picture exactly the
// rectangle's size is copied unchanged. A picture with an alpha channel lands as it would
// painted over black.
//
// Every function here is safe on any thread and keeps nothing between calls, so a worker
// can make an area's whole surface ahead (framedInArea) and the window thread only shows it.
#include "core/geometry/devicepixels.h"
#include "core/geometry/scalegeometry.h"
#include "platform/yuvplanes.h"

#include <QImage>
#include <QSize>

// area is the logical size of the picture area the surface belongs to; a surface not of
// deviceSize(area, surface.devicePixelRatio()) (an area without height still has a
// one-pixel surface) is left black. A surface of another format than RGB32 becomes RGB32.
ScaleError drawScaledPicture(QImage &surface, const QSize &area, const QImage &picture, ViewScaleMode mode);

// The whole area's surface (device pixels, the area's ratio, RGB32) with the picture drawn
// in by this mode, black round it: what a view that shows one picture can take as its
// surface as it is, with no copy and no scaling of its own. The picture itself for an
// area without pixels; a null picture gives a null image.
QImage framedInArea(const QImage &picture, const DrawingArea &area, ViewScaleMode mode);

// The same surface drawn from a JPEG's planes: each plane scaled to the rectangle the picture
// lands on (libyuv's box filter, the mean of the area each pixel covers) and converted to RGB
// once, there. Null where the planes are not drawn so, and the picture is to be drawn instead:
// a rectangle larger than the planes on a side, or reaching out of the area (an outline cut).
QImage framedInArea(const YuvPlanes &planes, const DrawingArea &area, ViewScaleMode mode);

// Whether framedInArea() draws planes of a picture of this size from the planes themselves.
bool drawnFromPlanes(const QSize &picture, const DrawingArea &area, ViewScaleMode mode);

// The planes as an RGB32 picture of this size: their own, or smaller on both sides, averaged as
// framedInArea() averages them. Null for a larger size.
QImage pictureFromPlanes(const YuvPlanes &planes, const QSize &size);

// The picture resampled to exactly this size, as drawing resamples it; RGB32. A null image
// for a null picture or an empty size.
QImage resampledPicture(const QImage &picture, const QSize &size);

// How many pictures the calling thread has resampled so far (each drawing, framing or
// resampledPicture() that did not merely copy counts once): a window thread that shows
// surfaces made ahead does none.
quint64 resamplingsOnThisThread();
