#include "camimagefetch.h"

#include "control/views.h"
#include "core/catalogue/camrecord.h"
#include "core/files/workingfiles.h"
#include "core/rules/countdown.h"
#include "core/rules/fetchrules.h"
#include "core/rules/heartbeatrules.h"
#include "core/rules/pictureextension.h"
#include "core/state/runningstate.h"
#include "platform/download.h"

#include <utility>

CamImageFetch::CamImageFetch(RunningState &state, TransferView &transferView, Downloader &downloader,
                             WorkingFolder workFolder, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_transferView(transferView)
    , m_downloader(downloader)
    , m_workFolder(std::move(workFolder))
    , m_timeoutMs(timeoutMs)
    , m_feed(new CamFeed(state, downloader, nullptr, this))
{
    m_feed->setTimeoutMs(timeoutMs);
    connect(m_feed, &CamFeed::pictureReceived, this, &CamImageFetch::pictureReceived);
    connect(m_feed, &CamFeed::refreshEnded, this, &CamImageFetch::pictureEnded);
    connect(m_feed, &CamFeed::transferStateChanged, this, &CamImageFetch::transferStateChanged);
    // The wait for a connection is no part of the transfer's time.
    connect(m_feed, &CamFeed::waitingForConnection, this, [this](bool waiting) {
        if (waiting)
            m_transferView.showTransferStatistics(fetch_rules::WaitingForConnectionText);
        else
            m_clock.start();
    });
    connect(m_feed, &CamFeed::liveRatesMeasured, this, [this](const live_rules::StreamRates &rates) {
        m_transferView.showTransferStatistics(fetch_rules::liveStatusText(rates.framesPerSecond, rates.bytesPerSecond));
    });
}

bool CamImageFetch::isRunning() const
{
    return m_running || m_feed->isRunning();
}

void CamImageFetch::abandon()
{
    m_feed->forgetPicture();
    if (!m_running)
        return;
    // Cut off before cancelling, so the download's end does not reach this object again.
    if (m_comments) {
        m_comments->disconnect(this);
        m_comments->cancel();
        m_comments = nullptr;
    }
    endRefresh();
}

void CamImageFetch::transferStateChanged(int code)
{
    m_transferView.showTransferState(fetch_rules::stateBullets(code));
    m_bulletsShown = true;
}

void CamImageFetch::fetchCamImage()
{
    if (isRunning())
        return; // one refresh at a time; the one running will re-enable the heartbeat
    // No comments until this cam's have arrived.
    m_state.selection.emptyCommentTable();
    m_running = true;
    m_commentsDone = false;
    if (m_feed->isLive()) {
        // The picture comes by itself; what is not live is fetched anew.
        m_commentsOnly = true;
        m_pictureDone = true;
        downloadComments(false);
        return;
    }
    // Nothing else may be transferring.
    m_downloader.cancel();
    const QString address = m_state.selection.pictureAddress();
    m_extension = picture_extension::ImageExtension(address);
    m_feed->setCam(CamRecord::field(m_state.selection.currentCamFields(), CamRecord::CamId), address);
    m_pictureDone = false;
    m_bulletsShown = false;
    // A monotonic clock, so a transfer across midnight is not negative.
    m_clock.start();
    m_feed->refresh();
}

void CamImageFetch::pictureReceived(const ReceivedPicture &picture)
{
    transferSeconds = float(m_clock.nsecsElapsed() / 1e9);
    if (picture.fullAnswer)
        emit pictureBytesReceived(picture.bytes);
    // A picture drawn again or taken down wipes the bullets over it.
    m_redrawComing = picture.newPicture() || (picture.knownUndecodable && !m_feed->picture().isNull());
    // A video's first frame comes without bytes of its own.
    if (picture.newPicture() && !picture.videoFrame) {
        // One fallback name; a second failure gives up on the file for this refresh.
        if (!m_workFolder.write(working_files::pictureFile(m_extension), picture.bytes)) {
            m_extension = picture_extension::Fallback;
            m_workFolder.write(working_files::pictureFile(m_extension), picture.bytes);
        }
    }
    showStatistics(picture.newPicture() ? picture.bytes.size() : picture.transferredBytes);
    // The comments are asked for after the picture, while it decodes.
    downloadComments(true);
}

void CamImageFetch::showStatistics(qint64 bytes)
{
    if (const auto text = fetch_rules::transferStatusText(bytes, transferSeconds))
        m_transferView.showTransferStatistics(*text);
}

void CamImageFetch::pictureEnded(bool shown, int nextTryMs)
{
    Q_UNUSED(nextTryMs);
    if (!shown) {
        // The next try waits the refresh interval backed off for the cam's failures in a row.
        const int interval = countdown::intervalSeconds(m_state.switches.refreshIntervalNow()).value_or(0);
        const int failures = m_state.health.of(m_feed->camId()).failuresInARow;
        m_state.countdowns.setRefresh(heartbeat::retryAfterFailure(interval, failures).countdown);
    }
    if (!m_running || m_pictureDone)
        return;
    m_pictureDone = true;
    if (std::exchange(m_redrawComing, false))
        m_bulletsShown = false;
    endRefreshWhenDone();
}

void CamImageFetch::downloadComments(bool showTransferState)
{
    const QString camId = CamRecord::field(m_state.selection.currentCamFields(), CamRecord::CamId);
    DownloadRequest request{fetch_rules::commentsAddress(m_state.catalogue.serverUrl(), camId), CatalogueMaxBytes};
    request.compressed = true;
    request.timeoutMs = m_timeoutMs;
    m_comments = m_downloader.start(request);
    if (showTransferState)
        connect(m_comments, &DownloadHandler::stateChanged, this, &CamImageFetch::transferStateChanged);
    connect(m_comments, &DownloadHandler::finished, this, &CamImageFetch::commentsDownloaded);
}

void CamImageFetch::commentsDownloaded(const DownloadResult &comments)
{
    m_comments = nullptr;
    // A failed comments download leaves the cam without comments.
    if (comments.ok()) {
        m_workFolder.write(working_files::TextFile, comments.body);
        m_state.selection.setCommentTable(fetch_rules::buildCommentTable(comments.body));
    }
    m_commentsDone = true;
    endRefreshWhenDone();
}

void CamImageFetch::endRefreshWhenDone()
{
    if (!m_pictureDone || !m_commentsDone)
        return;
    if (!m_commentsOnly && m_bulletsShown)
        m_transferView.clearTransferState();
    endRefresh();
}

void CamImageFetch::endRefresh()
{
    m_workFolder.remove(working_files::pictureFile(m_extension));
    m_workFolder.remove(working_files::TextFile);
    m_running = false;
    m_commentsOnly = false;
    emit refreshEnded();
}
