#include "download.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace {

bool isWebScheme(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// Qt reports HTTP error statuses as reply errors; the body still arrived in full.
bool isHttpStatusError(QNetworkReply::NetworkError e)
{
    return (e >= QNetworkReply::ContentAccessDenied && e <= QNetworkReply::UnknownContentError)
        || (e >= QNetworkReply::ProtocolInvalidOperationError && e <= QNetworkReply::UnknownServerError);
}

DownloadResult failure(DownloadResult::Error error, const QString &text)
{
    DownloadResult r;
    r.error = error;
    r.errorText = text;
    return r;
}

} // namespace

Transfer::Transfer(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    m_manager->setAutoDeleteReplies(false);
}

Transfer::~Transfer()
{
    if (m_reply)
        m_reply->abort();
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
    if (!m_reply)
        return;
    m_cancelled = true;
    m_reply->abort();
}

DownloadResult Transfer::download(const DownloadRequest &request)
{
    if (m_reply)
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

    QNetworkRequest req(url);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    req.setMaximumRedirectsAllowed(request.maxRedirects);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    req.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("lumora-viewer/5"));

    m_state = Idle;
    m_cancelled = false;
    advance(ResolvingHost);

    QNetworkReply *reply = m_manager->get(req);
    m_reply = reply;

    DownloadResult result;
    QByteArray body;
    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    QTimer deadline;
    deadline.setSingleShot(true);
    int redirects = 0;

    auto stop = [&](DownloadResult::Error error, const QString &text) {
        if (result.error == DownloadResult::Error::None) {
            result.error = error;
            result.errorText = text;
        }
        reply->abort();
    };
    auto drain = [&] {
        const QByteArray chunk = reply->readAll();
        if (body.size() + chunk.size() > request.maxBytes) {
            stop(DownloadResult::Error::TooLarge,
                 tr("The answer is larger than %1 bytes").arg(request.maxBytes));
            return;
        }
        body.append(chunk);
    };

    connect(reply, &QNetworkReply::socketStartedConnecting, this, [this] { advance(Connecting); });
    connect(reply, &QNetworkReply::requestSent, this, [this] { advance(RequestSent); });
    connect(reply, &QNetworkReply::metaDataChanged, this, [&] {
        advance(ReceivingResponse);
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > request.maxBytes)
            stop(DownloadResult::Error::TooLarge,
                 tr("The answer is larger than %1 bytes").arg(request.maxBytes));
    });
    connect(reply, &QNetworkReply::redirected, this, [&](const QUrl &target) {
        if (!isWebScheme(target)) {
            stop(DownloadResult::Error::RefusedRedirect,
                 tr("Redirect to a refused address: %1").arg(target.toString()));
            return;
        }
        if (++redirects > request.maxRedirects) {
            stop(DownloadResult::Error::TooManyRedirects, tr("Too many redirects"));
            return;
        }
        idle.start();
        emit reply->redirectAllowed();
    });
    connect(reply, &QNetworkReply::readyRead, this, [&] {
        idle.start();
        drain();
    });
    connect(reply, &QNetworkReply::downloadProgress, this, [&] { idle.start(); });
    connect(reply, &QNetworkReply::uploadProgress, this, [&] { idle.start(); });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(&idle, &QTimer::timeout, this, [&] {
        stop(DownloadResult::Error::Timeout, tr("No answer for %1 seconds").arg(request.timeoutMs / 1000.0));
    });
    connect(&deadline, &QTimer::timeout, this, [&] {
        stop(DownloadResult::Error::Timeout, tr("The transfer took longer than %1 seconds").arg(request.deadlineMs / 1000.0));
    });

    idle.start(request.timeoutMs);
    deadline.start(request.deadlineMs);
    if (!reply->isFinished())
        loop.exec();

    idle.stop();
    deadline.stop();
    if (result.error == DownloadResult::Error::None && reply->bytesAvailable() > 0)
        drain();

    result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError netError = reply->error();
    if (result.error == DownloadResult::Error::None) {
        if (m_cancelled) {
            result.error = DownloadResult::Error::Cancelled;
            result.errorText = tr("Cancelled");
        } else if (netError == QNetworkReply::TooManyRedirectsError) {
            result.error = DownloadResult::Error::TooManyRedirects;
            result.errorText = reply->errorString();
        } else if (netError == QNetworkReply::InsecureRedirectError
                   || netError == QNetworkReply::ProtocolUnknownError) {
            result.error = DownloadResult::Error::RefusedRedirect;
            result.errorText = reply->errorString();
        } else if (netError != QNetworkReply::NoError
                   && !(isHttpStatusError(netError) && result.httpStatus > 0)) {
            result.error = DownloadResult::Error::Network;
            result.errorText = reply->errorString();
        } else if (result.httpStatus < 200 || result.httpStatus > 599
                   || (redirects > 0 && result.httpStatus >= 300 && result.httpStatus < 400)) {
            // Qt can end a chain of redirects that never settles without an error and
            // without a final status; that is no answer, whatever the reply says.
            result.error = redirects > 0 ? DownloadResult::Error::TooManyRedirects : DownloadResult::Error::Network;
            result.errorText = tr("The server sent no complete answer");
        }
    }
    if (result.ok())
        result.body = std::move(body);

    m_reply = nullptr;
    reply->disconnect(this);
    reply->deleteLater();
    if (result.ok()) {
        advance(ResponseReceived);
        advance(ResponseCompleted);
    } else {
        advance(Failed);
    }
    return result;
}
