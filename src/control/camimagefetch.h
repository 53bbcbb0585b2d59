#pragma once
// fetchCamImage: one refresh of the selected cam. Downloads its picture into the working
// file "temp." + extension and shows the transfer statistics, downloads its comments into
// "temp.tmp" and rebuilds the comments table, loads the picture (from the bytes written
// to the working file, as loading the file would; see loadPictureBytes), hands it to every picture
// view and draws it there, deletes both working files and announces refreshEnded().
//
// Every step stands on its own: a failing step is skipped and the next one runs; nothing
// is reported to the caller. fetchCamImage only starts the picture download; each step
// after it runs when the one before has finished: the comments download when the picture
// download's handler finishes, the decode on a worker thread when the comments are in, and
// the end of the refresh (drawing, working files deleted, refreshEnded()) when the decode's result is back. A decode running longer than the
// decode budget is given up and the refresh ends as a failed load. While the refresh runs,
// a change of cam or the end of the program abandons it: the running download is
// disconnected and cancelled, or the decode given up and its result no longer awaited, and
// the refresh ends at once with its working files deleted; nothing of the old cam
// (picture, statistics, comments) can arrive any more. isRunning() holds until the decoder
// has really let go, so no second refresh runs beside one.
//
// The last full answer of a picture address is held with its validators: the next request
// for that address asks conditionally, and a 304 to it stands for those same bytes. A
// refresh whose picture bytes are those already shown (a 304, or a full answer with
// identical bytes) writes no picture file and neither decodes nor redraws; it only takes
// the transfer bullets off the picture and ends as usual. A 304 that answers no
// conditional request of ours is an empty answer and fails as one.
//
// A JPEG larger than the areas that draw at once need is decoded smaller (see
// decode_reduction). Its bytes are then kept, for as long as it is the picture shown, so
// that when an area comes to need it larger (a window shown or enlarged, another pixel
// ratio or scale mode: pictureAreasChanged()) it is decoded again from them, off the window
// thread and without a download; the smaller picture stays drawn meanwhile. Such a decode
// never holds up a refresh: a refresh starting gives it up.
//
// Frozen and failing cams: every picture a refresh shows is counted per cam by its
// fingerprint (countShownPicture()); while the cam's picture counts as unchanged, the
// unchanged-note views say since when. A refresh that shows no picture names the reason
// over the black areas of the picture views, and the unchanged note goes with it; a failed
// refresh neither restarts the moment nor counts. Both notes go with the next changed
// picture (the reason with any picture) and with a change of cam (takeDownNotes()).
//
// A refresh that shows no picture counts as a failure of the cam in the running state's
// camHealth (one that shows a picture clears the count and records since when the picture is
// unchanged): the refresh countdown is set so that the next try waits the refresh interval
// backed off for the failures in a row (retry_rules), and the reason says when it comes.
// The count goes on from the cam's earlier failures (the wall's too) only while the last
// of them is recent (retry_rules::AvoidAfterFailureMs); a new cam is still tried at once.
//
// A live cam: a picture answer that is a live stream (see Downloader) keeps its connection
// open. Its first part is taken as a refresh's picture, with the comments after it as
// usual; each later part is decoded off the window thread and shown in every picture view,
// at most RunningState::maxFramesPerSecond times a second. A part that arrives while a frame
// decodes, or before its slot has come, is dropped, never queued. Each frame shown counts
// for the unchanged note as a refresh does, and the transfer statistics give the frames
// shown and the bytes received per second. While the stream runs, a refresh falling due
// brings only the comments. A change of cam closes the stream at once; a stream that ends
// or fails counts as a failed refresh (its reason over the black areas, the next refresh
// backed off), and the next refresh asks the address again.
//
// Bytes that failed to decode (also by running out of the decode budget) are remembered
// per cam by their fingerprint: when the same cam brings the same bytes again they are
// neither written nor decoded, and the refresh ends as a failed load at once, its reason
// shown and its statistics updated as for any refresh. Other bytes, or another cam's,
// decode as usual.
#include "control/heldanswer.h"
#include "control/liveframes.h"
#include "core/geometry/devicepixels.h"
#include "core/http/conditional.h"
#include "core/files/workingfolder.h"
#include "core/rules/liverules.h"
#include "core/rules/picturefreshness.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>

