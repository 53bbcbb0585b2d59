#include "readpacing.h"

std::shared_ptr<ReadPacing> ReadPacing::forThisThread()
{
    thread_local std::weak_ptr<ReadPacing> current;
    std::shared_ptr<ReadPacing> pacing = current.lock();
    if (!pacing) {
        pacing.reset(new ReadPacing);
        current = pacing;
    }
    return pacing;
}

ReadPacing::ReadPacing()
{
    // A timer of no wait runs once the events already waiting have had their turn.
    m_turn.setSingleShot(true);
    m_turn.setInterval(0);
    connect(&m_turn, &QTimer::timeout, this, &ReadPacing::nextTurn);
}

bool ReadPacing::take(qint64 bytes)
{
    if (m_taken >= PerTurnBytes)
        return false;
    m_taken += bytes;
    if (!m_turn.isActive())
        m_turn.start();
    return true;
}

void ReadPacing::resumeLater(QObject *context, std::function<void()> resume)
{
    m_waiting.append({QPointer<QObject>(context), std::move(resume)});
    if (!m_turn.isActive())
        m_turn.start();
}

void ReadPacing::nextTurn()
{
    m_taken = 0;
    // A resumed transfer may be refused again at once: it waits behind the others then.
    const auto waiting = std::exchange(m_waiting, {});
    for (const auto &[context, resume] : waiting) {
        if (context)
            resume();
    }
}
