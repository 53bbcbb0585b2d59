#include "curlmulti.h"

#include <QSocketNotifier>

#include <algorithm>
#include <limits>
#include <mutex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

struct CurlMulti::Watch
{
    QSocketNotifier *read = nullptr;
    QSocketNotifier *write = nullptr;
    QSet<CURL *> users; // the transfers that asked for this socket to be watched
};

namespace {

CurlTransferClient *clientOf(CURL *easy)
{
    void *client = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIVATE, &client);
    return static_cast<CurlTransferClient *>(client);
}

// A notifier may be the one whose signal runs now: it goes from the event loop.
void retire(QSocketNotifier *notifier)
{
    if (!notifier)
        return;
    notifier->setEnabled(false);
    notifier->disconnect();
    notifier->deleteLater();
}

} // namespace

std::shared_ptr<CurlMulti> CurlMulti::forThisThread()
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    thread_local std::weak_ptr<CurlMulti> current;
    std::shared_ptr<CurlMulti> multi = current.lock();
    if (!multi) {
        multi.reset(new CurlMulti);
        current = multi;
    }
    return multi;
}

CurlMulti::CurlMulti()
    : m_multi(curl_multi_init())
{
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlMulti::watchSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlMulti::scheduleTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    // Each transfer waits for its turn before it comes here (askTurn), so libcurl never
    // keeps one waiting for a connection while its time-outs run.
    curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, 0L);
    // Idle connections kept for the next request: libcurl's default follows the number of
    // transfers running, so a burst to many hosts would lose most of them right after.
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, MaxConnectionsKept);
    curl_multi_setopt(m_multi, CURLMOPT_PIPELINING, long(CURLPIPE_MULTIPLEX));
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
    m_clock.start();
    m_shareTimer.setSingleShot(true);
    connect(&m_shareTimer, &QTimer::timeout, this, [this] {
        shareOut();
        tellTurns();
    });
}

CurlMulti::~CurlMulti()
{
    for (CURL *easy : std::as_const(m_running))
        curl_multi_remove_handle(m_multi, easy);
    curl_multi_cleanup(m_multi);
    for (Watch *watch : std::as_const(m_watches))
        delete watch;
}

bool CurlMulti::add(CURL *easy, CurlTransferClient *client)
{
    curl_easy_setopt(easy, CURLOPT_PRIVATE, client);
    if (curl_multi_add_handle(m_multi, easy) != CURLM_OK)
        return false;
    m_running.insert(easy);
    return true;
}

void CurlMulti::remove(CURL *easy)
{
    if (!m_running.remove(easy))
        return;
    curl_multi_remove_handle(m_multi, easy);
    for (Watch *watch : std::as_const(m_watches))
        watch->users.remove(easy);
}

int CurlMulti::watchSocket(CURL *easy, curl_socket_t socket, int what, void *self, void *)
{
    auto *multi = static_cast<CurlMulti *>(self);
    if (what == CURL_POLL_REMOVE) {
        if (Watch *watch = multi->m_watches.take(socket)) {
            retire(watch->read);
            retire(watch->write);
            delete watch;
        }
        return 0;
    }
    Watch *&watch = multi->m_watches[socket];
    if (!watch)
        watch = new Watch;
    watch->users.insert(easy);
    const auto notifier = [multi, socket](QSocketNotifier *&slot, QSocketNotifier::Type type, bool wanted, int event) {
        if (!wanted) {
            if (slot)
                slot->setEnabled(false);
            return;
        }
        if (!slot) {
            slot = new QSocketNotifier(qintptr(socket), type, multi);
            connect(slot, &QSocketNotifier::activated, multi, [multi, socket, event] { multi->act(socket, event); });
        }
        slot->setEnabled(true);
    };
    notifier(watch->read, QSocketNotifier::Read, what & CURL_POLL_IN, CURL_CSELECT_IN);
    notifier(watch->write, QSocketNotifier::Write, what & CURL_POLL_OUT, CURL_CSELECT_OUT);
    return 0;
}

int CurlMulti::scheduleTimer(CURLM *, long timeoutMs, void *self)
{
    auto *multi = static_cast<CurlMulti *>(self);
    if (timeoutMs < 0)
        multi->m_timer.stop();
    else
        multi->m_timer.start(int(qMin(timeoutMs, long(INT_MAX))));
    return 0;
}

void CurlMulti::act(curl_socket_t socket, int events)
{
    if (socket != CURL_SOCKET_TIMEOUT) {
        if (const Watch *watch = m_watches.value(socket)) {
            for (CURL *easy : watch->users)
                clientOf(easy)->connectionActive();
        }
    }
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    reportEnded();
}

