#pragma once
// Which addresses a transfer fetches: a pure rule on an address, with no connection.
#include <QUrl>

// http and https, in any case.
bool isWebScheme(const QUrl &url);

// The port a request to url goes to: the one it names, else 443 for https and 80 for http
// (in any case); -1 for another scheme that names none.
int requestPort(const QUrl &url);
