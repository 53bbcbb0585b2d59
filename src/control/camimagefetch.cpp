#include "camimagefetch.h"

#include "control/heldanswer.h"
#include "control/pictureloadjob.h"
#include "control/views.h"
#include "core/catalogue/camrecord.h"
#include "core/files/workingfiles.h"
#include "core/geometry/decodereduction.h"
#include "core/rules/countdown.h"
#include "core/rules/fetchrules.h"
#include "core/rules/heartbeatrules.h"
#include "core/rules/pictureextension.h"
#include "core/rules/retryrules.h"
#include "core/state/runningstate.h"
#include "platform/download.h"
#include "platform/picturedecoder.h"

#include <QDateTime>

#include <algorithm>

#include <utility>

CamImageFetch::CamImageFetch(RunningState &state, TransferView &transferView, Downloader &downloader, WorkingFolder workFolder,
                             int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_transferView(transferView)
    , m_downloader(downloader)
    , m_workFolder(std::move(workFolder))
    , m_timeoutMs(timeoutMs)
    , m_pictureLoad(new PictureLoadJob(this))
    , m_redecode(new PictureLoadJob(this))
    , m_frameLoad(new PictureLoadJob(this))
{
}

bool CamImageFetch::isRunning() const
{
    return m_step != Step::Idle || m_pictureLoad->isBusy();
}

void CamImageFetch::setDecodeBudget(int ms)
{
    for (PictureLoadJob *job : {m_pictureLoad, m_redecode, m_frameLoad})
        job->setBudget(ms);
}

void CamImageFetch::abandon()
{
    // The areas are cleared for the new cam, so no held picture is on show any more.
    m_heldShown = false;
    stopStream();
    stopRedecode();
    m_keptBytes.clear();
    m_shownBytes.clear();
    m_shownAddress.clear();
    if (m_step == Step::Idle)
        return;
    // Cut off before cancelling, so neither the download's end nor the decode's result
    // reaches this object again.
    if (m_download) {
        m_download->disconnect(this);
        m_download->cancel();
        m_download = nullptr;
    }
    if (m_step == Step::Decode) {
        disconnect(m_decodeDone);
        m_pictureLoad->cancel();
    }
    m_commentsOnly = false;
    endRefresh();
}

void CamImageFetch::setUnchangedThreshold(picture_freshness::UnchangedThreshold threshold)
{
    m_unchangedPictures.setThreshold(threshold);
}

qint64 CamImageFetch::nowMs() const
{
    return m_wallClock ? m_wallClock->nowMs() : QDateTime::currentMSecsSinceEpoch();
}

void CamImageFetch::countShownPicture(const picture_freshness::PictureFingerprint &picture)
{
    const QString camId = CamRecord::field(m_state.currentCamFields, CamRecord::CamId);
    const qint64 now = nowMs();
    m_unchangedPictures.pictureShown(camId, picture, now);
    showFailureReason(QString());
    const std::optional<qint64> since = m_unchangedPictures.unchangedSince(camId, now);
    showUnchangedNote(since ? picture_freshness::unchangedNote(*since) : QString());
    m_state.camHealth[camId].pictureShown(since);
}

QString CamImageFetch::refreshFailed(const QString &reason)
{
    const qint64 now = nowMs();
    CamHealth &health = m_state.camHealth[CamRecord::field(m_state.currentCamFields, CamRecord::CamId)];
    health.refreshFailed(now);
    const int interval =
        countdown::intervalSeconds(countdown::readInterval(m_state.refreshIntervalText, m_state.lastRefreshInterval))
            .value_or(0);
    const heartbeat::RetryStep retry = heartbeat::retryAfterFailure(interval, health.failuresInARow);
    m_state.refreshCountdown = retry.countdown;
    return retry_rules::withNextTry(reason, retry.waitMs);
}

picture_freshness::PictureFingerprint CamImageFetch::shownFingerprint() const
{
    const QString camId = CamRecord::field(m_state.currentCamFields, CamRecord::CamId);
    return m_unchangedPictures.lastShown(camId).value_or(picture_freshness::PictureFingerprint());
}

void CamImageFetch::takeDownNotes()
{
    showFailureReason(QString());
    showUnchangedNote(QString());
}

// The views hear of a note only when it changes.
void CamImageFetch::showFailureReason(const QString &reason)
{
    if (reason == m_failureShown)
        return;
    m_failureShown = reason;
    for (PictureView *view : m_pictureViews)
        view->showFailureReason(reason);
}

void CamImageFetch::showUnchangedNote(const QString &note)
{
    if (note == m_noteShown)
        return;
    m_noteShown = note;
    for (UnchangedNoteView *view : m_noteViews)
        view->showUnchangedNote(note);
}

void CamImageFetch::transferStateChanged(int code)
{
    m_transferView.showTransferState(fetch_rules::stateBullets(code));
}

void CamImageFetch::writeFile(const QString &name, const QByteArray &bytes, bool *ok) const
{
    *ok = m_workFolder.write(name, bytes);
}

void CamImageFetch::download(DownloadRequest request, void (CamImageFetch::*next)(const DownloadResult &),
                             bool showState)
{
    request.timeoutMs = m_timeoutMs;
    m_download = m_downloader.start(request);
    if (showState)
        connect(m_download, &DownloadHandler::stateChanged, this, &CamImageFetch::transferStateChanged);
    connect(m_download, &DownloadHandler::finished, this, next);
}

void CamImageFetch::downloadComments(bool showState)
{
    m_step = Step::Comments;
    const QString camId = CamRecord::field(m_state.currentCamFields, CamRecord::CamId);
    DownloadRequest comments{fetch_rules::commentsAddress(m_state.serverUrl, camId), CatalogueMaxBytes};
    comments.compressed = true;
    download(comments, &CamImageFetch::commentsDownloaded, showState);
}

void CamImageFetch::fetchCamImage()
{
    if (isRunning())
        return; // one refresh at a time; the one running will re-enable the heartbeat
    if (m_stream) {
        // The picture comes by itself; what is not live is fetched anew.
        m_state.emptyCommentTable();
        m_commentsOnly = true;
        downloadComments(false);
        return;
    }
    // The new picture makes a larger one of the old needless.
    stopRedecode();

    // No comments until this cam's have arrived; nothing else may be transferring.
    m_state.emptyCommentTable();
    m_downloader.cancel();

    const QString address = m_state.pictureAddress;
    m_address = address;
    m_sameAsShown = false;
    m_extension = picture_extension::ImageExtension(address);
    // Only an answer still held can be confirmed by a 304.
    const PictureValidators validators = m_held.validatorsFor(address);
    m_askedConditionally = !validators.isEmpty();
    // A monotonic clock, so a transfer across midnight is not negative.
    m_clock.start();
    m_step = Step::Picture;
    DownloadRequest picture{address, PictureMaxBytes};
    picture.validators = validators;
    picture.live = true;
    picture.deadlineMs = PictureDeadlineMs;
    download(picture, &CamImageFetch::pictureDownloaded);
    connect(m_download, &DownloadHandler::partReceived, this, &CamImageFetch::partReceived);
    // The wait for a connection is no part of the transfer's time.
    connect(m_download, &DownloadHandler::waitingForConnection, this, [this](bool waiting) {
        if (waiting)
            m_transferView.showTransferStatistics(fetch_rules::WaitingForConnectionText);
        else
            m_clock.start();
    });
}

void CamImageFetch::showStatistics(qint64 bytes)
{
    if (const auto text = fetch_rules::transferStatusText(bytes, transferSeconds))
        m_transferView.showTransferStatistics(*text);
}

void CamImageFetch::pictureDownloaded(const DownloadResult &picture)
{
    m_download = nullptr;
    transferSeconds = float(m_clock.nsecsElapsed() / 1e9);
    const bool notModified = m_held.confirmedBy(picture, m_address, m_askedConditionally);
    // A 304 stands for the answer held, and fails as that one did: not as a status of its own.
    m_failure = notModified ? m_held.failure : answerFailure(picture);
    const QByteArray body = notModified ? m_held.body : picture.body;
    // A 304 stands for the bytes held, and counts as them.
    m_pictureBody = notModified ? m_held.fingerprint : picture_freshness::fingerprint(body);
    const bool fullAnswer = picture.ok() && picture.httpStatus == 200;
    m_sameAsShown = (notModified || fullAnswer) && m_heldShown && m_held.address == m_address && body == m_held.body
        && !m_picture.isNull();
    const QString camId = CamRecord::field(m_state.currentCamFields, CamRecord::CamId);
    m_knownUndecodable = !m_sameAsShown && m_undecodable.value(camId) == m_pictureBody;
    if (!notModified) {
        m_held = HeldAnswer::from(m_address, picture);
        m_heldShown = m_heldShown && m_sameAsShown;
    }
    if (notModified || fullAnswer)
        emit pictureBytesReceived(body);

    m_pictureWritten = false;
    if (m_sameAsShown || m_knownUndecodable) {
        // Nothing to write or decode; a 304's own few bytes are what went over the wire.
        showStatistics(notModified ? picture.receivedBytes : body.size());
    } else {
        // One fallback name; a second failure gives up on the file for this run.
        bool written = false;
        writeFile(working_files::pictureFile(m_extension), body, &written);
        if (!written) {
            m_extension = picture_extension::Fallback;
            writeFile(working_files::pictureFile(m_extension), body, &written);
        }
        m_pictureWritten = written;
        m_refreshBytes = written ? body : QByteArray();
        // The statistics give what was written, as it lies on disk.
        if (written)
            showStatistics(m_workFolder.fileSize(working_files::pictureFile(m_extension)).value_or(0));
    }

    downloadComments(true);
}

void CamImageFetch::commentsDownloaded(const DownloadResult &comments)
{
    m_download = nullptr;
    // A failed comments download leaves the cam without comments.
    if (comments.ok()) {
        bool written = false;
        writeFile(working_files::TextFile, comments.body, &written);
        if (written) {
            if (const auto text = m_workFolder.read(working_files::TextFile, CatalogueMaxBytes))
                m_state.commentTable = fetch_rules::buildCommentTable(*text);
        }
    }
    if (std::exchange(m_commentsOnly, false))
        endRefresh();
    else
        startDecode();
}

// The picture is decoded off the window thread; pictureLoaded() ends the refresh.
void CamImageFetch::startDecode()
{
    if (m_sameAsShown) {
        m_transferView.clearTransferState();
        countShownPicture(m_pictureBody);
        endRefresh();
        return;
    }
    if (m_knownUndecodable) {
        // Already black with its reason: only the bullets go.
        if (m_picture.isNull()) {
            m_transferView.clearTransferState();
            showFailureReason(refreshFailed(m_failure));
            endRefresh();
        } else {
            pictureLoaded(LoadedPicture());
        }
        return;
    }
    // A picture near the size limit goes before the next is decoded, so two of them
    // never take memory at once; the areas keep showing it meanwhile.
    std::vector<QImage> letGo;
    if (m_picture.sizeInBytes() > LargePictureBytes) {
        letGo.push_back(std::exchange(m_picture, QImage()));
        for (PictureView *view : m_pictureViews)
            view->setPicture(QImage());
    }
    const QList<DrawingArea> areas = areasDrawnAtOnce();
    const QString file = m_workFolder.descriptorPath(working_files::pictureFile(m_extension));
    // The file written holds the bytes in memory, which are decoded without reading it back;
    // where it could not be written, loading the file that is not there tells why.
    const bool started = m_pictureWritten
        ? m_pictureLoad->start(file, m_refreshBytes, areas, m_state.scaleMode, std::move(letGo))
        : m_pictureLoad->start(file, areas, m_state.scaleMode, std::move(letGo));
    if (started) {
        // The job reports from the event loop only, never from within start().
        m_step = Step::Decode;
        m_decodeDone = connect(m_pictureLoad, &PictureLoadJob::loaded, this, &CamImageFetch::pictureLoaded,
                               Qt::SingleShotConnection);
        return;
    }
    endRefresh();
}

void CamImageFetch::pictureLoaded(const LoadedPicture &result)
{
    m_picture = result.picture.value_or(QImage());
    // Only a picture decoded smaller may be needed again at another size.
    m_reduction = m_picture.isNull() ? 1 : result.reduction;
    m_keptBytes = m_reduction > 1 ? m_refreshBytes : QByteArray();
    m_shownBytes = m_picture.isNull() ? QByteArray() : m_refreshBytes;
    m_shownAddress = m_picture.isNull() ? QString() : m_address;
    m_heldShown = !m_picture.isNull() && m_held.address == m_address;
    showPicture(result.surfaces);
    if (m_picture.isNull()) {
        // Only a decode of the bytes themselves failed them, not a file that could not be written.
        if (m_pictureWritten)
            m_undecodable.insert(CamRecord::field(m_state.currentCamFields, CamRecord::CamId), m_pictureBody);
        showUnchangedNote(QString());
        showFailureReason(refreshFailed(m_failure));
    } else {
        countShownPicture(m_pictureBody);
    }
    endRefresh();
    // An area may have changed while the picture was decoding.
    pictureAreasChanged();
}

void CamImageFetch::endRefresh()
{
    m_workFolder.remove(working_files::pictureFile(m_extension));
    m_workFolder.remove(working_files::TextFile);
    m_refreshBytes.clear();
    m_step = Step::Idle;
    emit refreshEnded();
}

QList<DrawingArea> CamImageFetch::areasDrawnAtOnce() const
{
    QList<DrawingArea> areas;
    for (const PictureView *view : m_pictureViews) {
        if (view->drawsPictureAtOnce())
            areas.append(DrawingArea{view->pictureAreaSize(), view->pictureAreaPixelRatio()});
    }
    return areas;
}

void CamImageFetch::pictureAreasChanged()
{
    // A refresh under way decodes for the areas as they are when its decode starts, and
    // looks again when it ends; a decode from the bytes under way looks again when done.
    if (m_step != Step::Idle || m_keptBytes.isEmpty() || m_picture.isNull() || m_redecode->isBusy())
        return;
    const QList<DrawingArea> areas = areasDrawnAtOnce();
    if (decode_reduction::enoughFor(m_state.scaleMode, m_picture.size() * m_reduction, m_picture.size(), areas))
        return;
    if (m_redecode->startBytes(m_keptBytes, areas, m_state.scaleMode))
        m_redecodeDone = connect(m_redecode, &PictureLoadJob::loaded, this, &CamImageFetch::redecoded,
                                 Qt::SingleShotConnection);
}

void CamImageFetch::redecoded(const LoadedPicture &result)
{
    if (!result.picture || result.picture->isNull()) {
        // The bytes decoded once; whatever failed now would fail again.
        m_keptBytes.clear();
        return;
    }
    m_picture = *result.picture;
    m_reduction = result.reduction;
    if (m_reduction == 1)
        m_keptBytes.clear();
    showPicture(result.surfaces);
    pictureAreasChanged();
}

void CamImageFetch::showPicture(std::vector<PreparedSurface> surfaces)
{
    for (PictureView *view : m_pictureViews)
        view->setPicture(m_picture);
    // A surface made for an area is shown only while the area and the mode are still those
    // it was made for; each is handed on once, so no other copy of it is left to make the
    // view's next drawing on it copy it first.
    for (PictureView *view : m_pictureViews) {
        const DrawingArea now{view->pictureAreaSize(), view->pictureAreaPixelRatio()};
        const auto fits = [&](const PreparedSurface &s) {
            return !s.surface.isNull() && s.mode == m_state.scaleMode && s.area.size == now.size
                && s.area.pixelRatio == now.pixelRatio;
        };
        const auto prepared = std::find_if(surfaces.begin(), surfaces.end(), fits);
        if (m_picture.isNull() || !view->drawsPictureAtOnce() || prepared == surfaces.end())
            view->drawPicture();
        else
            view->showPreparedPicture(std::exchange(prepared->surface, QImage()));
    }
}

void CamImageFetch::partReceived(const QByteArray &part, qint64 receivedBytes)
{
    m_streamBytes = receivedBytes;
    if (!m_stream) {
        // The first part is this refresh's picture; the answer goes on as a stream.
        m_stream = std::exchange(m_download, nullptr);
        m_stream->disconnect(this);
        connect(m_stream, &DownloadHandler::partReceived, this, &CamImageFetch::partReceived);
        connect(m_stream, &DownloadHandler::finished, this, &CamImageFetch::streamEnded);
        m_frames.begin(m_state.maxFramesPerSecond);
        m_rates.reset();
        frameShown({}); // the figures' first window starts
        m_frames.take();
        DownloadResult first;
        first.body = part;
        first.httpStatus = 200;
        first.receivedBytes = receivedBytes;
        pictureDownloaded(first);
        return;
    }
    // Dropped, never queued: while the refresh that took the first part runs, while a frame
    // decodes, and before the frame's slot has come.
    if ((m_step != Step::Idle && !m_commentsOnly) || m_frameLoad->isBusy() || !m_frames.take())
        return;
    if (part == m_shownBytes) {
        frameShown(shownFingerprint());
        return;
    }
    // No window shows it now: the frame after the next showing will.
    const QList<DrawingArea> areas = areasDrawnAtOnce();
    if (areas.isEmpty() || !m_frameLoad->startBytes(part, areas, m_state.scaleMode))
        return;
    m_frameBytes = part;
    m_frameDone = connect(m_frameLoad, &PictureLoadJob::loaded, this, &CamImageFetch::frameLoaded,
                          Qt::SingleShotConnection);
}

void CamImageFetch::frameLoaded(const LoadedPicture &result)
{
    // A frame that does not decode is passed over; the one shown stays until the next.
    if (!result.picture || result.picture->isNull())
        return;
    stopRedecode();
    m_picture = *result.picture;
    m_reduction = result.reduction;
    m_keptBytes = m_reduction > 1 ? m_frameBytes : QByteArray();
    m_shownBytes = std::exchange(m_frameBytes, QByteArray());
    m_shownAddress = m_address;
    m_heldShown = false;
    showPicture(result.surfaces);
    frameShown(picture_freshness::fingerprint(m_shownBytes));
}

// A frame is on show; an empty fingerprint only starts the figures' count.
void CamImageFetch::frameShown(const picture_freshness::PictureFingerprint &picture)
{
    ++m_framesShown;
    if (picture.size >= 0)
        countShownPicture(picture);
    if (const auto rates = m_rates.frameShown(m_frames.elapsedMs(), m_streamBytes))
        m_transferView.showTransferStatistics(fetch_rules::liveStatusText(rates->framesPerSecond, rates->bytesPerSecond));
}

void CamImageFetch::streamEnded(const DownloadResult &result)
{
    m_stream = nullptr;
    stopStream();
    stopRedecode();
    m_picture = QImage();
    m_reduction = 1;
    m_keptBytes.clear();
    m_shownBytes.clear();
    m_shownAddress.clear();
    m_heldShown = false;
    showPicture({});
    showUnchangedNote(QString());
    showFailureReason(refreshFailed(answerFailure(result)));
}

void CamImageFetch::stopStream()
{
    if (m_stream) {
        m_stream->disconnect(this);
        m_stream->cancel();
        m_stream = nullptr;
    }
    disconnect(m_frameDone);
    m_frameLoad->cancel();
    m_frameBytes.clear();
    m_frames.end();
}

void CamImageFetch::stopRedecode()
{
    disconnect(m_redecodeDone);
    m_redecode->cancel();
}
