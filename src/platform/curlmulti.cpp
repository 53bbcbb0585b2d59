#include "curlmulti.h"

#include <QSocketNotifier>

#include <mutex>

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
    curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, MaxConnectionsPerHost);
    // Idle connections kept for the next request: libcurl's default follows the number of
    // transfers running, so a burst to many hosts would lose most of them right after.
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, MaxConnectionsKept);
    curl_multi_setopt(m_multi, CURLMOPT_PIPELINING, long(CURLPIPE_MULTIPLEX));
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
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
