#include "download.h"

#include "httpresponse.h"

#include <QEventLoop>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <memory>

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

bool isWebScheme(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

DownloadResult failure(DownloadResult::Error error, const QString &text)
{
    DownloadResult r;
    r.error = error;
    r.errorText = text;
    return r;
}

QByteArray requestHead(const QUrl &url)
{
    // An absolute address resolves to itself with its dot segments removed as RFC 3986
    // says; QUrl::NormalizePathSegments in Qt 6.4 makes "/a/./b/../c" into "/a//c".
    QUrl target = url.resolved(url);
    if (target.path().isEmpty())
        target.setPath(QStringLiteral("/"));
    const QUrl::FormattingOptions format = QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment
        | QUrl::FullyEncoded;

    const bool https = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port() != -1 && url.port() != (https ? 443 : 80))
        host += ':' + QByteArray::number(url.port());

    QByteArray head = "GET " + target.toEncoded(format) + " HTTP/1.1\r\nHost: " + host
        + "\r\nUser-Agent: lumora-viewer/5\r\nAccept: */*\r\nAccept-Encoding: identity\r\n";
    if (!url.userName().isEmpty()) {
        const QByteArray credentials = url.userName(QUrl::FullyDecoded).toUtf8() + ':'
            + url.password(QUrl::FullyDecoded).toUtf8();
        head += "Authorization: Basic " + credentials.toBase64() + "\r\n";
    }
    return head + "Connection: close\r\n\r\n";
}

QString readerErrorText(HttpResponseReader::Error error, qint64 maxBytes)
{
    switch (error) {
    case HttpResponseReader::Error::HeaderTooLarge:
        return Transfer::tr("The answer's header section is larger than %1 bytes").arg(HeaderMaxBytes);
    case HttpResponseReader::Error::BodyTooLarge:
        return Transfer::tr("The answer is larger than %1 bytes").arg(maxBytes);
    case HttpResponseReader::Error::Malformed:
        return Transfer::tr("The server sent a broken answer");
    case HttpResponseReader::Error::CutShort:
    case HttpResponseReader::Error::None:
        break;
    }
    return Transfer::tr("The server sent no complete answer");
}

DownloadResult::Error readerError(HttpResponseReader::Error error)
{
    return error == HttpResponseReader::Error::HeaderTooLarge || error == HttpResponseReader::Error::BodyTooLarge
        ? DownloadResult::Error::TooLarge
        : DownloadResult::Error::Network;
}

} // namespace

Transfer::Transfer(QObject *parent)
    : QObject(parent)
{
}

Transfer::~Transfer()
{
    if (m_stop)
        m_stop();
}

void Transfer::advance(int code)
{
    if (code <= m_state)
        return;
    m_state = code;
    emit stateChanged(code);
}

void Transfer::cancel()
{
    if (m_stop)
        m_stop();
}

