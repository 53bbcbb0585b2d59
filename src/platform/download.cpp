#include "download.h"
#include "httphop.h"
#include "proxyroute.h"

#include "core/http/conditional.h"
#include "core/http/httprequest.h"
#include "core/http/httpresponse.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <utility>

// The transfer speaks HTTP/1.1 over a socket of its own rather than through
// QNetworkAccessManager: Qt 6.4 reads a header section in its HTTP thread one byte per
// system call, cannot be stopped before the section ends (an abort only detaches the reply
// while that thread, and every later request of the manager, stays busy), gives no sign of
// progress meanwhile and drops oversized header fields without failing. Reading the
// answer here lets every limit hold byte by byte.

namespace {

// What the socket may hold before the transfer has taken it; it stops reading from the
// connection beyond that, so an endless fast answer costs no more.
constexpr qint64 SocketBufferBytes = 256 * 1024;
constexpr qint64 ReadPieceBytes = 64 * 1024;

} // namespace

using namespace http_download;

HttpDownload::HttpDownload(Transfer *transfer, const DownloadRequest &request)
    : DownloadHandler(transfer)
    , m_transfer(transfer)
    , m_request(request)
    , m_idle(new QTimer(this))
    , m_deadline(new QTimer(this))
    , m_headerWait(new QTimer(this))
{
    m_idle->setSingleShot(true);
    m_deadline->setSingleShot(true);
    m_headerWait->setSingleShot(true);
    m_headerWait->setInterval(request.timeoutMs);
}

HttpDownload::~HttpDownload()
{
    if (!m_concluded)
        conclude();
}

void HttpDownload::finishEarly(DownloadResult::Error error, const QString &text)
{
    m_result = failure(error, text);
    m_concluded = true;
    QMetaObject::invokeMethod(this, &HttpDownload::deliver, Qt::QueuedConnection);
}

void HttpDownload::cancel()
{
    if (m_delivered)
        return;
    m_result = failure(DownloadResult::Error::Cancelled, tr("Cancelled"));
    m_answer.reset();
    // The Transfer may run the next transfer before this one has reported; its states are
    // that one's alone.
    if (m_transfer)
        disconnect(this, &DownloadHandler::stateChanged, m_transfer, &Transfer::stateChanged);
    if (!m_concluded)
        conclude();
}

void HttpDownload::advance(int code)
{
    if (code <= m_state)
        return;
    m_state = code;
    emit stateChanged(code);
}

void HttpDownload::begin()
{
    if (m_concluded)
        return;
    advance(Transfer::ResolvingHost);

    // Both run across all hops; any byte sent or received is progress, header bytes too.
    connect(m_idle, &QTimer::timeout, this, [this] {
        fail(DownloadResult::Error::Timeout, tr("No answer for %1 seconds").arg(m_request.timeoutMs / 1000.0));
    });
    connect(m_deadline, &QTimer::timeout, this, [this] {
        fail(DownloadResult::Error::Timeout,
             tr("The transfer took longer than %1 seconds").arg(m_request.deadlineMs / 1000.0));
    });
    // Servers send their header section at once; one that trickles it is not worth the
    // wait, so the section must be whole within the time-out of the request going out.
    connect(m_headerWait, &QTimer::timeout, this, [this] {
        fail(DownloadResult::Error::Timeout,
             tr("No complete header section within %1 seconds").arg(m_request.timeoutMs / 1000.0));
    });
    m_idle->start(m_request.timeoutMs);
    m_deadline->start(m_request.deadlineMs);
    startHop();
}

