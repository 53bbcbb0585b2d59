#include "pictureloadjob.h"

#include "core/geometry/decodereduction.h"
#include "platform/scaleddrawing.h"
#include "platform/threadpriority.h"

#include <algorithm>

Reduction decodeFor(const QList<DrawingArea> &areas, ViewScaleMode mode)
{
    Reduction reduction;
    reduction.rule = [areas, mode](const QSize &fullSize) {
        return decode_reduction::factorFor(mode, fullSize, areas);
    };
    // Planes only where some area is drawn from them; an enlargement everywhere is drawn from
    // a picture, which the JPEG library decodes faster itself.
    reduction.planesWanted = [areas, mode](const QSize &decoded) {
        return std::any_of(areas.begin(), areas.end(),
                           [&](const DrawingArea &area) { return drawnFromPlanes(decoded, area, mode); });
    };
    return reduction;
}

LoadedPicture preparedForAreas(PictureOrPlanes loaded, QString errorText, int reduction,
                               const QList<DrawingArea> &areas, ViewScaleMode mode, PictureLoadJob::Finish finish,
                               const std::atomic<bool> *cancel)
{
    LoadedPicture result;
    result.errorText = std::move(errorText);
    result.reduction = reduction;
    const YuvPlanes &planes = loaded.planes;
    result.decodedSize = planes.isNull() ? loaded.picture.value_or(QImage()).size() : planes.size;
    // The planes as a picture, made once where some area needs it.
    QImage rgb = loaded.picture.value_or(QImage());
    const auto picture = [&]() -> const QImage & {
        if (rgb.isNull() && !planes.isNull())
            rgb = pictureFromPlanes(planes, planes.size);
        return rgb;
    };
    for (const DrawingArea &area : areas) {
        if (cancel->load(std::memory_order_relaxed))
            break;
        QImage surface = framedInArea(planes, area, mode);
        if (surface.isNull() && !picture().isNull())
            surface = framedInArea(rgb, area, mode);
        if (surface.size() == deviceSize(area.size, area.pixelRatio) && !surface.isNull())
            result.surfaces.push_back(PreparedSurface{area, mode, std::move(surface)});
    }
    if (finish == PictureLoadJob::Finish::Placed && areas.size() == 1) {
        // The surface is the picture; an area without pixels has none, and gets the picture.
        if (result.surfaces.empty())
            result.picture = pictureFromPixels(picture());
        else
            result.picture = result.surfaces.front().surface;
        return result;
    }
    if (!rgb.isNull() || planes.isNull()) {
        result.picture = pictureFromPixels(rgb);
        return result;
    }
    // Every surface came from the planes: the views keep a picture of half the size for
    // drawing by themselves until the next decode is made for them.
    result.picture = pictureFromPixels(
        pictureFromPlanes(planes, QSize((planes.size.width() + 1) / 2, (planes.size.height() + 1) / 2)));
    result.reduction = reduction * 2;
    result.standIn = true;
    return result;
}

PictureLoadJob::PictureLoadJob(QObject *parent, QThreadPool *pool)
    : QObject(parent)
    , m_sharedPool(pool)
{
    m_pool.setMaxThreadCount(1);
    m_budget.setSingleShot(true);
    m_budget.setInterval(10000);
    connect(&m_budget, &QTimer::timeout, this, [this] {
        cancel();
        LoadedPicture givenUp;
        givenUp.errorText = cancelledLoadText();
        report(givenUp);
    });
}

PictureLoadJob::~PictureLoadJob()
{
    cancel();
    // Before the object goes: a worker still running posts its result to it.
    m_workerIdle->acquire();
    m_workerIdle->release();
    m_pool.waitForDone();
}

void PictureLoadJob::setBudget(int ms)
{
    m_budget.setInterval(ms);
}

bool PictureLoadJob::startBytes(const QByteArray &bytes, const QList<DrawingArea> &areas, ViewScaleMode mode,
                                Finish finish, std::vector<QImage> letGo, const QString &decodeAs)
{
    return run([bytes, decodeAs](QString &errorText, const std::atomic<bool> *cancel, Reduction *reduction) {
        return loadPictureOrPlanes(decodeAs, bytes, errorText, cancel, reduction);
    },
               areas, mode, std::move(letGo), finish);
}

bool PictureLoadJob::startPlanes(YuvPlanes planes, const QList<DrawingArea> &areas, ViewScaleMode mode,
                                 Finish finish)
{
    return run([planes = std::move(planes)](QString &, const std::atomic<bool> *, Reduction *) {
        return PictureOrPlanes{std::nullopt, planes};
    },
               areas, mode, {}, finish);
}

bool PictureLoadJob::run(Load load, const QList<DrawingArea> &areas, ViewScaleMode mode, std::vector<QImage> letGo,
                         Finish finish)
{
    if (m_busy)
        return false;
    m_busy = true;
    m_reported = false;
    const quint64 ticket = ++m_ticket;
    const auto cancelFlag = std::make_shared<std::atomic<bool>>(false);
    m_cancel = cancelFlag;
    const auto dropped = std::make_shared<std::vector<QImage>>(std::move(letGo));
    // A worker that has posted its result may not have let go yet; that takes no time.
    m_workerIdle->acquire();
    QThreadPool &pool = m_sharedPool ? *m_sharedPool : m_pool;
    const bool background = m_sharedPool != nullptr;
    pool.start([this, ticket, cancelFlag, dropped, load = std::move(load), areas, mode, finish, idle = m_workerIdle,
                background] {
        if (background)
            runThisThreadInBackground();
        dropped->clear();
        Reduction reduction = decodeFor(areas, mode);
        QString errorText;
        PictureOrPlanes loaded = load(errorText, cancelFlag.get(), &reduction);
        LoadedPicture result;
        if (!loaded.planes.isNull() || (loaded.picture && !loaded.picture->isNull()))
            result = preparedForAreas(std::move(loaded), std::move(errorText), reduction.used, areas, mode, finish,
                                      cancelFlag.get());
        else {
            result.picture = std::move(loaded.picture);
            result.errorText = std::move(errorText);
            result.reduction = reduction.used;
        }
        QMetaObject::invokeMethod(
            this, [this, ticket, r = std::move(result)]() mutable { workerDone(ticket, std::move(r)); },
            Qt::QueuedConnection);
        idle->release();
    });
    if (m_budget.interval() > 0)
        m_budget.start();
    return true;
}

void PictureLoadJob::cancel()
{
    if (m_busy && m_cancel)
        m_cancel->store(true);
}

void PictureLoadJob::workerDone(quint64 ticket, LoadedPicture result)
{
    if (ticket != m_ticket)
        return;
    m_busy = false;
    if (m_reported)
        return; // given up at the budget, and told so then
    m_budget.stop();
    if (m_cancel && m_cancel->load()) {
        // Whatever the worker got done before it noticed is not the whole picture.
        result.picture.reset();
        result.surfaces.clear();
        result.reduction = 1;
        result.standIn = false;
        result.errorText = cancelledLoadText();
    }
    report(result);
}

void PictureLoadJob::report(const LoadedPicture &result)
{
    m_reported = true;
    emit loaded(result);
}
