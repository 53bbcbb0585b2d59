#include "httpcore.h"

#include "options.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A fixed set of threads taking jobs in order.
class WorkerPool {
public:
    explicit WorkerPool(int size)
    {
        for (int i = 0; i < size; ++i)
            std::thread([this] { run(); }).detach();
    }
    void post(std::function<void()> job)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_wake.notify_one();
    }

private:
    [[noreturn]] void run()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return !m_jobs.empty(); });
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
};

// One request's progress on its connection, from the request line to the answer's end.
struct Exchange {
    enum class State { Fresh, HeaderRead, Working, Done };
    std::string target;
    State state = State::Fresh;
    Request request;
    std::optional<Reply> reply;
    std::string tail; // the body's end that its Content-Length leaves out, sent after the answer
};

bool isLoopback(const sockaddr *address)
{
    if (!address)
        return false;
    if (address->sa_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in *>(address)->sin_addr.s_addr) >> 24) == 127;
    if (address->sa_family == AF_INET6) {
        const in6_addr &a = reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&a))
            return true;
        return IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127;
    }
    return false;
}

ssize_t readFiller(void *, uint64_t position, char *buffer, size_t max)
{
    static const char line[] = "lumora filler: this answer is far larger than anything sensible.\n";
    constexpr size_t length = sizeof line - 1;
    for (size_t i = 0; i < max; ++i)
        buffer[i] = line[(position + i) % length];
    return ssize_t(max);
}

void releaseBody(void *holder) { delete static_cast<std::shared_ptr<const std::string> *>(holder); }

using GeneratedHolder = std::shared_ptr<const GeneratedBody>;

ssize_t readGenerated(void *holder, uint64_t position, char *buffer, size_t max)
{
    const GeneratedBody &body = **static_cast<GeneratedHolder *>(holder);
    const size_t length = size_t(std::min<uint64_t>(max, body.size() - position));
    body.read(position, buffer, length);
    return ssize_t(length);
}

void releaseGenerated(void *holder) { delete static_cast<GeneratedHolder *>(holder); }

struct StreamHolder {
    std::shared_ptr<StreamBody> body;
    StreamBody::Flow flow;
};

ssize_t readStream(void *holder, uint64_t, char *buffer, size_t max)
{
    auto *h = static_cast<StreamHolder *>(holder);
    const std::int64_t n = h->body->read(buffer, max, h->flow);
    return n < 0 ? MHD_CONTENT_READER_END_OF_STREAM : ssize_t(n);
}

void releaseStream(void *holder) { delete static_cast<StreamHolder *>(holder); }

// A stream goes out as HTTP/1.0 would send it: no chunks, the end of the body is the end
// of the connection. Returning 0 from the reader is allowed only while the connection is
// suspended, hence the pause and resume it is given.
MHD_Response *streamResponse(const std::shared_ptr<StreamBody> &body, MHD_Connection *connection)
{
    auto *holder = new StreamHolder {body, {[connection] { MHD_suspend_connection(connection); },
                                            [connection] { MHD_resume_connection(connection); }}};
    MHD_Response *response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 64 * 1024, readStream, holder, releaseStream);
    if (!response) {
        delete holder;
        return nullptr;
    }
    MHD_set_response_options(response, MHD_RF_HTTP_1_0_COMPATIBLE_STRICT, MHD_RO_END);
    return response;
}

// The reply as a libmicrohttpd response (the caller destroys it); null when none can be made.
MHD_Response *makeResponse(Reply &reply, MHD_Connection *connection)
{
    MHD_Response *response = nullptr;
    if (reply.stream) {
        response = streamResponse(reply.stream, connection);
    } else if (reply.fillerBytes > 0) {
        response = MHD_create_response_from_callback(reply.fillerBytes, 64 * 1024, readFiller, nullptr, nullptr);
    } else if (reply.generated) {
        auto *holder = new GeneratedHolder(reply.generated);
        response = MHD_create_response_from_callback(reply.generated->size(), 64 * 1024, readGenerated, holder, releaseGenerated);
        if (!response)
            delete holder;
    } else {
        auto *holder = new std::shared_ptr<const std::string>(
            reply.shared ? reply.shared : std::make_shared<const std::string>(std::move(reply.body)));
        response = MHD_create_response_from_buffer_with_free_callback_cls((*holder)->size(), const_cast<char *>((*holder)->data()),
                                                                           releaseBody, holder);
        if (!response)
            delete holder;
    }
    if (!response)
        return nullptr;
    MHD_add_response_header(response, "Content-Type", reply.contentType.c_str());
    for (const auto &[name, value] : reply.headers)
        MHD_add_response_header(response, name.c_str(), value.c_str());
    return response;
}

