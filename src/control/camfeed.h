#pragma once
// One cam's pictures for every view that shows them: the selected cam's picture areas, or a
// wall tile's.
//
// refresh() asks the cam's picture address once, conditionally while a full answer to it is
// held (HeldAnswer): a 304 then stands for the held bytes. The answer's bytes are announced
// with pictureReceived() as soon as they are in hand; bytes the views show already are
// neither decoded nor drawn again, bytes of this cam that failed to decode before fail again
// at once, and anything else is decoded off the window thread at the size the views need
// (decode_reduction) and handed to every view ("the prepared surface, else drawn scaled").
// refreshEnded() closes every refresh, with a picture shown or not, and says when the next
// try is due by one rule: the refresh interval after a picture, backed off for the cam's
// failures in a row after a failure (retry_rules::nextTryMs, counted in the cam's health,
// which the wall and the selected cam share).
//
// A live stream (an answer of many parts, see Downloader) stays open: its first part is the
// refresh's picture, each later one a frame, shown at most ViewerSwitches::maxFramesPerSecond()
// times a second while a view is on screen; a part that arrives while a picture decodes or
// before its slot is dropped, never queued. A stream that ends or fails is a failed refresh.
//
// The notes follow every picture: the views say since when a cam's picture is unchanged,
// and why a refresh showed none, until the next picture (each view hears only a change).
// A picture decoded smaller than its full size, placed into a single view, or drawn from the
// JPEG's planes (the views then keep a smaller picture for their own redraws), is decoded
// again from its bytes when the views come to need another size (viewsChanged()).
//
// While the feed refreshes one cam, the memory of its large pictures and surfaces is reused
// from one refresh to the next (PictureRecycling): fresh pages for every picture cost more
// than its decode. The memory kept goes when another cam is set (setCam()), when the views'
// areas have changed since the last refresh, when a refresh brings the picture on show again
// (a cam that stays the same needs none), and after a minute without a new picture.
//
// A video cam (an HLS playlist, by its address or its answer's type, HlsStream; an rtsp://
// address, RtspStream) plays in the same way: its first frame is the refresh's picture, each later one a frame, decoded already
// and only drawn for the views; its failures are a stream's end.
//
// stop() cancels the running download and decodes; nothing of them arrives after it.
#include "control/heldanswer.h"
#include "control/liveframes.h"
#include "core/geometry/devicepixels.h"
#include "core/geometry/scalegeometry.h"
#include "core/rules/liverules.h"
#include "core/rules/picturefreshness.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class DownloadHandler;
class Downloader;
class VideoStream;
class PictureLoadJob;
class PictureView;
class StreamFormatView;
class QThreadPool;
class UnchangedNoteView;
struct DownloadResult;
struct LoadedPicture;
struct PreparedSurface;
struct RunningState;
struct YuvPlanes;

// The wall clock the moment of a picture's change is taken from; tests bring their own.
class WallClock
{
public:
    virtual ~WallClock() = default;
    virtual qint64 nowMs() const = 0; // milliseconds since the epoch
};

// A refresh's answer as it came.
struct ReceivedPicture
{
    QByteArray bytes;           // a 304's are those of the answer it confirms
    qint64 transferredBytes = 0; // what went over the wire for them
    bool fullAnswer = false;    // a 200, or a 304 that confirms one
    bool sameAsShown = false;   // the bytes the views show already: not drawn again
    bool knownUndecodable = false; // bytes of this cam that failed to decode: failed at once
    bool videoFrame = false;    // a video's first frame: decoded already, no bytes of its own
    // Decoded now: neither of the above.
    bool newPicture() const { return !sameAsShown && !knownUndecodable; }
};

class CamFeed : public QObject
{
    Q_OBJECT
public:
    // decodePool: the threads decodes run on, shared with other feeds and outliving this one;
    // nullptr: threads of the feed's own.
    CamFeed(RunningState &state, Downloader &downloader, QThreadPool *decodePool = nullptr, QObject *parent = nullptr);
    ~CamFeed() override;

