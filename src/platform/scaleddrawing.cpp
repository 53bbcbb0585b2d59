#include "scaleddrawing.h"

#include "core/geometry/twips.h"
#include "platform/picturedecoder.h"
#include "platform/picturememory.h"

#include <libyuv/convert_argb.h>
#include <libyuv/scale.h>
#include <libyuv/scale_argb.h>

#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <future>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

thread_local quint64 t_resamplings = 0;

constexpr quint32 OpaqueBlack = 0xff000000u;

// From this many pixels on, a resampling is shared between two threads.
constexpr qint64 TwoThreadPixels = qint64(1) << 20;

// The thread that takes the other half of a large resampling, kept between pictures: a live
// stream resamples ten a second, and starting a thread for each costs more than its half.
// Never destroyed, as a picture may be drawn while static objects go.
QThreadPool &secondResampler()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}

// Runs both halves of a piece of work, `other` on the second resampling thread when the work
// is large enough to gain from it; true when both succeeded.
template <class Mine, class Other>
bool sharedWhenLarge(qint64 pixels, Mine mine, Other other)
{
    if (pixels < TwoThreadPixels || QThread::idealThreadCount() < 2)
        return other() & mine();
    std::promise<bool> otherDone;
    std::future<bool> otherOk = otherDone.get_future();
    secondResampler().start([&] { otherDone.set_value(other()); });
    const bool ok = mine();
    return otherOk.get() && ok;
}

// Qt's RGB32 is libyuv's ARGB byte order on a little-endian machine: B, G, R, A in memory.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "RGB32 pixels are handed to libyuv as its ARGB");

// The picture in RGB32, pixels with alpha as painted over black.
QImage asRgb32(const QImage &picture)
{
    if (picture.format() == QImage::Format_RGB32)
        return picture;
    QImage out = picture;
    return layOverBlack(out) == Flattened::Done ? out : QImage();
}

// libyuv's step along a row (SSSE3) weighs two neighbours by 127ths of 128, so every
// channel it writes comes out 127/128 of what it should: white as 253, the alpha byte too.
// Whether this libyuv does so, found once on a picture of one colour.
bool rowStepDarkens()
{
    static const bool darkens = [] {
        const quint32 white[8] = {0xffffffffu, 0xffffffffu, 0xffffffffu, 0xffffffffu,
                                  0xffffffffu, 0xffffffffu, 0xffffffffu, 0xffffffffu};
        quint32 out[6] = {};
        libyuv::ARGBScale(reinterpret_cast<const uint8_t *>(white), 4 * 4, 4, 2, reinterpret_cast<uint8_t *>(out),
                          3 * 4, 3, 2, libyuv::kFilterBilinear);
        return out[0] != 0xffffffffu;
    }();
    return darkens;
}

// Whether libyuv takes a pass between these sizes through its step along a row: any change
// of width but an exact halving of both sides, which is a box of its own.
bool stepsAlongRows(const QSize &from, const QSize &to)
{
    return from.width() != to.width() && !(from.width() == 2 * to.width() && from.height() == 2 * to.height());
}

// Gives each channel of a row step's pixels back what the step took: v written for a level
// a is floor(127 a / 128), and a = v + (v > 0) + (v > 127) for all but two levels (1 and 129,
// which come back one level low). Opaque again.
void undoRowStepLoss(uchar *first, qsizetype stride, int width, int rows)
{
    for (int y = 0; y < rows; ++y) {
        quint32 *line = reinterpret_cast<quint32 *>(first + y * stride);
        int x = 0;
#ifdef __SSE2__
        const __m128i ones = _mm_set1_epi8(1);
        const __m128i opaque = _mm_set1_epi32(int(OpaqueBlack));
        for (; x + 4 <= width; x += 4) {
            __m128i *at = reinterpret_cast<__m128i *>(line + x);
            const __m128i v = _mm_loadu_si128(at);
            // Bit 7 of each byte, shifted in 16-bit lanes and masked to its own byte.
            const __m128i high = _mm_and_si128(_mm_srli_epi16(v, 7), ones);
            const __m128i nonZero = _mm_andnot_si128(_mm_cmpeq_epi8(v, _mm_setzero_si128()), ones);
            _mm_storeu_si128(at, _mm_or_si128(_mm_add_epi8(_mm_add_epi8(v, high), nonZero), opaque));
        }
#endif
        for (; x < width; ++x) {
            const quint32 v = line[x];
            const quint32 high = (v >> 7) & 0x01010101u;
            const quint32 nonZero = ((((v & 0x7f7f7f7fu) + 0x7f7f7f7fu) | v) >> 7) & 0x01010101u;
            // No byte carries: a row step writes no channel above 253.
            line[x] = (v + high + nonZero) | OpaqueBlack;
        }
    }
}