std::string peerName(MHD_Connection *connection)
{
    const MHD_ConnectionInfo *peer = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    char host[NI_MAXHOST] = "?";
    char port[NI_MAXSERV] = "?";
    if (peer && peer->client_addr) {
        const socklen_t size = peer->client_addr->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        getnameinfo(peer->client_addr, size, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
    }
    return std::string(host) + ':' + port;
}

MHD_Result queueReply(MHD_Connection *connection, Reply &reply)
{
    MHD_Response *response = makeResponse(reply, connection);
    if (!response)
        return MHD_NO;
    const MHD_Result queued = MHD_queue_response(connection, unsigned(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

} // namespace

struct HttpCore::Private {
    CoreSettings settings;
    Handlers handlers;
    WorkerPool documents;
    WorkerPool pictures;
    MHD_Daemon *daemon = nullptr;
    std::string nonceSecret; // digest nonces are made from it; lives as long as the daemon

    // Connections waiting for a request header, and since when; those past the deadline
    // are shut down by the watcher, which makes the polling thread close them.
    struct Waiting {
        int socket = -1;
        bool busy = false;
        Clock::time_point since;
        std::uint64_t serial = 0; // tells a connection from a later one at the same address
    };
    std::mutex watchMutex;
    std::map<MHD_Connection *, Waiting> connections;
    std::uint64_t connectionsOpened = 0;

    Private(CoreSettings s, Handlers h) : settings(s), handlers(std::move(h)), documents(s.documentWorkers), pictures(s.pictureWorkers) {}

    void setBusy(MHD_Connection *connection, bool busy)
    {
        std::lock_guard<std::mutex> lock(watchMutex);
        const auto it = connections.find(connection);
        if (it != connections.end()) {
            it->second.busy = busy;
            it->second.since = Clock::now();
        }
    }

    [[noreturn]] void watchHeaders()
    {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const auto cutoff = Clock::now() - std::chrono::seconds(limits::kHeaderDeadlineSeconds);
            std::lock_guard<std::mutex> lock(watchMutex);
            // Under the lock the socket is still open: closing notifies (and waits for the
            // lock) before the descriptor is released.
            for (auto &[connection, waiting] : connections) {
                if (!waiting.busy && waiting.since < cutoff && waiting.socket >= 0) {
                    ::shutdown(waiting.socket, SHUT_RDWR);
                    waiting.socket = -1;
                }
            }
        }
    }

    static void onConnection(void *cls, MHD_Connection *connection, void **, MHD_ConnectionNotificationCode code)
    {
        auto *d = static_cast<Private *>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED && d->handlers.opened)
            d->handlers.opened(peerName(connection));
        std::lock_guard<std::mutex> lock(d->watchMutex);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            d->connections[connection] = Waiting {info ? info->connect_fd : -1, false, Clock::now(), ++d->connectionsOpened};
        } else {
            d->connections.erase(connection);
        }
    }

    // Writes the bytes onto the connection `after` from now, once it is between answers
    // (the one before has left the socket, no request is being answered): so they never cut
    // into an answer, and with nothing queued on the socket they go out in one call that
    // cannot block. Dropped once the connection has closed, or after kIdleSeconds of waiting.
    void writeBetweenAnswers(MHD_Connection *connection, std::string bytes, std::chrono::milliseconds after)
    {
        std::uint64_t serial = 0;
        {
            std::lock_guard<std::mutex> lock(watchMutex);
            const auto it = connections.find(connection);
            if (it == connections.end())
                return;
            serial = it->second.serial;
        }
        std::thread([this, connection, serial, bytes = std::move(bytes), after] {
            std::this_thread::sleep_for(after);
            const auto giveUp = Clock::now() + std::chrono::seconds(limits::kIdleSeconds);
            while (Clock::now() < giveUp) {
                {
                    std::lock_guard<std::mutex> lock(watchMutex);
                    const auto it = connections.find(connection);
                    if (it == connections.end() || it->second.serial != serial || it->second.socket < 0)
                        return;
                    int queued = 0;
                    if (!it->second.busy && ioctl(it->second.socket, SIOCOUTQ, &queued) == 0 && queued == 0) {
                        ::send(it->second.socket, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                        return;
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }).detach();
    }

    static void *onRequestLine(void *, const char *uri, MHD_Connection *)
    {
        auto *exchange = new Exchange;
        exchange->target = uri ? uri : "";
        return exchange;
    }

    static void onCompleted(void *cls, MHD_Connection *connection, void **context, MHD_RequestTerminationCode code)
    {
        auto *exchange = static_cast<Exchange *>(*context);
        if (exchange && !exchange->tail.empty() && code == MHD_REQUEST_TERMINATED_COMPLETED_OK) {
            // The answer has just gone to the socket and nothing else goes on it before this
            // returns, so the tail follows it at once; what the socket cannot take now is
            // left to writeBetweenAnswers, which never cuts into an answer.
            const std::string &tail = exchange->tail;
            const MHD_ConnectionInfo *socket = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            const ssize_t sent = socket ? ::send(socket->connect_fd, tail.data(), tail.size(), MSG_NOSIGNAL | MSG_DONTWAIT) : -1;
            if (sent < ssize_t(tail.size()))
                static_cast<Private *>(cls)->writeBetweenAnswers(connection, tail.substr(size_t(std::max<ssize_t>(sent, 0))),
                                                                 std::chrono::milliseconds(0));
        }
        delete exchange;
        *context = nullptr;
        static_cast<Private *>(cls)->setBusy(connection, false);
    }

    static MHD_Result onRequest(void *cls, MHD_Connection *connection, const char *, const char *method, const char *,
                                const char *, size_t *uploadSize, void **context)
    {
        auto *d = static_cast<Private *>(cls);
        auto *exchange = static_cast<Exchange *>(*context);
        if (!exchange)
            return MHD_NO;
        if (exchange->state == Exchange::State::Done) {
            if (!exchange->reply)
                return MHD_NO; // answered on the socket, or dropped
            Reply &reply = *exchange->reply;
            if (reply.lengthShortBy > 0 && exchange->request.method == "GET" && !reply.stream && !reply.generated
                && reply.fillerBytes == 0) {
                const std::string whole = reply.bytes();
                const size_t announced = whole.size() - std::min<size_t>(whole.size(), reply.lengthShortBy);
                exchange->tail = whole.substr(announced);
                reply.shared.reset();
                reply.body = whole.substr(0, announced);
            }
            if (!reply.unasked.empty())
                d->writeBetweenAnswers(connection, std::move(reply.unasked), reply.unaskedAfter);
            return queueReply(connection, reply);
        }
        if (exchange->state == Exchange::State::Working)
            return MHD_YES;
        if (exchange->state == Exchange::State::Fresh) {
            // The first call comes with the header; answering then would make the connection
            // close, so the answer waits for the call that follows the (empty) body.
            d->setBusy(connection, true);
            exchange->state = Exchange::State::HeaderRead;
            if (std::strcmp(method, "GET") == 0 || std::strcmp(method, "HEAD") == 0)
                return MHD_YES;
            Reply refused = htmlPage(405, "405 Method Not Allowed", "Only GET and HEAD are answered here.");
            refused.headers.emplace_back("Allow", "GET, HEAD");
            return queueReply(connection, refused);
        }
        if (*uploadSize > 0) {
            *uploadSize = 0;
            return MHD_YES;
        }
        Request &request = exchange->request;
        request.method = method;
        request.target = exchange->target;
        splitTarget(request.target, request.path, request.query);
        MHD_get_connection_values(
            connection, MHD_HEADER_KIND,
            [](void *list, MHD_ValueKind, const char *key, const char *value) {
                static_cast<HeaderList *>(list)->emplace_back(key, value ? value : "");
                return MHD_YES;
            },
            &request.headers);
        const MHD_ConnectionInfo *peer = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        request.fromLoopback = peer && isLoopback(peer->client_addr);
        const MHD_ConnectionInfo *socket = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        request.socket = socket ? socket->connect_fd : -1;

        if (d->settings.credentials.scheme != Credentials::Scheme::None && d->handlers.guarded(request)) {
            const credentials::Verdict verdict = credentials::check(connection, d->settings.credentials);
            if (verdict != credentials::Verdict::Accepted) {
                d->handlers.refused(request, 401);
                Reply page = htmlPage(401, "401 Unauthorized", "This picture needs credentials.");
                MHD_Response *response = makeResponse(page, connection);
                const bool queued = response && credentials::queueChallenge(connection, d->settings.credentials, verdict, response);
                if (response)
                    MHD_destroy_response(response);
                return queued ? MHD_YES : MHD_NO;
            }
        }
        if (auto reply = d->handlers.immediate(request))
            return queueReply(connection, *reply);

        exchange->state = Exchange::State::Working;
        MHD_suspend_connection(connection);
        auto job = [d, connection, exchange] {
            exchange->reply = d->handlers.answer(exchange->request);
            exchange->state = Exchange::State::Done;
            MHD_resume_connection(connection);
        };
        const Handlers::Lane lane = d->handlers.lane(request);
        exchange->request.ownThread = lane == Handlers::Lane::OwnThread;
        switch (lane) {
        case Handlers::Lane::Documents:
            d->documents.post(job);
            break;
        case Handlers::Lane::Pictures:
            d->pictures.post(job);
            break;
        case Handlers::Lane::OwnThread:
            std::thread(job).detach();
            break;
        }
        return MHD_YES;
    }
};

HttpCore::HttpCore(CoreSettings settings, Handlers handlers) : d(std::make_unique<Private>(settings, std::move(handlers))) {}

HttpCore::~HttpCore() = default; // the process ends with the server; the daemon is never stopped

bool tlsAvailable() { return MHD_is_feature_supported(MHD_FEATURE_TLS) == MHD_YES; }

bool HttpCore::start()
{
    const CoreSettings &s = d->settings;
    std::vector<MHD_OptionItem> extra;
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_TURBO;
    if (!s.tlsCertificate.empty()) {
        flags |= MHD_USE_TLS;
        extra.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char *>(s.tlsCertificate.c_str())});
        extra.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char *>(s.tlsKey.c_str())});
    }
    if (s.credentials.isDigest()) {
        std::random_device random;
        for (int i = 0; i < 32; ++i)
            d->nonceSecret += char(random());
        extra.push_back({MHD_OPTION_DIGEST_AUTH_RANDOM, intptr_t(d->nonceSecret.size()), d->nonceSecret.data()});
        // Room for the nonces of many clients at once, each reused with a rising count.
        extra.push_back({MHD_OPTION_NONCE_NC_SIZE, 4096, nullptr});
    }
    extra.push_back({MHD_OPTION_END, 0, nullptr});
    d->daemon = MHD_start_daemon(
        flags, 0, nullptr,
        nullptr, &Private::onRequest, d.get(),
        MHD_OPTION_LISTEN_SOCKET, d->settings.listenSocket,
        MHD_OPTION_CONNECTION_LIMIT, unsigned(d->settings.maxConnections),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, unsigned(d->settings.maxPerAddress),
        MHD_OPTION_CONNECTION_TIMEOUT, unsigned(limits::kIdleSeconds),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, size_t(64 * 1024),
        MHD_OPTION_URI_LOG_CALLBACK, &Private::onRequestLine, d.get(),
        MHD_OPTION_NOTIFY_COMPLETED, &Private::onCompleted, d.get(),
        MHD_OPTION_NOTIFY_CONNECTION, &Private::onConnection, d.get(),
        MHD_OPTION_ARRAY, extra.data(),
        MHD_OPTION_END);
    if (!d->daemon)
        return false;
    std::thread([p = d.get()] { p->watchHeaders(); }).detach();
    return true;
}

int listenOn(const std::string &address, int port, int &boundPort)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo *at = found; at && fd < 0; at = at->ai_next) {
        fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd < 0)
            continue;
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, at->ai_addr, at->ai_addrlen) != 0 || ::listen(fd, 1024) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0)
        return -1;
    sockaddr_storage bound {};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length);
    boundPort = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port)
                                            : ntohs(reinterpret_cast<sockaddr_in *>(&bound)->sin_port);
    return fd;
}
