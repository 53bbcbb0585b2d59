#pragma once
// Downloads: an address and its limits in, the body or an error out.
//
// Transfer::start() (transfer.h) hands a request to a handler and returns at once; the
// handler emits finished() exactly once with the result, and nothing waits for it. Several
// transfers run at once, side by side, over connections that are kept open and taken again
// by the next request to the same host (HTTP/2 where the server offers it over TLS). A host's
// connections are shared fairly (connection_share): a request waits for its turn, saying so
// (waitingForConnection()), and its time-outs run only from when it goes out. A kept
// connection that holds bytes nobody asked for is not taken again: the request goes on a
// new one, so an answer always belongs to the request that asked for it. A picture (a
// request that is not compressed) that plainly ends before its own format's end fails with
// "Picture cut short", and its connection is closed if the rest of it may still be on the
// way. One policy holds for every request: http and https only (also for every redirect
// hop), at most maxRedirects hops, each followed with exactly one request, an inactivity
// time-out and an overall deadline that cover every phase from the name look-up through
// the header section to the last body byte, a header section of at most HeaderMaxBytes
// that must be whole within the time-out of the request going out (of the connection
// opening, for a proxy's answer to a tunnel request), and a cap on the body
// size, all checked while the answer arrives: the body is held up to the cap, so no
// oversized answer is ever held in memory. A picture's request asks for no content coding;
// a document's (DownloadRequest::compressed) accepts gzip, its decoded size under the same
// cap. The user name and password of an address go as Basic or Digest credentials,
// whichever the server asks for, to that address's host only; a request's validators go as
// If-None-Match / If-Modified-Since. Certificates are checked against the system's store
// (or the file SSL_CERT_FILE names) and a failed check fails the transfer. Proxies come
// from http_proxy, https_proxy, all_proxy and no_proxy (HTTP, HTTPS and SOCKS); this
// machine's own addresses are always reached directly. A body that runs to the end of the
// connection ends only with an orderly close: a connection reset fails the transfer.
// An HTTP error status is not a transport failure: its body is returned like any other
// and httpStatus tells it apart.
//
// A request marked live also takes a live stream: an answer of type
// multipart/x-mixed-replace whose body never ends, each part a picture replacing the one
// before. Its parts go out one by one (partReceived()) as they complete, each held to
// maxBytes instead of the body; a part that completes while the one before has not gone out
// yet takes its place, so however fast the server sends, no more than one waits. The
// overall deadline ends with the first part (a stream runs for as long as it is watched);
// the inactivity time-out still holds, and so does the time-out for each part: a stream
// that brings no complete part within it fails ("No picture for N seconds"). The stream ends with finished(): with an error when
// it failed (its parts unreadable, a part over the cap, stalled), else with no body and
// liveParts telling how many parts it brought.
//
// A handler emits stateChanged() with codes that only rise
// while its transfer advances; Transfer passes on those of every transfer it runs, and of a
// cancelled one none after the cancel.
#include "core/http/conditional.h"

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <QUrl>

struct DownloadRequest
{
    QString address;
    qint64 maxBytes = 32 * 1024 * 1024;
    int timeoutMs = 30000;       // no progress for this long ends the transfer
    int deadlineMs = 300000;     // the whole transfer, however it progresses
    int maxRedirects = 10;
    // Sent back as If-None-Match / If-Modified-Since; a 304 may then answer instead.
    PictureValidators validators {};
    // A text document, which may come gzip-compressed; a picture always comes as it is.
    bool compressed = false;
    // A picture that may come as a live stream (see above).
    bool live = false;
};

struct DownloadResult
{
    enum class Error {
        None,
        InvalidAddress,   // not an address at all, or no host
        UnsupportedScheme,// anything but http and https
        Timeout,
        TooLarge,         // the body over its cap, or the header section over HeaderMaxBytes
        TooManyRedirects,
        RefusedRedirect,  // a redirect to anything but http or https
        Cancelled,
        Network,          // refused, reset, unknown host, TLS refused, broken or cut-short answer ...
    };

    Error error = Error::None;
    QString errorText;
    QByteArray body;
    int httpStatus = 0;
    PictureValidators validators {}; // of the answer, the sane ones only
    qint64 receivedBytes = 0;     // the header section and the body together
    // Of an answer that came: its status line's reason phrase and its Content-Type field,
    // as the server sent them (server text: show as plain text only).
    QByteArray reasonPhrase;
    QByteArray contentType;
    // Of a live stream, the parts it brought; -1 for any other answer.
    qint64 liveParts = -1;

    bool ok() const { return error == Error::None; }
};
Q_DECLARE_METATYPE(DownloadResult)

// Limits for the two kinds of answer.
inline constexpr qint64 CatalogueMaxBytes = 16 * 1024 * 1024;
inline constexpr qint64 PictureMaxBytes = 32 * 1024 * 1024;
// A still picture is whole within a minute, however it trickles.
inline constexpr int PictureDeadlineMs = 60000;
// The status line and header fields of one answer, together.
inline constexpr qint64 HeaderMaxBytes = 64 * 1024;

// One transfer under way. Every signal of a handler comes from the event loop, never from
// within the start() that made it or from cancel(), so connecting right after start()
// misses nothing. finished() comes exactly once, also after cancel(): a cancelled handler
// finishes with Error::Cancelled. A receiver that no longer wants the result disconnects
// before it cancels, so nothing of an abandoned transfer can reach it. After finished()
// the handler deletes itself; hold it in a QPointer.
class DownloadHandler : public QObject
{
    Q_OBJECT
public:
    // Ends the transfer at once; finished() follows with Error::Cancelled unless it has
    // gone out already.
    virtual void cancel() = 0;
    virtual QString address() const = 0;

signals:
    void stateChanged(int code);
    // The transfer waits for its turn at its host's connections (true), or has got it
    // (false) and its time-outs start; one that starts at once says neither.
    void waitingForConnection(bool waiting);
    // A live stream's newest complete part, not empty; receivedBytes: the stream's bytes so
    // far, its header section included.
    void partReceived(const QByteArray &part, qint64 receivedBytes);
    void finished(const DownloadResult &result);

protected:
    using QObject::QObject;
};

// Whatever starts downloads: a request in, a handler out that keeps the contract above.
class Downloader
{
public:
    virtual ~Downloader() = default;
    virtual DownloadHandler *start(const DownloadRequest &request) = 0;
    // Cancels every running transfer.
    virtual void cancel() = 0;
};