// libyuv's own box filter takes a side down only to a half, a quarter or an even part of
// it; any other shrinking it samples between two pixels, which skips pixels once a side
// shrinks to less than half. So a side at least twice the target's is first halved
// (a box of two pixels, by libyuv, the centres kept in proportion for an odd side) until
// it is less than twice as long; the last step then weights every pixel it passes.
QImage halvedNear(const QImage &rgb, const QSize &target)
{
    QImage current = rgb;
    for (;;) {
        const bool halveWidth = current.width() >= 2 * target.width() && current.width() > 1;
        const bool halveHeight = current.height() >= 2 * target.height() && current.height() > 1;
        if (!halveWidth && !halveHeight)
            return current;
        const QSize next(halveWidth ? (current.width() + 1) / 2 : current.width(),
                         halveHeight ? (current.height() + 1) / 2 : current.height());
        QImage half(next, QImage::Format_RGB32);
        if (half.isNull()
            || libyuv::ARGBScale(current.constBits(), int(current.bytesPerLine()), current.width(), current.height(),
                                 half.bits(), int(half.bytesPerLine()), next.width(), next.height(),
                                 libyuv::kFilterBox)
                != 0)
            return current;
        if (stepsAlongRows(current.size(), next) && rowStepDarkens())
            undoRowStepLoss(half.bits(), half.bytesPerLine(), half.width(), half.height());
        current = std::move(half);
    }
}

// Resamples the picture onto a rectangle of `size` pixels of which only `clip` (in the
// rectangle's own coordinates) is written, to `to`, a pixel of a buffer with `toStride`
// bytes a row: `to` takes the clip's top left pixel. False when nothing could be written.
bool resampleInto(const QImage &picture, const QSize &size, const QRect &clip, uchar *to, qsizetype toStride)
{
    const QImage rgb = asRgb32(picture);
    if (rgb.isNull() || clip.isEmpty())
        return false;
    if (rgb.size() == size) {
        for (int y = 0; y < clip.height(); ++y)
            std::memcpy(to + y * toStride, rgb.constScanLine(clip.top() + y) + clip.left() * 4,
                        std::size_t(clip.width()) * 4);
        return true;
    }
    const QImage source = halvedNear(rgb, size);
    // Shrinking on both sides asks for libyuv's box filter, which it keeps for an exact half
    // and otherwise, every side now less than twice its target, carries out as the linear
    // step; growing on either side asks for that step at once, also along a side that
    // shrinks while the other grows.
    const bool shrinking = size.width() <= source.width() && size.height() <= source.height();
    const bool undoLoss = stepsAlongRows(source.size(), size) && rowStepDarkens();
    // libyuv takes the origin of the whole rectangle and offsets it to the clip itself.
    const std::uintptr_t origin = reinterpret_cast<std::uintptr_t>(to) - std::uintptr_t(clip.top()) * toStride
        - std::uintptr_t(clip.left()) * 4;
    // In bands of rows, so that the rows libyuv has just written are still in the cache
    // when their loss is given back.
    constexpr int BandRows = 32;
    const auto resampleBands = [&](int firstBand, int bandStep) {
        bool ok = true;
        for (int top = clip.top() + firstBand * BandRows; ok && top <= clip.bottom(); top += bandStep * BandRows) {
            const int rows = std::min(BandRows, clip.bottom() + 1 - top);
            ok = libyuv::ARGBScaleClip(source.constBits(), int(source.bytesPerLine()), source.width(),
                                       source.height(), reinterpret_cast<uint8_t *>(origin), int(toStride),
                                       size.width(), size.height(), clip.left(), top, clip.width(), rows,
                                       shrinking ? libyuv::kFilterBox : libyuv::kFilterBilinear)
                == 0;
            if (ok && undoLoss)
                undoRowStepLoss(to + (top - clip.top()) * toStride, toStride, clip.width(), rows);
        }
        return ok;
    };
    // A large rectangle is shared with a second thread, every other band, so that a picture is
    // ready about twice as soon where a second core is free; bands are independent.
    if (!sharedWhenLarge(qint64(clip.width()) * clip.height(), [&] { return resampleBands(0, 2); },
                         [&] { return resampleBands(1, 2); }))
        return false;
    ++t_resamplings;
    return true;
}

