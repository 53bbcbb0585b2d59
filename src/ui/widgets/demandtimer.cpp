#include "demandtimer.h"

DemandTimer::DemandTimer(int intervalMs, bool enabled, QObject *parent)
    : QObject(parent)
    , m_enabled(enabled)
{
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &DemandTimer::timeout);
}

void DemandTimer::setEnabled(bool enabled)
{
    const bool changed = enabled != m_enabled;
    m_enabled = enabled;
    sync();
    if (changed)
        emit enabledChanged(enabled);
}

void DemandTimer::setWanted(bool wanted)
{
    m_wanted = wanted;
    sync();
}

void DemandTimer::sync()
{
    const bool run = m_enabled && m_wanted;
    if (run && !m_timer.isActive())
        m_timer.start();
    else if (!run && m_timer.isActive())
        m_timer.stop();
}
