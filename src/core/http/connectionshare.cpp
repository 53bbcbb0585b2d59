#include "connectionshare.h"

#include <QHash>

#include <algorithm>

namespace connection_share {

namespace {

bool holdsShare(const Running &r, qint64 nowMs)
{
    return r.live || nowMs - r.startedMs < r.timeoutMs;
}

struct HostCount
{
    int stills = 0;  // those holding a share
    int streams = 0;
};

} // namespace

QString hostOf(const QString &scheme, const QString &host, int port)
{
    return scheme.toLower() + QStringLiteral("://") + host.toLower() + QLatin1Char(':') + QString::number(port);
}

QList<int> mayStart(const QList<Running> &running, const QList<Waiting> &waiting, qint64 nowMs)
{
    QHash<QString, HostCount> counts;
    for (const Running &r : running) {
        if (!holdsShare(r, nowMs))
            continue;
        HostCount &c = counts[r.host];
        (r.live ? c.streams : c.stills) += 1;
    }
    int total = int(running.size());
    QList<int> starting;
    for (int i = 0; i < waiting.size() && total < TransfersAtOnce; ++i) {
        HostCount &c = counts[waiting[i].host];
        int &count = waiting[i].live ? c.streams : c.stills;
        if (count >= (waiting[i].live ? StreamsPerHost : StillsPerHost))
            continue;
        ++count;
        ++total;
        starting.append(i);
    }
    return starting;
}

qint64 nextShareFreedMs(const QList<Running> &running, const QList<Waiting> &waiting, qint64 nowMs)
{
    qint64 next = -1;
    for (const Running &r : running) {
        if (!holdsShare(r, nowMs))
            continue;
        const bool wanted = std::any_of(waiting.begin(), waiting.end(),
                                        [&](const Waiting &w) { return !w.live && w.host == r.host; });
        const qint64 freed = r.startedMs + r.timeoutMs;
        if (!r.live && wanted && (next < 0 || freed < next))
            next = freed;
    }
    return next;
}

} // namespace connection_share
