#include "tilerefresh.h"

#include "control/views.h"
#include "core/rules/fetchrules.h"

TileRefresh::TileRefresh(RunningState &state, Downloader &downloader, PictureView &view,
                         const QString &camId, const QString &pictureAddress, QThreadPool *decodePool,
                         QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_feed(new CamFeed(state, downloader, decodePool, this))
{
    m_feed->setCam(camId, pictureAddress);
    m_feed->addPictureView(&view);
    m_feed->setPlacedIn(ViewScaleMode::ScaleInline);
    // A box of 0 refreshes once a second, as the heartbeat does.
    m_feed->setShortestIntervalMs(1000);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TileRefresh::refreshDue);
    connect(m_feed, &CamFeed::refreshEnded, this, &TileRefresh::refreshOver);
    // Not a failure: the note says so while it lasts, and the badge comes back after.
    connect(m_feed, &CamFeed::waitingForConnection, this, [this](bool waiting) {
        m_view.showUnchangedNote(waiting ? fetch_rules::WaitingForConnectionText : m_feed->unchangedNote());
    });
}

TileRefresh::~TileRefresh()
{
    stop();
}

void TileRefresh::start()
{
    m_stopped = false;
    refreshDue();
}

void TileRefresh::stop()
{
    m_stopped = true;
    m_due = false;
    m_timer.stop();
    m_feed->stop();
}

void TileRefresh::tileShown()
{
    if (m_stopped || !m_view.pictureOnScreen())
        return;
    if (m_due) {
        refreshDue();
        return;
    }
    // The refresh's own timing stays as it is.
    m_feed->viewsChanged();
}

void TileRefresh::refreshDue()
{
    if (m_stopped || m_feed->isRunning() || m_feed->isLive())
        return;
    if (!m_view.pictureOnScreen()) {
        // Looked at again when the tile is shown, and once a second meanwhile, for a window
        // uncovered without a word to the program.
        m_due = true;
        m_timer.start(1000);
        return;
    }
    m_due = false;
    m_feed->refresh();
}

void TileRefresh::refreshOver(bool pictureShown, int nextTryMs)
{
    // A stream's pictures come by themselves until it ends.
    if (!m_feed->isLive())
        m_timer.start(nextTryMs);
    emit refreshEnded(pictureShown);
}
