#include "curldownload.h"

#include "core/http/conditional.h"
#include "core/http/connectionshare.h"
#include "core/http/httprequest.h"
#include "core/http/multipartstream.h"
#include "core/http/picturecompleteness.h"
#include "core/http/proxyrules.h"
#include "platform/readpacing.h"

#include <cerrno>

#include <sys/socket.h>

namespace {

// Read in large pieces: a picture arrives in few callbacks.
constexpr long ReadBufferBytes = 256 * 1024;
constexpr qsizetype GrowToCapBytes = 1024 * 1024; // a body of unknown size past this takes room up to its cap

DownloadResult failure(DownloadResult::Error error, const QString &text)
{
    DownloadResult r;
    r.error = error;
    r.errorText = text;
    return r;
}

// The address as it goes out: dot segments removed as RFC 3986 says, every character
// that may not stand in a request percent-encoded, no fragment. QUrl::NormalizePathSegments
// in Qt 6.4 makes "/a/./b/../c" into "/a//c"; an absolute address resolved against itself
// comes out right.
QByteArray wireAddress(const QUrl &url)
{
    return url.resolved(url).toEncoded(QUrl::RemoveFragment | QUrl::FullyEncoded);
}

QString hostOf(const QUrl &url)
{
    return connection_share::hostOf(url.scheme(), url.host(), requestPort(url));
}

// The address of the hop under way.
QString hopHostOf(CURL *easy)
{
    char *address = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &address);
    return address ? hostOf(QUrl(QString::fromUtf8(address))) : QString();
}

QString seconds(int ms)
{
    return QString::number(ms / 1000.0);
}

} // namespace

CurlDownload::CurlDownload(Transfer *transfer, const DownloadRequest &request)
    : DownloadHandler(transfer)
    , m_transfer(transfer)
    , m_multi(transfer->m_multi)
    , m_pacing(ReadPacing::forThisThread())
    , m_request(request)
{
    for (QTimer *timer : {&m_idle, &m_deadline, &m_headerWait, &m_partWait})
        timer->setSingleShot(true);
    m_idle.setInterval(request.timeoutMs);
    m_headerWait.setInterval(request.timeoutMs);
    m_partWait.setInterval(request.timeoutMs);
    m_deadline.setInterval(request.deadlineMs);
    // Any byte sent or received is progress, header bytes too, across all hops.
    connect(&m_idle, &QTimer::timeout, this, [this] {
        failNow(DownloadResult::Error::Timeout, tr("No answer for %1 seconds").arg(seconds(m_request.timeoutMs)));
    });
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        failNow(DownloadResult::Error::Timeout,
                tr("The transfer took longer than %1 seconds").arg(seconds(m_request.deadlineMs)));
    });
    // Servers send their header section at once; one that trickles it is not worth the
    // wait, so the section must be whole within the time-out of the request going out.
    connect(&m_headerWait, &QTimer::timeout, this, [this] {
        failNow(DownloadResult::Error::Timeout,
                tr("No complete header section within %1 seconds").arg(seconds(m_request.timeoutMs)));
    });
    // A stream that trickles is alive to the inactivity time-out, yet shows nothing.
    connect(&m_partWait, &QTimer::timeout, this, [this] {
        // Quiet for a while: the inactivity time-out, soon due, tells it better.
        if (m_idle.isActive() && m_idle.remainingTime() <= m_request.timeoutMs / 2)
            return;
        failNow(DownloadResult::Error::Timeout, tr("No picture for %1 seconds").arg(seconds(m_request.timeoutMs)));
    });
}

CurlDownload::~CurlDownload()
{
    if (!m_concluded)
        conclude();
    if (m_easy)
        curl_easy_cleanup(m_easy);
    curl_slist_free_all(m_fields);
}

void CurlDownload::finishEarly(DownloadResult::Error error, const QString &text)
{
    m_result = failure(error, text);
    m_failed = true;
    m_concluded = true;
    QMetaObject::invokeMethod(this, &CurlDownload::deliver, Qt::QueuedConnection);
}

void CurlDownload::begin(const QUrl &url)
{
    if (m_concluded)
        return;
    m_url = url;
    if (m_multi->askTurn(this, hostOf(url), m_request.timeoutMs))
        startTransfer();
    else
        emit waitingForConnection(true);
}

// Comes only to a transfer that waits: its turn ends with it.
void CurlDownload::turnCame()
{
    emit waitingForConnection(false);
    startTransfer();
}

