#include "camhealth.h"

void CamHealthTable::pictureShown(const QString &camId, std::optional<qint64> unchangedSince)
{
    CamHealth health = m_cams.value(camId);
    health.failuresInARow = 0;
    health.unchangedSinceMs = unchangedSince.value_or(0);
    set(camId, health);
}

void CamHealthTable::refreshFailed(const QString &camId, qint64 nowMs)
{
    CamHealth health = m_cams.value(camId);
    if (!health.failedLately(nowMs))
        health.failuresInARow = 0;
    ++health.failuresInARow;
    health.lastFailureMs = nowMs;
    set(camId, health);
}

void CamHealthTable::set(const QString &camId, const CamHealth &health)
{
    const auto it = m_cams.constFind(camId);
    if (it != m_cams.cend() && it->failuresInARow == health.failuresInARow && it->lastFailureMs == health.lastFailureMs
        && it->unchangedSinceMs == health.unchangedSinceMs)
        return;
    m_cams.insert(camId, health);
    emit changed(camId);
}

void CamHealthTable::clear()
{
    m_cams.clear();
    emit cleared();
}
