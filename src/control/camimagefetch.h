#pragma once
// fetchCamImage: one refresh of the selected cam. Downloads its picture into the working
// file "temp." + extension and shows the transfer statistics, downloads its comments into
// "temp.tmp" and rebuilds the comments table, loads the picture, hands it to every picture
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
// Frozen and failing cams: every picture a refresh shows is counted per cam by its
// fingerprint (countShownPicture()); while the cam's picture counts as unchanged, the
// unchanged-note views say since when. A refresh that shows no picture names the reason
// over the black areas of the picture views, and the unchanged note goes with it; a failed
// refresh neither restarts the moment nor counts. Both notes go with the next changed
// picture (the reason with any picture) and with a change of cam (takeDownNotes()).
#include "core/rules/picturefreshness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>

class PictureLoadJob;
class PictureView;
class TransferView;
class UnchangedNoteView;
class DownloadHandler;
class Downloader;
struct DownloadResult;
struct LoadedPicture;
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
    CamImageFetch(RunningState &state, TransferView &transferView, Downloader &downloader, QDir workDir, int timeoutMs,
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

    // A decode still running after this long is given up.
    void setDecodeBudget(int ms);

    // A new cam was selected, or the program ends: a running refresh gives up.
    void abandon();

    // The running download's state as bullets over the picture.
    void transferStateChanged(int code);

    // The picture drawn last; null before the first and after a failed load.
    const QImage &picture() const { return m_picture; }

    float transferSeconds = 0;

    // A picture held that takes more memory than this is let go when the next one starts
    // decoding, so that two never take memory at once. The views keep showing it; a redraw
    // before the new picture is in (a resize, a mode change) finds no picture.
    static constexpr qsizetype LargePictureBytes = qsizetype(64) * 1024 * 1024;

signals:
    // A refresh is over: its picture drawn or given up, its working files deleted; the
    // heartbeat may run the next one.
    void refreshEnded();

private:
    enum class Step { Idle, Picture, Comments, Decode };

    void writeFile(const QString &name, const QByteArray &bytes, bool *ok) const;
    void download(const QString &address, qint64 maxBytes, void (CamImageFetch::*next)(const DownloadResult &));
    void pictureDownloaded(const DownloadResult &picture);
    void commentsDownloaded(const DownloadResult &comments);
    void startDecode();
    void pictureLoaded(const LoadedPicture &result);
    void endRefresh();
    void showFailureReason(const QString &reason);
    void showUnchangedNote(const QString &note);
    qint64 nowMs() const;

    RunningState &m_state;
    TransferView &m_transferView;
    QList<PictureView *> m_pictureViews;
    QList<UnchangedNoteView *> m_noteViews;
    picture_freshness::UnchangedPictures m_unchanged;
    const WallClock *m_wallClock = nullptr;
    picture_freshness::PictureFingerprint m_pictureBody;   // of the running refresh's answer
    QString m_failure; // shown if the running refresh's picture does not come
    QString m_failureShown;
    QString m_noteShown;
    QImage m_picture;
    Downloader &m_downloader;
    QDir m_workDir;
    int m_timeoutMs;
    PictureLoadJob *m_pictureLoad;
    QString m_extension; // of the running refresh's picture file
    QMetaObject::Connection m_decodeDone;  // to the running decode's result
    QPointer<DownloadHandler> m_download; // the running step's, if it is a download
    QElapsedTimer m_clock;
    Step m_step = Step::Idle;
};
