#include "countdown.h"

#include <algorithm>

namespace countdown {

std::optional<int> intervalSeconds(const QString &boxText)
{
    const QString t = boxText.trimmed();
    if (t.isEmpty() || t.size() > 12)
        return std::nullopt;
    for (const QChar c : t) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const qint64 n = t.toLongLong();
    if (n > MaxIntervalSeconds)
        return std::nullopt;
    return int(n);
}

QString readInterval(const QString &boxText, QString &lastReadable)
{
    if (intervalSeconds(boxText))
        lastReadable = boxText;
    return lastReadable;
}

Countdown Countdown::loadedFrom(const QString &boxText)
{
    Countdown loaded(intervalSeconds(boxText).value_or(0));
    loaded.m_loadedText = boxText.isNull() ? QString(QLatin1String("")) : boxText;
    return loaded;
}

double fillFraction(int intervalSeconds, int countdownValue)
{
    if (intervalSeconds <= 0)
        return 1.0;
    return std::clamp(double(intervalSeconds - countdownValue) / intervalSeconds, 0.0, 1.0);
}

} // namespace countdown
