#include "camfeed.h"

#include "control/hlsstream.h"
#include "control/rtspstream.h"
#include "control/pictureloadjob.h"
#include "control/views.h"
#include "core/geometry/decodereduction.h"
#include "core/files/workingfiles.h"
#include "core/rules/countdown.h"
#include "core/rules/pictureextension.h"
#include "core/rules/retryrules.h"
#include "core/state/runningstate.h"
#include "platform/download.h"

#include <QDateTime>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// The largest of the areas in device pixels: what a video's size is chosen for.
QSize largestAreaPixels(const QList<DrawingArea> &areas)
{
    QSize largest(0, 0);
    for (const DrawingArea &area : areas) {
        const QSize size = deviceSize(area.size, area.pixelRatio);
        if (qint64(size.width()) * size.height() > qint64(largest.width()) * largest.height())
            largest = size;
    }
    return largest;
}

} // namespace

CamFeed::CamFeed(RunningState &state, Downloader &downloader, QThreadPool *decodePool, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_downloader(downloader)
    , m_maxBytes(PictureMaxBytes)
{
    for (Decode *d : {&m_pictureDecode, &m_frameDecode, &m_redecode})
        d->job = new PictureLoadJob(this, decodePool);
    m_recyclingIdle.setSingleShot(true);
    m_recyclingIdle.setInterval(RecyclingIdleMs);
    connect(&m_recyclingIdle, &QTimer::timeout, this, &CamFeed::stopRecycling);
}

void CamFeed::setKeyFramesOnly(bool keyFramesOnly)
{
    m_keyFramesOnly = keyFramesOnly;
    if (m_video)
        m_video->setKeyFramesOnly(keyFramesOnly);
}

CamFeed::~CamFeed()
{
    stop();
}

void CamFeed::setDecodeBudget(int ms)
{
    for (Decode *d : {&m_pictureDecode, &m_frameDecode, &m_redecode})
        d->job->setBudget(ms);
}

void CamFeed::setUnchangedThreshold(picture_freshness::UnchangedThreshold threshold)
{
    m_unchanged.setThreshold(threshold);
}

qint64 CamFeed::nowMs() const
{
    return m_wallClock ? m_wallClock->nowMs() : QDateTime::currentMSecsSinceEpoch();
}

void CamFeed::setCam(const QString &camId, const QString &pictureAddress)
{
    if (camId != m_camId || pictureAddress != m_address) {
        forgetPicture();
        stopRecycling();
    }
    m_camId = camId;
    m_address = pictureAddress;
}

bool CamFeed::isRunning() const
{
    return m_download || m_pictureDecode.job->isBusy() || (m_video && !m_videoShown);
}

bool CamFeed::anyViewOnScreen() const
{
    return std::any_of(m_views.begin(), m_views.end(), [](const PictureView *view) { return view->pictureOnScreen(); });
}

int CamFeed::intervalMs() const
{
    const QString text = m_state.switches.refreshIntervalNow();
    const qint64 ms = qint64(countdown::intervalSeconds(text).value_or(0)) * 1000;
    return int(std::clamp<qint64>(ms, m_shortestIntervalMs, std::numeric_limits<int>::max()));
}

ViewScaleMode CamFeed::scaleMode() const
{
    return m_placedMode.value_or(m_state.switches.scaleMode());
}

bool CamFeed::refresh()
{
    if (isRunning() || m_stream || m_video)
        return false;
    // The new picture makes a larger one of the old needless.
    cancel(m_redecode);
    // Memory of pictures for other sizes is of no use to the ones coming.
    const QList<DrawingArea> areas = decodeAreas();
    if (areas != m_recycledFor)
        m_recycling.reset();
    m_recycledFor = areas;
    if (!m_recycling)
        m_recycling.emplace();
    m_recyclingIdle.start();
    if (HlsStream::isPlaylistAddress(m_address) || VideoStream::isRtspAddress(m_address)) {
        startVideo(nullptr);
        return true;
    }
    DownloadRequest request{m_address, m_maxBytes};
    request.timeoutMs = m_timeoutMs;
    request.deadlineMs = PictureDeadlineMs;
    // Only an answer still held can be confirmed by a 304.
    request.validators = m_held.validatorsFor(m_address);
    m_askedConditionally = !request.validators.isEmpty();
    request.live = true;
    m_download = m_downloader.start(request);
    connect(m_download, &DownloadHandler::finished, this, &CamFeed::answered);
    connect(m_download, &DownloadHandler::partReceived, this, &CamFeed::partReceived);
    connect(m_download, &DownloadHandler::stateChanged, this, &CamFeed::transferStateChanged);
    connect(m_download, &DownloadHandler::waitingForConnection, this, &CamFeed::waitingForConnection);
    return true;
}

void CamFeed::stop()
{
    // Cut off before cancelling, so neither a download's end nor a decode's result comes back.
    for (QPointer<DownloadHandler> *download : {&m_download, &m_stream}) {
        if (*download) {
            (*download)->disconnect(this);
            (*download)->cancel();
            *download = nullptr;
        }
    }
    stopVideo();
    m_frames.end();
    for (Decode *d : {&m_pictureDecode, &m_frameDecode, &m_redecode})
        cancel(*d);
}

void CamFeed::cancel(Decode &decode)
{
    disconnect(decode.done);
    decode.job->cancel();
    decode.bytes.clear();
}

void CamFeed::forgetPicture()
{
    stop();
    // Not in stop(): the views may be gone by the feed's own end.
    showStreamFormat(QString());
    m_picture = QImage();
    m_reduction = 1;
    m_shownBytes.clear();
    m_shownAddress.clear();
    m_keptBytes.clear();
    m_madeFor.clear();
}

void CamFeed::answered(const DownloadResult &answer)
{
    m_download = nullptr;
    // A playlist where a picture was asked for: the cam is a video.
    if (answer.ok() && answer.httpStatus == 200 && HlsStream::isPlaylistType(answer.contentType)) {
        startVideo(&answer);
        return;
    }
    const bool notModified = m_held.confirmedBy(answer, m_address, m_askedConditionally);
    // A 304 stands for the answer held, and fails as that one did: not as a status of its own.
    m_failure = notModified ? m_held.failure : answerFailure(answer);
    const QByteArray body = notModified ? m_held.body : answer.body;
    const picture_freshness::PictureFingerprint print =
        notModified ? m_held.fingerprint : picture_freshness::fingerprint(body);
    if (!notModified)
        m_held = HeldAnswer::from(m_address, answer);
    const bool sameAsShown = !m_picture.isNull() && m_address == m_shownAddress && body == m_shownBytes;
    const bool knownUndecodable = !sameAsShown && m_undecodable.value(m_camId) == print;
    // A 304's own few bytes are what went over the wire.
    emit pictureReceived({body, notModified ? answer.receivedBytes : body.size(),
                          notModified || (answer.ok() && answer.httpStatus == 200), sameAsShown, knownUndecodable});
    // Nothing is decoded: the memory kept for the next pictures waits for a picture that
    // changes. A stream's frames go on coming after its first part, whatever that was.
    if ((sameAsShown || knownUndecodable) && !m_stream)
        stopRecycling();
    if (sameAsShown) {
        countShownPicture(print);
        emit refreshEnded(true, intervalMs());
        // The views may have changed while the picture was on its way.
        viewsChanged();
        return;
    }
    // Already black with its reason, the views need no drawing for a known failure.
    if (knownUndecodable) {
        failed(m_failure, !m_picture.isNull());
        return;
    }
    // A picture near the size limit goes before the next is decoded, so that two of them never
    // take memory at once; the views keep showing what they drew of it.
    std::vector<QImage> letGo;
    if (m_picture.sizeInBytes() > LargePictureBytes) {
        letGo.push_back(std::exchange(m_picture, QImage()));
        m_keptBytes.clear();
        for (PictureView *view : m_views)
            view->letGoOfPicture();
    }
    m_pictureDecode.print = print;
    if (!decode(m_pictureDecode, body, &CamFeed::pictureDecoded, std::move(letGo)))
        failed(m_failure, true);
}

QList<DrawingArea> CamFeed::decodeAreas() const
{
    QList<DrawingArea> areas;
    for (const PictureView *view : m_views) {
        // A placed picture is made for the one view there is, drawn at once or not.
        if (m_placedMode || view->drawsPictureAtOnce())
            areas.append(DrawingArea{view->pictureAreaSize(), view->pictureAreaPixelRatio()});
    }
    return areas;
}

bool CamFeed::decode(Decode &decode, const QByteArray &bytes, void (CamFeed::*done)(const LoadedPicture &),
                     std::vector<QImage> letGo)
{
    const QList<DrawingArea> areas = decodeAreas();
    if (m_placedMode && areas.size() != 1)
        return false;
    // The bytes decode as the working file named after the address would.
    const QString name = working_files::pictureFile(picture_extension::ImageExtension(m_address));
    const PictureLoadJob::Finish finish = m_placedMode ? PictureLoadJob::Finish::Placed : PictureLoadJob::Finish::Surfaces;
    if (!decode.job->startBytes(bytes, areas, scaleMode(), finish, std::move(letGo), name))
        return false;
    decodeStarted(decode, areas, done);
    decode.bytes = bytes;
    return true;
}

void CamFeed::decodeStarted(Decode &decode, const QList<DrawingArea> &areas,
                            void (CamFeed::*done)(const LoadedPicture &))
{
    // The job reports from the event loop only, never from within its start.
    decode.done = connect(decode.job, &PictureLoadJob::loaded, this, done, Qt::SingleShotConnection);
    decode.bytes.clear();
    decode.areas = areas;
    decode.mode = scaleMode();
}

void CamFeed::pictureDecoded(const LoadedPicture &result)
{
    const QByteArray bytes = std::exchange(m_pictureDecode.bytes, QByteArray());
    if (!result.picture || result.picture->isNull()) {
        m_undecodable.insert(m_camId, m_pictureDecode.print);
        failed(m_failure, true);
        return;
    }
    showDecoded(m_pictureDecode, result, bytes);
    countShownPicture(m_pictureDecode.print);
    emit refreshEnded(true, intervalMs());
    // A view may have changed while the picture was decoding.
    viewsChanged();
}

void CamFeed::showDecoded(const Decode &decode, const LoadedPicture &result, const QByteArray &bytes)
{
    // What the views keep of a placed picture or a stand-in is good for the areas and the
    // mode it was made for only.
    m_madeForAreasOnly = m_placedMode.has_value() || result.standIn;
    m_madeFor = decode.areas;
    m_madeForMode = decode.mode;
    m_decodedSize = result.decodedSize;
    // Pictures still coming (a stream's frames above all) keep the memory in use.
    if (m_recycling)
        m_recyclingIdle.start();
    showPicture(*result.picture, result.reduction, bytes, result.surfaces);
}

void CamFeed::showPicture(const QImage &picture, int reduction, const QByteArray &bytes,
                          std::vector<PreparedSurface> surfaces)
{
    m_picture = picture;
    m_reduction = m_picture.isNull() ? 1 : reduction;
    m_shownBytes = m_picture.isNull() ? QByteArray() : bytes;
    m_shownAddress = m_picture.isNull() ? QString() : m_address;
    // Only a picture decoded smaller, or placed for one size, may be needed again at another.
    m_keptBytes = m_reduction > 1 || (m_placedMode && !m_picture.isNull()) ? bytes : QByteArray();
    // A surface is shown only while the view and the mode are still those it was made for;
    // each is handed on once, so that no other copy is left to make the view copy it first.
    const ViewScaleMode mode = scaleMode();
    for (PictureView *view : m_views) {
        const DrawingArea now{view->pictureAreaSize(), view->pictureAreaPixelRatio()};
        const auto fits = [&](const PreparedSurface &s) {
            return !s.surface.isNull() && s.mode == mode && s.area == now;
        };
        const auto prepared = std::find_if(surfaces.begin(), surfaces.end(), fits);
        view->showPicture(m_picture, mode, prepared == surfaces.end() ? QImage() : std::exchange(prepared->surface, QImage()));
    }
}

void CamFeed::countShownPicture(const picture_freshness::PictureFingerprint &picture)
{
    const qint64 now = nowMs();
    m_unchanged.pictureShown(m_camId, picture, now);
    const std::optional<qint64> since = m_unchanged.unchangedSince(m_camId, now);
    m_state.health.pictureShown(m_camId, since);
    showFailureReason(QString());
    showUnchangedNote(since ? picture_freshness::unchangedNote(*since) : QString());
}

void CamFeed::failed(const QString &reason, bool clearViews)
{
    m_state.health.refreshFailed(m_camId, nowMs());
    const int wait = retry_rules::nextTryMs(intervalMs(), m_state.health.of(m_camId).failuresInARow);
    m_madeFor.clear();
    if (clearViews)
        showPicture(QImage(), 1, QByteArray(), {});
    showUnchangedNote(QString());
    showFailureReason(retry_rules::withNextTry(reason, wait));
    emit refreshEnded(false, wait);
}

picture_freshness::PictureFingerprint CamFeed::shownFingerprint() const
{
    return m_unchanged.lastShown(m_camId).value_or(picture_freshness::PictureFingerprint());
}

bool CamFeed::madeForViews() const
{
    if (m_madeForAreasOnly)
        return m_madeFor == decodeAreas() && m_madeForMode == scaleMode();
    return decode_reduction::enoughFor(scaleMode(), m_picture.size() * m_reduction, m_picture.size(), decodeAreas());
}

void CamFeed::viewsChanged()
{
    if (m_video)
        m_video->setViewPixels(largestAreaPixels(decodeAreas()));
    // A decode under way decodes for the views as they were when it started, and looks again
    // when done.
    if (isRunning() || m_redecode.job->isBusy() || m_picture.isNull() || m_keptBytes.isEmpty() || madeForViews())
        return;
    decode(m_redecode, m_keptBytes, &CamFeed::redecoded);
}

void CamFeed::redecoded(const LoadedPicture &result)
{
    const QByteArray bytes = std::exchange(m_redecode.bytes, QByteArray());
    if (!result.picture || result.picture->isNull()) {
        // The bytes decoded once; whatever failed now would fail again.
        m_keptBytes.clear();
        return;
    }
    showDecoded(m_redecode, result, bytes);
    viewsChanged();
}

void CamFeed::partReceived(const QByteArray &part, qint64 receivedBytes)
{
    m_streamBytes = receivedBytes;
    if (!m_stream) {
        // The first part is this refresh's picture; the answer goes on as a stream.
        m_stream = std::exchange(m_download, nullptr);
        m_stream->disconnect(this);
        connect(m_stream, &DownloadHandler::partReceived, this, &CamFeed::partReceived);
        connect(m_stream, &DownloadHandler::finished, this, &CamFeed::streamEnded);
        m_frames.begin(m_state.switches.maxFramesPerSecond());
        m_rates.reset();
        frameShown({}); // the figures' first window starts
        m_frames.take();
        // Unseen, it is a frame dropped like any other.
        if (!anyViewOnScreen())
            return;
        DownloadResult first;
        first.body = part;
        first.httpStatus = 200;
        first.receivedBytes = receivedBytes;
        answered(first);
        return;
    }
    offerFrame(part);
}

void CamFeed::offerFrame(const QByteArray &frame)
{
    // Dropped, never queued: while a picture decodes, while no view can be seen, and before
    // the frame's slot has come.
    if (m_pictureDecode.job->isBusy() || m_frameDecode.job->isBusy() || !anyViewOnScreen() || !m_frames.take())
        return;
    if (!m_picture.isNull() && frame == m_shownBytes && madeForViews()) {
        frameShown(shownFingerprint());
        return;
    }
    if (decode(m_frameDecode, frame, &CamFeed::frameDecoded))
        m_frameDecode.print = picture_freshness::fingerprint(frame);
}

void CamFeed::frameDecoded(const LoadedPicture &result)
{
    const QByteArray bytes = std::exchange(m_frameDecode.bytes, QByteArray());
    // A frame that does not decode is passed over; the one shown stays until the next.
    if (!result.picture || result.picture->isNull())
        return;
    cancel(m_redecode);
    showDecoded(m_frameDecode, result, bytes);
    frameShown(m_frameDecode.print);
}

// A frame is on show; an empty fingerprint only starts the figures' count.
void CamFeed::frameShown(const picture_freshness::PictureFingerprint &picture)
{
    ++m_framesShown;
    if (picture.size >= 0)
        countShownPicture(picture);
    if (const auto rates = m_rates.frameShown(m_frames.elapsedMs(), m_streamBytes))
        emit liveRatesMeasured(*rates);
}

void CamFeed::streamEnded(const DownloadResult &end)
{
    m_stream = nullptr;
    stop();
    // The stream's last frame is of no more use.
    m_held = {};
    failed(answerFailure(end), true);
}

void CamFeed::startVideo(const DownloadResult *firstAnswer)
{
    // An RTSP session is the module's own: none of its bytes come through the downloads.
    const int maxPerSecond = m_state.switches.maxFramesPerSecond();
    HlsStream *hls = nullptr;
    if (VideoStream::isRtspAddress(m_address))
        m_video = std::make_unique<RtspStream>(m_address, maxPerSecond);
    else
        m_video.reset(hls = new HlsStream(m_downloader, m_address, maxPerSecond));
    m_video->setTimeoutMs(m_timeoutMs);
    m_video->setKeyFramesOnly(m_keyFramesOnly);
    m_video->setViewPixels(largestAreaPixels(decodeAreas()));
    m_videoShown = false;
    connect(m_video.get(), &VideoStream::frameWaiting, this, &CamFeed::offerVideoFrame);
    connect(m_video.get(), &VideoStream::failed, this, &CamFeed::videoFailed);
    m_frames.begin(m_state.switches.maxFramesPerSecond());
    m_rates.reset();
    if (firstAnswer && hls)
        hls->start(*firstAnswer);
    else
        m_video->start();
}

void CamFeed::stopVideo()
{
    if (!m_video)
        return;
    m_video->disconnect(this);
    m_video->stop();
    // It may be what called: it goes once its call is over.
    m_video.release()->deleteLater();
}

void CamFeed::offerVideoFrame()
{
    std::optional<VideoFrame> frame = m_video->takeFrame();
    m_streamBytes = m_video->receivedBytes();
    // Dropped, never queued, as a stream's parts are (the decoder paced them already); the
    // first frame is the refresh's picture, seen or not.
    if (!frame || m_pictureDecode.job->isBusy() || m_frameDecode.job->isBusy()
        || (m_videoShown && !anyViewOnScreen()))
        return;
    const QList<DrawingArea> areas = decodeAreas();
    if (m_placedMode && areas.size() != 1)
        return;
    const YuvPlanes &planes = frame->planes;
    showStreamFormat(live_rules::videoFormatText(frame->codec, planes.size));
    const picture_freshness::PictureFingerprint print = picture_freshness::fingerprint(
        QByteArrayView(planes.plane(0), qsizetype(planes.stride(0)) * planes.size.height()));
    const PictureLoadJob::Finish finish = m_placedMode ? PictureLoadJob::Finish::Placed : PictureLoadJob::Finish::Surfaces;
    if (!m_frameDecode.job->startPlanes(std::move(frame->planes), areas, scaleMode(), finish))
        return;
    decodeStarted(m_frameDecode, areas, &CamFeed::videoFrameDecoded);
    m_frameDecode.print = print;
}

void CamFeed::videoFrameDecoded(const LoadedPicture &result)
{
    if (!result.picture || result.picture->isNull())
        return;
    cancel(m_redecode);
    showDecoded(m_frameDecode, result, QByteArray());
    if (m_videoShown) {
        frameShown(m_frameDecode.print);
        return;
    }
    m_videoShown = true;
    frameShown({}); // the figures' first window starts
    emit pictureReceived({QByteArray(), m_streamBytes, false, false, false, true});
    countShownPicture(m_frameDecode.print);
    emit refreshEnded(true, intervalMs());
}

void CamFeed::videoFailed(const QString &reason)
{
    // A refresh's answer comes before its end, also when no frame came.
    if (!m_videoShown)
        emit pictureReceived({QByteArray(), m_streamBytes, false, false, false, true});
    stop();
    showStreamFormat(QString());
    m_held = {};
    failed(reason, true);
}

void CamFeed::stopRecycling()
{
    m_recycling.reset();
    m_recyclingIdle.stop();
}

void CamFeed::takeDownNotes()
{
    showFailureReason(QString());
    showUnchangedNote(QString());
}

namespace {

// Each view hears of a line only when it changes.
template <class View, class Declaring>
void announceChange(QString &shown, const QString &text, const QList<View *> &views,
                    void (Declaring::*show)(const QString &))
{
    for (View *view : views)
        (view->*show)(text);
    shown = text;
}

} // namespace

void CamFeed::showFailureReason(const QString &reason)
{
    if (reason != m_failureShown)
        announceChange(m_failureShown, reason, m_views, &PictureView::showFailureReason);
}

void CamFeed::showStreamFormat(const QString &format)
{
    if (format != m_formatShown)
        announceChange(m_formatShown, format, m_formatViews, &StreamFormatView::showStreamFormat);
}

void CamFeed::showUnchangedNote(const QString &note)
{
    if (note == m_noteShown)
        return;
    announceChange(m_noteShown, note, m_views, &PictureView::showUnchangedNote);
    announceChange(m_noteShown, note, m_noteViews, &UnchangedNoteView::showUnchangedNote);
}
