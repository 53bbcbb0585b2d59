#include "routes.h"

#include "democatalogue.h"
#include "gzip.h"
#include "hlsstream.h"
#include "serverstate.h"
#include "validators.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <map>
#include <mutex>
#include <optional>

#include <strings.h>

ServerState &serverState()
{
    static ServerState state;
    return state;
}

namespace {

// A header value as the log shows it: control characters would break the line.
std::string loggable(std::string value)
{
    for (char &c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return value;
}

// Every Accept-Encoding field of the request, as one list.
std::string acceptEncoding(const Request &request)
{
    std::string list;
    for (const auto &[name, value] : request.headers)
        if (strcasecmp(name.c_str(), "Accept-Encoding") == 0)
            list += value + ',';
    return list;
}

// A text document's answer; gzip-compressed when asked to.
Reply document(std::shared_ptr<const std::string> bytes, bool gzipped)
{
    Reply r;
    r.contentType = "text/plain; charset=windows-1252";
    r.shared = gzipped ? std::make_shared<const std::string>(gzip::compressed(*bytes)) : std::move(bytes);
    return r;
}

std::shared_ptr<const std::string> shared(const QByteArray &bytes)
{
    return std::make_shared<const std::string>(bytes.constData(), size_t(bytes.size()));
}

Reply catalogue(const Request &request, bool gzipped)
{
    const std::string base = baseUrl(request);
    ServerState &s = serverState();
    if (s.options.catalogueFile.isEmpty())
        return document(shared(democatalogue::catalogueDocument(QString::fromStdString(base), commentsFor)), gzipped);
    // A 4 MB catalogue re-read and resolved per request cost far more than sending it.
    const CatalogueCache::Document doc = s.catalogueCache->resolved(base, gzipped);
    if (!doc)
        return htmlPage(500, "500 Internal Server Error", "The catalogue file cannot be read.");
    return document(doc, false); // the cache gave the form asked for
}

// What a demo cam's picture looks like, at the size the request asks for.
PictureRequest demoPictureRequest(const DemoCam &cam, const Request &request)
{
    PictureRequest pr;
    pr.camId = cam.id;
    pr.caption = cam.name;
    pr.size = cam.size;
    pr.transparentCorner = cam.transparent;
    pr.time = serverState().options.timeOfDay();
    // "?size=WxH" lets a test ask for a particular picture size of any cam; each side is cut
    // to the largest allowed, so no request makes the server paint more than a full-HD frame.
    static const QRegularExpression sizeRx(QStringLiteral("^(\\d{1,4})x(\\d{1,4})$"));
    const auto m = sizeRx.match(QString::fromStdString(request.param("size")));
    if (m.hasMatch() && m.captured(1).toInt() > 0 && m.captured(2).toInt() > 0)
        pr.size = QSize(std::min(m.captured(1).toInt(), limits::kLargestWidth),
                        std::min(m.captured(2).toInt(), limits::kLargestHeight));
    return pr;
}

std::optional<Reply> demoPicture(const QString &camId, const QString &extension, const Request &request)
{
    const DemoCam *cam = democatalogue::find(camId);
    if (!cam)
        return std::nullopt;
    PictureFormat format = PictureFormat::Jpeg;
    if (extension == QLatin1String("png"))
        format = PictureFormat::Png;
    else if (extension == QLatin1String("gif"))
        format = PictureFormat::Gif;
    return bytesReply(serverState().renderer.renderEncoded(demoPictureRequest(*cam, request), format),
                      PictureRenderer::contentType(format));
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

std::optional<Reply> fileFromPictures(const Request &request)
{
    const QString dir = serverState().options.picturesDir;
    if (dir.isEmpty())
        return std::nullopt;
    const QString path = QString::fromStdString(request.path);
    // Refuse parent references outright, then also check where the file really is, which
    // catches symbolic links that lead out of the folder.
    if (path.split(QLatin1Char('/')).contains(QStringLiteral("..")) || path.contains(QLatin1Char('\\')))
        return notFound();
    const QString root = QFileInfo(dir).canonicalFilePath();
    const QFileInfo info(root + path);
    const QString real = info.canonicalFilePath();
    if (root.isEmpty() || real.isEmpty() || !real.startsWith(root + QLatin1Char('/')) || !info.isFile())
        return notFound();
    QFile file(real);
    if (!file.open(QIODevice::ReadOnly))
        return notFound();
    return bytesReply(file.readAll(), typeForExtension(info.suffix()));
}

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

} // namespace

std::string scheme() { return serverState().options.tls() ? "https://" : "http://"; }

std::string boundBase()
{
    const std::string bind = serverState().options.bind.toStdString();
    const bool v6 = bind.find(':') != std::string::npos;
    return scheme() + (v6 ? '[' + bind + ']' : bind) + ':' + std::to_string(serverState().boundPort);
}

bool isWellFormedHost(const std::string &host)
{
    static const QRegularExpression form(QStringLiteral(
        "^(?:[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*"
        "|\\[[0-9A-Fa-f:.]{2,45}\\])(?::(\\d{1,5}))?$"));
    if (host.size() > 260)
        return false;
    const auto m = form.match(QString::fromLatin1(host.data(), qsizetype(host.size())));
    return m.hasMatch() && (m.captured(1).isEmpty() || m.captured(1).toInt() <= 65535);
}

std::string baseUrl(const Request &request)
{
    const ServerState &s = serverState();
    if (!s.options.base.empty())
        return s.options.base;
    const std::string host = request.header("Host");
    return isWellFormedHost(host) ? scheme() + host : boundBase();
}

QByteArray commentsFor(const QString &camId)
{
    static const QRegularExpression safeId(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    const QString dir = serverState().options.commentsDir;
    if (!dir.isEmpty() && safeId.match(camId).hasMatch()) {
        QFile file(QDir(dir).filePath(camId + QStringLiteral(".txt")));
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return democatalogue::commentsDocument(camId);
}

namespace {
const QRegularExpression &camPicturePath()
{
    static const QRegularExpression camPicture(QStringLiteral("^/cams/([A-Za-z0-9_-]+)\\.(jpg|jpeg|png|gif)$"));
    return camPicture;
}
} // namespace

namespace {
const DemoCam *liveCam(const Request &request)
{
    static const QRegularExpression livePath(QStringLiteral("^/live/([A-Za-z0-9_-]+)\\.mjpg$"));
    if (request.path.rfind("/live/", 0) != 0)
        return nullptr;
    const auto m = livePath.match(QString::fromStdString(request.path));
    return m.hasMatch() ? democatalogue::find(m.captured(1)) : nullptr;
}
} // namespace

namespace {
// An /hls/ request taken apart; cam null when it names no demo cam, variant null when it
// names none of the cam's.
struct HlsTarget {
    HlsDocument document = HlsDocument::None;
    const DemoCam *cam = nullptr;
    std::optional<hls::Variant> variant;
    std::int64_t segment = 0;
};

HlsTarget hlsTarget(const Request &request)
{
    static const QRegularExpression hlsPath(QStringLiteral(
        "^/hls/([A-Za-z0-9_-]+)/(?:index\\.m3u8|(\\d{1,4})x(\\d{1,4})/(?:index\\.m3u8|seg(\\d{1,15})\\.ts))$"));
    HlsTarget target;
    if (request.path.rfind("/hls/", 0) != 0)
        return target;
    const auto m = hlsPath.match(QString::fromStdString(request.path));
    target.cam = m.hasMatch() ? democatalogue::find(m.captured(1)) : nullptr;
    if (!target.cam)
        return target;
    if (m.captured(2).isEmpty()) {
        target.document = HlsDocument::MasterPlaylist;
        return target;
    }
    const QSize size(m.captured(2).toInt(), m.captured(3).toInt());
    for (const hls::Variant &v : hls::variants(target.cam->size))
        if (v.size == size)
            target.variant = v;
    if (!target.variant)
        return target;
    target.document = m.captured(4).isEmpty() ? HlsDocument::MediaPlaylist : HlsDocument::Segment;
    target.segment = m.captured(4).toLongLong();
    return target;
}

Reply playlistReply(std::string text)
{
    Reply r;
    r.contentType = hls::kPlaylistType;
    r.body = std::move(text);
    r.headers.emplace_back("Cache-Control", "no-cache");
    return r;
}

Reply hlsAnswer(const Request &request, const HlsTarget &target)
{
    switch (target.document) {
    case HlsDocument::MasterPlaylist:
        return playlistReply(hls::masterPlaylist(hls::variants(target.cam->size)));
    case HlsDocument::MediaPlaylist:
        return hlsMediaPlaylistAt(hls::WallClock::now());
    case HlsDocument::Segment: {
        if (!hls::inWindow(target.segment, hls::WallClock::now()))
            return notFound();
        const auto bytes = hls::segment(demoPictureRequest(*target.cam, request), *target.variant, target.segment);
        if (!bytes)
            return htmlPage(500, "500 Internal Server Error", "The segment cannot be encoded.");
        Reply r;
        r.contentType = hls::kSegmentType;
        r.shared = bytes;
        return r;
    }
    case HlsDocument::None:
        break;
    }
    return notFound();
}
} // namespace

HlsDocument hlsDocument(const Request &request) { return hlsTarget(request).document; }

Reply hlsMediaPlaylistAt(std::chrono::system_clock::time_point moment)
{
    return playlistReply(hls::mediaPlaylist(hls::newestSegment(moment)));
}

std::shared_ptr<live::Subscription> liveSubscription(const Request &request)
{
    const DemoCam *cam = liveCam(request);
    if (!cam)
        return nullptr;
    PictureRequest picture = demoPictureRequest(*cam, request);
    picture.transparentCorner = false; // JPEG frames
    return live::subscribe(picture);
}

bool servesStream(const Request &request) { return liveCam(request) != nullptr; }

bool drawsPicture(const Request &request)
{
    return request.path == "/cam.php" || camPicturePath().match(QString::fromStdString(request.path)).hasMatch()
        || hlsDocument(request) == HlsDocument::Segment;
}

bool needsCredentials(const Request &request)
{
    return request.path != "/camlist.php" && request.path != "/comments.php" && request.path.rfind("/_control/", 0) != 0;
}

Reply route(const Request &request, bool mayEncode)
{
    const std::string &path = request.path;
    if (path == "/camlist.php" || path == "/comments.php") {
        const bool gzipped = mayEncode && gzip::accepted(acceptEncoding(request));
        Reply r = path == "/camlist.php" ? catalogue(request, gzipped)
                                         : document(shared(commentsFor(QString::fromStdString(request.param("camid")))), gzipped);
        if (mayEncode && r.status == 200) {
            r.headers.emplace_back("Vary", "Accept-Encoding");
            if (gzipped)
                r.headers.emplace_back("Content-Encoding", "gzip");
        }
        return r;
    }
    if (path == "/cam.php") {
        if (auto r = demoPicture(QString::fromStdString(request.param("id")), QStringLiteral("jpg"), request))
            return *r;
        return notFound();
    }
    if (auto subscription = liveSubscription(request)) {
        Reply r;
        r.contentType = live::contentType();
        r.stream = std::make_shared<live::StreamAnswer>(std::move(subscription));
        r.headers.emplace_back("Cache-Control", "no-cache");
        return r;
    }
    if (path.rfind("/hls/", 0) == 0)
        return hlsAnswer(request, hlsTarget(request));
    const auto m = camPicturePath().match(QString::fromStdString(path));
    if (m.hasMatch()) {
        if (auto r = demoPicture(m.captured(1), m.captured(2), request))
            return *r;
    }
    if (auto r = fileFromPictures(request))
        return *r;
    return notFound();
}

void answerConditionally(const Request &request, Reply &reply)
{
    if (!serverState().options.conditional || reply.status != 200 || reply.contentType.rfind("image/", 0) != 0)
        return;
    const std::string tag = validators::entityTag(reply.body);
    const QDateTime lastModified = firstServed(tag);
    reply.headers.emplace_back("ETag", tag);
    reply.headers.emplace_back("Last-Modified", validators::httpDate(lastModified));
    if (validators::notModified(request.header("If-None-Match"), request.header("If-Modified-Since"), tag, lastModified)) {
        reply.status = 304;
        reply.body.clear();
    }
}

void recordRequest(const Request &request, int status, bool control)
{
    std::string line = request.method + ' ' + request.target + ' ' + std::to_string(status);
    for (const char *name : {"If-None-Match", "If-Modified-Since"}) {
        if (request.hasHeader(name))
            line += std::string(" ") + name + ": " + loggable(request.header(name));
    }
    if (request.hasHeader("Authorization"))
        line += " Authorization: " + credentials::schemeOf(request.header("Authorization"));
    serverState().log.add(line, !control);
}
