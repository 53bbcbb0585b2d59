#include "proxyrules.h"

#include "core/http/httprequest.h"

#include <QStringList>
#include <QUrl>

#include <arpa/inet.h>

namespace proxy_rules {

QString noProxyList(const QString &lowerCase, const QString &upperCase)
{
    return lowerCase.isEmpty() ? upperCase : lowerCase;
}

QString forRequest(const QString &noProxy, const QUrl &request)
{
    const int port = requestPort(request);
    QStringList entries;
    for (const QString &item : noProxy.split(QLatin1Char(','))) {
        const QString entry = item.trimmed();
        if (entry.isEmpty())
            continue;
        // A port follows the last ":" of a name or an IPv4 address, or the "]" of an IPv6
        // one; a bare IPv6 address has none.
        const qsizetype colon = entry.lastIndexOf(QLatin1Char(':'));
        const bool bracketed = entry.startsWith(QLatin1Char('[')) && colon > 0 && entry.at(colon - 1) == QLatin1Char(']');
        if (colon < 0 || (!bracketed && entry.indexOf(QLatin1Char(':')) != colon)) {
            entries.append(entry);
            continue;
        }
        bool number = false;
        const int entryPort = entry.mid(colon + 1).toInt(&number);
        if (!number) {
            entries.append(entry);
            continue;
        }
        if (entryPort == port)
            entries.append(bracketed ? entry.mid(1, colon - 2) : entry.left(colon));
    }
    return entries.join(QLatin1Char(','));
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

bool thisMachineUnlisted(const QString &host)
{
    const QByteArray text = host.toLatin1();
    in_addr v4 {};
    if (inet_pton(AF_INET, text.constData(), &v4) == 1)
        return v4.s_addr == htonl(INADDR_ANY);
    in6_addr v6 {};
    if (inet_pton(AF_INET6, text.constData(), &v6) != 1)
        return false;
    const uint8_t *tail = v6.s6_addr + 12;
    return IN6_IS_ADDR_UNSPECIFIED(&v6)
        || (IN6_IS_ADDR_V4MAPPED(&v6) && (tail[0] == 127 || (tail[0] | tail[1] | tail[2] | tail[3]) == 0));
}

} // namespace proxy_rules
