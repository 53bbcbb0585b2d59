#include "retryrules.h"

#include <QCoreApplication>

namespace retry_rules {

int nextTryMs(int intervalMs, int failuresInARow)
{
    const int interval = qMax(0, intervalMs);
    if (failuresInARow <= 0 || interval >= LongestWaitMs)
        return interval;
    qint64 wait = qMax(interval, 1000);
    for (int i = 0; i < failuresInARow && wait < LongestWaitMs; ++i)
        wait *= 2;
    return int(qMin<qint64>(wait, LongestWaitMs));
}

QString withNextTry(const QString &reason, int nextTryMs)
{
    const int seconds = (qMax(0, nextTryMs) + 999) / 1000;
    return QCoreApplication::translate("retry_rules", "%1 (next try in %2 s)").arg(reason).arg(seconds);
}

} // namespace retry_rules
