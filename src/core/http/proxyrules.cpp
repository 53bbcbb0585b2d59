#include "proxyrules.h"

#include <QList>

namespace proxy_rules {

namespace {

QString plainName(QStringView name)
{
    QString n = name.trimmed().toString().toLower();
    while (n.endsWith(QLatin1Char('.')))
        n.chop(1);
    return n;
}

bool isAddress(QStringView host)
{
    if (host.contains(QLatin1Char(':')))
        return true;
    for (const QChar c : host)
        if (!c.isDigit() && c != QLatin1Char('.'))
            return false;
    return !host.isEmpty();
}

struct Entry
{
    QString host;
    int port = -1; // -1: any port
};

Entry parseEntry(QStringView text)
{
    Entry entry;
    QStringView host = text;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close > 0) {
            host = text.sliced(1, close - 1);
            const QStringView rest = text.sliced(close + 1);
            if (rest.startsWith(QLatin1Char(':')))
                entry.port = rest.sliced(1).toInt();
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        // More than one colon is an IPv6 address without a port.
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        host = text.first(colon);
        bool ok = false;
        entry.port = text.sliced(colon + 1).toInt(&ok);
        if (!ok)
            entry.port = 0; // matches no port, so a broken entry exempts nothing
    }
    while (host.startsWith(QLatin1Char('.')))
        host = host.sliced(1);
    entry.host = plainName(host);
    return entry;
}

} // namespace

bool bypassesProxy(QStringView noProxy, QStringView host, int port)
{
    const QString name = plainName(host);
    if (name.isEmpty())
        return false;
    const bool address = isAddress(name);
    for (const QStringView item : noProxy.split(QLatin1Char(','))) {
        const QStringView text = item.trimmed();
        if (text == QLatin1String("*"))
            return true;
        if (text.isEmpty())
            continue;
        const Entry entry = parseEntry(text);
        if (entry.host.isEmpty() || (entry.port != -1 && entry.port != port))
            continue;
        if (name == entry.host)
            return true;
        if (!address && name.endsWith(QLatin1Char('.') + entry.host))
            return true;
    }
    return false;
}

QString noProxyList(const QString &lowerCase, const QString &upperCase)
{
    return lowerCase.isEmpty() ? upperCase : lowerCase;
}

} // namespace proxy_rules
