#pragma once
// Downloads: an address and its limits in, the body or an error out.
//
// Transfer::start() hands a request to an HttpDownload and returns at once; the handler
// emits finished() exactly once with the result, and nothing waits for it. One policy holds
// for every request: http and https only (also for every redirect hop), at most
// maxRedirects hops, each followed with exactly one request, an inactivity time-out and an
// overall deadline that cover every phase from the name look-up through the header section
// to the last body byte, a header section of at most HeaderMaxBytes and a cap on the body
// size, all checked while the answer arrives: the body is held up to the cap and the
// connection's read buffer is bounded, so no oversized answer is ever held in memory.
// Each request goes out as HTTP/1.1 on a connection of its own, which it closes; it asks
// for no content coding, sends the user name and password of an address as Basic
// credentials and a request's validators as If-None-Match / If-Modified-Since.
// Through an HTTP proxy an encrypted request asks for a tunnel first, and the proxy's answer
// is held to the same limits as any. A body that runs to the end of the connection ends
// only with an orderly close: a connection reset fails the transfer.
// An HTTP error status is not a transport failure: its body is returned like any other
// and httpStatus tells it apart. A handler emits stateChanged() with codes that only rise
// while its transfer advances; Transfer passes on those of the transfer it runs, and of a
// cancelled one none after the cancel.
// One transfer runs at a time; a start() while another is running finishes with Busy.
#include "core/http/conditional.h"

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <QUrl>

#include <memory>

struct DownloadRequest
{
    QString address;
    qint64 maxBytes = 32 * 1024 * 1024;
    int timeoutMs = 30000;       // no progress for this long ends the transfer
    int deadlineMs = 300000;     // the whole transfer, however it progresses
    int maxRedirects = 10;
    // Sent back as If-None-Match / If-Modified-Since; a 304 may then answer instead.
    PictureValidators validators {};
};

struct DownloadResult
{
    enum class Error {
        None,
        InvalidAddress,   // not an address at all, or no host
        UnsupportedScheme,// anything but http and https
        Busy,             // another transfer is running
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

    bool ok() const { return error == Error::None; }
};
Q_DECLARE_METATYPE(DownloadResult)

// Limits for the two kinds of answer.
inline constexpr qint64 CatalogueMaxBytes = 16 * 1024 * 1024;
inline constexpr qint64 PictureMaxBytes = 32 * 1024 * 1024;
// The status line and header fields of one answer, together.
inline constexpr qint64 HeaderMaxBytes = 64 * 1024;

class HttpResponseReader;
class QTcpSocket;
class QTimer;
class Transfer;

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
    // Ends the transfer at once and frees its downloader for the next one; finished()
    // follows with Error::Cancelled unless it has gone out already.
    virtual void cancel() = 0;
    virtual QString address() const = 0;

signals:
    void stateChanged(int code);
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
    // Cancels the running transfer, if any.
    virtual void cancel() = 0;
};

// A download over HTTP/1.1, run by Transfer.
class HttpDownload : public DownloadHandler
{
    Q_OBJECT
public:
    ~HttpDownload() override;

    void cancel() override;
    QString address() const override { return m_request.address; }

private:
    friend class Transfer;
    struct Hop;

    HttpDownload(Transfer *transfer, const DownloadRequest &request);
    void finishEarly(DownloadResult::Error error, const QString &text);
    void begin();
    void startHop();
    void connectSocket(QTcpSocket *socket, bool https);
    void drain();
    void takeTunnelAnswer(const QByteArray &piece);
    void closed();
    bool headersArrived();
    void fail(DownloadResult::Error error, const QString &text);
    void endHop();
    void afterHop();
    void closeSocket();
    void conclude();
    void deliver();
    void advance(int code);

    Transfer *m_transfer;
    DownloadRequest m_request;
    DownloadResult m_result;
    QUrl m_current;
    int m_redirects = 0;
    QTimer *m_idle;
    QTimer *m_deadline;
    QTimer *m_headerWait;
    std::unique_ptr<Hop> m_hop;
    std::unique_ptr<HttpResponseReader> m_answer;
    int m_state = 0;
    bool m_hopOver = false;   // the current hop takes no more events
    bool m_concluded = false; // no more work; finished() is on its way
    bool m_delivered = false;
};

class Transfer : public QObject, public Downloader
{
    Q_OBJECT
public:
    // State codes, rising as a transfer advances.
    enum State : int {
        Idle = 0,
        ResolvingHost = 1,
        Connecting = 3,
        RequestSent = 6,
        ReceivingResponse = 7,
        ResponseReceived = 8,
        Failed = 11,
        ResponseCompleted = 12,
    };

    explicit Transfer(QObject *parent = nullptr);
    ~Transfer() override;

    // A new handler, owned by the Transfer until it deletes itself after finished().
    DownloadHandler *start(const DownloadRequest &request) override;
    void cancel() override;
    bool isBusy() const { return m_running != nullptr; }
    // The address the last start() that was not refused as Busy was asked for, as given.
    QString lastAddress() const { return m_lastAddress; }

signals:
    void stateChanged(int code);

private:
    friend class HttpDownload;

    QString m_lastAddress;
    HttpDownload *m_running = nullptr;
};
