#pragma once
// The parts of showing a picture the refresh and a live cam's frames share, each made by the
// same calls as CamImageFetch makes them, so that a benchmark can time them one by one. When
// the fetch's own steps change, these follow.
#include "platform/scaleddrawing.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"

#include <QImage>
#include <QList>

#include <utility>
#include <vector>

namespace part {

// The areas a picture is decoded and drawn for (CamFeed::decodeAreas).
inline QList<DrawingArea> areasDrawnAtOnce(const MainWindow &main, const FullscreenWindow &fullscreen)
{
    QList<DrawingArea> areas;
    for (const PictureView *view : {static_cast<const PictureView *>(main.pictureArea()),
                                    static_cast<const PictureView *>(fullscreen.pictureArea())})
        if (view->drawsPictureAtOnce())
            areas.append(DrawingArea{view->pictureAreaSize(), view->pictureAreaPixelRatio()});
    return areas;
}

// What the decode worker prepares for the drawing after the decode (PictureLoadJob::run):
// each area's whole surface with the picture resampled into it.
inline std::vector<QImage> scale(const QImage &picture, const QList<DrawingArea> &areas, ViewScaleMode mode)
{
    std::vector<QImage> surfaces;
    for (const DrawingArea &area : areas)
        surfaces.push_back(framedInArea(picture, area, mode));
    return surfaces;
}

// The window thread's part once the decode is back (CamFeed::showPicture): the
// picture handed to every picture view, the surfaces made for the areas shown as they are
// (the main area's first, as areasDrawnAtOnce() lists them; the hidden fullscreen window
// only notes that it has to draw when shown), then the main picture area painted.
inline void draw(MainWindow &main, FullscreenWindow &fullscreen, const QImage &picture, std::vector<QImage> prepared)
{
    const ViewScaleMode mode = main.scaleMode();
    main.pictureArea()->showPicture(picture, mode, prepared.empty() ? QImage() : std::exchange(prepared.front(), QImage()));
    fullscreen.pictureArea()->showPicture(picture, mode, prepared.size() > 1 ? std::exchange(prepared[1], QImage()) : QImage());
    main.pictureArea()->repaint();
}

} // namespace part
