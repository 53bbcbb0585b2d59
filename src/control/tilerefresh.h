#pragma once
// The refresh of one wall tile: its cam's picture downloaded again and again, each time the
// refresh interval (the interval box's, read afresh each time) after the last one ended.
//
// One request at a time, conditional once a full answer is held (see HeldAnswer); a picture
// whose bytes are those shown is neither decoded nor drawn again. A new picture is decoded
// off the window thread from memory, at the tile's size in device pixels (a JPEG reduced
// while decoded, see decode_reduction) and scaled there to where it lands, so the window
// thread only copies it into the tile. A tile that changes size gets the picture shown made
// anew from its bytes. No file is written.
//
// A failed refresh (the download, or the decode) shows its reason on a black tile with when
// the next try comes, and the wait before it doubles with each failure in a row up to
// retry_rules::LongestWaitMs; one picture shown brings the interval back. Every refresh
// writes the cam's health into the running state; the unchanged note follows the same
// rule as the selected cam's.
//
// A live cam's stream (see Downloader) stays open: each part is a frame, decoded and shown
// like a new picture at most RunningState::maxFramesPerSecond times a second while the tile
// is on screen; a part that arrives while a frame decodes, before its slot or while the tile
// cannot be seen is dropped. A stream that ends or fails is a failed refresh.
//
// A refresh falls due only for a tile on screen: one due while the tile cannot be seen
// waits until tileShown() says it can. stop() cancels the running download or decode, and
// nothing more of this tile runs or shows after it.
#include "control/heldanswer.h"
#include "control/liveframes.h"
#include "core/geometry/devicepixels.h"
#include "core/rules/picturefreshness.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>

class DownloadHandler;
class Downloader;
class PictureLoadJob;
class QThreadPool;
class TileView;
class WallClock;
struct DownloadResult;
struct LoadedPicture;
struct RunningState;

class TileRefresh : public QObject
{
    Q_OBJECT
public:
    // decodePool: the threads decodes run on (see PictureLoadJob); it outlives the refresh.
    TileRefresh(RunningState &state, Downloader &downloader, TileView &view, const QString &camId,
                const QString &pictureAddress, QThreadPool *decodePool = nullptr, QObject *parent = nullptr);
    ~TileRefresh() override;

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // The cap on a picture's bytes (a live stream's, each part's); PictureMaxBytes unless set.
    void setMaxBytes(qint64 bytes) { m_maxBytes = bytes; }
    void setDecodeBudget(int ms);
    void setUnchangedThreshold(picture_freshness::UnchangedThreshold threshold);
    // nullptr: the system clock.
    void setClock(const WallClock *clock) { m_wallClock = clock; }

    // The first refresh, now.
    void start();
    void stop();
    // The tile may have come into sight: a refresh that fell due meanwhile runs now.
    void tileShown();
    bool isRunning() const;
    const QString &camId() const { return m_camId; }

signals:
    // A refresh is over, with a picture shown (a new one or the same) or not.
    void refreshEnded(bool pictureShown);

private:
    void refreshDue();
    void pictureDownloaded(const DownloadResult &answer);
    void partReceived(const QByteArray &part);
    void pictureDecoded(const LoadedPicture &result);
    // The next refresh is timed from now unless a stream brought the picture.
    void succeeded(const picture_freshness::PictureFingerprint &picture, bool timeNext = true);
    void failed(const QString &reason);
    bool madeForTile() const;
    bool decode();
    int intervalMs();
    qint64 nowMs() const;

    RunningState &m_state;
    Downloader &m_downloader;
    TileView &m_view;
    const QString m_camId;
    const QString m_address;
    int m_timeoutMs = 30000;
    qint64 m_maxBytes;
    const WallClock *m_wallClock = nullptr;
    PictureLoadJob *m_decode;
    QTimer m_timer;
    QPointer<DownloadHandler> m_download;
    QMetaObject::Connection m_decodeDone;
    HeldAnswer m_held;
    bool m_askedConditionally = false;
    bool m_due = false;
    bool m_stopped = true;
    QString m_lastInterval{QStringLiteral("5")};
    QString m_failure;                                 // the running refresh's, should its picture not come
    QString m_note;                                    // the unchanged badge shown
    picture_freshness::PictureFingerprint m_decoding;  // of the bytes being decoded
    picture_freshness::PictureFingerprint m_shown;     // of the picture shown
    picture_freshness::PictureFingerprint m_undecodable;
    picture_freshness::UnchangedPictures m_unchanged;
    QImage m_picture;
    DrawingArea m_madeFor; // the tile's area m_picture was made for
    bool m_redrawOnly = false; // the running decode only remakes the picture shown
    LiveFrames m_frames; // running while the download is a live stream
};
