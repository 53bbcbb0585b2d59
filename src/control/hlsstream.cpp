#include "control/hlsstream.h"

#include "control/heldanswer.h"
#include "platform/download.h"

#include <QUrl>

#include <cmath>

namespace {

// Segments that fail one after another before the stream does.
constexpr int SegmentFailuresAtMost = 3;
// Bytes the decoder may have waiting before a segment is passed over: it cannot keep up.
constexpr qint64 WaitingBytesAtMost = 2 * hls::SegmentMaxBytes;

} // namespace

HlsStream::HlsStream(Downloader &downloader, const QString &address, int maxPerSecond, QObject *parent)
    : VideoStream(parent)
    , m_downloader(downloader)
    , m_address(address)
    , m_maxPerSecond(maxPerSecond)
{
    m_reload.setSingleShot(true);
    connect(&m_reload, &QTimer::timeout, this, [this] { load(m_playlistAddress); });
}

HlsStream::~HlsStream()
{
    stop();
}

void HlsStream::stop()
{
    // The decoder's thread ends before anything it calls back into goes.
    m_decoder.reset();
    cancelTransfers();
    m_reload.stop();
    m_failed = true;
}

bool HlsStream::isPlaylistType(const QByteArray &contentType)
{
    const QByteArray type = contentType.split(';').value(0).trimmed().toLower();
    return type == "application/vnd.apple.mpegurl" || type == "application/x-mpegurl" || type == "audio/mpegurl";
}

bool HlsStream::isPlaylistAddress(const QString &address)
{
    const QUrl url(address);
    return url.isValid() && url.path().endsWith(QLatin1String(".m3u8"), Qt::CaseInsensitive);
}

void HlsStream::setKeyFramesOnly(bool keyFramesOnly)
{
    m_keyFramesOnly = keyFramesOnly;
    if (m_decoder)
        m_decoder->setKeyFramesOnly(keyFramesOnly);
}

void HlsStream::setViewPixels(const QSize &pixels)
{
    m_viewPixels = pixels;
    if (m_variants.isEmpty() || m_failed)
        return;
    const int variant = hls::chooseVariant(m_variants, pixels);
    if (variant < 0 || variant == m_variant)
        return;
    // Another size: its playlist is followed from its newest segment, as a new stream.
    m_variant = variant;
    m_variantSize = m_variants[variant].resolution;
    cancelTransfers();
    m_reload.stop();
    m_toFetch.clear();
    m_follower.reset();
    if (m_decoder)
        m_decoder->startOver();
    m_playlistAddress = m_variants[variant].uri;
    load(m_playlistAddress);
}

void HlsStream::start()
{
    m_clock.start();
    m_playlistAddress = m_address;
    load(m_address);
}

void HlsStream::start(const DownloadResult &firstAnswer)
{
    m_clock.start();
    m_playlistAddress = m_address;
    playlistLoaded(firstAnswer);
}

void HlsStream::load(const QString &address)
{
    if (m_playlistDownload || m_failed)
        return;
    DownloadRequest request{address, hls::PlaylistMaxBytes};
    request.timeoutMs = m_timeoutMs;
    request.deadlineMs = m_timeoutMs;
    request.compressed = true; // text, which may come compressed
    m_playlistDownload = m_downloader.start(request);
    connect(m_playlistDownload, &DownloadHandler::finished, this, [this](const DownloadResult &answer) {
        m_playlistDownload = nullptr;
        playlistLoaded(answer);
    });
}

