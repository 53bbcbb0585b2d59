#include "scaleddrawing.h"

#include "platform/twips.h"
#include "view/picturearea.h"

#include <QPainter>

ScaleError drawScaledPicture(PictureArea &target, const QImage &picture, ViewScaleMode mode)
{
    target.clear();
    if (picture.isNull())
        return ScaleError::None;

    QImage &surface = target.surface();
    const ScaledPlacement place = scaledPlacement(
        mode, float(twips::fromPixels(target.width())), float(twips::fromPixels(target.height())),
        float(twips::fromPixels(picture.width())), float(twips::fromPixels(picture.height())));
    if (!place.ok())
        return place.error;
    const QRect r = place.pixels;
    if (r.isEmpty() || !r.intersects(surface.rect()))
        return ScaleError::None;

    // Area averaging when shrinking, as a halftone copy does; the scaled copy is exactly
    // the rectangle's size so its edges land on the rectangle's edges.
    const QImage scaled = r.size() == picture.size()
        ? picture
        : picture.scaled(r.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter p(&surface);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(r.topLeft(), scaled);
    p.end();
    return ScaleError::None;
}