#include <optional>

#include <vector>

class PictureLoadJob;
class PictureView;
class TransferView;
class UnchangedNoteView;
class DownloadHandler;
class Downloader;
struct DownloadRequest;
struct DownloadResult;
struct LoadedPicture;
struct PreparedSurface;
struct RunningState;

// The wall clock the moment of a picture's change is taken from; tests bring their own.
class WallClock
{
public:
    virtual ~WallClock() = default;
    virtual qint64 nowMs() const = 0; // milliseconds since the epoch
};

class CamImageFetch : public QObject
{
    Q_OBJECT
public:
    CamImageFetch(RunningState &state, TransferView &transferView, Downloader &downloader, WorkingFolder workFolder, int timeoutMs,
                  QObject *parent = nullptr);

    // The picture views a refresh draws into, in order; the first one also sizes the
    // decode's preparations first.
    void addPictureView(PictureView *view) { m_pictureViews.append(view); }
    void addUnchangedNoteView(UnchangedNoteView *view) { m_noteViews.append(view); }

    // When a picture counts as unchanged; by default 60 s and 10 refreshes.
    void setUnchangedThreshold(picture_freshness::UnchangedThreshold threshold);
    // nullptr: the system clock.
    void setClock(const WallClock *clock) { m_wallClock = clock; }

    // A refresh showed the selected cam's picture, whose body has this fingerprint
    // (picture_freshness::fingerprint()). An answer that means "the same picture as
    // before" without a body passes shownFingerprint().
    void countShownPicture(const picture_freshness::PictureFingerprint &picture);
    // Of the selected cam's picture shown last; a size of -1 when none was.
    picture_freshness::PictureFingerprint shownFingerprint() const;

    // Another cam is selected: the notes about the old one's picture go.
    void takeDownNotes();

    void fetchCamImage();
    bool isRunning() const;
    // A live stream is showing the selected cam's picture.
    bool isLive() const { return !m_stream.isNull(); }
    // Frames of live streams shown since the start, the first of each stream included.
    qint64 framesShown() const { return m_framesShown; }

    // A decode still running after this long is given up.
    void setDecodeBudget(int ms);

    // A new cam was selected, or the program ends: a running refresh gives up, and the
    // picture's bytes are let go.
    void abandon();

    // An area's size, pixel ratio or visibility changed, or the scale mode: the picture
    // shown is decoded again at the size the areas now need if it was decoded smaller.
    void pictureAreasChanged();

    // The bytes of the picture shown while it is shown smaller than its full size; empty
    // otherwise.
    const QByteArray &keptPictureBytes() const { return m_keptBytes; }

    // The running download's state as bullets over the picture.
    void transferStateChanged(int code);

    // The picture drawn last; null before the first and after a failed load.
    const QImage &picture() const { return m_picture; }
    // m_picture's full size divided by its own: above 1 while it is shown reduced.
    int pictureReduction() const { return m_reduction; }

    // The picture the views show now exactly as it was downloaded, and the address it came
    // from; empty before the first picture, after a refresh that showed none and after a
    // change of cam.
    const QByteArray &shownPictureBytes() const { return m_shownBytes; }
    const QString &shownPictureAddress() const { return m_shownAddress; }

    float transferSeconds = 0;

    // A picture held that takes more memory than this is let go when the next one starts
    // decoding, so that two never take memory at once. The views keep showing it; a redraw
    // before the new picture is in (a resize, a mode change) finds no picture.
    static constexpr qsizetype LargePictureBytes = qsizetype(64) * 1024 * 1024;

signals:
    // A refresh is over: its picture drawn or given up, its working files deleted; the
    // heartbeat may run the next one.
    void refreshEnded();
    // The bytes of the running refresh's picture, once they are known: a 304 repeats
    // those of the answer it confirms. Not sent for a failed download.
    void pictureBytesReceived(const QByteArray &bytes);

private:
    enum class Step { Idle, Picture, Comments, Decode };