void HlsStream::playlistLoaded(const DownloadResult &answer)
{
    m_receivedBytes += answer.receivedBytes;
    const bool fromMaster = !m_variants.isEmpty();
    if (!answer.ok() || answer.httpStatus != 200) {
        // A server may have expired the session its master playlist handed out.
        if (answer.ok() && fromMaster && !m_masterAskedAgain) {
            m_masterAskedAgain = true;
            m_variants.clear();
            m_variant = -1;
            m_playlistAddress = m_address;
            load(m_address);
            return;
        }
        fail(answerFailure(answer));
        return;
    }
    const hls::Parsed parsed = hls::parsePlaylist(answer.body, QUrl(m_playlistAddress));
    if (!parsed.playlist) {
        fail(parsed.error);
        return;
    }
    if (parsed.playlist->kind == hls::Playlist::Kind::Master) {
        masterLoaded(*parsed.playlist);
        return;
    }
    m_masterAskedAgain = false;
    mediaLoaded(*parsed.playlist);
}

void HlsStream::masterLoaded(const hls::Playlist &master)
{
    // A master playlist that names another master, or none at all, leads nowhere.
    if (!m_variants.isEmpty() || master.variants.isEmpty()) {
        fail(QStringLiteral("No video in the playlist"));
        return;
    }
    m_variants = master.variants;
    m_variant = hls::chooseVariant(m_variants, m_viewPixels);
    m_variantSize = m_variants[m_variant].resolution;
    m_playlistAddress = m_variants[m_variant].uri;
    load(m_playlistAddress);
}

void HlsStream::mediaLoaded(const hls::Playlist &media)
{
    const qint64 now = m_clock.elapsed();
    const QList<hls::Segment> fresh = m_follower.loaded(media, now);
    m_toFetch.append(fresh);
    if (m_follower.stalled(now)) {
        const int seconds = int(std::lround(3 * media.targetDurationSeconds));
        fail(QStringLiteral("No new video for %1 seconds").arg(seconds));
        return;
    }
    m_ended = media.ended;
    if (!m_decoder) {
        m_decoder = std::make_unique<VideoDecoder>(decoderCallbacks(), m_maxPerSecond, m_keyFramesOnly);
    }
    fetchNextSegment();
    if (!m_ended)
        m_reload.start(m_follower.reloadDelayMs());
}

void HlsStream::fetchNextSegment()
{
    if (m_segmentDownload || m_toFetch.isEmpty() || m_failed)
        return;
    const hls::Segment segment = m_toFetch.takeFirst();
    if (segment.key.method != hls::Key::Method::None) {
        fail(QStringLiteral("Encrypted video is not supported"));
        return;
    }
    if (segment.discontinuity)
        m_decoder->startOver();
    DownloadRequest request{segment.uri, hls::SegmentMaxBytes};
    request.timeoutMs = m_timeoutMs;
    request.deadlineMs = m_timeoutMs;
    m_segmentDownload = m_downloader.start(request);
    connect(m_segmentDownload, &DownloadHandler::finished, this, &HlsStream::segmentLoaded);
}

void HlsStream::segmentLoaded(const DownloadResult &answer)
{
    m_segmentDownload = nullptr;
    m_receivedBytes += answer.receivedBytes;
    if (!answer.ok() || answer.httpStatus != 200) {
        // A segment missing is passed over; three in a row are the stream's end.
        if (++m_segmentFailures >= SegmentFailuresAtMost) {
            fail(answerFailure(answer));
            return;
        }
    } else {
        m_segmentFailures = 0;
        // A decoder that cannot keep up skips a segment; the next starts on a key frame.
        if (m_decoder->waitingBytes() <= WaitingBytesAtMost)
            m_decoder->feed(answer.body);
    }
    if (m_toFetch.isEmpty() && m_ended && !m_segmentDownload) {
        m_decoder->startOver();
        return;
    }
    fetchNextSegment();
}

void HlsStream::fail(const QString &reason)
{
    if (m_failed)
        return;
    m_failed = true;
    m_reload.stop();
    cancelTransfers();
    emit failed(reason);
}

void HlsStream::cancelTransfers()
{
    for (QPointer<DownloadHandler> *download : {&m_playlistDownload, &m_segmentDownload}) {
        if (*download) {
            (*download)->disconnect(this);
            (*download)->cancel();
            *download = nullptr;
        }
    }
}
