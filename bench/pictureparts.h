#pragma once
// The parts of showing a picture the refresh and a live cam's frames share, each made by the
// same calls as CamImageFetch makes them, so that a benchmark can time them one by one. When
// the fetch's own steps change, these follow.
#include "control/pictureloadjob.h"
#include "platform/picturedecoder.h"
#include "platform/picturememory.h"
#include "platform/scaleddrawing.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"

#include <QImage>
#include <QList>

#include <atomic>
#include <cstring>
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

// The decode worker's load (PictureLoadJob::startBytes): the picture, or the JPEG's planes, at
// the reduction the areas allow; decodeAs empty for the main decoder.
struct Decoded
{
    PictureOrPlanes loaded;
    int reduction = 1;
    QString errorText;
    // The size decoded at; empty when nothing was.
    QSize size() const
    {
        return !loaded.planes.isNull() ? loaded.planes.size : loaded.picture.value_or(QImage()).size();
    }
};

inline Decoded decode(const QString &decodeAs, const QByteArray &bytes, const QList<DrawingArea> &areas,
                      ViewScaleMode mode)
{
    Reduction reduction = decodeFor(areas, mode);
    Decoded d;
    d.loaded = loadPictureOrPlanes(decodeAs, bytes, d.errorText, nullptr, &reduction);
    d.reduction = reduction.used;
    return d;
}

// The same pixels in memory of their own, as a decode just made gives them.
inline Decoded freshCopy(const Decoded &decoded)
{
    const auto copied = [](const QImage &from) {
        QImage to = newPicture(from.size(), from.format());
        if (!to.isNull() && to.sizeInBytes() == from.sizeInBytes())
            std::memcpy(to.bits(), from.constBits(), std::size_t(from.sizeInBytes()));
        return to;
    };
    Decoded fresh = decoded;
    if (!fresh.loaded.planes.isNull())
        fresh.loaded.planes.memory = copied(decoded.loaded.planes.memory);
    if (fresh.loaded.picture && !fresh.loaded.picture->isNull())
        fresh.loaded.picture = copied(*decoded.loaded.picture);
    return fresh;
}

// What the decode worker prepares for the drawing after the decode (PictureLoadJob::run):
// each area's whole surface with the picture drawn in, and the picture the views keep.
inline LoadedPicture scale(const Decoded &decoded, const QList<DrawingArea> &areas, ViewScaleMode mode)
{
    const std::atomic<bool> notCancelled{false};
    return preparedForAreas(decoded.loaded, decoded.errorText, decoded.reduction, areas, mode,
                            PictureLoadJob::Finish::Surfaces, &notCancelled);
}

// The window thread's part once the decode is back (CamFeed::showPicture): the
// picture handed to every picture view, the surfaces made for the areas shown as they are
// (the main area's first, as areasDrawnAtOnce() lists them; the hidden fullscreen window
// only notes that it has to draw when shown), then the main picture area painted.
inline void draw(MainWindow &main, FullscreenWindow &fullscreen, LoadedPicture result)
{
    const ViewScaleMode mode = main.scaleMode();
    const QImage picture = result.picture.value_or(QImage());
    std::vector<PreparedSurface> &prepared = result.surfaces;
    const auto surface = [&](std::size_t i) {
        return i < prepared.size() ? std::exchange(prepared[i].surface, QImage()) : QImage();
    };
    main.pictureArea()->showPicture(picture, mode, surface(0));
    fullscreen.pictureArea()->showPicture(picture, mode, surface(1));
    main.pictureArea()->repaint();
}

} // namespace part
