#include "transfer.h"

#include "platform/curldownload.h"

#include "core/http/httprequest.h"

#include <QUrl>

// The Transfer is the one door to the network: it refuses what no request may be and runs
// the rest side by side in this thread's multi handle.

Transfer::Transfer(QObject *parent)
    : QObject(parent)
    , m_multi(CurlMulti::forThisThread())
{
}

Transfer::~Transfer()
{
    cancel();
    // Handlers not yet delivered go with the Transfer, their transfers stopped first.
    for (CurlDownload *handler : findChildren<CurlDownload *>(Qt::FindDirectChildrenOnly))
        delete handler;
}

void Transfer::cancel()
{
    const QList<CurlDownload *> running = m_running;
    for (CurlDownload *handler : running)
        handler->cancel();
}

DownloadHandler *Transfer::start(const DownloadRequest &request)
{
    auto *handler = new CurlDownload(this, request);
    m_lastAddress = request.address;
    const QUrl url(request.address, QUrl::TolerantMode);
    if (!url.isValid() || url.isRelative()) {
        handler->finishEarly(DownloadResult::Error::InvalidAddress, tr("Not an address: %1").arg(request.address));
    } else if (!isWebScheme(url)) {
        handler->finishEarly(DownloadResult::Error::UnsupportedScheme,
                             tr("Only http and https addresses are fetched: %1").arg(request.address));
    } else if (url.host().isEmpty()) {
        handler->finishEarly(DownloadResult::Error::InvalidAddress, tr("No host in address: %1").arg(request.address));
    } else {
        m_running.append(handler);
        connect(handler, &DownloadHandler::stateChanged, this, &Transfer::stateChanged);
        QMetaObject::invokeMethod(handler, [handler, url] { handler->begin(url); }, Qt::QueuedConnection);
    }
    return handler;
}
