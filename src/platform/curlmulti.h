#pragma once
// Inside the downloads only: libcurl's multi interface driven by the Qt event loop of the
// thread that made it.
//
// One multi handle per thread, shared by every Transfer of that thread, so its connection
// cache is one: a connection to a host is kept open after an answer and taken again by the
// next request there, HTTP/2 requests to one host multiplexed over one connection. The sockets libcurl asks to be watched get a
// QSocketNotifier each, its timer one QTimer; both call curl_multi_socket_action from the
// event loop, never from within a libcurl call. A transfer that ends is taken out of the
// multi handle and reported to its CurlTransferClient outside every libcurl callback.
//
// A transfer starts only when its turn has come (connection_share): a host's connections
// are shared fairly between its stills, a live stream has one of its own, and a transfer
// waiting for its turn is not yet in the multi handle, so none of its time-outs runs.
#include "core/http/connectionshare.h"

#include <QElapsedTimer>
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
    // Its turn to start has come (see CurlMulti::askTurn); from the event loop.
    virtual void turnCame() = 0;
};

class CurlMulti : public QObject
{
    Q_OBJECT
public:
    static constexpr long MaxConnectionsKept = 64;

    // This thread's multi handle, made on first use; it lives while anyone holds it.
    static std::shared_ptr<CurlMulti> forThisThread();
    ~CurlMulti() override;

    // Starts a set-up easy handle; its CURLOPT_PRIVATE is the client to tell.
    bool add(CURL *easy, CurlTransferClient *client);
    // Stops a transfer that has not ended; the client hears nothing more of it.
    void remove(CURL *easy);

    // Asks for a transfer's turn to start on host (connection_share::hostOf); true: it may
    // start now. Else the client's turnCame() follows once it may. Its turn is held until
    // endTurn().
    bool askTurn(CurlTransferClient *client, const QString &host, int timeoutMs);
    // The transfer's answer turned out to be a live stream: it holds a stream's share now.
    void turnIsStream(CurlTransferClient *client);
    // The transfer is over, or no longer waits; from the event loop or a destructor, never
    // from a libcurl callback.
    void endTurn(CurlTransferClient *client);

    // The sockets of this multi handle's connections, set up on every easy handle: libcurl
    // opens each through CURLOPT_SOCKOPTFUNCTION's caller, and closes it through this.
    static int closeSocket(void *self, curl_socket_t socket);
    void socketOpened(curl_socket_t socket);
    // The socket of this handle's connection from this local port to that address and
    // port (as CURLOPT_PREREQFUNCTION names them); CURL_SOCKET_BAD if none.
    curl_socket_t socketOf(int localPort, const char *peerAddress, int peerPort);
    // A host that sent bytes nobody asked for: its connections are used for one request
    // each from now on.
    void markUnclean(const QString &host) { m_uncleanHosts.insert(host); }
    bool isUnclean(const QString &host) const { return m_uncleanHosts.contains(host); }
    // Its answers come multiplexed (HTTP/2 or later): bytes may wait on it while it is idle.
    void markMultiplexed(curl_socket_t socket);
    bool isMultiplexed(curl_socket_t socket) const;

private:
    struct Watch;

    CurlMulti();
    static int watchSocket(CURL *easy, curl_socket_t socket, int what, void *self, void *watch);
    static int scheduleTimer(CURLM *multi, long timeoutMs, void *self);
    void act(curl_socket_t socket, int events);
    void reportEnded();
    // Hands out the turns that have come; the clients hear of theirs from the event loop.
    void shareOut();
    void tellTurns();

    CURLM *m_multi;
    QTimer m_timer;
    QHash<curl_socket_t, Watch *> m_watches;
    QSet<CURL *> m_running;

    struct Asker
    {
        CurlTransferClient *client;
        connection_share::Waiting want;
        int timeoutMs;
    };
    QElapsedTimer m_clock;
    QHash<CurlTransferClient *, connection_share::Running> m_turns; // started, or told they may
    QList<Asker> m_askers;                 // waiting, in the order they asked
    QList<CurlTransferClient *> m_toTell;  // given their turn, not told yet
    QTimer m_shareTimer;                   // a share falls free, or turns are to be told

    struct OpenSocket
    {
        int localPort = 0; // 0 until it is known
        int peerPort = 0;
        QByteArray peerAddress;
        bool multiplexed = false;
    };
    QHash<curl_socket_t, OpenSocket> m_sockets;
    QSet<QString> m_uncleanHosts;
};
