// Runs a download to its end for a test: start(), then a local event loop until the
// handler has finished; its result.
#pragma once

#include "platform/transfer.h"

#include <QEventLoop>
#include <QObject>

inline DownloadResult download(Transfer &transfer, const DownloadRequest &request)
{
    DownloadResult result;
    QEventLoop loop;
    QObject::connect(transfer.start(request), &DownloadHandler::finished, &loop, [&](const DownloadResult &r) {
        result = r;
        loop.quit();
    });
    loop.exec();
    return result;
}