const libyuv::YuvConstants *yuvConstants(YuvPlanes::Matrix matrix)
{
    switch (matrix) {
    case YuvPlanes::Matrix::Jpeg:
        return &libyuv::kYuvJPEGConstants;
    case YuvPlanes::Matrix::Bt601:
        return &libyuv::kYuvI601Constants;
    case YuvPlanes::Matrix::Bt709:
        return &libyuv::kYuvH709Constants;
    case YuvPlanes::Matrix::Bt709Full:
        return &libyuv::kYuvF709Constants;
    case YuvPlanes::Matrix::Bt2020:
        return &libyuv::kYuv2020Constants;
    }
    return &libyuv::kYuvJPEGConstants;
}

// Converts the rows [top, top + rows) of the planes to RGB32 at `to`, the pixel of the first of
// them, as if they were the whole picture: halved colours are interpolated between their
// samples (as the JPEG library does when it decodes to RGB), the band's first and last rows
// from its own colour rows alone. top is even, so that a band starts on a whole colour row.
bool convertRows(const YuvPlanes &planes, int top, int rows, uchar *to, qsizetype toStride)
{
    const int width = planes.size.width();
    const int chromaTop = planes.colour == YuvPlanes::Colour::Halved ? top / 2 : top;
    const bool grey = planes.colour == YuvPlanes::Colour::Grey;
    const int ys = planes.stride(0);
    const int cs = grey ? 0 : planes.stride(1);
    const uchar *y = planes.plane(0) + qsizetype(top) * ys;
    const uchar *u = grey ? nullptr : planes.plane(1) + qsizetype(chromaTop) * cs;
    const uchar *v = grey ? nullptr : planes.plane(2) + qsizetype(chromaTop) * cs;
    const int ts = int(toStride);
    const libyuv::YuvConstants *matrix = yuvConstants(planes.matrix);
    // A JPEG's grey and full colours have conversions of their own, a good deal faster.
    const bool jpeg = planes.matrix == YuvPlanes::Matrix::Jpeg;
    switch (planes.colour) {
    case YuvPlanes::Colour::Grey:
        return (jpeg ? libyuv::J400ToARGB(y, ys, to, ts, width, rows)
                     : libyuv::I400ToARGBMatrix(y, ys, to, ts, matrix, width, rows))
            == 0;
    case YuvPlanes::Colour::Halved:
        return libyuv::I420ToARGBMatrixFilter(y, ys, u, cs, v, cs, to, ts, matrix, width, rows, libyuv::kFilterBilinear)
            == 0;
    case YuvPlanes::Colour::HalvedAcross:
        return libyuv::I422ToARGBMatrixFilter(y, ys, u, cs, v, cs, to, ts, matrix, width, rows, libyuv::kFilterBilinear)
            == 0;
    case YuvPlanes::Colour::Full:
        return (jpeg ? libyuv::J444ToARGB(y, ys, u, cs, v, cs, to, ts, width, rows)
                     : libyuv::I444ToARGBMatrix(y, ys, u, cs, v, cs, to, ts, matrix, width, rows))
            == 0;
    }
    return false;
}

// The planes converted to RGB32 at `to`: the upper rows here, the lower ones on the second
// thread when there are many. Halved colours are interpolated down the rows, and each band
// takes the rows at its ends as the picture's edge; so the two rows either side of the cut
// are converted again afterwards, from the rows round them, as the whole picture gives them.
bool convertPlanes(const YuvPlanes &planes, uchar *to, qsizetype toStride)
{
    const QSize size = planes.size;
    const qint64 pixels = qint64(size.width()) * size.height();
    if (pixels < TwoThreadPixels || QThread::idealThreadCount() < 2 || size.height() < 8)
        return convertRows(planes, 0, size.height(), to, toStride);
    const int cut = size.height() / 4 * 2;
    const bool ok = sharedWhenLarge(
        pixels, [&] { return convertRows(planes, 0, cut, to, toStride); },
        [&] { return convertRows(planes, cut, size.height() - cut, to + qsizetype(cut) * toStride, toStride); });
    if (!ok || planes.colour != YuvPlanes::Colour::Halved)
        return ok;
    QImage seam(size.width(), 4, QImage::Format_RGB32);
    if (seam.isNull() || !convertRows(planes, cut - 2, 4, seam.bits(), seam.bytesPerLine()))
        return false;
    for (int row = 1; row <= 2; ++row)
        std::memcpy(to + qsizetype(cut - 2 + row) * toStride, seam.constScanLine(row), std::size_t(size.width()) * 4);
    return true;
}

