#pragma once
// How far the resident memory of this process rises while a watch lives.
#include <QFile>
#include <QTimer>

#include <unistd.h>

#include <algorithm>

namespace memorywatch {

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

} // namespace memorywatch

// The largest resident size reached while it lives, against the size when it was made.
// The kernel's high-water mark is reset at the start so a short spike between two samples
// (a decoder filling a buffer outside any event loop, or on another thread) is still
// caught; where that reset is not allowed, samples taken by a timer in the event loops
// stand in.
class MemoryWatch
{
public:
    MemoryWatch()
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        m_peakReset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
        clear.close();
        m_base = m_max = memorywatch::residentBytes();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_max = std::max(m_max, memorywatch::residentBytes()); });
        m_timer.start(2);
    }

    qint64 growth()
    {
        m_max = std::max(m_max, memorywatch::residentBytes());
        if (m_peakReset)
            m_max = std::max(m_max, memorywatch::peakResidentBytes());
        return m_max - m_base;
    }

private:
    QTimer m_timer;
    qint64 m_base = 0;
    qint64 m_max = 0;
    bool m_peakReset = false;
};
