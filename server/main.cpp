// lumora-camserver: serves a cam catalogue, comments and freshly rendered cam pictures over HTTP,
// and misbehaves on request (--fault, /_control/...) so clients can be tested against bad servers.
//
// Request log lines read "METHOD <path-with-query> <status>"; status 0 means no answer was sent
// (reset, stall). A stalled request is logged when the hold starts, all others just before the
// answer goes out, so a client that has its answer always finds it in /_control/requests.
// A request that carried If-None-Match or If-Modified-Since has them appended to its line as
// they came (" If-None-Match: <value>"), so the 304s they earned can be read beside them.
//
// Pictures carry an ETag and a Last-Modified and are answered with a bodiless 304 when a
// request's conditions find them unchanged; --no-conditional serves them the plain way.

#include "cataloguecache.h"
#include "democatalogue.h"
#include "export.h"
#include "faults.h"
#include "picturerenderer.h"
#include "validators.h"

#include <httplib.h>

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <dirent.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    QString bind = QStringLiteral("127.0.0.1");
    int port = 0;
    QString catalogueFile;
    QString commentsDir;
    QString picturesDir;
    bool log = false;
    bool conditional = true;
    int stallMaxSeconds = 300;
    QString exportDir;
    QString exportBase;
};

Options g_options;
int g_boundPort = 0;
std::atomic<bool> g_stopping {false};
FaultTable g_faults;
PictureRenderer g_renderer;
std::unique_ptr<CatalogueCache> g_catalogueCache;

std::mutex g_logMutex;
std::vector<std::string> g_requestLog;

// A header value as the log shows it: control characters would break the line.
std::string loggable(std::string value)
{
    for (char &c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return value;
}

void recordRequest(const httplib::Request &req, int status, bool control)
{
    std::string line = req.method + ' ' + req.target + ' ' + std::to_string(status);
    for (const char *name : {"If-None-Match", "If-Modified-Since"}) {
        if (req.has_header(name))
            line += std::string(" ") + name + ": " + loggable(req.get_header_value(name));
    }
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (!control)
        g_requestLog.push_back(line);
    if (g_options.log) {
        std::fputs((line + '\n').c_str(), stdout);
        std::fflush(stdout);
    }
}

// Sleeps in short steps so that a stopping server is never held up by a delayed answer.
bool sleepUnlessStopping(std::chrono::milliseconds total)
{
    const auto until = Clock::now() + total;
    while (!g_stopping) {
        const auto now = Clock::now();
        if (now >= until)
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(until - now, std::chrono::milliseconds(20)));
    }
    return false;
}

std::string numericHost(const sockaddr_storage &addr, socklen_t len, int &port)
{
    char host[NI_MAXHOST] = {};
    char serv[NI_MAXSERV] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr *>(&addr), len, host, sizeof host, serv, sizeof serv,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return {};
    port = std::atoi(serv);
    return host;
}

// httplib does not hand the connection's socket to handlers, yet dropping a connection
// without an answer needs it. The (local port, peer address, peer port) triple names the
// socket uniquely, so look it up among our open descriptors.
int findConnectionSocket(const httplib::Request &req)
{
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int found = -1;
    while (dirent *entry = readdir(dir)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0')
            continue;
        sockaddr_storage local {}, peer {};
        socklen_t localLen = sizeof local, peerLen = sizeof peer;
        if (getsockname(int(fd), reinterpret_cast<sockaddr *>(&local), &localLen) != 0)
            continue;
        if (getpeername(int(fd), reinterpret_cast<sockaddr *>(&peer), &peerLen) != 0)
            continue;
        int localPort = -1, peerPort = -1;
        numericHost(local, localLen, localPort);
        const std::string peerHost = numericHost(peer, peerLen, peerPort);
        if (localPort == req.local_port && peerPort == req.remote_port && peerHost == req.remote_addr) {
            found = int(fd);
            break;
        }
    }
    closedir(dir);
    return found;
}

