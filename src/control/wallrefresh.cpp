#include "wallrefresh.h"

#include "control/tilerefresh.h"
#include "core/catalogue/camrecord.h"
#include "core/geometry/wallgrid.h"
#include "core/state/runningstate.h"
#include "platform/download.h"

#include <QThread>

#include <algorithm>
#include <utility>

QList<WallCam> wallCams(const RunningState &state, const std::vector<int> *filtered)
{
    std::vector<int> all;
    if (!filtered) {
        for (int i = 0; i < state.catalogue.camCount(); ++i)
            all.push_back(i);
        filtered = &all;
    }
    auto camAt = [&state](int i) {
        const QStringList fields = CamRecord::split(state.catalogue.camTable().value(i));
        return WallCam{i, CamRecord::field(fields, CamRecord::CamId), CamRecord::field(fields, CamRecord::CamName),
                       CamRecord::field(fields, CamRecord::ImageUrl)};
    };
    QList<WallCam> cams;
    if (!state.catalogue.favouriteCams().isEmpty()) {
        for (int i = 0; i < state.catalogue.camCount() && cams.size() < wall_grid::MaxTiles; ++i) {
            const WallCam cam = camAt(i);
            if (state.catalogue.favouriteCams().contains(cam.id))
                cams.append(cam);
        }
        if (!cams.isEmpty())
            return cams;
    }
    for (const int i : *filtered) {
        if (cams.size() >= wall_grid::MaxTiles)
            break;
        if (i >= 0 && i < state.catalogue.camCount())
            cams.append(camAt(i));
    }
    return cams;
}

WallRefresh::WallRefresh(RunningState &state, Downloader &downloader, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_downloader(downloader)
{
    m_decodePool.setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1));
}

WallRefresh::~WallRefresh()
{
    // Before the pool goes.
    stop();
}

void WallRefresh::start(const QList<WallCam> &cams, const QList<PictureView *> &tiles)
{
    stop();
    const qsizetype count = std::min(cams.size(), tiles.size());
    const qint64 share = std::min(PictureMaxBytes, DownloadBudgetBytes / std::max<qsizetype>(1, count));
    for (qsizetype i = 0; i < count; ++i) {
        auto *tile = new TileRefresh(m_state, m_downloader, *tiles[i], cams[i].id, cams[i].pictureAddress,
                                     &m_decodePool, this);
        CamFeed &feed = tile->feed();
        feed.setTimeoutMs(m_timeoutMs);
        feed.setMaxBytes(share);
        feed.setDecodeBudget(m_decodeBudgetMs);
        feed.setUnchangedThreshold(m_threshold);
        feed.setClock(m_clock);
        // A video among other tiles shows its key frames only: decoding every frame of
        // many streams would cost many times a wall of stills.
        feed.setKeyFramesOnly(count > 1);
        m_tiles.append(tile);
    }
    for (TileRefresh *tile : std::as_const(m_tiles))
        tile->start();
}

void WallRefresh::stop()
{
    // Gone at once, each waiting for its cancelled decode: none may outlive the pool.
    qDeleteAll(std::exchange(m_tiles, {}));
}

void WallRefresh::tilesShown()
{
    for (TileRefresh *tile : std::as_const(m_tiles))
        tile->tileShown();
}
