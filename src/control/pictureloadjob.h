#pragma once
// Picture loads for the cam refresh, on a worker thread and one at a time.
//
// startBytes() hands a picture's bytes to the worker and returns at once (startPlanes() a
// picture's planes, which only want drawing). The worker decodes
// them (a JPEG as much smaller than its full size as drawing it into the given areas allows,
// decode_reduction::factorFor), and then draws the picture into each of those areas' whole
// surfaces (framedInArea), so the window thread is left with showing them. loaded() comes back
// on the job's own thread exactly once per start: with the worker's result, or with no picture
// and cancelledLoadText() when the budget runs out first.
//
// Pictures handed over in letGo are dropped on the worker before it decodes, so the window
// thread does not wait for their memory to be freed and it is free before the new picture
// takes its own.
//
// cancel() gives the running load up: the decoder ends early (a JPEG decode from memory at the
// latest when its one call returns), and the result is no picture. isBusy() holds from the
// start until the worker has let go of the bytes, which for a load given up at the budget comes
// some time after loaded(); a second load is refused beside it. Destroying the job gives up a
// running load and waits for the worker to end. Jobs may share a pool of threads, so that
// many of them never decode on more threads at once than the pool has.
#include "core/geometry/scalegeometry.h"
#include "platform/picturedecoder.h"
#include "platform/scaleddrawing.h"

#include <QList>
#include <QObject>
#include <QSize>
#include <QSemaphore>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// An area's whole surface with the picture drawn in by a mode, made by the worker.
struct PreparedSurface
{
    DrawingArea area;
    ViewScaleMode mode = ViewScaleMode::ScaleInline;
    QImage surface; // framedInArea(picture, area, mode)
};

struct LoadedPicture
{
    Picture picture;
    QString errorText;
    // One for each area the load was started with that has pixels, in their order.
    std::vector<PreparedSurface> surfaces;
    int reduction = 1; // the picture is its full size divided by this
    QSize decodedSize; // what the decode made, the picture or the JPEG's planes
    // The surfaces were drawn from the JPEG's planes and the picture is only half their
    // source's size: it stands in for drawing by the views themselves until a decode is made
    // for their new sizes.
    bool standIn = false;
};

class PictureLoadJob : public QObject
{
    Q_OBJECT
public:
    // pool: the threads to decode on, shared with other jobs (the wall's tiles), which must
    // outlive the job; its decodes run in the background (runThisThreadInBackground), so
    // the window thread keeps the processor when it wants it. nullptr: a thread of the
    // job's own, at the program's priority.
    explicit PictureLoadJob(QObject *parent = nullptr, QThreadPool *pool = nullptr);
    ~PictureLoadJob() override;

    // A load still running after this long is given up; 0 or less: never.
    void setBudget(int ms);

    // Placed: the picture itself comes as the one area's whole surface, scaled to where it
    // lands and black round it (framedInArea), and is that area's prepared surface too, so
    // that the area shows it as it is, with no second copy.
    enum class Finish { Surfaces, Placed };
    // decodeAs: a file name whose route the bytes take as that file's would (loadPictureBytes);
    // empty: the main decoder's.
    bool startBytes(const QByteArray &bytes, const QList<DrawingArea> &areas, ViewScaleMode mode,
                    Finish finish = Finish::Surfaces, std::vector<QImage> letGo = {},
                    const QString &decodeAs = QString());
    // A picture decoded already, as planes (a video's frame): drawn into the areas the same way.
    bool startPlanes(YuvPlanes planes, const QList<DrawingArea> &areas, ViewScaleMode mode,
                     Finish finish = Finish::Surfaces);
    void cancel();
    bool isBusy() const { return m_busy; }

signals:
    void loaded(const LoadedPicture &result);

private:
    using Load =
        std::function<PictureOrPlanes(QString &errorText, const std::atomic<bool> *cancel, Reduction *reduction)>;
    bool run(Load load, const QList<DrawingArea> &areas, ViewScaleMode mode, std::vector<QImage> letGo,
             Finish finish = Finish::Surfaces);
    void workerDone(quint64 ticket, LoadedPicture result);
    void report(const LoadedPicture &result);

    QThreadPool m_pool;
    QThreadPool *m_sharedPool = nullptr;
    // Free while no worker of this job runs; a shared pool cannot be waited for job by job.
    std::shared_ptr<QSemaphore> m_workerIdle = std::make_shared<QSemaphore>(1);
    QTimer m_budget;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    quint64 m_ticket = 0;   // the load started last
    bool m_busy = false;
    bool m_reported = true; // loaded() has gone out for the load started last
};

// How the worker decodes a JPEG for these areas: as much smaller than its full size as they
// allow (decode_reduction::factorFor), to planes where some area is drawn from them.
Reduction decodeFor(const QList<DrawingArea> &areas, ViewScaleMode mode);

// What the worker makes of a load that gave a picture or planes (as decoded at this
// reduction): each area's whole surface with the picture drawn in (from the planes where they
// can be drawn so, else from the picture, converted from them once), and the picture the
// views keep (see LoadedPicture::standIn; Finish::Placed: the one area's surface). Stops
// making surfaces once *cancel is set.
LoadedPicture preparedForAreas(PictureOrPlanes loaded, QString errorText, int reduction,
                               const QList<DrawingArea> &areas, ViewScaleMode mode, PictureLoadJob::Finish finish,
                               const std::atomic<bool> *cancel);