void HttpDownload::startHop()
{
    const bool https = m_current.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    m_hop = std::make_unique<Hop>();
    m_hopOver = false;
    if (https && !QSslSocket::supportsSsl()) {
        fail(DownloadResult::Error::Network, tr("No TLS support for %1").arg(m_current.toString()));
        return;
    }
    m_hop->reader = std::make_unique<HttpResponseReader>(HeaderMaxBytes, m_request.maxBytes);
    QTcpSocket *socket = https ? new QSslSocket(this) : new QTcpSocket(this);
    socket->setReadBufferSize(SocketBufferBytes);
    m_hop->socket = socket;
    connectSocket(socket, https);

    // A plain request goes to an HTTP proxy whole; an encrypted one asks it for a tunnel
    // first (see takeTunnelAnswer); any other kind of proxy is tunnelled by the socket itself.
    const QNetworkProxy proxy = proxyFor(m_current);
    const bool viaHttpProxy = proxy.type() == QNetworkProxy::HttpProxy;
    socket->setProxy(viaHttpProxy ? QNetworkProxy(QNetworkProxy::NoProxy) : proxy);
    const QByteArray extra = conditionalHeaderLines(m_request.validators);
    if (viaHttpProxy && https) {
        m_hop->tunnel = std::make_unique<HttpResponseReader>(HeaderMaxBytes, 0);
        m_hop->head = tunnelRequestHead(m_current, proxy.user(), proxy.password());
    } else {
        m_hop->head = viaHttpProxy ? proxiedRequestHead(m_current, proxy.user(), proxy.password(), extra)
                                   : requestHead(m_current, extra);
    }

    const quint16 port = quint16(m_current.port(https ? 443 : 80));
    if (viaHttpProxy)
        socket->connectToHost(proxy.hostName(), proxy.port());
    else if (https)
        static_cast<QSslSocket *>(socket)->connectToHostEncrypted(m_current.host(), port);
    else
        socket->connectToHost(m_current.host(), port);
}

void HttpDownload::connectSocket(QTcpSocket *s, bool https)
{
    connect(s, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::ConnectingState)
            advance(Transfer::Connecting);
    });
    auto send = [this, s] {
        m_idle->start();
        s->write(m_hop->head);
    };
    connect(s, &QAbstractSocket::connected, this, [this, s, https, send] {
        m_idle->start();
        m_hop->end.watch(s->socketDescriptor());
        if (!https || m_hop->tunnel)
            send();
    });
    if (https)
        connect(static_cast<QSslSocket *>(s), &QSslSocket::encrypted, this, send);
    connect(s, &QIODevice::bytesWritten, this, [this](qint64 n) {
        if (m_hopOver)
            return;
        m_idle->start();
        m_hop->written += n;
        if (m_hop->written >= m_hop->head.size() && !m_hop->awaited()->headersComplete() && !m_headerWait->isActive()) {
            m_headerWait->start();
            advance(Transfer::RequestSent);
        }
    });
    connect(s, &QIODevice::readyRead, this, &HttpDownload::drain);
    connect(s, &QAbstractSocket::disconnected, this, &HttpDownload::closed);
    connect(s, &QAbstractSocket::errorOccurred, this, [this, s](QAbstractSocket::SocketError error) {
        if (m_hopOver)
            return;
        if (error == QAbstractSocket::RemoteHostClosedError) {
            closed();
            return;
        }
        // A reset right after the last byte of a complete answer does not matter.
        drain();
        // The refusal is named in the program's own words, as the user is shown it.
        if (!m_hopOver)
            fail(DownloadResult::Error::Network, error == QAbstractSocket::ConnectionRefusedError
                                                     ? tr("Connection refused")
                                                     : s->errorString());
    });
}

void HttpDownload::drain()
{
    QTcpSocket *socket = m_hop->socket;
    HttpResponseReader *reader = m_hop->reader.get();
    if (!socket || !reader)
        return;
    while (!m_hopOver && socket->bytesAvailable() > 0) {
        const QByteArray piece = socket->read(ReadPieceBytes);
        if (piece.isEmpty())
            break;
        m_idle->start();
        advance(Transfer::ReceivingResponse);
        if (m_hop->tunnel) {
            takeTunnelAnswer(piece);
            continue;
        }
        for (qsizetype at = 0; at < piece.size() && !m_hopOver;) {
            const bool hadHeaders = reader->headersComplete();
            const qsizetype taken = reader->feed(QByteArrayView(piece).sliced(at));
            at += taken;
            if (reader->failed()) {
                fail(readerError(reader->error()), readerErrorText(reader->error(), m_request.maxBytes));
            } else if (!hadHeaders && reader->headersComplete()) {
                m_headerWait->stop();
                if (!headersArrived() && reader->complete())
                    endHop();
            } else if (reader->complete()) {
                endHop();
            } else if (taken == 0) {
                break;
            }
        }
    }
}

