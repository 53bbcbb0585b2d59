#pragma once
// Inside the downloads only: one transfer on a libcurl easy handle in this thread's multi
// handle, with the program's policy as its options and callbacks.
//
// libcurl's callbacks only take note (bytes, states, a failure) and return; whatever a
// receiver may do in answer (cancel, start another transfer) runs from the event loop,
// never within a libcurl call.
#include "platform/curlmulti.h"
#include "platform/transfer.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QUrl>

#include <curl/curl.h>

#include <memory>

namespace multipart {
class PartReader;
}
class ReadPacing;

class CurlDownload final : public DownloadHandler, private CurlTransferClient
{
    Q_OBJECT
public:
    CurlDownload(Transfer *transfer, const DownloadRequest &request);
    ~CurlDownload() override;

    void cancel() override;
    QString address() const override { return m_request.address; }

    // Finishes from the event loop without a transfer: the request was refused.
    void finishEarly(DownloadResult::Error error, const QString &text);
    // Asks for url's turn (see CurlMulti::askTurn), then sets up the easy handle and
    // starts it; from the event loop.
    void begin(const QUrl &url);

private:
    static size_t takeHeader(char *data, size_t size, size_t count, void *self);
    static size_t takeBody(char *data, size_t size, size_t count, void *self);
    static int requestGoesOut(void *self, char *, char *, int, int);
    static int socketMade(void *self, curl_socket_t, curlsocktype);

    void setUp(const QUrl &url);
    void startTransfer();
    // Into the multi handle, set up; fails the transfer if libcurl refuses it.
    void enterMulti();
    void connectionActive() override;
    void transferEnded(CURLcode code) override;
    void turnCame() override;
    // A kept connection about to take the request holds bytes nobody asked for yet.
    bool connectionUnclean(const char *peerAddress, int peerPort, int localPort);
    // The request goes again on a new connection; what came of the first try is forgotten.
    void startAfresh();
    // The answer is a picture that plainly ends before its format's own end.
    bool pictureCutShort() const;
    // From a callback: the transfer is to fail with this; the callback then stops libcurl.
    void failWithin(DownloadResult::Error error, const QString &text);
    // From the event loop: stops libcurl and fails.
    void failNow(DownloadResult::Error error, const QString &text);
    DownloadResult::Error explain(CURLcode code, QString *text) const;
    void takeAnswer();
    void conclude();
    void deliver();
    void advance(int code);
    // From the header callback at the end of the last answer's section: a live stream
    // begins if the request takes one and the answer is one; false to stop libcurl.
    bool startStream();
    size_t streamBody(QByteArrayView bytes);
    void deliverPart();
    // From the event loop: a transfer paused by the pacing reads on.
    void resumeReading();

    Transfer *m_transfer;
    QUrl m_url;
    std::shared_ptr<CurlMulti> m_multi;
    std::shared_ptr<ReadPacing> m_pacing;
    DownloadRequest m_request;
    DownloadResult m_result;
    CURL *m_easy = nullptr;
    curl_slist *m_fields = nullptr;
    char m_errorText[CURL_ERROR_SIZE] = {};
    QTimer m_idle;
    QTimer m_deadline;
    QTimer m_headerWait;
    QTimer m_partWait;         // a live stream's next part
    QList<curl_socket_t> m_madeSockets; // the connections this transfer opened itself
    curl_socket_t m_socket = CURL_SOCKET_BAD; // the connection the last request went out on
    bool m_unclean = false;    // stopped before the request went out on an unclean connection
    bool m_afresh = false;     // on a new connection after that
    qint64 m_headerBytes = 0;  // of the answer now arriving
    bool m_headerEnded = false;
    QByteArray m_statusLine;   // of the last answer
    QByteArray m_contentType;  // of the answer now arriving
    std::unique_ptr<multipart::PartReader> m_stream; // while a live stream arrives
    qint64 m_streamBytes = 0;  // its body's so far
    bool m_streamClosed = false; // it ended with its closing delimiter
    bool m_partQueued = false;   // deliverPart() is on its way
    bool m_brokenField = false; // a field of the last answer holds a bare CR: no validators
    bool m_failed = false;     // m_result holds a failure of our own
    bool m_running = false;    // in the multi handle
    int m_state = 0;
    bool m_concluded = false;  // no more work; finished() is on its way
    bool m_delivered = false;
};
