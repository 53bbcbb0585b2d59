#include "tilerefresh.h"

#include "control/camimagefetch.h"
#include "control/pictureloadjob.h"
#include "control/views.h"
#include "core/rules/countdown.h"
#include "core/rules/fetchrules.h"
#include "core/rules/retryrules.h"
#include "core/state/runningstate.h"
#include "platform/download.h"

#include <QDateTime>

#include <algorithm>
#include <limits>

TileRefresh::TileRefresh(RunningState &state, Downloader &downloader, TileView &view, const QString &camId,
                         const QString &pictureAddress, QThreadPool *decodePool, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_downloader(downloader)
    , m_view(view)
    , m_camId(camId)
    , m_address(pictureAddress)
    , m_maxBytes(PictureMaxBytes)
    , m_decode(new PictureLoadJob(this, decodePool))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TileRefresh::refreshDue);
}

TileRefresh::~TileRefresh()
{
    stop();
}

void TileRefresh::setDecodeBudget(int ms)
{
    m_decode->setBudget(ms);
}

void TileRefresh::setUnchangedThreshold(picture_freshness::UnchangedThreshold threshold)
{
    m_unchanged.setThreshold(threshold);
}

qint64 TileRefresh::nowMs() const
{
    return m_wallClock ? m_wallClock->nowMs() : QDateTime::currentMSecsSinceEpoch();
}

bool TileRefresh::isRunning() const
{
    return m_download || m_decode->isBusy();
}

void TileRefresh::start()
{
    m_stopped = false;
    refreshDue();
}

void TileRefresh::stop()
{
    m_stopped = true;
    m_due = false;
    m_frames.end();
    m_timer.stop();
    // Cut off first, so neither the download's end nor the decode's result comes back.
    if (m_download) {
        m_download->disconnect(this);
        m_download->cancel();
        m_download = nullptr;
    }
    disconnect(m_decodeDone);
    m_decode->cancel();
}

void TileRefresh::tileShown()
{
    if (m_stopped || !m_view.tileOnScreen())
        return;
    if (m_due) {
        refreshDue();
        return;
    }
    // A tile of another size gets the picture shown made anew from its bytes, without a
    // download; the refresh's own timing stays as it is.
    if (!isRunning() && !m_picture.isNull() && m_held.fingerprint == m_shown && !madeForTile()) {
        m_decoding = m_shown;
        m_redrawOnly = true;
        decode();
    }
}

// The interval box's seconds, at least one: a box of 0 refreshes once a second, as the
// heartbeat does.
int TileRefresh::intervalMs()
{
    const QString text = countdown::readInterval(m_state.refreshIntervalText, m_lastInterval);
    const int seconds = countdown::intervalSeconds(text).value_or(5);
    return int(std::clamp<qint64>(qint64(seconds) * 1000, 1000, std::numeric_limits<int>::max()));
}

void TileRefresh::refreshDue()
{
    if (m_stopped || isRunning())
        return;
    if (!m_view.tileOnScreen()) {
        // Looked at again when the tile is shown, and once a second meanwhile, for a window
        // uncovered without a word to the program.
        m_due = true;
        m_timer.start(1000);
        return;
    }
    m_due = false;
    DownloadRequest request{m_address, m_maxBytes};
    request.timeoutMs = m_timeoutMs;
    request.deadlineMs = PictureDeadlineMs;
    request.validators = m_held.validatorsFor(m_address);
    m_askedConditionally = !request.validators.isEmpty();
    request.live = true;
    m_download = m_downloader.start(request);
    connect(m_download, &DownloadHandler::finished, this, &TileRefresh::pictureDownloaded);
    connect(m_download, &DownloadHandler::partReceived, this, &TileRefresh::partReceived);
    // Not a failure: the note says so while it lasts, and the badge comes back after.
    connect(m_download, &DownloadHandler::waitingForConnection, this, [this](bool waiting) {
        m_view.showTileNote(waiting ? fetch_rules::WaitingForConnectionText : m_note);
    });
}

