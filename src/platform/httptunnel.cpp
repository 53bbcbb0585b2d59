#include "download.h"
#include "httphop.h"

#include "core/http/conditional.h"
#include "core/http/httprequest.h"

#include <QSslSocket>
#include <QTimer>

using namespace http_download;

// An encrypted request through an HTTP proxy asks the proxy for a tunnel first, and its
// answer is read under the same limits as any other: at most HeaderMaxBytes, whole within
// the time-out of the request going out.
void HttpDownload::takeTunnelAnswer(const QByteArray &piece)
{
    HttpResponseReader *answer = m_hop->tunnel.get();
    const qsizetype taken = answer->feed(piece);
    if (answer->failed()) {
        fail(readerError(answer->error()), tr("The proxy: %1").arg(readerErrorText(answer->error(), 0)));
        return;
    }
    if (!answer->headersComplete())
        return;
    m_headerWait->stop();
    const int status = answer->statusCode();
    if (status < 200 || status > 299) {
        fail(DownloadResult::Error::Network,
             tr("The proxy refused the connection to %1 (status %2)").arg(m_current.host()).arg(status));
        return;
    }
    // Nothing may come before the server's own bytes, which come only once asked for.
    if (taken < piece.size()) {
        fail(DownloadResult::Error::Network, tr("The proxy sent a broken answer"));
        return;
    }
    m_hop->tunnel.reset();
    m_hop->written = 0;
    m_hop->head = requestHead(m_current, conditionalHeaderLines(m_request.validators));
    auto *socket = static_cast<QSslSocket *>(m_hop->socket);
    // The certificate and the server name are the address's, not the proxy's.
    socket->setPeerVerifyName(m_current.host());
    socket->startClientEncryption();
}
