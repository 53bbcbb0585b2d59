#pragma once
// The memory of this test process while a step runs: the largest resident size reached,
// against the size when the watch was made.
#include <QFile>
#include <QObject>
#include <QTimer>

#include <unistd.h>

#include <algorithm>

namespace memory_watch {

inline qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return f.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

inline qint64 peakResidentBytes()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

} // namespace memory_watch

// The kernel's high-water mark is reset at the start so a short spike between two samples
// (a decoder filling a buffer outside any event loop) is still caught; where that reset is
// not allowed, samples taken by a timer in the downloads' event loops stand in.
class MemoryWatch
{
public:
    MemoryWatch()
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        m_peakReset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
        clear.close();
        m_base = m_max = memory_watch::residentBytes();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_max = std::max(m_max, memory_watch::residentBytes()); });
        m_timer.start(2);
    }

    qint64 growth()
    {
        m_max = std::max(m_max, memory_watch::residentBytes());
        if (m_peakReset)
            m_max = std::max(m_max, memory_watch::peakResidentBytes());
        return m_max - m_base;
    }

private:
    QTimer m_timer;
    qint64 m_base = 0;
    qint64 m_max = 0;
    bool m_peakReset = false;
};
