#pragma once
// Downloads: an address and its limits in, the body or an error out.
//
// Transfer::download() is synchronous for its caller but runs a local event loop, so the
// windows keep painting and answering input while it waits. One policy holds for every
// request: http and https only (also for every redirect hop), at most maxRedirects hops,
// each followed with exactly one request, an inactivity time-out and an overall deadline
// that cover every phase from the name look-up through the header section to the last
// body byte, a header section of at most HeaderMaxBytes and a cap on the body size, all
// checked while the answer arrives: the body is held up to the cap and the connection's
// read buffer is bounded, so no oversized answer is ever held in memory.
// Each request goes out as HTTP/1.1 on a connection of its own, which it closes; it asks
// for no content coding and sends the user name and password of an address as Basic
// credentials.
// An HTTP error status is not a transport failure: its body is returned like any other
// and httpStatus tells it apart. Transfer emits stateChanged() with codes that only rise
// while one transfer advances, and cancel() ends the running transfer at once.
// One transfer runs at a time; a download() while another is running fails with Busy.
#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

struct DownloadRequest
{
    QString address;
    qint64 maxBytes = 32 * 1024 * 1024;
    int timeoutMs = 30000;       // no progress for this long ends the transfer
    int deadlineMs = 300000;     // the whole transfer, however it progresses
    int maxRedirects = 10;
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

    bool ok() const { return error == Error::None; }
};

// Limits for the two kinds of answer.
inline constexpr qint64 CatalogueMaxBytes = 16 * 1024 * 1024;
inline constexpr qint64 PictureMaxBytes = 32 * 1024 * 1024;
// The status line and header fields of one answer, together.
inline constexpr qint64 HeaderMaxBytes = 64 * 1024;

class Transfer : public QObject
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

    DownloadResult download(const DownloadRequest &request);
    void cancel();
    bool isBusy() const { return m_busy; }
    // The address the last download() was asked for, exactly as given.
    QString lastAddress() const { return m_lastAddress; }

signals:
    void stateChanged(int code);

private:
    void advance(int code);

    QString m_lastAddress;
    bool m_busy = false;
    std::function<void()> m_stop; // ends the running transfer as cancelled
    int m_state = Idle;
};
