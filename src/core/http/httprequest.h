#pragma once
// What a transfer sends, and which addresses and answers lead it where: pure rules on an
// address and a status, with no connection.
#include <QByteArray>
#include <QUrl>

// http and https, in any case.
bool isWebScheme(const QUrl &url);
// The statuses whose Location a transfer follows.
bool isRedirect(int status);
// The request for an absolute http or https address: a GET as HTTP/1.1 that asks for no
// content coding, closes the connection and sends the address's user name and password as
// Basic credentials. extraLines (whole header lines, each ending in CR LF) go in as they are.
QByteArray requestHead(const QUrl &url, const QByteArray &extraLines = {});

// The same request as sent to an HTTP proxy: the whole address as the request target, and
// the proxy's own credentials, if it has any, as Basic Proxy-Authorization.
QByteArray proxiedRequestHead(const QUrl &url, const QString &proxyUser, const QString &proxyPassword,
                              const QByteArray &extraLines = {});

// The request that asks an HTTP proxy for a tunnel to the host and port of an https
// address, with the proxy's own credentials, if it has any, as Basic Proxy-Authorization.
QByteArray tunnelRequestHead(const QUrl &url, const QString &proxyUser, const QString &proxyPassword);