    // The views a picture goes to, in order; the first sizes the decode's preparations first.
    void addPictureView(PictureView *view) { m_views.append(view); }
    // Where the unchanged note shows besides the picture views.
    void addUnchangedNoteView(UnchangedNoteView *view) { m_noteViews.append(view); }
    // Where a video's codec and size show.
    void addStreamFormatView(StreamFormatView *view) { m_formatViews.append(view); }

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // The cap on a picture's bytes (a live stream's, each part's); PictureMaxBytes unless set.
    void setMaxBytes(qint64 bytes) { m_maxBytes = bytes; }
    void setDecodeBudget(int ms);
    void setUnchangedThreshold(picture_freshness::UnchangedThreshold threshold);
    // nullptr: the system clock.
    void setClock(const WallClock *clock) { m_wallClock = clock; }
    // A single view's feed takes each picture placed in that view's area by this mode, as the
    // area's whole surface (nothing else kept); otherwise pictures come by the running state's
    // scale mode, with a prepared surface for each view.
    void setPlacedIn(ViewScaleMode mode) { m_placedMode = mode; }
    // The refresh interval never counts shorter than this, also when backed off.
    void setShortestIntervalMs(int ms) { m_shortestIntervalMs = ms; }
    // Of a video cam, decode the key frames only (a tile among others on the wall).
    void setKeyFramesOnly(bool keyFramesOnly);

    // The cam refreshed from now on; the pictures and notes of another cam go.
    void setCam(const QString &camId, const QString &pictureAddress);
    const QString &camId() const { return m_camId; }

    // One refresh of the picture; false, doing nothing, while one runs or a stream is open.
    bool refresh();
    // Cancels the running download, the stream and every decode.
    void stop();
    // stop(), and the picture on show is let go: nothing counts as shown any more.
    void forgetPicture();
    // A view's size, pixel ratio, visibility or the scale mode changed.
    void viewsChanged();
    void takeDownNotes();

    bool isRunning() const;
    bool isLive() const { return !m_stream.isNull() || m_video; }
    bool anyViewOnScreen() const;
    // Frames of live streams shown since the start, the first of each stream included.
    qint64 framesShown() const { return m_framesShown; }
    // The refresh interval as it stands, in milliseconds.
    int intervalMs() const;

    // The picture shown last (its full size divided by pictureReduction()); null before the
    // first and after a refresh that showed none.
    const QImage &picture() const { return m_picture; }
    int pictureReduction() const { return m_reduction; }
    // The size the picture shown was decoded at (larger than picture() where the views keep
    // a smaller one); empty while none is shown.
    QSize decodedSize() const { return m_picture.isNull() ? QSize() : m_decodedSize; }
    // The shown picture exactly as it came, and its address; empty while none is shown.
    const QByteArray &shownPictureBytes() const { return m_shownBytes; }
    const QString &shownPictureAddress() const { return m_shownAddress; }
    // The bytes the shown picture is decoded from again at another size; empty when it would
    // need none (it is shown at its full size in views that scale it themselves).
    const QByteArray &keptPictureBytes() const { return m_keptBytes; }
    // The note on show, "" for none.
    const QString &unchangedNote() const { return m_noteShown; }
    // A refresh showed the cam's picture, whose bytes have this fingerprint; the notes follow.
    void countShownPicture(const picture_freshness::PictureFingerprint &picture);
    // Of the cam's picture shown last; a size of -1 when none was.
    picture_freshness::PictureFingerprint shownFingerprint() const;

    // A held picture taking more memory than this goes before the next one decodes, so that
    // two never take memory at once; the views keep showing it meanwhile.
    static constexpr qsizetype LargePictureBytes = qsizetype(64) * 1024 * 1024;
    // The memory of pictures reused from refresh to refresh goes after this without one.
    static constexpr int RecyclingIdleMs = 60000;

signals:
    // The running refresh's answer is in (a stream's first part; not its later frames).
    void pictureReceived(const ReceivedPicture &picture);
    // A refresh is over, its picture shown (a new one or the same) or not; nextTryMs: when the
    // next is due. Also for a stream that ended.
    void refreshEnded(bool pictureShown, int nextTryMs);
    void transferStateChanged(int code);
    void waitingForConnection(bool waiting);
    // A live stream's figures over the last window of frames.
    void liveRatesMeasured(const live_rules::StreamRates &rates);

private:
    // A decode and what it was started for.
    struct Decode
    {
        PictureLoadJob *job = nullptr;
        QMetaObject::Connection done;
        QByteArray bytes;
        picture_freshness::PictureFingerprint print;
        QList<DrawingArea> areas; // the views' areas it decodes for
        ViewScaleMode mode = ViewScaleMode::ScaleInline;
    };

