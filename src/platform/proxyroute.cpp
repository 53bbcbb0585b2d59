#include "proxyroute.h"

#include "core/http/proxyrules.h"

#include <QHostAddress>

QNetworkProxy proxyFor(const QUrl &url)
{
    const QString host = url.host();
    const bool https = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const bool local = host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback();
    // Qt's query honours neither "*" nor a bare domain in the list, so the list is read here.
    const QString noProxy = proxy_rules::noProxyList(qEnvironmentVariable("no_proxy"), qEnvironmentVariable("NO_PROXY"));
    if (local || proxy_rules::bypassesProxy(noProxy, host, url.port(https ? 443 : 80)))
        return QNetworkProxy(QNetworkProxy::NoProxy);
    const QNetworkProxy proxy = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url)).value(0);
    return proxy.type() == QNetworkProxy::DefaultProxy ? QNetworkProxy(QNetworkProxy::NoProxy) : proxy;
}
