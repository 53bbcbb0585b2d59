#include "httprequest.h"

bool isWebScheme(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QByteArray requestHead(const QUrl &url, const QByteArray &extraLines)
{
    // An absolute address resolves to itself with its dot segments removed as RFC 3986
    // says; QUrl::NormalizePathSegments in Qt 6.4 makes "/a/./b/../c" into "/a//c".
    QUrl target = url.resolved(url);
    if (target.path().isEmpty())
        target.setPath(QStringLiteral("/"));
    const QUrl::FormattingOptions format = QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment
        | QUrl::FullyEncoded;

    const bool https = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port() != -1 && url.port() != (https ? 443 : 80))
        host += ':' + QByteArray::number(url.port());

    QByteArray head = "GET " + target.toEncoded(format) + " HTTP/1.1\r\nHost: " + host
        + "\r\nUser-Agent: lumora-viewer/5\r\nAccept: */*\r\nAccept-Encoding: identity\r\n";
    if (!url.userName().isEmpty()) {
        const QByteArray credentials = url.userName(QUrl::FullyDecoded).toUtf8() + ':'
            + url.password(QUrl::FullyDecoded).toUtf8();
        head += "Authorization: Basic " + credentials.toBase64() + "\r\n";
    }
    return head + extraLines + "Connection: close\r\n\r\n";
}
