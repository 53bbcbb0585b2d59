#pragma once
// Which addresses a transfer fetches: a pure rule on an address, with no connection.
#include <QUrl>

// http and https, in any case.
bool isWebScheme(const QUrl &url);
