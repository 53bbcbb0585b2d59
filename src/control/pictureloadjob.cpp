#include "pictureloadjob.h"

#include "core/geometry/decodereduction.h"
#include "platform/scaleddrawing.h"
#include "platform/threadpriority.h"

namespace {

// The picture drawn into each area that has pixels; gives up (with what it has) once
// *cancel is set.
std::vector<PreparedSurface> preparedSurfaces(const QImage &picture, const QList<DrawingArea> &areas,
                                              ViewScaleMode mode, const std::atomic<bool> *cancel)
{
    std::vector<PreparedSurface> surfaces;
    for (const DrawingArea &area : areas) {
        if (cancel->load(std::memory_order_relaxed))
            break;
        QImage surface = framedInArea(picture, area, mode);
        if (surface.size() == deviceSize(area.size, area.pixelRatio) && !surface.isNull())
            surfaces.push_back(PreparedSurface{area, mode, std::move(surface)});
    }
    return surfaces;
}

} // namespace

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
        return decodeAs.isEmpty() ? decodePictureBytes(bytes, errorText, cancel, reduction)
                                  : loadPictureBytes(decodeAs, bytes, errorText, cancel, reduction);
    },
               areas, mode, std::move(letGo), finish);
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
        LoadedPicture result;
        Reduction reduction;
        reduction.rule = [&areas, mode](const QSize &fullSize) {
            return decode_reduction::factorFor(mode, fullSize, areas);
        };
        result.picture = load(result.errorText, cancelFlag.get(), &reduction);
        result.reduction = reduction.used;
        if (result.picture && !result.picture->isNull()) {
            if (finish == Finish::Placed && areas.size() == 1) {
                result.picture = framedInArea(*result.picture, areas.first(), mode);
                result.surfaces = {PreparedSurface{areas.first(), mode, *result.picture}};
            } else
                result.surfaces = preparedSurfaces(*result.picture, areas, mode, cancelFlag.get());
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
        result.errorText = cancelledLoadText();
    }
    report(result);
}

void PictureLoadJob::report(const LoadedPicture &result)
{
    m_reported = true;
    emit loaded(result);
}
