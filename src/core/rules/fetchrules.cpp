#include "fetchrules.h"

#include "core/catalogue/ansitext.h"

#include <QUrl>

#include <cmath>

namespace fetch_rules {

namespace {

QString twoDecimals(double value, const QLocale &locale)
{
    QLocale l(locale);
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(value, 'f', 2);
}

} // namespace

std::optional<QString> transferStatusText(qint64 bytes, float seconds, const QLocale &locale)
{
    if (!(seconds > 0.0f) || !std::isfinite(seconds))
        return std::nullopt;
    const float size = float(bytes) / 1024.0f;
    const float rate = (float(bytes) / seconds) / 1024.0f;
    return twoDecimals(size, locale) + QStringLiteral(" kb in ") + twoDecimals(seconds, locale)
        + QStringLiteral(" sec. (") + twoDecimals(rate, locale) + QStringLiteral(" kb/sec)");
}

QString liveStatusText(double framesPerSecond, double bytesPerSecond, const QLocale &locale)
{
    return QStringLiteral("Live: ") + twoDecimals(framesPerSecond, locale) + QStringLiteral(" fps (")
        + twoDecimals(bytesPerSecond / 1024.0, locale) + QStringLiteral(" kb/sec)");
}

QStringList buildCommentTable(const QByteArray &answer)
{
    QStringList table;
    for (const QByteArrayView line : ansi::splitLines(answer)) {
        if (!line.isEmpty())
            table.append(ansi::decode(line));
    }
    if (table.isEmpty())
        table.append(QString());
    table.append(QString());
    return table;
}

QString commentsAddress(const QString &serverUrl, const QString &camId)
{
    return serverUrl + QStringLiteral("/comments.php?camid=") + QString::fromLatin1(QUrl::toPercentEncoding(camId));
}

QString stateBullets(int n)
{
    return n > 0 ? QString(QStringLiteral("\u2022 ")).repeated(n) : QString();
}

} // namespace fetch_rules