// The time-outs run from here: a transfer waiting for its turn is not late.
void CurlDownload::startTransfer()
{
    advance(Transfer::ResolvingHost);
    setUp(m_url);
    m_idle.start();
    m_deadline.start();
    enterMulti();
}

void CurlDownload::enterMulti()
{
    m_running = m_multi->add(m_easy, this);
    if (!m_running)
        failNow(DownloadResult::Error::Network, tr("The transfer could not start"));
}

void CurlDownload::setUp(const QUrl &url)
{
    m_easy = curl_easy_init();
    CURL *e = m_easy;
    curl_easy_setopt(e, CURLOPT_URL, wireAddress(url).constData());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, m_errorText);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, long(m_request.maxRedirects));
    curl_easy_setopt(e, CURLOPT_USERAGENT, "lumora-viewer/5");
    curl_easy_setopt(e, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    // A live stream's cap is on each part, never on its whole body.
    if (!m_request.live)
        curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(m_request.maxBytes));
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, ReadBufferBytes);
    // Certificates: the system's store, or the file OpenSSL's own variable names.
    const QByteArray certificates = qgetenv("SSL_CERT_FILE");
    if (!certificates.isEmpty()) {
        curl_easy_setopt(e, CURLOPT_CAINFO, certificates.constData());
        curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
        curl_easy_setopt(e, CURLOPT_PROXY_CAINFO, certificates.constData());
        curl_easy_setopt(e, CURLOPT_PROXY_CAPATH, nullptr);
    }
    // libcurl reads the proxy variables itself; this machine is always reached directly.
    const QString exempt = proxy_rules::withLoopback(proxy_rules::forRequest(
        proxy_rules::noProxyList(qEnvironmentVariable("no_proxy"), qEnvironmentVariable("NO_PROXY")), url));
    curl_easy_setopt(e, CURLOPT_NOPROXY, exempt.toUtf8().constData());
    if (proxy_rules::thisMachineUnlisted(url.host()))
        curl_easy_setopt(e, CURLOPT_PROXY, "");

    if (m_request.compressed)
        curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "gzip");
    else
        m_fields = curl_slist_append(m_fields, "Accept-Encoding: identity");
    for (const QByteArray &line : conditionalHeaderLines(m_request.validators).split('\n')) {
        if (!line.trimmed().isEmpty())
            m_fields = curl_slist_append(m_fields, line.trimmed().constData());
    }
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, m_fields);

    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlDownload::takeHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlDownload::takeBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &CurlDownload::requestGoesOut);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &CurlDownload::socketMade);
    curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, this);
    // A connection outlives the transfer that opened it: its close goes to the multi handle.
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &CurlMulti::closeSocket);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, m_multi.get());
    // A host once out of step gets a connection of its own for every request: whatever it
    // sends unasked then arrives where no request waits.
    if (m_multi->isUnclean(hostOf(url))) {
        curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    }
}

// A proxy's answer to a tunnel request comes before the request goes out, so a new
// connection starts the wait for a whole header section too.
int CurlDownload::socketMade(void *self, curl_socket_t socket, curlsocktype)
{
    auto *d = static_cast<CurlDownload *>(self);
    d->m_multi->socketOpened(socket);
    d->m_madeSockets.append(socket);
    d->m_headerWait.start();
    d->advance(Transfer::Connecting);
    return CURL_SOCKOPT_OK;
}

// Once per hop, on a new connection or a kept one.
int CurlDownload::requestGoesOut(void *self, char *peerAddress, char *, int peerPort, int localPort)
{
    auto *d = static_cast<CurlDownload *>(self);
    // The answer waiting there would be taken for this request's, and every answer after it
    // would be one behind: the connection goes, and the request goes on a new one.
    if (d->connectionUnclean(peerAddress, peerPort, localPort)) {
        d->m_unclean = true;
        d->m_multi->markUnclean(hopHostOf(d->m_easy));
        return CURL_PREREQFUNC_ABORT;
    }
    d->m_idle.start();
    d->m_headerWait.start();
    d->advance(Transfer::RequestSent);
    return CURL_PREREQFUNC_OK;
}

