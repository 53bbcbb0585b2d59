#pragma once
// The way a request takes to its address: NoProxy for this machine's own addresses
// (localhost, 127.0.0.0/8, ::1) and for the hosts the no_proxy list exempts (no_proxy, or
// NO_PROXY when that is not set; see proxy_rules); otherwise the proxy the desktop's
// settings name for the address (http_proxy, https_proxy, as Qt reads them), or NoProxy
// when they name none.
#include <QNetworkProxy>
#include <QUrl>

QNetworkProxy proxyFor(const QUrl &url);