// Shuts the connection down so the client gets no answer at all; httplib's own attempt to
// answer afterwards fails quietly and it closes the socket, which with a zero linger time
// sends a reset rather than an orderly close.
void dropConnection(int fd)
{
    if (fd < 0)
        return;
    linger hard {1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    shutdown(fd, SHUT_RDWR);
}

bool clientHasGone(int fd)
{
    if (fd < 0)
        return false;
    pollfd p {fd, POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, 0) <= 0)
        return false;
    if (p.revents & (POLLRDHUP | POLLHUP | POLLERR))
        return true;
    char byte;
    return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

std::string baseUrl(const httplib::Request &req)
{
    const std::string host = req.get_header_value("Host");
    if (!host.empty())
        return "http://" + host;
    const std::string bind = g_options.bind.toStdString();
    const bool v6 = bind.find(':') != std::string::npos;
    return "http://" + (v6 ? '[' + bind + ']' : bind) + ':' + std::to_string(g_boundPort);
}

struct Reply {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    // A large document shared with the cache rather than copied per request; body is then empty.
    std::shared_ptr<const std::string> shared;
    const std::string &bytes() const { return shared ? *shared : body; }
};

Reply htmlPage(int status, const std::string &title, const std::string &text)
{
    Reply r;
    r.status = status;
    r.contentType = "text/html; charset=utf-8";
    r.body = "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head>\n<body><h1>" + title +
             "</h1>\n<p>" + text + "</p></body></html>\n";
    return r;
}

const char *reasonPhrase(int code)
{
    switch (code) {
    case 200: return "OK";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 410: return "Gone";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return code >= 500 ? "Server Error" : code >= 400 ? "Client Error" : "Status";
    }
}

Reply notFound() { return htmlPage(404, "404 Not Found", "No such document on this server."); }

Reply bytesReply(const QByteArray &bytes, const char *type)
{
    Reply r;
    r.contentType = type;
    r.body.assign(bytes.constData(), size_t(bytes.size()));
    return r;
}

QByteArray commentsFor(const QString &camId)
{
    static const QRegularExpression safeId(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    if (!g_options.commentsDir.isEmpty() && safeId.match(camId).hasMatch()) {
        QFile file(QDir(g_options.commentsDir).filePath(camId + QStringLiteral(".txt")));
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return democatalogue::commentsDocument(camId);
}

Reply catalogue(const httplib::Request &req)
{
    const std::string base = baseUrl(req);
    if (g_options.catalogueFile.isEmpty()) {
        return bytesReply(democatalogue::catalogueDocument(QString::fromStdString(base), commentsFor),
                          "text/plain; charset=windows-1252");
    }
    // A 4 MB catalogue re-read and resolved per request cost far more than sending it.
    const CatalogueCache::Document doc = g_catalogueCache->resolved(base);
    if (!doc)
        return htmlPage(500, "500 Internal Server Error", "The catalogue file cannot be read.");
    Reply r;
    r.contentType = "text/plain; charset=windows-1252";
    r.shared = doc;
    return r;
}

std::optional<Reply> demoPicture(const QString &camId, const QString &extension, const httplib::Request &req)
{
    const DemoCam *cam = democatalogue::find(camId);
    if (!cam)
        return std::nullopt;
    PictureFormat format = PictureFormat::Jpeg;
    if (extension == QLatin1String("png"))
        format = PictureFormat::Png;
    else if (extension == QLatin1String("gif"))
        format = PictureFormat::Gif;

    PictureRequest pr;
    pr.camId = cam->id;
    pr.caption = cam->name;
    pr.size = cam->size;
    pr.transparentCorner = cam->transparent;
    pr.time = QTime::currentTime();
    // "?size=WxH" lets a test ask for a particular picture size of any cam.
    static const QRegularExpression sizeRx(QStringLiteral("^(\\d{1,4})x(\\d{1,4})$"));
    const auto m = sizeRx.match(QString::fromStdString(req.get_param_value("size")));
    constexpr int kLargestSide = 4096; // a typo must not make the server paint gigapixels
    if (m.hasMatch() && m.captured(1).toInt() > 0 && m.captured(2).toInt() > 0
        && m.captured(1).toInt() <= kLargestSide && m.captured(2).toInt() <= kLargestSide)
        pr.size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
    return bytesReply(g_renderer.renderEncoded(pr, format), PictureRenderer::contentType(format));
}

const char *typeForExtension(const QString &suffix)
{
    const QString s = suffix.toLower();
    if (s == QLatin1String("jpg") || s == QLatin1String("jpeg"))
        return "image/jpeg";
    if (s == QLatin1String("png"))
        return "image/png";
    if (s == QLatin1String("gif"))
        return "image/gif";
    if (s == QLatin1String("bmp"))
        return "image/bmp";
    if (s == QLatin1String("webp"))
        return "image/webp";
    if (s == QLatin1String("txt") || s == QLatin1String("php"))
        return "text/plain; charset=windows-1252";
    if (s == QLatin1String("html") || s == QLatin1String("htm"))
        return "text/html";
    return "application/octet-stream";
}

std::optional<Reply> fileFromPictures(const httplib::Request &req)
{
    if (g_options.picturesDir.isEmpty())
        return std::nullopt;
    const QString path = QString::fromStdString(req.path);
    // Refuse parent references outright, then also check where the file really is, which
    // catches symbolic links that lead out of the folder.
    if (path.split(QLatin1Char('/')).contains(QStringLiteral("..")) || path.contains(QLatin1Char('\\')))
        return notFound();
    const QString root = QFileInfo(g_options.picturesDir).canonicalFilePath();
    const QFileInfo info(root + path);
    const QString real = info.canonicalFilePath();
    if (root.isEmpty() || real.isEmpty() || !real.startsWith(root + QLatin1Char('/')) || !info.isFile())
        return notFound();
    QFile file(real);
    if (!file.open(QIODevice::ReadOnly))
        return notFound();
    return bytesReply(file.readAll(), typeForExtension(info.suffix()));
}

Reply route(const httplib::Request &req)
{
    const std::string &path = req.path;
    if (path == "/camlist.php")
        return catalogue(req);
    if (path == "/comments.php") {
        const QByteArray doc = commentsFor(QString::fromStdString(req.get_param_value("camid")));
        return bytesReply(doc, "text/plain; charset=windows-1252");
    }
    if (path == "/cam.php") {
        if (auto r = demoPicture(QString::fromStdString(req.get_param_value("id")), QStringLiteral("jpg"), req))
            return *r;
        return notFound();
    }
    static const QRegularExpression camPicture(QStringLiteral("^/cams/([A-Za-z0-9_-]+)\\.(jpg|jpeg|png|gif)$"));
    const auto m = camPicture.match(QString::fromStdString(path));
    if (m.hasMatch()) {
        if (auto r = demoPicture(m.captured(1), m.captured(2), req))
            return *r;
    }
    if (auto r = fileFromPictures(req))
        return *r;
    return notFound();
}

// Every body goes out through a content provider with a known length: that keeps
// Content-Length honest (httplib would otherwise gzip text for clients that accept it)
// and gives one place to cut or throttle the stream.
void sendBody(httplib::Response &res, Reply reply, std::optional<FaultMode> fault)
{
    res.status = reply.status;
    const std::shared_ptr<const std::string> body =
        reply.shared ? reply.shared : std::make_shared<const std::string>(std::move(reply.body));
    const size_t total = body->size();
    using Kind = FaultMode::Kind;
    const Kind kind = fault ? fault->kind : Kind::Delay; // Delay has already been served

    if (kind == Kind::Empty) {
        res.set_header("Content-Length", "0");
        res.set_content(std::string(), reply.contentType);
        return;
    }
    if (total == 0) {
        res.set_content(std::string(), reply.contentType);
        return;
    }
    if (kind == Kind::Truncate && size_t(fault->value) < total) {
        const size_t keep = size_t(fault->value);
        res.set_content_provider(total, reply.contentType, [body, keep](size_t offset, size_t, httplib::DataSink &sink) {
            if (offset < keep && !sink.write(body->data() + offset, keep - offset))
                return false;
            // Returning false makes httplib close the connection mid-body.
            return false;
        });
        return;
    }
    if (kind == Kind::Slow) {
        const double rate = double(fault->value);
        const size_t chunk = std::max<size_t>(1, size_t(rate / 20));
        const auto start = std::make_shared<Clock::time_point>(Clock::time_point::min());
        res.set_content_provider(total, reply.contentType, [=](size_t offset, size_t length, httplib::DataSink &sink) {
            if (*start == Clock::time_point::min())
                *start = Clock::now();
            const auto due = *start + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(double(offset) / rate));
            while (Clock::now() < due) {
                if (g_stopping || !sink.is_writable())
                    return false;
                std::this_thread::sleep_for(std::min<Clock::duration>(due - Clock::now(), std::chrono::milliseconds(20)));
            }
            return sink.write(body->data() + offset, std::min(chunk, length));
        });
        return;
    }
    res.set_content_provider(total, reply.contentType, [body](size_t offset, size_t length, httplib::DataSink &sink) {
        if (g_stopping)
            return false;
        return sink.write(body->data() + offset, std::min<size_t>(length, 64 * 1024));
    });
}

void sendFiller(httplib::Response &res, size_t total)
{
    // Generated on the fly so a 20 MiB answer costs no memory.
    static const std::string line = "lumora filler: this answer is far larger than anything sensible.\n";
    res.status = 200;
    res.set_content_provider(total, "application/octet-stream", [](size_t offset, size_t length, httplib::DataSink &sink) {
        if (g_stopping)
            return false;
        std::string chunk;
        const size_t n = std::min<size_t>(length, 64 * 1024);
        chunk.reserve(n);
        for (size_t i = 0; i < n; ++i)
            chunk.push_back(line[(offset + i) % line.size()]);
        return sink.write(chunk.data(), chunk.size());
    });
}

// ---- Answers written straight onto the connection --------------------------------------
// httplib would neither send a header section of any size nor a body without end, and it
// gzips text for clients that accept it; these answers bypass it. The handler then leaves
// the response empty, and httplib's own attempt to answer fails on the closed connection.

// Sends all of data unless the client goes, the server stops or the client takes nothing
// for the stall limit.
bool rawSend(int fd, const char *data, size_t size)
{
    if (fd < 0)
        return false;
    auto lastProgress = Clock::now();
    while (size > 0) {
        if (g_stopping)
            return false;
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= size_t(n);
            lastProgress = Clock::now();
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (Clock::now() - lastProgress > std::chrono::seconds(g_options.stallMaxSeconds))
            return false;
        pollfd p {fd, POLLOUT, 0};
        if (poll(&p, 1, 50) > 0 && (p.revents & (POLLERR | POLLHUP)))
            return false;
    }
    return true;
}

std::string rawHead(int status, const std::string &contentType, const std::string &lengthOrChunked)
{
    return "HTTP/1.1 " + std::to_string(status) + ' ' + reasonPhrase(status) + "\r\nContent-Type: " + contentType
        + "\r\n" + lengthOrChunked + "\r\nConnection: close\r\n";
}

const std::string &fillerBlock()
{
    static const std::string block = [] {
        static const std::string line = "lumora filler: this answer is far larger than anything sensible.\n";
        std::string b;
        while (b.size() + line.size() <= 64 * 1024)
            b += line;
        return b;
    }();
    return block;
}

// A chunked answer that never ends: the document, then filler, as fast as the client
// takes it. Only the client leaving or the server stopping ends it.
void sendEndless(int fd, const Reply &reply)
{
    const auto chunk = [fd](const char *data, size_t size) {
        char sizeLine[32];
        const int n = std::snprintf(sizeLine, sizeof sizeLine, "%zx\r\n", size);
        return rawSend(fd, sizeLine, size_t(n)) && rawSend(fd, data, size) && rawSend(fd, "\r\n", 2);
    };
    const std::string head = rawHead(reply.status, reply.contentType, "Transfer-Encoding: chunked") + "\r\n";
    bool ok = rawSend(fd, head.data(), head.size());
    if (ok && !reply.bytes().empty())
        ok = chunk(reply.bytes().data(), reply.bytes().size());
    while (ok)
        ok = chunk(fillerBlock().data(), fillerBlock().size());
    dropConnection(fd);
}

// The usual answer behind a header section `total` bytes long (status line to blank line),
// nearly all of it one X-Filler line, sent at `rate` bytes per second or as fast as it goes.
void sendLongHeader(int fd, const Reply &reply, std::int64_t total, std::int64_t rate)
{
    const std::string head = rawHead(reply.status, reply.contentType,
                                     "Content-Length: " + std::to_string(reply.bytes().size()))
        + "X-Filler: ";
    const std::string end = "\r\n\r\n";
    const std::int64_t fixed = std::int64_t(head.size() + end.size());
    std::int64_t filler = std::max<std::int64_t>(0, total - fixed);

    const auto start = Clock::now();
    std::int64_t sent = 0;
    // Paced by what the rate allows so far, so a slow trickle keeps its average.
    const auto send = [&](const char *data, size_t size) {
        while (size > 0) {
            size_t piece = size;
            if (rate > 0) {
                const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
                const std::int64_t allowed = std::int64_t(seconds * double(rate)) + 1 - sent;
                if (allowed <= 0) {
                    if (g_stopping || clientHasGone(fd))
                        return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    continue;
                }
                piece = std::min<size_t>(size, size_t(allowed));
            }
            if (!rawSend(fd, data, piece))
                return false;
            data += piece;
            size -= piece;
            sent += std::int64_t(piece);
        }
        return true;
    };

    bool ok = send(head.data(), head.size());
    static const std::string letters(64 * 1024, 'a');
    while (ok && filler > 0) {
        const size_t n = size_t(std::min<std::int64_t>(filler, std::int64_t(letters.size())));
        ok = send(letters.data(), n);
        filler -= std::int64_t(n);
    }
    ok = ok && send(end.data(), end.size()) && rawSend(fd, reply.bytes().data(), reply.bytes().size());
    if (ok)
        shutdown(fd, SHUT_WR); // an orderly end: the client reads the answer to its last byte
    else
        dropConnection(fd);
}

// The usual answer without Content-Length, so its body runs to the end of the connection,
// cut after `keep` body bytes by a reset instead of an orderly close.
void sendCutByReset(int fd, const Reply &reply, std::int64_t keep)
{
    const std::string head = rawHead(reply.status, reply.contentType, "Cache-Control: no-store") + "\r\n";
    const size_t body = std::min(reply.bytes().size(), size_t(keep));
    if (rawSend(fd, head.data(), head.size()) && rawSend(fd, reply.bytes().data(), body)) {
        // A reset drops what is still queued, so the bytes go out first.
        for (int waited = 0; waited < 200; ++waited) {
            int queued = 0;
            if (ioctl(fd, SIOCOUTQ, &queued) != 0 || queued == 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // Disconnecting a TCP socket resets the connection at once, without a close before it;
    // httplib's own attempt to answer afterwards fails and it closes the descriptor.
    sockaddr unspecified {};
    unspecified.sa_family = AF_UNSPEC;
    if (fd >= 0)
        ::connect(fd, &unspecified, sizeof unspecified);
}

// ---- Conditional answers -----------------------------------------------------------------

std::mutex g_firstServedMutex;
std::map<std::string, QDateTime> g_firstServed; // entity tag -> when its body was first served

// A picture's Last-Modified: the moment its bytes were first served, so a rendered picture
// and a file alike keep their date for as long as they stay the same.
QDateTime firstServed(const std::string &tag)
{
    std::lock_guard<std::mutex> lock(g_firstServedMutex);
    if (g_firstServed.size() > 10000)
        g_firstServed.clear(); // a long demo run must not grow without end
    const auto [it, inserted] = g_firstServed.try_emplace(tag, QDateTime::currentDateTimeUtc());
    return it->second;
}

// Gives a full picture answer its validators, and turns it into a 304 when the request's
// conditions find it unchanged.
void answerConditionally(const httplib::Request &req, Reply &reply, httplib::Response &res)
{
    if (!g_options.conditional || reply.status != 200 || reply.contentType.rfind("image/", 0) != 0)
        return;
    const std::string tag = validators::entityTag(reply.body);
    const QDateTime lastModified = firstServed(tag);
    res.set_header("ETag", tag);
    res.set_header("Last-Modified", validators::httpDate(lastModified));
    if (validators::notModified(req.get_header_value("If-None-Match"), req.get_header_value("If-Modified-Since"),
                                tag, lastModified)) {
        reply.status = 304;
        reply.body.clear();
    }
}

// The usual answer with an ETag no client should send back: one `length` bytes long, or
// for 0 one with a bare CR inside.
void sendBadTag(int fd, const Reply &reply, std::int64_t length)
{
    const std::string tag = length > 0 ? '"' + std::string(size_t(std::max<std::int64_t>(length - 2, 0)), 'e') + '"'
                                       : std::string("\"bad\rtag\"");
    const std::string head = rawHead(reply.status, reply.contentType,
                                     "Content-Length: " + std::to_string(reply.bytes().size()))
        + "ETag: " + tag + "\r\n\r\n";
    if (rawSend(fd, head.data(), head.size()) && rawSend(fd, reply.bytes().data(), reply.bytes().size()))
        shutdown(fd, SHUT_WR);
    else
        dropConnection(fd);
}

// ---- Redirect chains -------------------------------------------------------------------

int hopOf(const httplib::Request &req)
{
    const std::string text = req.get_param_value("_hop");
    int hop = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), hop);
    return ec == std::errc() && ptr == text.data() + text.size() && hop > 0 ? hop : 0;
}

// The request's own query with its hop number replaced.
std::string queryWithHop(const httplib::Request &req, int hop)
{
    const auto mark = req.target.find('?');
    std::string query;
    if (mark != std::string::npos) {
        const std::string raw = req.target.substr(mark + 1);
        size_t from = 0;
        while (from <= raw.size()) {
            const size_t to = std::min(raw.find('&', from), raw.size());
            const std::string part = raw.substr(from, to - from);
            if (!part.empty() && part.rfind("_hop=", 0) != 0)
                query += part + '&';
            from = to + 1;
        }
    }
    return '?' + query + "_hop=" + std::to_string(hop);
}

// Where the next hop goes: to the chain's other end, unless this request came in there, in
// which case back to this server's own address. Two servers whose rules name each other
// thus pass a chain back and forth; one server naming itself under another host name
// alternates between the two names.
std::string nextHopBase(const httplib::Request &req, const FaultMode &mode)
{
    const std::string here = baseUrl(req);
    if (mode.url.empty())
        return here;
    const auto authority = [](const std::string &url) {
        const auto start = url.find("//");
        return start == std::string::npos ? url : url.substr(start + 2);
    };
    if (authority(mode.url) != authority(here))
        return mode.url;
    const std::string bind = g_options.bind.toStdString();
    const bool v6 = bind.find(':') != std::string::npos;
    return "http://" + (v6 ? '[' + bind + ']' : bind) + ':' + std::to_string(g_boundPort);
}

void handleControl(const httplib::Request &req, httplib::Response &res)
{
    Reply reply;
    if (req.path == "/_control/fault") {
        const auto rule = faults::parseRule(req.get_param_value("path") + '=' + req.get_param_value("mode"));
        if (rule) {
            g_faults.add(*rule);
            reply.body = "ok\n";
        } else {
            reply.status = 400;
            reply.body = "bad fault rule\n";
        }
    } else if (req.path == "/_control/clear") {
        g_faults.clear();
        reply.body = "ok\n";
    } else if (req.path == "/_control/requests") {
        std::lock_guard<std::mutex> lock(g_logMutex);
        for (const std::string &line : g_requestLog)
            reply.body += line + '\n';
    } else if (req.path == "/_control/reset-log") {
        std::lock_guard<std::mutex> lock(g_logMutex);
        g_requestLog.clear();
        reply.body = "ok\n";
    } else {
        reply = notFound();
    }
    recordRequest(req, reply.status, true);
    sendBody(res, std::move(reply), std::nullopt);
}

void handle(const httplib::Request &req, httplib::Response &res)
{
    if (req.path.rfind("/_control/", 0) == 0) {
        handleControl(req, res);
        return;
    }

    const std::optional<FaultMode> fault = g_faults.match(req.path);
    using Kind = FaultMode::Kind;
    if (fault) {
        switch (fault->kind) {
        case Kind::Stall: {
            recordRequest(req, 0, false);
            const int fd = findConnectionSocket(req);
            const auto until = Clock::now() + std::chrono::seconds(g_options.stallMaxSeconds);
            while (!g_stopping && Clock::now() < until && !clientHasGone(fd))
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            dropConnection(fd);
            return;
        }
        case Kind::Reset:
            recordRequest(req, 0, false);
            dropConnection(findConnectionSocket(req));
            return;
        case Kind::Status: {
            const int code = int(fault->value);
            const std::string title = std::to_string(code) + ' ' + reasonPhrase(code);
            Reply r = htmlPage(code, title, "The server could not answer this request.");
            recordRequest(req, code, false);
            sendBody(res, std::move(r), std::nullopt);
            return;
        }
        case Kind::Html: {
            Reply r = htmlPage(200, "Welcome", "This is a web page, not the document you asked for.");
            recordRequest(req, 200, false);
            sendBody(res, std::move(r), std::nullopt);
            return;
        }
        case Kind::Bytes:
            recordRequest(req, 200, false);
            sendFiller(res, size_t(fault->value));
            return;
        case Kind::Redirect:
        case Kind::RedirectLoop: {
            const std::string base = baseUrl(req);
            const std::string target =
                fault->kind == Kind::Redirect ? replaceAll(fault->url, "{base}", base) : base + req.target;
            Reply r = htmlPage(302, "302 Found", "Moved.");
            res.set_header("Location", target);
            recordRequest(req, 302, false);
            sendBody(res, std::move(r), std::nullopt);
            return;
        }
        case Kind::RedirectChain: {
            const int hop = hopOf(req);
            if (hop >= fault->value)
                break; // the chain's end answers as usual
            Reply r = htmlPage(302, "302 Found", "Moved.");
            res.set_header("Location", nextHopBase(req, *fault) + req.path + queryWithHop(req, hop + 1));
            recordRequest(req, 302, false);
            sendBody(res, std::move(r), std::nullopt);
            return;
        }
        case Kind::Endless: {
            const Reply r = route(req);
            recordRequest(req, r.status, false);
            sendEndless(findConnectionSocket(req), r);
            return;
        }
        case Kind::LongHeader: {
            const Reply r = route(req);
            recordRequest(req, r.status, false);
            sendLongHeader(findConnectionSocket(req), r, fault->value, fault->rate);
            return;
        }
        case Kind::BadTag: {
            const Reply r = route(req);
            recordRequest(req, r.status, false);
            sendBadTag(findConnectionSocket(req), r, fault->value);
            return;
        }
        case Kind::ResetAfter: {
            const Reply r = route(req);
            recordRequest(req, r.status, false);
            sendCutByReset(findConnectionSocket(req), r, fault->value);
            return;
        }
        case Kind::NotModified: {
            Reply r;
            r.status = 304;
            res.set_header("ETag", "\"never-sent\"");
            recordRequest(req, 304, false);
            sendBody(res, std::move(r), std::nullopt);
            return;
        }
        case Kind::Delay:
            if (!sleepUnlessStopping(std::chrono::milliseconds(fault->value))) {
                dropConnection(findConnectionSocket(req));
                return;
            }
            break;
        case Kind::Empty:
        case Kind::Truncate:
        case Kind::Slow:
            break;
        }
    }

    Reply reply = route(req);
    if (!fault || fault->kind == Kind::Delay)
        answerConditionally(req, reply, res);
    recordRequest(req, reply.status, false);
    sendBody(res, std::move(reply), fault);
}

bool parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves a cam catalogue, comments and live pictures over HTTP."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Listen port; 0 picks a free one."), QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption bind(QStringLiteral("bind"), QStringLiteral("Address to listen on."), QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption catalogueOpt(QStringLiteral("catalogue"), QStringLiteral("Serve this file as /camlist.php; {base} becomes http://HOST:PORT."), QStringLiteral("FILE"));
    const QCommandLineOption comments(QStringLiteral("comments"), QStringLiteral("Folder with ID.txt comment documents."), QStringLiteral("DIR"));
    const QCommandLineOption pictures(QStringLiteral("pictures"), QStringLiteral("Folder serving every path not otherwise routed."), QStringLiteral("DIR"));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Print one line per request to stdout."));
    const QCommandLineOption noConditional(QStringLiteral("no-conditional"),
                                           QStringLiteral("Send pictures without ETag and Last-Modified and never answer 304."));
    const QCommandLineOption fault(QStringLiteral("fault"), QStringLiteral("PATH=MODE misbehaviour rule; repeatable."), QStringLiteral("RULE"));
    const QCommandLineOption stallMax(QStringLiteral("stall-max"), QStringLiteral("Longest hold of a stalled request, seconds."), QStringLiteral("S"), QStringLiteral("300"));
    const QCommandLineOption exportDir(QStringLiteral("export"),
                                       QStringLiteral("Write the catalogue, comments and local pictures as static files into DIR (new or empty), then exit."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption exportBase(QStringLiteral("export-base"),
                                        QStringLiteral("With --export: the address the folder will be served at; {base} becomes URL."),
                                        QStringLiteral("URL"));
    parser.addOptions({port, bind, catalogueOpt, comments, pictures, log, noConditional, fault, stallMax, exportDir, exportBase});
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "lumora-camserver: %s\n", qPrintable(parser.errorText()));
        return false;
    }
    // addHelpOption() also accepts --help-all, meant to add Qt's own options; this server
    // takes none of them (it always draws offscreen), so both print the same text.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::fputs("\n"
                   "Fault modes (PATH is exact, a prefix ending in '*', or '*'):\n"
                   "  delay:MS            answer after MS milliseconds\n"
                   "  stall               hold the request without answering\n"
                   "  empty               answer with an empty body\n"
                   "  truncate:N          close the connection after N body bytes\n"
                   "  reset               drop the connection without an answer\n"
                   "  reset-after:N       the answer without Content-Length, reset after N body\n"
                   "                      bytes\n"
                   "  status:CODE         an HTML error page with this status\n"
                   "  html                a web page instead of the document\n"
                   "  bytes:N             N bytes of filler\n"
                   "  redirect:URL        a 302 to URL; {base} is this server's address\n"
                   "  redirect-loop       a 302 to the address asked for\n"
                   "  redirect-chain:N[:BASE]\n"
                   "                      N 302 hops (?_hop=1..N), then the document; with BASE\n"
                   "                      each hop goes there unless it came from there, then back\n"
                   "  slow:RATE           the body at RATE bytes per second\n"
                   "  endless             a chunked body without end, as fast as it is taken\n"
                   "  long-header:BYTES[:RATE]\n"
                   "                      a header section BYTES long, mostly one line, at RATE\n"
                   "                      bytes per second or at full speed; then the document\n"
                   "  bad-etag:N          the document with an ETag N bytes long, or with a bare\n"
                   "                      CR inside for 0\n"
                   "  not-modified        a 304 whatever the request asked\n", stdout);
        std::exit(0);
    }

    bool ok = false;
    g_options.port = parser.value(port).toInt(&ok);
    if (!ok || g_options.port < 0 || g_options.port > 65535) {
        std::fprintf(stderr, "lumora-camserver: bad --port\n");
        return false;
    }
    g_options.stallMaxSeconds = parser.value(stallMax).toInt(&ok);
    if (!ok || g_options.stallMaxSeconds < 0) {
        std::fprintf(stderr, "lumora-camserver: bad --stall-max\n");
        return false;
    }
    g_options.bind = parser.value(bind);
    g_options.catalogueFile = parser.value(catalogueOpt);
    g_options.commentsDir = parser.value(comments);
    g_options.picturesDir = parser.value(pictures);
    g_options.log = parser.isSet(log);
    g_options.conditional = !parser.isSet(noConditional);
    g_options.exportDir = parser.value(exportDir);
    g_options.exportBase = parser.value(exportBase);
    if (parser.isSet(exportDir) != parser.isSet(exportBase)) {
        std::fprintf(stderr, "lumora-camserver: --export and --export-base go together\n");
        return false;
    }
    if (!g_options.catalogueFile.isEmpty() && !QFileInfo(g_options.catalogueFile).isReadable()) {
        std::fprintf(stderr, "lumora-camserver: cannot read %s\n", qPrintable(g_options.catalogueFile));
        return false;
    }
    for (const QString &text : parser.values(fault)) {
        const auto rule = faults::parseRule(text.toStdString());
        if (!rule) {
            std::fprintf(stderr, "lumora-camserver: bad --fault %s\n", qPrintable(text));
            return false;
        }
        g_faults.add(*rule);
    }
    return true;
}