void TileRefresh::partReceived(const QByteArray &part)
{
    if (!m_frames.running())
        m_frames.begin(m_state.maxFramesPerSecond);
    // Dropped, never queued.
    if (m_decode->isBusy() || !m_view.tileOnScreen() || !m_frames.take())
        return;
    DownloadResult frame;
    frame.body = part;
    frame.httpStatus = 200;
    m_held = HeldAnswer::from(m_address, frame);
    m_decoding = m_held.fingerprint;
    if (m_decoding == m_shown && !m_picture.isNull() && madeForTile())
        succeeded(m_decoding, false);
    else
        decode();
}

bool TileRefresh::madeForTile() const
{
    return m_madeFor.size == m_view.tileAreaSize() && m_madeFor.pixelRatio == m_view.tileAreaPixelRatio();
}

// The held bytes decoded for the tile as it is now, scaled there to where they land.
bool TileRefresh::decode()
{
    m_madeFor = DrawingArea{m_view.tileAreaSize(), m_view.tileAreaPixelRatio()};
    if (!m_decode->startBytes(m_held.body, {m_madeFor}, ViewScaleMode::ScaleInline, PictureLoadJob::Finish::Placed))
        return false;
    m_decodeDone = connect(m_decode, &PictureLoadJob::loaded, this, &TileRefresh::pictureDecoded,
                           Qt::SingleShotConnection);
    return true;
}

void TileRefresh::pictureDownloaded(const DownloadResult &answer)
{
    m_download = nullptr;
    if (m_frames.running()) {
        m_frames.end();
        // The stream's last frame is of no more use.
        disconnect(m_decodeDone);
        m_decode->cancel();
        m_held = {};
        failed(answerFailure(answer));
        return;
    }
    const bool notModified = m_held.confirmedBy(answer, m_address, m_askedConditionally);
    // A 304 stands for the answer held, and fails as that one did.
    m_failure = notModified ? m_held.failure : answerFailure(answer);
    if (!notModified)
        m_held = HeldAnswer::from(m_address, answer);
    if (!notModified && m_held.body.isEmpty()) {
        failed(m_failure);
        return;
    }
    m_decoding = m_held.fingerprint;
    // The same bytes as shown need no decode, unless the tile has changed size since.
    if (m_decoding == m_shown && !m_picture.isNull() && madeForTile()) {
        succeeded(m_decoding);
        return;
    }
    if (m_decoding == m_undecodable) {
        failed(m_failure);
        return;
    }
    if (!decode())
        failed(m_failure);
}

void TileRefresh::pictureDecoded(const LoadedPicture &result)
{
    if (m_redrawOnly) {
        m_redrawOnly = false;
        // Should it fail, the picture drawn before stays.
        if (result.picture && !result.picture->isNull()) {
            m_picture = *result.picture;
            m_view.showTilePicture(m_picture);
        }
        // A refresh that fell due meanwhile runs now.
        if (!m_timer.isActive())
            refreshDue();
        return;
    }
    if (!result.picture || result.picture->isNull()) {
        // A frame that does not decode is passed over; the one shown stays until the next.
        if (m_frames.running())
            return;
        m_undecodable = m_decoding;
        failed(m_failure);
        return;
    }
    m_picture = *result.picture;
    m_view.showTilePicture(m_picture);
    m_shown = m_decoding;
    succeeded(m_shown, !m_frames.running());
}

void TileRefresh::succeeded(const picture_freshness::PictureFingerprint &picture, bool timeNext)
{
    const qint64 now = nowMs();
    m_unchanged.pictureShown(m_camId, picture, now);
    const std::optional<qint64> since = m_unchanged.unchangedSince(m_camId, now);
    m_state.camHealth[m_camId].pictureShown(since);
    m_view.showTileFailure(QString());
    m_note = since ? picture_freshness::unchangedNote(*since) : QString();
    m_view.showTileNote(m_note);
    if (!timeNext)
        return;
    m_timer.start(retry_rules::nextTryMs(intervalMs(), 0));
    emit refreshEnded(true);
}

void TileRefresh::failed(const QString &reason)
{
    CamHealth &health = m_state.camHealth[m_camId];
    health.refreshFailed(nowMs());
    const int wait = retry_rules::nextTryMs(intervalMs(), health.failuresInARow);
    m_picture = QImage();
    m_shown = {};
    m_view.showTilePicture(QImage());
    m_note.clear();
    m_view.showTileNote(m_note);
    m_view.showTileFailure(retry_rules::withNextTry(reason, wait));
    m_timer.start(wait);
    emit refreshEnded(false);
}