void CurlMulti::reportEnded()
{
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CURL *easy = message->easy_handle;
        const CURLcode code = message->data.result;
        CurlTransferClient *client = clientOf(easy);
        remove(easy);
        client->transferEnded(code);
    }
}

bool CurlMulti::askTurn(CurlTransferClient *client, const QString &host, int timeoutMs)
{
    m_askers.append(Asker{client, connection_share::Waiting{host, false}, timeoutMs});
    m_turns.remove(client);
    shareOut();
    return m_toTell.removeOne(client);
}

void CurlMulti::turnIsStream(CurlTransferClient *client)
{
    const auto turn = m_turns.find(client);
    if (turn == m_turns.end() || turn->live)
        return;
    turn->live = true;
    // Its still's share is free for the next.
    m_shareTimer.start(0);
}

void CurlMulti::endTurn(CurlTransferClient *client)
{
    m_toTell.removeAll(client);
    m_askers.removeIf([client](const Asker &a) { return a.client == client; });
    if (m_turns.remove(client) && !m_askers.isEmpty())
        m_shareTimer.start(0);
}

void CurlMulti::shareOut()
{
    QList<connection_share::Waiting> waiting;
    for (const Asker &a : std::as_const(m_askers))
        waiting.append(a.want);
    const qint64 now = m_clock.elapsed();
    const QList<int> starting = connection_share::mayStart(m_turns.values(), waiting, now);
    for (const int index : starting) {
        const Asker &asker = m_askers.at(index);
        m_turns.insert(asker.client, connection_share::Running{asker.want.host, false, now, asker.timeoutMs});
        m_toTell.append(asker.client);
    }
    for (auto index = starting.crbegin(); index != starting.crend(); ++index) {
        m_askers.removeAt(*index);
        waiting.removeAt(*index);
    }
    const qint64 freed = connection_share::nextShareFreedMs(m_turns.values(), waiting, now);
    if (!m_toTell.isEmpty())
        m_shareTimer.start(0);
    else if (freed >= 0)
        m_shareTimer.start(int(std::clamp<qint64>(freed - now + 1, 0, std::numeric_limits<int>::max())));
}

void CurlMulti::tellTurns()
{
    while (!m_toTell.isEmpty()) {
        CurlTransferClient *client = m_toTell.takeFirst();
        client->turnCame();
    }
}

int CurlMulti::closeSocket(void *self, curl_socket_t socket)
{
    static_cast<CurlMulti *>(self)->m_sockets.remove(socket);
    return ::close(socket);
}

void CurlMulti::socketOpened(curl_socket_t socket)
{
    m_sockets.insert(socket, OpenSocket());
}

namespace {

// An address's port, and its text as libcurl writes it.
int portOf(const sockaddr_storage &address, QByteArray *text)
{
    char buffer[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto &v4 = reinterpret_cast<const sockaddr_in &>(address);
        inet_ntop(AF_INET, &v4.sin_addr, buffer, sizeof buffer);
        *text = buffer;
        return ntohs(v4.sin_port);
    }
    if (address.ss_family == AF_INET6) {
        const auto &v6 = reinterpret_cast<const sockaddr_in6 &>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, buffer, sizeof buffer);
        *text = buffer;
        return ntohs(v6.sin6_port);
    }
    return 0;
}

} // namespace

curl_socket_t CurlMulti::socketOf(int localPort, const char *peerAddress, int peerPort)
{
    for (auto open = m_sockets.begin(); open != m_sockets.end(); ++open) {
        if (open->localPort == 0) {
            // Known once connected.
            sockaddr_storage local {};
            sockaddr_storage peer {};
            socklen_t localLength = sizeof local;
            socklen_t peerLength = sizeof peer;
            QByteArray ignored;
            if (getsockname(open.key(), reinterpret_cast<sockaddr *>(&local), &localLength) != 0
                || getpeername(open.key(), reinterpret_cast<sockaddr *>(&peer), &peerLength) != 0)
                continue;
            open->localPort = portOf(local, &ignored);
            open->peerPort = portOf(peer, &open->peerAddress);
        }
        if (open->localPort == localPort && open->peerPort == peerPort && open->peerAddress == peerAddress)
            return open.key();
    }
    return CURL_SOCKET_BAD;
}

void CurlMulti::markMultiplexed(curl_socket_t socket)
{
    const auto open = m_sockets.find(socket);
    if (open != m_sockets.end())
        open->multiplexed = true;
}

bool CurlMulti::isMultiplexed(curl_socket_t socket) const
{
    return m_sockets.value(socket).multiplexed;
}