// The planes scaled to `size`, no larger on either side, in memory of their own (null when
// none is to be had). Each plane is scaled on its own, the brightness plane on the second
// thread when large. A side shrinks to less than half only by halving (a box of two
// samples); the rest of the way libyuv weighs two neighbours by distance, so every sample
// counts: its own box filter, at any other factor, lands its boxes a fraction of a sample off.
// Once the picture is no larger than its halved colour planes, these are kept at its full size
// (Colour::Full), so a picture shrunk far keeps the colour detail a picture decoded to RGB
// would.
YuvPlanes scaledPlanes(const YuvPlanes &planes, const QSize &size)
{
    YuvPlanes current = planes;
    while (current.size != size) {
        const QSize from = current.size;
        const QSize next(from.width() >= 2 * size.width() ? (from.width() + 1) / 2 : size.width(),
                         from.height() >= 2 * size.height() ? (from.height() + 1) / 2 : size.height());
        YuvPlanes scaled;
        scaled.size = next;
        scaled.colour = current.colour;
        scaled.matrix = current.matrix;
        // Colour planes as large as the picture now is keep their own detail at full size.
        const QSize colours = current.planeSize(1);
        if ((current.colour == YuvPlanes::Colour::Halved || current.colour == YuvPlanes::Colour::HalvedAcross)
            && colours.width() >= next.width() && colours.height() >= next.height())
            scaled.colour = YuvPlanes::Colour::Full;
        scaled.memory = planesMemory(next, scaled.colour);
        if (scaled.memory.isNull())
            return {};
        // Taken here, before the threads: asking for pixels to write on may copy a shared image.
        const uchar *reading[3] = {};
        uchar *writing[3] = {};
        for (int p = 0; p < current.planeCount(); ++p) {
            reading[p] = std::as_const(current).plane(p);
            writing[p] = scaled.plane(p);
        }
        const auto scalePlane = [&](int p) {
            const QSize source = current.planeSize(p);
            const QSize target = scaled.planeSize(p);
            const bool exactHalf = target * 2 == source;
            libyuv::ScalePlane(reading[p], current.stride(p), source.width(), source.height(), writing[p],
                               scaled.stride(p), target.width(), target.height(),
                               exactHalf ? libyuv::kFilterBox : libyuv::kFilterBilinear);
            return true;
        };
        (void)sharedWhenLarge(
            qint64(next.width()) * next.height(),
            [&] { return current.planeCount() == 1 || (scalePlane(1) & scalePlane(2)); },
            [&] { return scalePlane(0); });
        current = std::move(scaled);
    }
    return current;
}

// The planes scaled to `size` (not larger on either side) and converted to RGB32 at `to`, a
// buffer of `toStride` bytes a row.
bool planesInto(const YuvPlanes &planes, const QSize &size, uchar *to, qsizetype toStride)
{
    if (planes.isNull() || size.isEmpty() || size.width() > planes.size.width() || size.height() > planes.size.height())
        return false;
    if (size == planes.size)
        return convertPlanes(planes, to, toStride);
    const YuvPlanes scaled = scaledPlanes(planes, size);
    if (scaled.isNull())
        return false;
    ++t_resamplings;
    return convertPlanes(scaled, to, toStride);
}

// Where a picture of this size lands in an area of this size.
ScaledPlacement placementIn(const QSize &area, const QSize &picture, ViewScaleMode mode)
{
    return scaledPlacement(mode, float(twips::fromPixels(area.width())), float(twips::fromPixels(area.height())),
                           float(twips::fromPixels(picture.width())), float(twips::fromPixels(picture.height())));
}

// Whether the placement puts anything of the picture into the area.
bool showsAnything(const ScaledPlacement &place, const QSize &area)
{
    return place.ok() && !place.pixels.isEmpty() && place.pixels.intersects(QRect(QPoint(0, 0), area));
}