// Each header line of every answer: a proxy's answer to a tunnel request, redirects,
// interim answers and the last one. Each answer's section is held to HeaderMaxBytes.
size_t CurlDownload::takeHeader(char *data, size_t size, size_t count, void *self)
{
    auto *d = static_cast<CurlDownload *>(self);
    const QByteArrayView line(data, qsizetype(size * count));
    if (d->m_failed)
        return 0;
    d->m_idle.start();
    d->advance(Transfer::ReceivingResponse);
    // A section starts with its answer's status line; trailers of a chunked body have none.
    if (d->m_headerEnded || d->m_headerBytes == 0) {
        d->m_headerEnded = false;
        d->m_headerBytes = 0;
        if (line.startsWith("HTTP/")) {
            d->m_statusLine = line.trimmed().toByteArray();
            if (!line.startsWith("HTTP/1") && d->m_socket != CURL_SOCKET_BAD)
                d->m_multi->markMultiplexed(d->m_socket);
            d->m_brokenField = false;
            d->m_contentType.clear();
        }
    }
    if (line.size() > 13 && QByteArrayView(line.first(13)).compare("content-type:", Qt::CaseInsensitive) == 0)
        d->m_contentType = line.sliced(13).trimmed().toByteArray();
    // A CR inside a line ends a field value early where libcurl reads it; such an answer's
    // ETag or date cannot be trusted to go back.
    QByteArrayView content = line;
    while (content.endsWith('\n') || content.endsWith('\r'))
        content.chop(1);
    if (content.contains('\r'))
        d->m_brokenField = true;
    d->m_headerBytes += line.size();
    if (d->m_headerBytes > HeaderMaxBytes) {
        d->failWithin(DownloadResult::Error::TooLarge,
                      tr("The answer's header section is larger than %1 bytes").arg(HeaderMaxBytes));
        return 0;
    }
    if (line.trimmed().isEmpty()) {
        d->m_headerEnded = true;
        long status = 0;
        curl_easy_getinfo(d->m_easy, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200) {
            d->m_headerWait.stop();
            if (!d->startStream())
                return 0;
        }
    }
    return line.size();
}

