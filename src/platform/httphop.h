#pragma once
// Inside HttpDownload only: one request and its answer on a connection of their own, and
// the helpers the download's parts share.
#include "platform/connectionend.h"
#include "platform/download.h"

#include "core/http/httpresponse.h"

#include <QTcpSocket>
#include <QUrl>

#include <memory>

struct HttpDownload::Hop
{
    std::unique_ptr<HttpResponseReader> reader;
    // An HTTP proxy's answer to the request for a tunnel, while it is awaited.
    std::unique_ptr<HttpResponseReader> tunnel;
    QTcpSocket *socket = nullptr; // deleted later, as it may be inside one of its signals
    ConnectionEnd end;
    QByteArray head;
    qint64 written = 0;
    QUrl next; // where a redirect leads

    // The answer the hop waits for now.
    HttpResponseReader *awaited() const { return tunnel ? tunnel.get() : reader.get(); }
};

namespace http_download {

inline DownloadResult failure(DownloadResult::Error error, const QString &text)
{
    DownloadResult r;
    r.error = error;
    r.errorText = text;
    return r;
}

inline QString readerErrorText(HttpResponseReader::Error error, qint64 maxBytes)
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

inline DownloadResult::Error readerError(HttpResponseReader::Error error)
{
    return error == HttpResponseReader::Error::HeaderTooLarge || error == HttpResponseReader::Error::BodyTooLarge
        ? DownloadResult::Error::TooLarge
        : DownloadResult::Error::Network;
}

} // namespace http_download
