// The HTTP server core: one polling thread (libmicrohttpd, epoll) holds every connection, so
// an idle or trickling client costs a socket, never a thread. Each request is answered on a
// worker: a bounded pool for documents, another for pictures to draw (so renders at once are
// capped, and a queue of them never holds up the catalogue), or a thread of its own for
// answers that may hold the connection for long (test faults).
//
// Guards against clients that hold connections: a whole request header must arrive within
// limits::kHeaderDeadlineSeconds of the connection opening or the previous answer ending,
// connections per client address and in all are capped, and an answer the client takes
// nothing of for limits::kIdleSeconds is dropped. Connections over a cap are closed at once.
// Bytes a test fault writes later onto a kept-open connection are written by a thread of
// their own, never blocking, between answers only.
// A stream body (a live stream) stays on the polling thread too: its connection is
// suspended while the body has nothing to send, and resumed when it has.
#pragma once

#include "credentials.h"

#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// A body made while it is sent, for answers too large to hold: size() bytes, any stretch of
// them readable by position, from any thread.
class GeneratedBody {
public:
    virtual ~GeneratedBody() = default;
    virtual std::uint64_t size() const = 0;
    // Fills buffer with the bytes at [position, position + length), all within size().
    virtual void read(std::uint64_t position, char *buffer, size_t length) const = 0;
};

// A body without end, made while it is sent (a live stream). read() runs on the polling
// thread and must not block: it copies what it has now, or, having nothing yet, calls
// flow.pause() and returns 0, and later calls flow.resume() (from any thread, once) when it
// has more. The core keeps the body until the connection is done with it.
class StreamBody {
public:
    struct Flow {
        std::function<void()> pause;  // the connection waits; call only from within read()
        std::function<void()> resume; // it is served again
    };
    virtual ~StreamBody() = default;
    // Up to max bytes into buffer: how many were copied; 0 after pausing; -1 at the end.
    virtual std::int64_t read(char *buffer, size_t max, const Flow &flow) = 0;
};

struct Request {
    std::string method;
    std::string target;  // path and query exactly as sent
    std::string path;    // percent-decoded, without the query
    HeaderList query;    // decoded names and values, in order
    HeaderList headers;  // as sent
    bool fromLoopback = false;
    int socket = -1;     // the connection; a worker may write on it (it is held for the worker)
    bool ownThread = false; // answered on a thread of its own, which it may hold as long as it likes

    std::string header(const char *name) const; // case-insensitive; empty when absent
    bool hasHeader(const char *name) const;
    std::string param(const char *name) const;  // the first value; empty when absent
};

struct Reply {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    // A large document shared with the cache rather than copied per request; body is then empty.
    std::shared_ptr<const std::string> shared;
    std::uint64_t fillerBytes = 0; // when non-zero, the body is this much generated filler
    std::shared_ptr<const GeneratedBody> generated; // when set, the body
    // When set, the body: sent without Content-Length and without chunks, the connection
    // closed at its end.
    std::shared_ptr<StreamBody> stream;
    HeaderList headers;
    // For test faults. The Content-Length announced is this much less than the body, which
    // goes out whole all the same, on a connection kept open (for a body held in memory).
    std::uint64_t lengthShortBy = 0;
    // When not empty, written onto the connection unaskedAfter this answer went out, at a
    // moment no other answer is under way on it; dropped if the connection closes first.
    std::string unasked;
    std::chrono::milliseconds unaskedAfter {0};

    const std::string &bytes() const { return shared ? *shared : body; }
};

const char *reasonPhrase(int code);
Reply htmlPage(int status, const std::string &title, const std::string &text);
Reply notFound();
Reply bytesReply(const QByteArray &bytes, const char *type);
// Splits a request target into its decoded path and query ('+' in the query is a space).
void splitTarget(const std::string &target, std::string &path, HeaderList &query);

struct Handlers {
    // On the polling thread; must not block. Answers now, or leaves the request to answer().
    std::function<std::optional<Reply>(const Request &)> immediate;
    // Where answer() runs: documents and pictures on their pools; an answer that may hold
    // the connection for long on a thread of its own.
    enum class Lane { Documents, Pictures, OwnThread };
    std::function<Lane(const Request &)> lane;
    // On a worker. No reply: the worker has answered on (or dropped) the socket itself, and
    // the connection is closed.
    std::function<std::optional<Reply>(const Request &)> answer;
    // With credentials set: whether the request needs them (on the polling thread, cheap),
    // and what to do with one refused for want of them (its 401 is queued by the core).
    std::function<bool(const Request &)> guarded;
    std::function<void(const Request &, int status)> refused;
    // A client connected ("ADDRESS:PORT"); on the polling thread, must not block.
    std::function<void(const std::string &peer)> opened;
};

struct CoreSettings {
    int listenSocket = -1; // bound and listening
    int documentWorkers = 2; // the pools' sizes: answers at once
    int pictureWorkers = 4;  // picture renders at once
    int maxPerAddress = 32;
    int maxConnections = 1000;
    Credentials credentials;    // Scheme::None: every request is open
    std::string tlsCertificate; // PEM; both set: HTTPS only
    std::string tlsKey;
};

// Whether this libmicrohttpd can serve HTTPS.
bool tlsAvailable();

class HttpCore {
public:
    HttpCore(CoreSettings settings, Handlers handlers);
    ~HttpCore();
    bool start(); // false when the server cannot start

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The listening socket for address:port (port 0 picks one); -1 with errno on failure.
int listenOn(const std::string &address, int port, int &boundPort);
