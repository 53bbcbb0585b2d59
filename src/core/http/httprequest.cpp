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

namespace {

QByteArray proxyCredentials(const QString &user, const QString &password)
{
    if (user.isEmpty())
        return {};
    return "Proxy-Authorization: Basic " + (user.toUtf8() + ':' + password.toUtf8()).toBase64() + "\r\n";
}

QByteArray composeHead(const QUrl &url, const QByteArray &extraLines, bool absoluteTarget)
{
    // An absolute address resolves to itself with its dot segments removed as RFC 3986
    // says; QUrl::NormalizePathSegments in Qt 6.4 makes "/a/./b/../c" into "/a//c".
    QUrl target = url.resolved(url);
    if (target.path().isEmpty())
        target.setPath(QStringLiteral("/"));
    // A proxy is given the whole address, without the user's credentials, which go to the
    // server in their own field.
    const QUrl::FormattingOptions format = absoluteTarget
        ? QUrl::RemoveUserInfo | QUrl::RemoveFragment | QUrl::FullyEncoded
        : QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment | QUrl::FullyEncoded;

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

} // namespace

QByteArray requestHead(const QUrl &url, const QByteArray &extraLines)
{
    return composeHead(url, extraLines, false);
}

QByteArray proxiedRequestHead(const QUrl &url, const QString &proxyUser, const QString &proxyPassword,
                              const QByteArray &extraLines)
{
    return composeHead(url, extraLines + proxyCredentials(proxyUser, proxyPassword), true);
}

QByteArray tunnelRequestHead(const QUrl &url, const QString &proxyUser, const QString &proxyPassword)
{
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    const QByteArray authority = host + ':' + QByteArray::number(url.port(443));
    return "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\nUser-Agent: lumora-viewer/5\r\n"
        + proxyCredentials(proxyUser, proxyPassword) + "\r\n";
}