void warmUp()
{
    // The first text drawing loads the font database and the first encode loads the
    // image plugins; doing both here keeps that one-off work off the worker threads.
    PictureRequest pr;
    pr.camId = QStringLiteral("warm-up");
    pr.caption = QStringLiteral("warm-up");
    pr.size = QSize(64, 48);
    pr.time = QTime::currentTime();
    g_renderer.renderEncoded(pr, PictureFormat::Jpeg);
    g_renderer.renderEncoded(pr, PictureFormat::Png);
}

// The export asks for each picture exactly as a client would, so the folder holds what the
// server answers.
int runExport()
{
    return exporter::run(g_options.catalogueFile, g_options.exportBase, g_options.exportDir, commentsFor,
                         [](const QString &path) -> std::optional<QByteArray> {
                             httplib::Request req;
                             req.path = req.target = path.toStdString();
                             const Reply r = route(req);
                             if (r.status != 200)
                                 return std::nullopt;
                             return QByteArray(r.bytes().data(), qsizetype(r.bytes().size()));
                         });
}

} // namespace

int main(int argc, char **argv)
{
    // Block the stop signals before any thread exists so that only the waiter below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    // A shell starts background jobs with SIGINT ignored, and an ignored signal never
    // reaches sigwait; restore the default first (it never fires while blocked).
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN); // clients hanging up mid-answer are routine here

    // Text on pictures needs a GUI application, but the server never has a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // Without one Qt warns on every start, which buries real messages in test logs.
        const QByteArray runtimeDir = QDir::tempPath().toLocal8Bit() + "/lumora-camserver-" + QByteArray::number(getuid());
        ::mkdir(runtimeDir.constData(), 0700);
        QFileInfo info(QString::fromLocal8Bit(runtimeDir));
        if (info.isDir() && info.ownerId() == getuid())
            qputenv("XDG_RUNTIME_DIR", runtimeDir);
    }
    QGuiApplication app(argc, argv);

    if (!parseOptions(QCoreApplication::arguments()))
        return 2;
    warmUp();
    if (!g_options.exportDir.isEmpty())
        return runExport();
    if (!g_options.catalogueFile.isEmpty())
        g_catalogueCache = std::make_unique<CatalogueCache>(g_options.catalogueFile);

    httplib::Server server;
    // Stalled and trickling requests each hold a worker; a large pool keeps the rest answering.
    server.new_task_queue = [] { return new httplib::ThreadPool(64); };
    // httplib closes a kept-alive connection after 5 requests by default; clients following
    // redirects or polling pictures should see the longer-lived connections of a usual web server.
    server.set_keep_alive_max_count(100);
    // Headers and body go out as separate writes; without this the body of a small answer
    // waits for the client's delayed acknowledgement on a kept-alive connection.
    server.set_tcp_nodelay(true);
    server.Get(".*", handle);

    const std::string host = g_options.bind.toStdString();
    if (g_options.port == 0) {
        g_boundPort = server.bind_to_any_port(host);
    } else {
        g_boundPort = server.bind_to_port(host, g_options.port) ? g_options.port : -1;
    }
    if (g_boundPort <= 0) {
        std::fprintf(stderr, "lumora-camserver: cannot listen on %s:%d\n", host.c_str(), g_options.port);
        return 1;
    }

    std::thread([&server, stopSignals] {
        int signalNumber = 0;
        sigwait(&stopSignals, &signalNumber);
        g_stopping = true;
        server.stop();
        // Idle keep-alive connections can hold httplib's shutdown for seconds; nothing is
        // in flight worth waiting for, so leave promptly if it takes too long.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        std::fflush(stdout);
        _exit(0);
    }).detach();

    // The socket is already listening here, so clients may connect as soon as they read this.
    std::printf("%d\n", g_boundPort);
    std::fflush(stdout);

    const bool ok = server.listen_after_bind();
    std::fflush(stdout);
    return ok || g_stopping ? 0 : 1;
}