    void writeFile(const QString &name, const QByteArray &bytes, bool *ok) const;
    // Starts the request with this controller's time-out; next takes the result.
    void download(DownloadRequest request, void (CamImageFetch::*next)(const DownloadResult &),
                  bool showState = true);
    void downloadComments(bool showState);
    void partReceived(const QByteArray &part, qint64 receivedBytes);
    void frameLoaded(const LoadedPicture &result);
    void frameShown(const picture_freshness::PictureFingerprint &picture);
    void streamEnded(const DownloadResult &result);
    void stopStream();
    void pictureDownloaded(const DownloadResult &picture);
    void showStatistics(qint64 bytes);
    void commentsDownloaded(const DownloadResult &comments);
    void startDecode();
    void pictureLoaded(const LoadedPicture &result);
    void endRefresh();
    QList<DrawingArea> areasDrawnAtOnce() const;
    void redecoded(const LoadedPicture &result);
    // Hands m_picture to every picture view and draws it there, from the surfaces the
    // decode made where they still fit.
    void showPicture(std::vector<PreparedSurface> surfaces);
    void stopRedecode();
    void showFailureReason(const QString &reason);
    // Counts the failure in camHealth, sets the wait for the next try; the reason to show.
    QString refreshFailed(const QString &reason);
    void showUnchangedNote(const QString &note);
    qint64 nowMs() const;

    RunningState &m_state;
    TransferView &m_transferView;
    QList<PictureView *> m_pictureViews;
    QList<UnchangedNoteView *> m_noteViews;
    picture_freshness::UnchangedPictures m_unchangedPictures;
    const WallClock *m_wallClock = nullptr;
    picture_freshness::PictureFingerprint m_pictureBody;   // of the running refresh's answer
    // Per cam id: the bytes whose decode failed last.
    QHash<QString, picture_freshness::PictureFingerprint> m_undecodable;
    bool m_knownUndecodable = false; // the running refresh's bytes are the cam's undecodable ones
    bool m_pictureWritten = false;   // the running refresh's picture file, for the decode
    QString m_failure; // shown if the running refresh's picture does not come
    QString m_failureShown;
    QString m_noteShown;
    QImage m_picture;
    Downloader &m_downloader;
    WorkingFolder m_workFolder;
    int m_timeoutMs;
    PictureLoadJob *m_pictureLoad;
    PictureLoadJob *m_redecode;          // from the kept bytes, beside the refresh's
    QMetaObject::Connection m_redecodeDone;
    QByteArray m_refreshBytes;           // the running refresh's picture
    QByteArray m_keptBytes;
    QByteArray m_shownBytes;             // shares its data with m_held.body or m_keptBytes
    QString m_shownAddress;
    int m_reduction = 1;                 // m_picture is its full size divided by this
    QString m_extension; // of the running refresh's picture file
    QMetaObject::Connection m_decodeDone;  // to the running decode's result
    QPointer<DownloadHandler> m_download; // the running step's, if it is a download
    QElapsedTimer m_clock;
    Step m_step = Step::Idle;

    // The last full answer of an address, for conditional requests and to tell an unchanged
    // picture; m_heldShown while the views show its picture.
    HeldAnswer m_held;
    bool m_heldShown = false;
    QString m_address;              // the running refresh's picture address
    bool m_askedConditionally = false;
    bool m_sameAsShown = false;     // the running refresh's picture is the one shown

    // A live stream's, while it runs.
    QPointer<DownloadHandler> m_stream;
    PictureLoadJob *m_frameLoad;
    QMetaObject::Connection m_frameDone;
    QByteArray m_frameBytes;        // of the frame decoding
    qint64 m_streamBytes = 0;
    LiveFrames m_frames;
    live_rules::RateMeter m_rates;
    bool m_commentsOnly = false;    // the running refresh brings the comments only
    qint64 m_framesShown = 0;
};
