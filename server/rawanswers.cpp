#include "rawanswers.h"

#include "serverstate.h"

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace raw {
namespace {

using Clock = std::chrono::steady_clock;

bool stopping() { return serverState().stopping; }

// Sends all of data unless the client goes, the server stops or the client takes nothing
// for the stall limit.
bool rawSend(int fd, const char *data, size_t size)
{
    if (fd < 0)
        return false;
    auto lastProgress = Clock::now();
    while (size > 0) {
        if (stopping())
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
        if (Clock::now() - lastProgress > std::chrono::seconds(serverState().options.stallMaxSeconds))
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

std::string lengthHead(const Reply &reply)
{
    return rawHead(reply.status, reply.contentType, "Content-Length: " + std::to_string(reply.bytes().size()));
}

void finish(int fd, bool ok)
{
    if (ok)
        shutdown(fd, SHUT_WR); // an orderly end: the client reads the answer to its last byte
    else
        dropConnection(fd);
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

// Sends data at `rate` bytes per second on average since `start` (0: as fast as it goes);
// `sent` counts what went out since then.
bool pacedSend(int fd, const char *data, size_t size, std::int64_t rate, Clock::time_point start, std::int64_t &sent)
{
    while (size > 0) {
        size_t piece = size;
        if (rate > 0) {
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            const std::int64_t allowed = std::int64_t(seconds * double(rate)) + 1 - sent;
            if (allowed <= 0) {
                if (stopping() || clientHasGone(fd))
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
    const std::string head = lengthHead(reply) + "X-Filler: ";
    const std::string end = "\r\n\r\n";
    std::int64_t filler = std::max<std::int64_t>(0, total - std::int64_t(head.size() + end.size()));
    const auto start = Clock::now();
    std::int64_t sent = 0;
    bool ok = pacedSend(fd, head.data(), head.size(), rate, start, sent);
    static const std::string letters(64 * 1024, 'a');
    while (ok && filler > 0) {
        const size_t n = size_t(std::min<std::int64_t>(filler, std::int64_t(letters.size())));
        ok = pacedSend(fd, letters.data(), n, rate, start, sent);
        filler -= std::int64_t(n);
    }
    finish(fd, ok && pacedSend(fd, end.data(), end.size(), rate, start, sent)
                   && rawSend(fd, reply.bytes().data(), reply.bytes().size()));
}

// The usual answer with an ETag no client should send back: one `length` bytes long, or
// for 0 one with a bare CR inside.
void sendBadTag(int fd, const Reply &reply, std::int64_t length)
{
    const std::string tag = length > 0 ? '"' + std::string(size_t(std::max<std::int64_t>(length - 2, 0)), 'e') + '"'
                                       : std::string("\"bad\rtag\"");
    const std::string head = lengthHead(reply) + "ETag: " + tag + "\r\n\r\n";
    finish(fd, rawSend(fd, head.data(), head.size()) && rawSend(fd, reply.bytes().data(), reply.bytes().size()));
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
    // Disconnecting a TCP socket resets the connection at once, without a close before it.
    sockaddr unspecified {};
    unspecified.sa_family = AF_UNSPEC;
    if (fd >= 0)
        ::connect(fd, &unspecified, sizeof unspecified);
}

// Holds the connection open without sending anything, until the stall limit passes, the
// client goes or the server stops; then drops it.
void holdThenDrop(int fd)
{
    const auto until = Clock::now() + std::chrono::seconds(serverState().options.stallMaxSeconds);
    while (!stopping() && Clock::now() < until && !clientHasGone(fd))
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    dropConnection(fd);
}

bool sendFiller(int fd, std::int64_t bytes)
{
    const std::string &block = fillerBlock();
    while (bytes > 0) {
        const size_t n = size_t(std::min<std::int64_t>(bytes, std::int64_t(block.size())));
        if (!rawSend(fd, block.data(), n))
            return false;
        bytes -= std::int64_t(n);
    }
    return true;
}

bool sendText(int fd, const std::string &text) { return rawSend(fd, text.data(), text.size()); }

} // namespace

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

void dropConnection(int fd)
{
    if (fd < 0)
        return;
    linger hard {1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    shutdown(fd, SHUT_RDWR);
}

void sendFaulty(int fd, const Reply &reply, const FaultMode &fault)
{
    using Kind = FaultMode::Kind;
    const std::string &body = reply.bytes();
    switch (fault.kind) {
    case Kind::Truncate: {
        // The headers promise the whole body; the connection ends after `value` bytes of it.
        const std::string head = lengthHead(reply) + "\r\n";
        const size_t keep = std::min(body.size(), size_t(fault.value));
        // An orderly close, so the client surely reads the part it was sent.
        finish(fd, rawSend(fd, head.data(), head.size()) && rawSend(fd, body.data(), keep));
        return;
    }
    case Kind::Slow: {
        const std::string head = lengthHead(reply) + "\r\n";
        std::int64_t sent = 0;
        finish(fd, rawSend(fd, head.data(), head.size())
                       && pacedSend(fd, body.data(), body.size(), std::max<std::int64_t>(1, fault.value), Clock::now(), sent));
        return;
    }
    case Kind::Endless:
        sendEndless(fd, reply);
        return;
    case Kind::LongHeader:
        sendLongHeader(fd, reply, fault.value, fault.rate);
        return;
    case Kind::BadTag:
        sendBadTag(fd, reply, fault.value);
        return;
    case Kind::ResetAfter:
        sendCutByReset(fd, reply, fault.value);
        return;
    default:
        dropConnection(fd);
        return;
    }
}

void sendEndlessPlaylist(int fd, const Reply &reply)
{
    const std::string &body = reply.bytes();
    const std::string head = rawHead(reply.status, reply.contentType, "Cache-Control: no-cache") + "\r\n";
    bool ok = rawSend(fd, head.data(), head.size()) && rawSend(fd, body.data(), body.size());
    // The segments go on counting from the playlist's last.
    const auto last = body.rfind("\nseg");
    std::uint64_t next = last == std::string::npos ? 0 : std::strtoull(body.c_str() + last + 4, nullptr, 10) + 1;
    std::string block;
    while (ok) {
        block.clear();
        while (block.size() < 64 * 1024)
            block += "#EXTINF:1.000,\nseg" + std::to_string(next++) + ".ts\n";
        ok = rawSend(fd, block.data(), block.size());
    }
    dropConnection(fd);
}

} // namespace raw

namespace raw {

void sendLiveFaulty(int fd, live::Feed &feed, const FaultMode &fault)
{
    using Kind = FaultMode::Kind;
    const bool lf = fault.kind == Kind::LiveLf;
    const std::string type = fault.kind == Kind::LiveNoBoundary ? std::string("multipart/x-mixed-replace") : live::contentType();
    if (!sendText(fd, "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n")) {
        dropConnection(fd);
        return;
    }
    std::uint64_t last = 0;
    std::int64_t frames = 0;
    bool broken = false; // the fault's break in the stream has been sent
    for (;;) {
        if (fault.kind == Kind::LiveClose && frames >= fault.value) {
            finish(fd, true);
            return;
        }
        const std::optional<live::Frame> frame = feed.waitForNewer(last);
        if (!frame) {
            // The server stops: the closing delimiter if it goes at once, then the end.
            const std::string closing = live::closingDelimiter();
            ::send(fd, closing.data(), closing.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            shutdown(fd, SHUT_WR);
            return;
        }
        last = frame->number;
        const std::string &jpeg = *frame->jpeg;
        if (frames >= 1 && !broken) {
            broken = true;
            switch (fault.kind) {
            case Kind::LiveBigPart:
                // Instead of this frame; the stream goes on with the next.
                if (!(sendText(fd, live::partHead(size_t(fault.value))) && sendFiller(fd, fault.value) && sendText(fd, "\r\n"))) {
                    dropConnection(fd);
                    return;
                }
                continue;
            case Kind::LiveEndlessPart: {
                bool ok = sendText(fd, std::string("--") + live::kBoundary + "\r\nContent-Type: image/jpeg\r\n\r\n");
                while (ok)
                    ok = sendFiller(fd, std::int64_t(fillerBlock().size()));
                dropConnection(fd);
                return;
            }
            case Kind::LiveStallPart:
                if (sendText(fd, live::partHead(jpeg.size())) && rawSend(fd, jpeg.data(), jpeg.size() / 2))
                    holdThenDrop(fd);
                else
                    dropConnection(fd);
                return;
            case Kind::LiveTricklePart: {
                bool ok = sendText(fd, live::partHead(jpeg.size()));
                for (size_t at = 0; ok && !stopping() && at < jpeg.size(); ++at) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(250));
                    ok = rawSend(fd, jpeg.data() + at, 1);
                }
                dropConnection(fd);
                return;
            }
            case Kind::LiveGarbage:
                if (!sendText(fd, "this is not a delimiter\r\nthis is not a delimiter\r\nthis is not a delimiter\r\n")) {
                    dropConnection(fd);
                    return;
                }
                break; // the frame follows
            default:
                break;
            }
        }
        const std::string head = lf ? std::string(live::kBoundary) + "\nContent-Type: image/jpeg\n\n" : live::partHead(jpeg.size());
        if (!(sendText(fd, head) && rawSend(fd, jpeg.data(), jpeg.size()) && sendText(fd, lf ? "\n" : "\r\n"))) {
            dropConnection(fd);
            return;
        }
        ++frames;
    }
}

} // namespace raw
