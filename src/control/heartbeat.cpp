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
        view->showCamInfo(m_state.selection.currentCamFields());
    emit camInfoShown();
}

void Heartbeat::onTick()
{
    if (m_fetch.isRunning())
        return;

    const QString title = heartbeat::windowTitle(m_state.selection.currentCamFields());
    if (m_shownTitle != title)
        showCamInformation();
    m_shownTitle = title;
    for (TitleView *view : m_titleViews)
        view->showTitle(title);

    const heartbeat::RefreshStep refresh =
        heartbeat::refreshStep(m_state.countdowns.refresh(), [this] { return m_state.switches.refreshIntervalNow(); });
    m_state.countdowns.setRefresh(refresh.countdown);
    if (refresh.fetch)
        m_fetch.fetchCamImage();

    const bool autoShuffle = m_state.switches.autoShuffle();
    const heartbeat::ShuffleStep shuffle = heartbeat::shuffleStep(m_state.countdowns.shuffle(), autoShuffle);
    // A jump would give up the refresh this tick started; once, it waits for the next tick,
    // so that even an interval of 0 shows each cam's picture before the next cam.
    const bool jumpWaits = shuffle.pick && refresh.fetch && m_fetch.isRunning() && !m_jumpWaited;
    m_jumpWaited = jumpWaits;
    if (shuffle.pick && !jumpWaits)
        m_selection.pickRandomCam();
    else
        m_state.countdowns.setShuffle(shuffle.countdown);

    const QString intervalText = m_state.switches.shuffleIntervalNow();
    const double fill =
        countdown::fillFraction(countdown::intervalSeconds(intervalText).value_or(0), m_state.countdowns.shuffle().value());
    m_countdown.showCountdown(fill, heartbeat::countdownCaption(m_state.countdowns.shuffle()));

    if (autoShuffle)
        m_countdown.setCountdownVisible(m_state.switches.infoBarOn());
}

void Heartbeat::refreshNow()
{
    if (m_fetch.isRunning() || m_state.catalogue.camCount() <= 0)
        return;
    m_state.countdowns.setRefresh(countdown::Countdown::loadedFrom(m_state.switches.refreshIntervalNow()));
    m_fetch.fetchCamImage();
}

void Heartbeat::onAutoShuffleToggled()
{
    const bool on = m_state.switches.autoShuffle();
    if (!on)
        m_state.reloadShuffleCountdown();
    m_countdown.setCountdownVisible(on);
}
