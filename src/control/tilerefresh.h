#pragma once
// The refresh of one wall tile: its cam's CamFeed asked again and again, each time the
// refresh interval (the interval box's, read afresh each time, at least a second) after the
// last refresh ended, or the feed's backed-off wait after a failure. The feed shows each
// picture placed in the tile's area, from memory; no file is written.
//
// A refresh falls due only for a tile on screen: one due while the tile cannot be seen
// waits until tileShown() says it can. A tile that changes size gets the picture shown made
// anew from its bytes. stop() cancels the running download or decode, and nothing more of
// this tile runs or shows after it.
#include "control/camfeed.h"

#include <QObject>
#include <QTimer>

class Downloader;
class QThreadPool;

class TileRefresh : public QObject
{
    Q_OBJECT
public:
    // view: the tile's picture area. decodePool: the threads
    // decodes run on (see PictureLoadJob); it outlives the refresh.
    TileRefresh(RunningState &state, Downloader &downloader, PictureView &view,
                const QString &camId, const QString &pictureAddress, QThreadPool *decodePool = nullptr,
                QObject *parent = nullptr);
    ~TileRefresh() override;

    CamFeed &feed() { return *m_feed; }

    // The first refresh, now.
    void start();
    void stop();
    // The tile may have come into sight: a refresh that fell due meanwhile runs now.
    void tileShown();
    bool isRunning() const { return m_feed->isRunning(); }
    const QString &camId() const { return m_feed->camId(); }

signals:
    // A refresh is over, with a picture shown (a new one or the same) or not.
    void refreshEnded(bool pictureShown);

private:
    void refreshDue();
    void refreshOver(bool pictureShown, int nextTryMs);

    PictureView &m_view;
    CamFeed *m_feed;
    QTimer m_timer;
    bool m_due = false;
    bool m_stopped = true;
};
