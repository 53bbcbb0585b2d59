#include "proxyrules.h"

#include <QStringList>

namespace proxy_rules {

QString noProxyList(const QString &lowerCase, const QString &upperCase)
{
    return lowerCase.isEmpty() ? upperCase : lowerCase;
}

QString withLoopback(const QString &noProxy)
{
    QStringList entries {QStringLiteral("localhost"), QStringLiteral("127.0.0.0/8"), QStringLiteral("::1")};
    for (const QString &item : noProxy.split(QLatin1Char(','))) {
        const QString entry = item.trimmed();
        // A list that exempts every host is "*" alone, or the "*" would exempt none.
        if (entry == QLatin1String("*"))
            return entry;
        if (!entry.isEmpty())
            entries.append(entry);
    }
    return entries.join(QLatin1Char(','));
}

} // namespace proxy_rules
