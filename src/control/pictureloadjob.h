#pragma once
// Picture loads for the cam refresh, on a worker thread and one at a time.
//
// start() hands a picture file to the worker and returns at once. The worker runs
// loadPictureFile, a JPEG decoded as much smaller than its full size as drawing it into the
// given areas allows (decode_reduction::factorFor), and then draws it into each of those
// areas' whole surfaces (framedInArea), so the window thread is left with showing them;
// given the bytes just written to the file as well, it loads them in its place
// (loadPictureBytes). startBytes() does the same for a picture file's bytes held in memory,
// with the main decoder. loaded() comes
// back on the job's own thread exactly once per start(): with the worker's result, or with
// no picture and cancelledLoadText() when the budget runs out first.
//
// Pictures handed to start() in letGo are dropped on the worker before it decodes, so the
// window thread does not wait for their memory to be freed and it is free before the new
// picture takes its own.
//
// cancel() gives the running load up: its file reads fail from then on, so the decoder
// ends early (a JPEG decode from memory at the latest when its one call returns), and
// the result is no picture. isBusy() holds from start() until the worker
// has let go of the file, which for a load given up at the budget comes some time after
// loaded(); start() refuses to run a second load beside it. Destroying the job gives up a
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

    bool start(const QString &fileName, const QList<DrawingArea> &areas, ViewScaleMode mode,
               std::vector<QImage> letGo = {});
    // The same for a file just written with these bytes, loaded from the bytes
    // (loadPictureBytes): the name decides as the file's would, no file is read back.
    bool start(const QString &fileName, const QByteArray &written, const QList<DrawingArea> &areas,
               ViewScaleMode mode, std::vector<QImage> letGo = {});
    // Placed: the picture itself comes as the one area's whole surface, scaled to where it
    // lands and black round it (framedInArea), so that the area can show it as it is; no
    // surfaces beside it then.
    enum class Finish { Surfaces, Placed };
    bool startBytes(const QByteArray &bytes, const QList<DrawingArea> &areas, ViewScaleMode mode,
                    Finish finish = Finish::Surfaces);
    void cancel();
    bool isBusy() const { return m_busy; }

signals:
    void loaded(const LoadedPicture &result);

private:
    using Load = std::function<Picture(QString &errorText, const std::atomic<bool> *cancel, Reduction *reduction)>;
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
