#pragma once
// How long this thread's event loop went without a turn while a watch lives: a 5 ms timer
// notes the longest gap between its ticks. In the window thread that is the longest time
// the windows could not answer.
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

class LoopGapWatch
{
public:
    LoopGapWatch()
    {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_clock.restart()); });
        m_timer.start(5);
    }

    qint64 longest() const { return std::max(m_longest, m_clock.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};
