#pragma once
// A live HLS cam's video (HTTP Live Streaming): its playlists and segments come through the
// program's own downloads, so their caps (hls::PlaylistMaxBytes, hls::SegmentMaxBytes), the
// time-out, proxies, credentials and the http/https rule are those of every other request;
// the segments are decoded by a VideoDecoder, whose frames wait as VideoStream says.
//
// The address may give a master playlist, whose variant is chosen for the views' size in
// device pixels (hls::chooseVariant) and chosen again when that changes, or a media playlist
// at once. A media playlist is followed (hls::LiveFollower): loaded again after its target
// duration (half of it when it did not advance), each new segment fetched in order and fed to
// the decoder, a discontinuity or a switch of variant starting the decoder over. A media
// playlist answered with an HTTP error is asked of its master playlist again, once in a row
// (a server that expired its session hands out new addresses there).
//
// failed() ends the stream with a reason a user may read: a playlist that fails to come or
// is none, three segments in a row that fail, a live playlist that has not advanced for three
// target durations ("No new video for N seconds"), or what the decoder could not do; nothing
// more comes after it.
#include "control/videostream.h"
#include "core/http/hlsplaylist.h"
#include "platform/videodecoder.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QTimer>

#include <memory>
#include <mutex>
#include <optional>

class DownloadHandler;
class Downloader;
struct DownloadResult;

class HlsStream final : public VideoStream
{
    Q_OBJECT
public:
    HlsStream(Downloader &downloader, const QString &address, int maxPerSecond, QObject *parent = nullptr);
    ~HlsStream() override;

    void setKeyFramesOnly(bool keyFramesOnly) override;
    // May switch the variant.
    void setViewPixels(const QSize &pixels) override;

    // From the playlist's address; or from its first answer, in hand already.
    void start() override;
    void start(const DownloadResult &firstAnswer);
    void stop() override;

    // Playlists' and segments' bytes so far, their header sections included.
    qint64 receivedBytes() const override { return m_receivedBytes; }
    // The variant played, its size as the master playlist gives it (empty without one).
    QSize variantSize() const { return m_variantSize; }

    // Of an answer: whether it is an HLS playlist by its type.
    static bool isPlaylistType(const QByteArray &contentType);
    // Of an address: whether it names an HLS playlist (its path ends in ".m3u8").
    static bool isPlaylistAddress(const QString &address);

private:
    void load(const QString &address);
    void playlistLoaded(const DownloadResult &answer);
    void masterLoaded(const hls::Playlist &master);
    void mediaLoaded(const hls::Playlist &media);
    void fetchNextSegment();
    void segmentLoaded(const DownloadResult &answer);
    void fail(const QString &reason) override;
    void cancelTransfers();

    Downloader &m_downloader;
    const QString m_address;
    const int m_maxPerSecond;
    bool m_keyFramesOnly = false;
    QSize m_viewPixels;

    QString m_playlistAddress; // the media playlist followed
    QList<hls::Variant> m_variants; // of the master playlist, if one came
    int m_variant = -1;
    QSize m_variantSize;
    bool m_masterAskedAgain = false;
    hls::LiveFollower m_follower;
    QList<hls::Segment> m_toFetch;
    int m_segmentFailures = 0;
    bool m_ended = false;

    QPointer<DownloadHandler> m_playlistDownload;
    QPointer<DownloadHandler> m_segmentDownload;
    QTimer m_reload;
    QElapsedTimer m_clock;
    qint64 m_receivedBytes = 0;
    bool m_failed = false;

    // Last, so that it stops before anything its callbacks touch goes.
    std::unique_ptr<VideoDecoder> m_decoder;
};