DownloadResult Transfer::download(const DownloadRequest &request)
{
    if (m_busy)
        return failure(DownloadResult::Error::Busy, tr("Another transfer is running"));

    m_lastAddress = request.address;
    const QUrl url(request.address, QUrl::TolerantMode);
    if (!url.isValid() || url.isRelative())
        return failure(DownloadResult::Error::InvalidAddress, tr("Not an address: %1").arg(request.address));
    if (!isWebScheme(url))
        return failure(DownloadResult::Error::UnsupportedScheme,
                       tr("Only http and https addresses are fetched: %1").arg(request.address));
    if (url.host().isEmpty())
        return failure(DownloadResult::Error::InvalidAddress, tr("No host in address: %1").arg(request.address));

    m_busy = true;
    m_state = Idle;
    advance(ResolvingHost);

    DownloadResult result;
    QEventLoop loop;
    bool hopOver = false; // the current hop needs the event loop no more
    auto fail = [&](DownloadResult::Error error, const QString &text) {
        if (result.error == DownloadResult::Error::None) {
            result.error = error;
            result.errorText = text;
        }
        hopOver = true;
        loop.quit();
    };
    m_stop = [&] { fail(DownloadResult::Error::Cancelled, tr("Cancelled")); };

    // Both run across all hops; any byte sent or received is progress, header bytes too.
    QTimer idle;
    idle.setSingleShot(true);
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&idle, &QTimer::timeout, this, [&] {
        fail(DownloadResult::Error::Timeout, tr("No answer for %1 seconds").arg(request.timeoutMs / 1000.0));
    });
    connect(&deadline, &QTimer::timeout, this, [&] {
        fail(DownloadResult::Error::Timeout,
             tr("The transfer took longer than %1 seconds").arg(request.deadlineMs / 1000.0));
    });
    // Servers send their header section at once; one that trickles it is not worth the
    // wait, so the section must be whole within the time-out of the request going out.
    QTimer headerWait;
    headerWait.setSingleShot(true);
    headerWait.setInterval(request.timeoutMs);
    connect(&headerWait, &QTimer::timeout, this, [&] {
        fail(DownloadResult::Error::Timeout,
             tr("No complete header section within %1 seconds").arg(request.timeoutMs / 1000.0));
    });
    idle.start(request.timeoutMs);
    deadline.start(request.deadlineMs);

    QUrl current = url;
    int redirects = 0;
    std::unique_ptr<HttpResponseReader> answer;
    while (result.ok()) {
        const bool https = current.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
        if (https && !QSslSocket::supportsSsl()) {
            fail(DownloadResult::Error::Network, tr("No TLS support for %1").arg(current.toString()));
            break;
        }
        auto reader = std::make_unique<HttpResponseReader>(HeaderMaxBytes, request.maxBytes);
        std::unique_ptr<QTcpSocket> socket(https ? new QSslSocket : new QTcpSocket);
        socket->setReadBufferSize(SocketBufferBytes);
        QUrl next;
        hopOver = false;
        const QByteArray head = requestHead(current);
        qint64 written = 0;

        auto endHop = [&] {
            hopOver = true;
            loop.quit();
        };
        auto failFromReader = [&] { fail(readerError(reader->error()), readerErrorText(reader->error(), request.maxBytes)); };
        // True when the hop ends here: a redirect to follow, or an answer announced too large.
        auto headersArrived = [&] {
            const int status = reader->statusCode();
            const QByteArray location = reader->header("location");
            if (isRedirect(status) && !location.isEmpty()) {
                const QUrl target = current.resolved(QUrl(QString::fromUtf8(location), QUrl::TolerantMode));
                if (!target.isValid() || !isWebScheme(target) || target.host().isEmpty()) {
                    fail(DownloadResult::Error::RefusedRedirect,
                         tr("Redirect to a refused address: %1").arg(QString::fromUtf8(location)));
                } else if (redirects + 1 > request.maxRedirects) {
                    fail(DownloadResult::Error::TooManyRedirects, tr("Too many redirects"));
                } else {
                    next = target;
                    endHop();
                }
                return true;
            }
            if (reader->contentLength() > request.maxBytes) {
                fail(DownloadResult::Error::TooLarge, tr("The answer is larger than %1 bytes").arg(request.maxBytes));
                return true;
            }
            return false;
        };
        auto drain = [&] {
            while (!hopOver && socket->bytesAvailable() > 0) {
                const QByteArray piece = socket->read(ReadPieceBytes);
                if (piece.isEmpty())
                    break;
                idle.start();
                advance(ReceivingResponse);
                for (qsizetype at = 0; at < piece.size() && !hopOver;) {
                    const bool hadHeaders = reader->headersComplete();
                    const qsizetype taken = reader->feed(QByteArrayView(piece).sliced(at));
                    at += taken;
                    if (reader->failed()) {
                        failFromReader();
                    } else if (!hadHeaders && reader->headersComplete()) {
                        headerWait.stop();
                        if (!headersArrived() && reader->complete())
                            endHop();
                    } else if (reader->complete()) {
                        endHop();
                    } else if (taken == 0) {
                        break;
                    }
                }
            }
        };
        auto closed = [&] {
            drain();
            if (hopOver)
                return;
            reader->endOfStream();
            if (reader->complete())
                endHop();
            else
                failFromReader();
        };

        QTcpSocket *s = socket.get();
        connect(s, &QAbstractSocket::stateChanged, this, [&](QAbstractSocket::SocketState state) {
            if (state == QAbstractSocket::ConnectingState)
                advance(Connecting);
        });
        auto send = [&] {
            idle.start();
            socket->write(head);
        };
        connect(s, &QAbstractSocket::connected, this, [&] {
            idle.start();
            if (!https)
                send();
        });
        if (https)
            connect(static_cast<QSslSocket *>(s), &QSslSocket::encrypted, this, send);
        connect(s, &QIODevice::bytesWritten, this, [&](qint64 n) {
            idle.start();
            written += n;
            if (written >= head.size() && !reader->headersComplete() && !headerWait.isActive()) {
                headerWait.start();
                advance(RequestSent);
            }
        });
        connect(s, &QIODevice::readyRead, this, drain);
        connect(s, &QAbstractSocket::disconnected, this, closed);
        connect(s, &QAbstractSocket::errorOccurred, this, [&](QAbstractSocket::SocketError error) {
            if (hopOver)
                return;
            if (error == QAbstractSocket::RemoteHostClosedError) {
                closed();
                return;
            }
            // A reset right after the last byte of a complete answer does not matter.
            drain();
            if (!hopOver)
                fail(DownloadResult::Error::Network, socket->errorString());
        });

        const quint16 port = quint16(current.port(https ? 443 : 80));
        if (https)
            static_cast<QSslSocket *>(s)->connectToHostEncrypted(current.host(), port);
        else
            s->connectToHost(current.host(), port);
        if (!hopOver)
            loop.exec();
        // Only an application that is quitting ends the loop otherwise.
        if (!hopOver)
            fail(DownloadResult::Error::Cancelled, tr("Cancelled"));

        headerWait.stop();
        s->disconnect(this);
        s->abort();
        if (!result.ok())
            break;
        if (next.isValid()) {
            ++redirects;
            current = next;
            continue;
        }
        if (reader->complete())
            answer = std::move(reader);
        else
            fail(DownloadResult::Error::Network, tr("The server sent no complete answer"));
        break;
    }

    m_stop = nullptr;
    m_busy = false;
    if (result.ok() && answer) {
        result.httpStatus = answer->statusCode();
        result.body = answer->takeBody();
        advance(ResponseReceived);
        advance(ResponseCompleted);
    } else {
        result.body.clear();
        advance(Failed);
    }
    return result;
}
