#pragma once
// Which hosts go past the proxy: the no_proxy list as the user set it, and this machine's
// own addresses always.
//
// The list is read by libcurl's rules: entries separated by commas, a name covering itself
// and every name under it, an address or a range ("10.0.0.0/8") covering its addresses,
// "*" alone covering every host. An entry may name a port ("cams.example:8080",
// "[fd00::1]:80"), which libcurl does not read: forRequest() resolves those for the request
// at hand.
#include <QString>

class QUrl;

namespace proxy_rules {

// The list in force: no_proxy when set and not empty, else NO_PROXY.
QString noProxyList(const QString &lowerCase, const QString &upperCase);

// The list for a request to `request`: an entry with a port stands as its name alone when
// the port is the request's (the scheme's own, 80 or 443, when the address names none) and is
// left out when it is another; entries without a port stay as they are. The list holds for
// the redirects of the request too.
QString forRequest(const QString &noProxy, const QUrl &request);

// The list with localhost, 127.0.0.0/8 and ::1 added; "*" anywhere in it stays "*".
QString withLoopback(const QString &noProxy);

// True for this machine in the forms that list cannot name: 0.0.0.0, ::, and the IPv4-mapped
// IPv6 forms of 127.0.0.0/8 and 0.0.0.0 (libcurl matches IPv6 entries by spelling alone).
bool thisMachineUnlisted(const QString &host);

} // namespace proxy_rules