void HttpDownload::closed()
{
    drain();
    if (m_hopOver)
        return;
    // Only an orderly end can end a body that runs to the end of the connection.
    if (m_hop->end.wasReset()) {
        fail(DownloadResult::Error::Network, tr("The connection was reset before the answer ended"));
        return;
    }
    HttpResponseReader *reader = m_hop->awaited();
    reader->endOfStream();
    if (reader->complete())
        endHop();
    else
        fail(readerError(reader->error()), readerErrorText(reader->error(), m_request.maxBytes));
}

// True when the hop ends here: a redirect to follow, or an answer announced too large.
bool HttpDownload::headersArrived()
{
    HttpResponseReader *reader = m_hop->reader.get();
    const int status = reader->statusCode();
    const QByteArray location = reader->header("location");
    if (isRedirect(status) && !location.isEmpty()) {
        const QUrl target = m_current.resolved(QUrl(QString::fromUtf8(location), QUrl::TolerantMode));
        if (!target.isValid() || !isWebScheme(target) || target.host().isEmpty()) {
            fail(DownloadResult::Error::RefusedRedirect,
                 tr("Redirect to a refused address: %1").arg(QString::fromUtf8(location)));
        } else if (m_redirects + 1 > m_request.maxRedirects) {
            fail(DownloadResult::Error::TooManyRedirects, tr("Too many redirects"));
        } else {
            m_hop->next = target;
            endHop();
        }
        return true;
    }
    if (reader->contentLength() > m_request.maxBytes) {
        fail(DownloadResult::Error::TooLarge, tr("The answer is larger than %1 bytes").arg(m_request.maxBytes));
        return true;
    }
    return false;
}

// The first failure of a hop is the transfer's; whatever the hop reports after it ended
// does not count.
void HttpDownload::fail(DownloadResult::Error error, const QString &text)
{
    if (m_hopOver || m_concluded)
        return;
    m_result = failure(error, text);
    endHop();
}

// The rest runs from the event loop, outside whichever socket signal ended the hop.
void HttpDownload::endHop()
{
    m_hopOver = true;
    QMetaObject::invokeMethod(this, &HttpDownload::afterHop, Qt::QueuedConnection);
}

void HttpDownload::afterHop()
{
    if (m_concluded)
        return;
    m_headerWait->stop();
    closeSocket();
    if (!m_result.ok()) {
        conclude();
    } else if (m_hop->next.isValid()) {
        ++m_redirects;
        m_current = m_hop->next;
        startHop();
    } else {
        if (m_hop->reader && m_hop->reader->complete())
            m_answer = std::move(m_hop->reader);
        else
            m_result = failure(DownloadResult::Error::Network, tr("The server sent no complete answer"));
        conclude();
    }
}

void HttpDownload::closeSocket()
{
    if (!m_hop || !m_hop->socket)
        return;
    QTcpSocket *socket = std::exchange(m_hop->socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    m_hop->end.release();
}

void HttpDownload::conclude()
{
    m_concluded = true;
    m_hopOver = true;
    m_idle->stop();
    m_deadline->stop();
    m_headerWait->stop();
    closeSocket();
    if (m_transfer && m_transfer->m_running == this)
        m_transfer->m_running = nullptr;
    QMetaObject::invokeMethod(this, &HttpDownload::deliver, Qt::QueuedConnection);
}

void HttpDownload::deliver()
{
    if (m_delivered)
        return;
    m_delivered = true;
    if (m_result.ok() && m_answer) {
        m_result.httpStatus = m_answer->statusCode();
        m_result.validators = validatorsFrom(m_answer->header("etag"), m_answer->header("last-modified"));
        m_result.receivedBytes = m_answer->headerBytes() + m_answer->body().size();
        m_result.reasonPhrase = m_answer->reasonPhrase();
        m_result.contentType = m_answer->header("content-type");
        m_result.body = m_answer->takeBody();
        advance(Transfer::ResponseReceived);
        advance(Transfer::ResponseCompleted);
    } else if (m_state != Transfer::Idle) {
        m_result.body.clear();
        advance(Transfer::Failed);
    }
    emit finished(m_result);
    deleteLater();
}