// Draws onto the device rectangle r of the RGB32 surface, cut to the surface, by
// fill(to, stride, clip): clip is the part of r inside the surface in r's own coordinates,
// `to` the surface's pixel of its top left. Everything of the surface outside r becomes black;
// each pixel is written once. A fill that fails leaves the whole surface black.
template <class Fill>
void drawOnBlack(QImage &surface, const QRect &r, Fill fill)
{
    const QRect inside = r & surface.rect();
    uchar *to = inside.isEmpty() ? nullptr : surface.scanLine(inside.top()) + inside.left() * 4;
    if (!to || !fill(to, surface.bytesPerLine(), inside.translated(-r.topLeft()))) {
        surface.fill(Qt::black);
        return;
    }
    const int w = surface.width();
    for (int y = 0; y < surface.height(); ++y) {
        quint32 *line = reinterpret_cast<quint32 *>(surface.scanLine(y));
        if (y < inside.top() || y > inside.bottom()) {
            std::fill(line, line + w, OpaqueBlack);
            continue;
        }
        std::fill(line, line + inside.left(), OpaqueBlack);
        std::fill(line + inside.right() + 1, line + w, OpaqueBlack);
    }
}

// A new surface for the area, at its device size and ratio; pixels not set.
QImage newSurface(const DrawingArea &area)
{
    QImage surface = newPicture(deviceSize(area.size, area.pixelRatio), QImage::Format_RGB32);
    if (!surface.isNull())
        surface.setDevicePixelRatio(area.pixelRatio);
    return surface;
}

} // namespace

ScaleError drawScaledPicture(QImage &surface, const QSize &area, const QImage &picture, ViewScaleMode mode)
{
    if (surface.format() != QImage::Format_RGB32)
        surface = surface.convertToFormat(QImage::Format_RGB32);
    if (picture.isNull()) {
        surface.fill(Qt::black);
        return ScaleError::None;
    }
    const qreal ratio = surface.devicePixelRatio();
    const ScaledPlacement place = placementIn(area, picture.size(), mode);
    const QRect r = deviceRect(place.pixels, ratio);
    if (!showsAnything(place, area) || r.isEmpty() || surface.size() != deviceSize(area, ratio)) {
        surface.fill(Qt::black);
        return place.error;
    }
    drawOnBlack(surface, r, [&](uchar *to, qsizetype stride, const QRect &clip) {
        return resampleInto(picture, r.size(), clip, to, stride);
    });
    return ScaleError::None;
}

QImage framedInArea(const QImage &picture, const DrawingArea &area, ViewScaleMode mode)
{
    const QSize size = deviceSize(area.size, area.pixelRatio);
    if (picture.isNull() || size.isEmpty())
        return picture;
    QImage framed = newSurface(area);
    if (!framed.isNull())
        (void)drawScaledPicture(framed, area.size, picture, mode);
    return framed;
}

bool drawnFromPlanes(const QSize &picture, const DrawingArea &area, ViewScaleMode mode)
{
    const QSize size = deviceSize(area.size, area.pixelRatio);
    if (picture.isEmpty() || size.isEmpty())
        return false;
    const ScaledPlacement place = placementIn(area.size, picture, mode);
    const QRect r = deviceRect(place.pixels, area.pixelRatio);
    // Nothing drawn leaves the surface black, which the planes do as well as a picture.
    return !showsAnything(place, area.size) || r.isEmpty()
        || (QRect(QPoint(0, 0), size).contains(r) && r.width() <= picture.width() && r.height() <= picture.height());
}

QImage framedInArea(const YuvPlanes &planes, const DrawingArea &area, ViewScaleMode mode)
{
    if (planes.isNull() || !drawnFromPlanes(planes.size, area, mode))
        return QImage();
    const ScaledPlacement place = placementIn(area.size, planes.size, mode);
    const QRect r = deviceRect(place.pixels, area.pixelRatio);
    const bool drawn = showsAnything(place, area.size) && !r.isEmpty();
    QImage framed = newSurface(area);
    if (framed.isNull())
        return framed;
    if (!drawn) {
        framed.fill(Qt::black);
        return framed;
    }
    drawOnBlack(framed, r, [&](uchar *to, qsizetype stride, const QRect &) { return planesInto(planes, r.size(), to, stride); });
    return framed;
}

QImage pictureFromPlanes(const YuvPlanes &planes, const QSize &size)
{
    QImage picture = newPicture(size, QImage::Format_RGB32);
    if (picture.isNull() || !planesInto(planes, size, picture.bits(), picture.bytesPerLine()))
        return QImage();
    return picture;
}

QImage resampledPicture(const QImage &picture, const QSize &size)
{
    if (picture.isNull() || size.isEmpty())
        return QImage();
    QImage out(size, QImage::Format_RGB32);
    if (out.isNull() || !resampleInto(picture, size, QRect(QPoint(0, 0), size), out.bits(), out.bytesPerLine()))
        return QImage();
    return out;
}

quint64 resamplingsOnThisThread()
{
    return t_resamplings;
}
