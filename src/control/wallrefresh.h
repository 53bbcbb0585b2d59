#pragma once
// The wall: which cams it shows, and one TileRefresh per tile.
//
// wallCams() picks the cams: the favourites in catalogue order, or when there are none the
// first cams of the list as it is filtered, at most wall_grid::MaxTiles. start() runs a
// refresh for each cam on its tile view, all side by side; stop() cancels every download
// and decode of the wall, and nothing more of it shows. The tiles decode on one fewer thread
// than the machine has cores (at least one).
//
// The tiles' downloads share DownloadBudgetBytes: each tile's picture (a live stream's
// part) is capped at its even share of it, never above PictureMaxBytes, so the wall's
// bodies in flight stay within the budget however many tiles send the most they may at
// once; a picture over its share fails as an oversized one does, and the tile says so. An
// even share rather than a pool drawn on as bytes come: a tile's limit is then the same
// whatever the other cams send, and no tile waits for another's bytes to go.
#include "core/rules/picturefreshness.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <vector>

class Downloader;
class TileRefresh;
class PictureView;
class WallClock;
struct RunningState;

struct WallCam
{
    int camIndex = -1; // in the cam table
    QString id;
    QString name;
    QString pictureAddress;
};

// filtered: the cams the list shows, in table order; nullptr for all of them.
QList<WallCam> wallCams(const RunningState &state, const std::vector<int> *filtered);

class WallRefresh : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 DownloadBudgetBytes = 128 * 1024 * 1024;

    WallRefresh(RunningState &state, Downloader &downloader, QObject *parent = nullptr);
    ~WallRefresh() override;

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    void setDecodeBudget(int ms) { m_decodeBudgetMs = ms; }
    void setUnchangedThreshold(picture_freshness::UnchangedThreshold threshold) { m_threshold = threshold; }
    void setClock(const WallClock *clock) { m_clock = clock; }

    // One tile view per cam, in the same order; the tiles outlive the refreshes.
    void start(const QList<WallCam> &cams, const QList<PictureView *> &tiles);
    void stop();
    // Tiles may have come into sight (the window shown, restored or resized).
    void tilesShown();
    const QList<TileRefresh *> &tiles() const { return m_tiles; }

private:
    RunningState &m_state;
    Downloader &m_downloader;
    int m_timeoutMs = 30000;
    int m_decodeBudgetMs = 10000;
    picture_freshness::UnchangedThreshold m_threshold;
    const WallClock *m_clock = nullptr;
    QList<TileRefresh *> m_tiles;
    // Every tile decodes here: a core is left to the window thread however many pictures
    // arrive at once.
    QThreadPool m_decodePool;
};
