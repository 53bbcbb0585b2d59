#pragma once
// Which hosts a no_proxy list sends past the proxy, read as curl and most tools read it.
//
// Entries are separated by commas, blanks around them ignored. "*" alone exempts every
// host. A name covers itself and every name under it ("example.test" and ".example.test"
// both cover "cams.example.test"); an address covers itself only. "host:port" (an IPv6
// address in brackets: "[::1]:8080") covers that host on that port only. Case and a final
// dot of a name do not matter.
#include <QString>
#include <QStringView>

namespace proxy_rules {

// Whether a request to host (as an address gives it, IPv6 without brackets) on port goes
// direct under the list noProxy.
bool bypassesProxy(QStringView noProxy, QStringView host, int port);

// The list in force: no_proxy when set and not empty, else NO_PROXY.
QString noProxyList(const QString &lowerCase, const QString &upperCase);

} // namespace proxy_rules
