#include "download.h"

#include "core/http/httprequest.h"

#include <QUrl>

// The Transfer is the one door to the network: it refuses what no request may be and
// runs one HttpDownload at a time.

Transfer::Transfer(QObject *parent)
    : QObject(parent)
{
}

Transfer::~Transfer()
{
    cancel();
}

void Transfer::cancel()
{
    if (m_running)
        m_running->cancel();
}

DownloadHandler *Transfer::start(const DownloadRequest &request)
{
    auto *handler = new HttpDownload(this, request);
    if (m_running) {
        handler->finishEarly(DownloadResult::Error::Busy, tr("Another transfer is running"));
        return handler;
    }

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
        m_running = handler;
        handler->m_current = url;
        connect(handler, &DownloadHandler::stateChanged, this, &Transfer::stateChanged);
        QMetaObject::invokeMethod(handler, &HttpDownload::begin, Qt::QueuedConnection);
    }
    return handler;
}