size_t CurlDownload::takeBody(char *data, size_t size, size_t count, void *self)
{
    auto *d = static_cast<CurlDownload *>(self);
    const qsizetype length = qsizetype(size * count);
    if (d->m_failed || d->m_streamClosed)
        return 0;
    // libcurl keeps the bytes refused and hands them over again once resumed; it cannot
    // pause a body it decodes, so a compressed one (a document, never a picture) goes on.
    if (!d->m_pacing->take(length) && !d->m_request.compressed) {
        d->m_pacing->resumeLater(d, [d] { d->resumeReading(); });
        return CURL_WRITEFUNC_PAUSE;
    }
    if (d->m_stream)
        return d->streamBody(QByteArrayView(data, length));
    QByteArray &body = d->m_result.body;
    curl_off_t announced = -1;
    curl_easy_getinfo(d->m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    // A length announced over the cap is refused unread (MAXFILESIZE does so too, but a
    // live request goes without it).
    if (body.size() + length > d->m_request.maxBytes || (announced > d->m_request.maxBytes && !d->m_request.compressed)) {
        d->failWithin(DownloadResult::Error::TooLarge, tr("The answer is larger than %1 bytes").arg(d->m_request.maxBytes));
        return 0;
    }
    if (body.isEmpty()) {
        if (announced > 0 && !d->m_request.compressed)
            body.reserve(qsizetype(announced));
    } else if (body.size() + length > body.capacity() && body.size() >= GrowToCapBytes) {
        // Growing by copies leaves blocks behind that add up to about another cap; room up to
        // the cap at once costs only the pages written, and takeAnswer() gives back the rest.
        body.reserve(qsizetype(d->m_request.maxBytes));
    }
    d->m_idle.start();
    body.append(data, length);
    // All the length announced has come: a picture that stops short of its own end leaves
    // the rest of itself on the connection, where the next answer would start. Failing
    // here closes the connection.
    if (announced >= 0 && body.size() == announced && d->pictureCutShort()) {
        d->failWithin(DownloadResult::Error::Network, tr("Picture cut short"));
        d->m_multi->markUnclean(hopHostOf(d->m_easy));
        return 0;
    }
    return size_t(length);
}

bool CurlDownload::pictureCutShort() const
{
    return !m_request.compressed && !m_stream && picture_completeness::cutShort(m_result.body);
}

bool CurlDownload::connectionUnclean(const char *peerAddress, int peerPort, int localPort)
{
    m_socket = m_multi->socketOf(localPort, peerAddress, peerPort);
    // A connection just opened has nothing waiting yet but a TLS library's own records; a
    // multiplexed one carries other answers at any time.
    if (m_afresh || m_socket == CURL_SOCKET_BAD || m_madeSockets.contains(m_socket) || m_multi->isMultiplexed(m_socket))
        return false;
    char byte = 0;
    // Bytes, or the server's close: either way nothing good can come of it.
    return recv(m_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) >= 0;
}

void CurlDownload::startAfresh()
{
    m_unclean = false;
    m_afresh = true;
    m_result = DownloadResult();
    m_headerBytes = 0;
    m_headerEnded = false;
    m_statusLine.clear();
    m_contentType.clear();
    m_brokenField = false;
    curl_easy_setopt(m_easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(m_easy, CURLOPT_FORBID_REUSE, 1L);
    enterMulti();
}

bool CurlDownload::startStream()
{
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    if (!m_request.live || status != 200 || !multipart::isStream(m_contentType))
        return true;
    const std::optional<QByteArray> boundary = multipart::boundaryOf(m_contentType);
    if (!boundary) {
        failWithin(DownloadResult::Error::Network, tr("The live stream names no boundary"));
        return false;
    }
    m_stream = std::make_unique<multipart::PartReader>(*boundary, m_request.maxBytes);
    m_partWait.start();
    m_multi->turnIsStream(this);
    return true;
}

size_t CurlDownload::streamBody(QByteArrayView bytes)
{
    m_idle.start();
    m_streamBytes += bytes.size();
    const qint64 before = m_stream->completedParts();
    if (!m_stream->feed(bytes)) {
        if (m_stream->ended()) {
            m_streamClosed = true;
        } else {
            failWithin(DownloadResult::Error::Network, m_stream->reason());
        }
        return 0;
    }
    if (m_stream->completedParts() > before) {
        // A stream runs for as long as it is watched.
        m_deadline.stop();
        m_partWait.start();
        if (!m_partQueued) {
            m_partQueued = true;
            QMetaObject::invokeMethod(this, &CurlDownload::deliverPart, Qt::QueuedConnection);
        }
    }
    return size_t(bytes.size());
}

// From the event loop: the newest part goes out; those it replaced are gone.
void CurlDownload::deliverPart()
{
    m_partQueued = false;
    if (m_delivered || !m_stream)
        return;
    const std::optional<QByteArray> part = m_stream->takeNewest();
    if (part && !part->isEmpty())
        emit partReceived(*part, m_headerBytes + m_streamBytes);
}

void CurlDownload::resumeReading()
{
    if (m_concluded || !m_running)
        return;
    // The bytes held back go to the body callback within this call, which may fail them.
    const CURLcode code = curl_easy_pause(m_easy, CURLPAUSE_CONT);
    if (m_failed)
        conclude();
    else if (code != CURLE_OK)
        failNow(DownloadResult::Error::Network, QString::fromUtf8(curl_easy_strerror(code)));
}

void CurlDownload::connectionActive()
{
    if (!m_concluded)
        m_idle.start();
}

void CurlDownload::failWithin(DownloadResult::Error error, const QString &text)
{
    m_result = failure(error, text);
    m_failed = true;
}

void CurlDownload::failNow(DownloadResult::Error error, const QString &text)
{
    if (m_concluded)
        return;
    m_result = failure(error, text);
    m_failed = true;
    conclude();
}

void CurlDownload::cancel()
{
    if (m_delivered)
        return;
    // The Transfer's states after this are those of other transfers alone.
    if (m_transfer)
        disconnect(this, &DownloadHandler::stateChanged, m_transfer, &Transfer::stateChanged);
    if (m_concluded)
        return;
    failNow(DownloadResult::Error::Cancelled, tr("Cancelled"));
}

void CurlDownload::transferEnded(CURLcode code)
{
    m_running = false;
    if (m_concluded)
        return;
    if (m_unclean && code == CURLE_ABORTED_BY_CALLBACK) {
        startAfresh();
        return;
    }
    // The body callback stopped libcurl at the stream's closing delimiter.
    if (m_streamClosed && code == CURLE_WRITE_ERROR)
        code = CURLE_OK;
    if (!m_failed) {
        QString text;
        const DownloadResult::Error error = explain(code, &text);
        if (error != DownloadResult::Error::None)
            m_result = failure(error, text);
        else if (pictureCutShort())
            m_result = failure(DownloadResult::Error::Network, tr("Picture cut short"));
        else
            takeAnswer();
    }
    conclude();
}

void CurlDownload::takeAnswer()
{
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    m_result.httpStatus = int(status);
    // The status line's words after the code; an HTTP/2 answer has none.
    const QList<QByteArray> parts = m_statusLine.split(' ');
    m_result.reasonPhrase = parts.size() > 2 ? m_statusLine.mid(parts[0].size() + parts[1].size() + 2) : QByteArray();
    const auto field = [this](const char *name) {
        curl_header *header = nullptr;
        return curl_easy_header(m_easy, name, 0, CURLH_HEADER, -1, &header) == CURLHE_OK ? QByteArray(header->value)
                                                                                        : QByteArray();
    };
    if (!m_brokenField)
        m_result.validators = validatorsFrom(field("ETag"), field("Last-Modified"));
    m_result.contentType = field("Content-Type");
    curl_off_t bodyBytes = 0;
    curl_easy_getinfo(m_easy, CURLINFO_SIZE_DOWNLOAD_T, &bodyBytes);
    m_result.receivedBytes = m_headerBytes + qint64(bodyBytes);
    m_result.body.squeeze();
    if (m_stream)
        m_result.liveParts = m_stream->completedParts();
}

DownloadResult::Error CurlDownload::explain(CURLcode code, QString *text) const
{
    using Error = DownloadResult::Error;
    long osError = 0;
    curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osError);
    long proxyStatus = 0;
    curl_easy_getinfo(m_easy, CURLINFO_HTTP_CONNECTCODE, &proxyStatus);
    const QString detail = QString::fromUtf8(m_errorText[0] ? m_errorText : curl_easy_strerror(code));
    switch (code) {
    case CURLE_OK:
        return Error::None;
    case CURLE_TOO_MANY_REDIRECTS:
        *text = tr("Too many redirects");
        return Error::TooManyRedirects;
    case CURLE_UNSUPPORTED_PROTOCOL: {
        // The first address was checked before: a redirect led elsewhere.
        curl_header *location = nullptr;
        curl_easy_header(m_easy, "Location", 0, CURLH_HEADER, -1, &location);
        *text = tr("Redirect to a refused address: %1").arg(location ? QString::fromUtf8(location->value) : detail);
        return Error::RefusedRedirect;
    }
    case CURLE_FILESIZE_EXCEEDED:
        *text = tr("The answer is larger than %1 bytes").arg(m_request.maxBytes);
        return Error::TooLarge;
    case CURLE_OPERATION_TIMEDOUT:
        *text = tr("No answer for %1 seconds").arg(seconds(m_request.timeoutMs));
        return Error::Timeout;
    case CURLE_PARTIAL_FILE:
        *text = tr("The server sent no complete answer");
        return Error::Network;
    default:
        break;
    }
    if (proxyStatus >= 300) {
        *text = tr("The proxy refused the connection to %1 (status %2)")
                    .arg(QUrl(m_request.address).host())
                    .arg(proxyStatus);
    } else if (osError == ECONNREFUSED) {
        *text = tr("Connection refused");
    } else if (osError == ECONNRESET && code == CURLE_RECV_ERROR) {
        *text = tr("The connection was reset before the answer ended");
    } else if (code == CURLE_OUT_OF_MEMORY && !m_headerEnded) {
        // libcurl refuses a header line far over any section's cap this way.
        *text = tr("The answer's header section is larger than %1 bytes").arg(HeaderMaxBytes);
        return Error::TooLarge;
    } else {
        *text = detail;
    }
    return Error::Network;
}

void CurlDownload::conclude()
{
    m_concluded = true;
    m_idle.stop();
    m_deadline.stop();
    m_headerWait.stop();
    m_partWait.stop();
    m_multi->endTurn(this);
    if (m_running) {
        m_running = false;
        m_multi->remove(m_easy);
    }
    if (m_transfer)
        m_transfer->m_running.removeOne(this);
    if (m_failed || !m_result.ok())
        m_result.body.clear();
    QMetaObject::invokeMethod(this, &CurlDownload::deliver, Qt::QueuedConnection);
}

// A state goes out from the event loop, before finished() and in the order reached.
void CurlDownload::advance(int code)
{
    if (code <= m_state)
        return;
    m_state = code;
    QMetaObject::invokeMethod(
        this, [this, code] { if (!m_delivered) emit stateChanged(code); }, Qt::QueuedConnection);
}

void CurlDownload::deliver()
{
    if (m_delivered)
        return;
    if (m_result.ok()) {
        advance(Transfer::ResponseReceived);
        advance(Transfer::ResponseCompleted);
    } else if (m_state != Transfer::Idle) {
        advance(Transfer::Failed);
    }
    // The states just reached go out first.
    QMetaObject::invokeMethod(this, [this] {
        m_delivered = true;
        emit finished(m_result);
        deleteLater();
    }, Qt::QueuedConnection);
}