    void answered(const DownloadResult &answer);
    void partReceived(const QByteArray &part, qint64 receivedBytes);
    // Where a source of frames hands each frame in: paced, decoded for the views, counted
    // for the notes and the figures. The live stream's parts after its first come here; a
    // source of another kind (a video stream, a cam's history) is one more caller.
    void offerFrame(const QByteArray &frame);
    void streamEnded(const DownloadResult &end);
    bool decode(Decode &decode, const QByteArray &bytes, void (CamFeed::*done)(const LoadedPicture &),
                std::vector<QImage> letGo = {});
    // The decode, started for these areas, reports to done.
    void decodeStarted(Decode &decode, const QList<DrawingArea> &areas, void (CamFeed::*done)(const LoadedPicture &));
    // firstAnswer: the playlist's answer in hand already; nullptr: it is asked for.
    void startVideo(const DownloadResult *firstAnswer);
    void stopVideo();
    void offerVideoFrame();
    void videoFrameDecoded(const LoadedPicture &result);
    void videoFailed(const QString &reason);
    void cancel(Decode &decode);
    void pictureDecoded(const LoadedPicture &result);
    void frameDecoded(const LoadedPicture &result);
    void redecoded(const LoadedPicture &result);
    // A decode's picture on every view.
    void showDecoded(const Decode &decode, const LoadedPicture &result, const QByteArray &bytes);
    // The picture on every view; from a prepared surface where one still fits.
    void showPicture(const QImage &picture, int reduction, const QByteArray &bytes,
                     std::vector<PreparedSurface> surfaces);
    bool madeForViews() const;
    QList<DrawingArea> decodeAreas() const;
    ViewScaleMode scaleMode() const;
    // clearViews: the views still show a picture, or a decode was tried.
    void failed(const QString &reason, bool clearViews);
    void frameShown(const picture_freshness::PictureFingerprint &picture);
    void showFailureReason(const QString &reason);
    void showUnchangedNote(const QString &note);
    void showStreamFormat(const QString &format);
    void stopRecycling();
    qint64 nowMs() const;

    RunningState &m_state;
    Downloader &m_downloader;
    QList<PictureView *> m_views;
    QList<UnchangedNoteView *> m_noteViews;
    QList<StreamFormatView *> m_formatViews;
    QString m_formatShown;
    int m_timeoutMs = 30000;
    qint64 m_maxBytes;
    int m_shortestIntervalMs = 0;
    std::optional<ViewScaleMode> m_placedMode;
    const WallClock *m_wallClock = nullptr;
    QString m_camId;
    QString m_address;

    Decode m_pictureDecode; // a refresh's picture
    Decode m_frameDecode;   // a live stream's frame
    Decode m_redecode;      // the picture shown, at another size
    QPointer<DownloadHandler> m_download;
    QPointer<DownloadHandler> m_stream;
    std::unique_ptr<VideoStream> m_video;
    bool m_videoShown = false; // its first frame, the refresh's picture
    bool m_keyFramesOnly = false;

    HeldAnswer m_held;
    bool m_askedConditionally = false;
    QString m_failure; // the running refresh's, should its picture not come
    // Per cam: the bytes whose decode failed last.
    QHash<QString, picture_freshness::PictureFingerprint> m_undecodable;
    picture_freshness::UnchangedPictures m_unchanged;

    QImage m_picture;
    int m_reduction = 1;
    QSize m_decodedSize;
    QByteArray m_shownBytes;
    QString m_shownAddress;
    QByteArray m_keptBytes;       // m_shownBytes while they may be decoded again
    // The picture shown is good only for the areas and the mode its decode was made for (a
    // placed picture, or a stand-in), and is decoded again for others.
    bool m_madeForAreasOnly = false;
    QList<DrawingArea> m_madeFor;
    ViewScaleMode m_madeForMode = ViewScaleMode::ScaleInline;

    QString m_failureShown;
    QString m_noteShown;

    LiveFrames m_frames;
    std::optional<PictureRecycling> m_recycling;
    QList<DrawingArea> m_recycledFor; // the views' areas at the refresh that began it
    QTimer m_recyclingIdle;
    live_rules::RateMeter m_rates;
    qint64 m_streamBytes = 0;
    qint64 m_framesShown = 0;
};
