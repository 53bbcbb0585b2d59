#pragma once
// fetchCamImage: one refresh of the selected cam, over the selected cam's CamFeed. The feed
// brings the picture (conditional requests, live streams, the notes, the cam's health) and
// shows it on the picture views; on top of it a refresh of the selected cam
// - writes the picture's bytes into the working file "temp." + extension as they come, and
//   shows the transfer statistics of the bytes in hand;
// - then downloads the cam's comments into "temp.tmp" and rebuilds the comments table, while
//   the picture decodes;
// - ends when both are done: the working files are deleted and refreshEnded() goes out. A
//   failed refresh sets the refresh countdown to the feed's next try.
// Every step stands on its own: a failing one is skipped and the next runs. A change of cam
// or the end of the program abandons a running refresh at once (abandon()): nothing of the
// old cam can arrive any more, and isRunning() holds until the decoder has let go.
//
// While a live stream shows the cam, a refresh falling due brings only the comments; the
// statistics give the frames shown and the bytes received per second.
#include "control/camfeed.h"
#include "core/files/workingfolder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class DownloadHandler;
class Downloader;
class TransferView;
struct DownloadResult;
struct RunningState;

class CamImageFetch : public QObject
{
    Q_OBJECT
public:
    CamImageFetch(RunningState &state, TransferView &transferView, Downloader &downloader, WorkingFolder workFolder,
                  int timeoutMs, QObject *parent = nullptr);

    CamFeed &feed() { return *m_feed; }
    const CamFeed &feed() const { return *m_feed; }
    // The views a refresh shows on; the first also sizes the decode's preparations first.
    void addPictureView(PictureView *view) { m_feed->addPictureView(view); }
    void addUnchangedNoteView(UnchangedNoteView *view) { m_feed->addUnchangedNoteView(view); }
    void addStreamFormatView(StreamFormatView *view) { m_feed->addStreamFormatView(view); }
    void setUnchangedThreshold(picture_freshness::UnchangedThreshold threshold) { m_feed->setUnchangedThreshold(threshold); }
    void setClock(const WallClock *clock) { m_feed->setClock(clock); }
    // A decode still running after this long is given up.
    void setDecodeBudget(int ms) { m_feed->setDecodeBudget(ms); }

    void fetchCamImage();
    bool isRunning() const;
    bool isLive() const { return m_feed->isLive(); }
    qint64 framesShown() const { return m_feed->framesShown(); }

    // A new cam was selected, or the program ends: a running refresh gives up, and the
    // picture's bytes are let go.
    void abandon();
    // Another cam is selected: the notes about the old one's picture go.
    void takeDownNotes() { m_feed->takeDownNotes(); }
    // An area's size, pixel ratio or visibility changed, or the scale mode.
    void pictureAreasChanged() { m_feed->viewsChanged(); }

    // The running download's state as bullets over the picture.
    void transferStateChanged(int code);

    const QImage &picture() const { return m_feed->picture(); }
    int pictureReduction() const { return m_feed->pictureReduction(); }
    const QByteArray &shownPictureBytes() const { return m_feed->shownPictureBytes(); }
    const QString &shownPictureAddress() const { return m_feed->shownPictureAddress(); }

    float transferSeconds = 0;


signals:
    // A refresh is over: its picture drawn or given up, its working files deleted; the
    // heartbeat may run the next one.
    void refreshEnded();
    // The bytes of the running refresh's picture, once they are known: a 304 repeats
    // those of the answer it confirms. Not sent for a failed download.
    void pictureBytesReceived(const QByteArray &bytes);

private:

    void pictureReceived(const ReceivedPicture &picture);
    void pictureEnded(bool shown, int nextTryMs);
    void downloadComments(bool showTransferState);
    void commentsDownloaded(const DownloadResult &comments);
    void showStatistics(qint64 bytes);
    void endRefreshWhenDone();
    void endRefresh();

    RunningState &m_state;
    TransferView &m_transferView;
    Downloader &m_downloader;
    WorkingFolder m_workFolder;
    int m_timeoutMs;
    CamFeed *m_feed;
    QString m_extension;                  // of the running refresh's picture file
    QPointer<DownloadHandler> m_comments; // the running comments download
    QElapsedTimer m_clock;
    bool m_running = false;               // a refresh of this object's, besides the feed's
    bool m_pictureDone = false;
    bool m_commentsDone = false;
    bool m_redrawComing = false;  // the running refresh's picture is drawn or taken down
    bool m_bulletsShown = false;  // bullets over the picture since it was last drawn
    bool m_commentsOnly = false;  // the running refresh brings the comments only
};
