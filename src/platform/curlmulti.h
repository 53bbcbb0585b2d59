#pragma once
// Inside the downloads only: libcurl's multi interface driven by the Qt event loop of the
// thread that made it.
//
// One multi handle per thread, shared by every Transfer of that thread, so its connection
// cache is one: a connection to a host is kept open after an answer and taken again by the
// next request there, at most MaxConnectionsPerHost at once per host, HTTP/2 requests to
// one host multiplexed over one connection. The sockets libcurl asks to be watched get a
// QSocketNotifier each, its timer one QTimer; both call curl_multi_socket_action from the
// event loop, never from within a libcurl call. A transfer that ends is taken out of the
// multi handle and reported to its CurlTransferClient outside every libcurl callback.
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <curl/curl.h>

#include <memory>

class QSocketNotifier;

// What a transfer in the multi handle is told.
class CurlTransferClient
{
public:
    virtual ~CurlTransferClient() = default;
    // Its connection moved: bytes came in or went out, or it connected.
    virtual void connectionActive() = 0;
    // The transfer has ended with this code and is out of the multi handle.
    virtual void transferEnded(CURLcode code) = 0;
};

class CurlMulti : public QObject
{
    Q_OBJECT
public:
    static constexpr long MaxConnectionsPerHost = 6;
    static constexpr long MaxConnectionsKept = 64;

    // This thread's multi handle, made on first use; it lives while anyone holds it.
    static std::shared_ptr<CurlMulti> forThisThread();
    ~CurlMulti() override;

    // Starts a set-up easy handle; its CURLOPT_PRIVATE is the client to tell.
    bool add(CURL *easy, CurlTransferClient *client);
    // Stops a transfer that has not ended; the client hears nothing more of it.
    void remove(CURL *easy);

private:
    struct Watch;

    CurlMulti();
    static int watchSocket(CURL *easy, curl_socket_t socket, int what, void *self, void *watch);
    static int scheduleTimer(CURLM *multi, long timeoutMs, void *self);
    void act(curl_socket_t socket, int events);
    void reportEnded();

    CURLM *m_multi;
    QTimer m_timer;
    QHash<curl_socket_t, Watch *> m_watches;
    QSet<CURL *> m_running;
};
