#include "faultanswers.h"

#include "gzip.h"
#include "hlsstream.h"
#include "routes.h"
#include "serverstate.h"
#include "rawanswers.h"

#include <charconv>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Sleeps in short steps so that a stopping server is never held up by a delayed answer.
bool sleepUnlessStopping(std::chrono::milliseconds total)
{
    const auto until = Clock::now() + total;
    while (!serverState().stopping) {
        const auto now = Clock::now();
        if (now >= until)
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(until - now, std::chrono::milliseconds(20)));
    }
    return false;
}

int hopOf(const Request &request)
{
    const std::string text = request.param("_hop");
    int hop = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), hop);
    return ec == std::errc() && ptr == text.data() + text.size() && hop > 0 ? hop : 0;
}

// The request's own query with its hop number replaced.
std::string queryWithHop(const Request &request, int hop)
{
    const auto mark = request.target.find('?');
    std::string query;
    if (mark != std::string::npos) {
        const std::string raw = request.target.substr(mark + 1);
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
std::string nextHopBase(const Request &request, const FaultMode &mode)
{
    const std::string here = baseUrl(request);
    if (mode.url.empty())
        return here;
    const auto authority = [](const std::string &url) {
        const auto start = url.find("//");
        return start == std::string::npos ? url : url.substr(start + 2);
    };
    return authority(mode.url) != authority(here) ? mode.url : boundBase();
}

Reply redirectTo(const std::string &location)
{
    Reply r = htmlPage(302, "302 Found", "Moved.");
    r.headers.emplace_back("Location", location);
    return r;
}

// Bytes a playlist reader must refuse: no "#EXTM3U" first, a NUL and binary bytes among
// lines that look like a playlist's.
Reply garbagePlaylist()
{
    Reply r;
    r.contentType = hls::kPlaylistType;
    r.body = "EXTM3U? no: this is not a playlist\n#EXT-X-VERSION:3\n";
    for (int i = 0; i < 256; ++i)
        r.body += char(i);
    r.body += "\n#EXTINF:1.000,\nseg0.ts\n";
    return r;
}

Reply logged(const Request &request, Reply reply)
{
    recordRequest(request, reply.status, false);
    return reply;
}

} // namespace

std::optional<Reply> controlAnswer(const Request &request)
{
    ServerState &s = serverState();
    if (!s.options.control || request.path.rfind("/_control/", 0) != 0)
        return std::nullopt;
    Reply reply;
    if (!request.fromLoopback) {
        reply = htmlPage(403, "403 Forbidden", "This server is controlled from its own machine only.");
    } else if (request.path == "/_control/fault") {
        const auto rule = faults::parseRule(request.param("path") + '=' + request.param("mode"));
        if (rule && s.options.tls() && faults::writesOnSocket(rule->mode)) {
            reply.status = 400;
            reply.body = "this fault writes raw bytes and cannot be served over TLS\n";
        } else if (rule) {
            s.faults.add(*rule);
            reply.body = "ok\n";
        } else {
            reply.status = 400;
            reply.body = "bad fault rule\n";
        }
    } else if (request.path == "/_control/clear") {
        s.faults.clear();
        reply.body = "ok\n";
    } else if (request.path == "/_control/requests") {
        reply.body = s.log.text();
    } else if (request.path == "/_control/reset-log") {
        s.log.clear();
        reply.body = "ok\n";
    } else {
        reply = notFound();
    }
    recordRequest(request, reply.status, true);
    return reply;
}

bool hasFault(const Request &request) { return serverState().faults.match(request.path).has_value(); }

std::optional<Reply> answerRequest(const Request &request)
{
    ServerState &s = serverState();
    // A rule set after the request was given its lane waits for the next request: only a
    // thread of the request's own may be held by a fault.
    const std::optional<FaultMode> fault = request.ownThread ? s.faults.match(request.path) : std::nullopt;
    using Kind = FaultMode::Kind;
    const int fd = request.socket;
    if (fault) {
        switch (fault->kind) {
        case Kind::Stall: {
            recordRequest(request, 0, false);
            const auto until = Clock::now() + std::chrono::seconds(s.options.stallMaxSeconds);
            while (!s.stopping && Clock::now() < until && !raw::clientHasGone(fd))
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            raw::dropConnection(fd);
            return std::nullopt;
        }
        case Kind::Reset:
            recordRequest(request, 0, false);
            raw::dropConnection(fd);
            return std::nullopt;
        case Kind::Status: {
            const int code = int(fault->value);
            return logged(request, htmlPage(code, std::to_string(code) + ' ' + reasonPhrase(code),
                                            "The server could not answer this request."));
        }
        case Kind::Html:
            return logged(request, htmlPage(200, "Welcome", "This is a web page, not the document you asked for."));
        case Kind::Bytes: {
            Reply r;
            r.contentType = "application/octet-stream";
            r.fillerBytes = std::uint64_t(fault->value);
            return logged(request, r);
        }
        case Kind::Redirect:
            return logged(request, redirectTo(replaceAll(fault->url, "{base}", baseUrl(request))));
        case Kind::RedirectLoop:
            return logged(request, redirectTo(baseUrl(request) + request.target));
        case Kind::RedirectChain: {
            const int hop = hopOf(request);
            if (hop >= fault->value)
                break; // the chain's end answers as usual
            return logged(request, redirectTo(nextHopBase(request, *fault) + request.path + queryWithHop(request, hop + 1)));
        }
        case Kind::GzipBomb: {
            Reply r;
            r.contentType = "application/octet-stream";
            r.generated = std::make_shared<const gzip::InflatingZeros>(std::uint64_t(fault->value));
            r.headers.emplace_back("Content-Encoding", "gzip");
            return logged(request, r);
        }
        case Kind::NotModified: {
            Reply r;
            r.status = 304;
            r.headers.emplace_back("ETag", "\"never-sent\"");
            return logged(request, r);
        }
        case Kind::ShortLength: {
            Reply r = route(request);
            r.lengthShortBy = std::uint64_t(fault->value);
            return logged(request, r);
        }
        case Kind::Unasked:
            break; // the usual answer, the unasked one added below
        case Kind::Delay:
            if (!sleepUnlessStopping(std::chrono::milliseconds(fault->value))) {
                raw::dropConnection(fd);
                return std::nullopt;
            }
            break;
        case Kind::Empty: {
            Reply r = route(request);
            r.body.clear();
            r.shared.reset();
            r.stream.reset();
            return logged(request, r);
        }
        case Kind::LiveNoBoundary:
        case Kind::LiveBigPart:
        case Kind::LiveEndlessPart:
        case Kind::LiveStallPart:
        case Kind::LiveTricklePart:
        case Kind::LiveGarbage:
        case Kind::LiveClose:
        case Kind::LiveLf: {
            const auto subscription = liveSubscription(request);
            if (!subscription)
                break; // no stream here: the usual answer
            recordRequest(request, 200, false);
            raw::sendLiveFaulty(fd, subscription->feed(), *fault);
            return std::nullopt;
        }
        case Kind::HlsStalledPlaylist:
            if (hlsDocument(request) != HlsDocument::MediaPlaylist)
                break;
            return logged(request, hlsMediaPlaylistAt(fault->added));
        case Kind::HlsMissingSegment:
            if (hlsDocument(request) != HlsDocument::Segment)
                break;
            return logged(request, notFound());
        case Kind::HlsTruncatedSegment: {
            if (hlsDocument(request) != HlsDocument::Segment)
                break;
            const Reply r = route(request);
            recordRequest(request, r.status, false);
            FaultMode cut;
            cut.kind = Kind::Truncate;
            cut.value = std::int64_t(r.bytes().size() / 2);
            raw::sendFaulty(fd, r, cut);
            return std::nullopt;
        }
        case Kind::HlsEndlessPlaylist:
        case Kind::HlsGarbagePlaylist: {
            const HlsDocument document = hlsDocument(request);
            if (document != HlsDocument::MasterPlaylist && document != HlsDocument::MediaPlaylist)
                break;
            if (fault->kind == Kind::HlsGarbagePlaylist)
                return logged(request, garbagePlaylist());
            const Reply r = route(request);
            recordRequest(request, r.status, false);
            raw::sendEndlessPlaylist(fd, r);
            return std::nullopt;
        }
        case Kind::Truncate:
        case Kind::Slow:
        case Kind::Endless:
        case Kind::LongHeader:
        case Kind::BadTag:
        case Kind::ResetAfter: {
            const Reply r = route(request);
            recordRequest(request, r.status, false);
            raw::sendFaulty(fd, r, *fault);
            return std::nullopt;
        }
        }
    }
    Reply reply = route(request, true);
    if (!fault || fault->kind == Kind::Delay || fault->kind == Kind::Unasked)
        answerConditionally(request, reply);
    if (fault && fault->kind == Kind::Unasked && !reply.stream) {
        static const std::string text = "unasked answer\n";
        reply.unasked = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(text.size())
            + "\r\nConnection: keep-alive\r\n\r\n" + text;
        reply.unaskedAfter = std::chrono::milliseconds(fault->value);
    }
    return logged(request, std::move(reply));
}
