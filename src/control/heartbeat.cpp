#include "heartbeat.h"

#include "control/camimagefetch.h"
#include "control/camselection.h"
#include "control/views.h"
#include "core/rules/countdown.h"
#include "core/rules/heartbeatrules.h"
#include "core/state/runningstate.h"

#include <QTimer>

Heartbeat::Heartbeat(RunningState &state, CamSelection &selection, CamImageFetch &fetch, CountdownView &countdown,
                     QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_selection(selection)
    , m_fetch(fetch)
    , m_countdown(countdown)
    , m_heartbeatTimer(new QTimer(this))
{
    m_heartbeatTimer->setObjectName(QStringLiteral("Timer1"));
    m_heartbeatTimer->setInterval(1000);
    connect(m_heartbeatTimer, &QTimer::timeout, this, &Heartbeat::onTick);
}

void Heartbeat::showCamInformation()
{
    for (CamInfoView *view : m_camInfoViews)
        view->showCamInfo(m_state.currentCamFields);
    emit camInfoShown();
}

void Heartbeat::onTick()
{
    if (m_fetch.isRunning())
        return;

    const QString title = heartbeat::windowTitle(m_state.currentCamFields);
    if (m_shownTitle != title)
        showCamInformation();
    m_shownTitle = title;
    for (TitleView *view : m_titleViews)
        view->showTitle(title);

    const heartbeat::RefreshStep refresh =
        heartbeat::refreshStep(m_state.refreshCountdown, m_state.refreshIntervalText, m_state.lastRefreshInterval);
    m_state.refreshCountdown = refresh.countdown;
    if (refresh.fetch)
        m_fetch.fetchCamImage();

    const bool autoShuffle = m_state.autoShuffle;
    const heartbeat::ShuffleStep shuffle = heartbeat::shuffleStep(m_state.shuffleCountdown, autoShuffle);
    // A jump would give up the refresh this tick started; once, it waits for the next tick,
    // so that even an interval of 0 shows each cam's picture before the next cam.
    const bool jumpWaits = shuffle.pick && refresh.fetch && m_fetch.isRunning() && !m_jumpWaited;
    m_jumpWaited = jumpWaits;
    if (shuffle.pick && !jumpWaits)
        m_selection.pickRandomCam();
    else
        m_state.shuffleCountdown = shuffle.countdown;

    const QString intervalText = m_state.shuffleIntervalNow();
    const double fill =
        countdown::fillFraction(countdown::intervalSeconds(intervalText).value_or(0), countdown::value(m_state.shuffleCountdown));
    m_countdown.showCountdown(fill, heartbeat::countdownCaption(m_state.shuffleCountdown));

    if (autoShuffle)
        m_countdown.setCountdownVisible(m_state.infoBarOn);
}

void Heartbeat::refreshNow()
{
    if (m_fetch.isRunning() || m_state.camCount <= 0)
        return;
    m_state.refreshCountdown = countdown::readInterval(m_state.refreshIntervalText, m_state.lastRefreshInterval);
    m_fetch.fetchCamImage();
}

void Heartbeat::onAutoShuffleToggled()
{
    const bool on = m_state.autoShuffle;
    if (!on)
        m_state.reloadShuffleCountdown();
    m_countdown.setCountdownVisible(on);
}
