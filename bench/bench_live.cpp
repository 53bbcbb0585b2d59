// The cost of watching a live cam: a 1280 x 720 Motion-JPEG stream from the local
// lumora-camserver, shown in the maximised main window at most 10 frames a second (the
// default cap), and printed as goal lines:
//   LIVE_CPU_PER_FRAME: this process's processor time in a window of the stream sent at 25
//     frames a second, divided by the frames shown in it (the median of the windows), against the processor
//     time of djpeg decoding one part of that stream (its process start included, as
//     bench_refresh counts it; the median of 21 runs). Nothing is subtracted: the
//     transfer, the parts dropped, the decode, the scaling, the drawing and whatever else
//     the program does in that time all count.
//   LIVE_DROPPED_FRAMES_COST: the processor time per second while the stream is sent at 25
//     frames a second against while it is sent at 10, the same cap of 10 shown (the median
//     of the windows at each rate); what the 15 parts a second dropped cost.
//   LIVE_RSS_GROWTH: resident memory (VmRSS) after 10 minutes of the stream at 25 frames a
//     second minus after its first 7 seconds (--minutes M for another length).
// Beside them the parts of a frame's cost, each timed on its own by the calls the viewer
// makes for a frame (decode, scale, draw; see pictureparts.h; half the runs before the
// streams, half after), and the rest of the frame's share: the transfer, the parts
// dropped, the event loop.
//
// Two servers, one per rate, painting the demo scene at a fixed time of day: the catalogue (served by the 25 fps one, which also answers
// every cam's comments) has one cam on each, the same demo cam id and size, so both send
// the same picture. The 30 s at each rate are six windows of 5 s, in rounds of a window at
// each rate and a share of djpeg's runs (with no stream running), so that a machine whose
// load changes during the run weighs on all of them alike, and a busy spell on one
// window only, which the medians pass over. Each window starts
// a few seconds after its stream has shown its first frame; the last stream at 25 fps runs
// on for the memory figures. A window counts only when its stream was live from its start
// to its end, showed frames, and the servers' request logs hold, since the cam was
// selected, exactly one request for the stream (it was not started again, nor the picture
// fetched at every refresh) and else only the comments; else the benchmark fails (exit 1)
// and its goal lines are left out.
//
// The application runs in this process on the offscreen platform with a 1920 x 1080
// screen and the main window maximised, as bench_refresh sets it up, with its heartbeat
// running as the program's does. djpeg is in the Debian package libjpeg-turbo-progs;
// without it that ratio is left out. Only 127.0.0.1 is contacted.
//
// Exit status: 0 when every check held, 1 when one failed, 2 when the benchmark could not
// be set up.
#include "processtime.h"
#include "benchapp.h"
#include "benchpictures.h"
#include "pictureparts.h"
#include "app/application.h"
#include "camserverprocess.h"
#include "control/camimagefetch.h"
#include "control/camselection.h"
#include "control/heartbeat.h"
#include "core/http/multipartstream.h"
#include "core/rules/liverules.h"
#include "platform/picturedecoder.h"
#include "platform/picturememory.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"
#include "wholefiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

namespace {

const QSize Screen(1920, 1080);
const QSize StreamSize(1280, 720);
const char *const CamId = "1006"; // a demo cam; the server draws its live frames
constexpr int FastFps = 25;
constexpr int SlowFps = 10;
constexpr qint64 WarmUpMs = 3000;      // from the stream's first frame to the window's start
// Many short windows, and the medians of their figures: a spell of a busy machine spoils
// one window, not the ratio.
constexpr int Rounds = 6;
constexpr qint64 WindowMs = 5000; // a round's at each rate
constexpr qint64 EarlyMemoryMs = 7000; // the first memory figure, from the first frame
constexpr int DjpegRuns = 21;
constexpr int PartRuns = 21;
constexpr qint64 StreamStartMs = 15000; // for the first frame of a stream

double mib(qint64 bytes)
{
    return bytes / 1048576.0;
}

// VmRSS of this process, bytes; -1 when unknown.
qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// Runs the event loop until the clock has reached ms, or the condition holds; whether it
// holds then.
bool runUntil(const QElapsedTimer &clock, qint64 ms, const std::function<bool()> &done = {})
{
    QTimer wake; // so that the wait for events ends in time, without polling meanwhile
    wake.setSingleShot(true);
    wake.start(int(std::max<qint64>(0, ms - clock.elapsed())));
    if (done) // a condition is looked at after each event, and at least every 50 ms
        wake.start(50);
    while (clock.elapsed() < ms && !(done && done())) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (done && !wake.isActive())
            wake.start(50);
    }
    return done && done();
}

// The request target of an address: path and query, as the server logs it.
QString target(const QString &url)
{
    return QUrl(url).toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded);
}

// One part of the stream, fetched past the viewer, checked to be a JPEG of the stream's
// size; empty, with the reason in failure, when the route did not answer so.
QByteArray sampleFrame(const CamServerProcess &server, const QString &address, QString &failure)
{
    const RawHttpReply reply = server.get(target(address).toUtf8(), 2000);
    const QByteArray type = reply.header("Content-Type");
    const std::optional<QByteArray> boundary = multipart::boundaryOf(type);
    QByteArray jpeg;
    if (reply.status == 200 && multipart::isStream(type) && boundary) {
        multipart::PartReader parts(*boundary, PictureMaxBytes);
        parts.feed(reply.body);
        jpeg = parts.takeNewest().value_or(QByteArray());
    }
    if (jpeg.isEmpty()) {
        failure = QStringLiteral("%1 answered %2 (%3) without a whole part").arg(address).arg(reply.status).arg(QString::fromUtf8(type));
        return {};
    }
    if (QImage::fromData(jpeg, "JPEG").size() != StreamSize) {
        failure = QStringLiteral("a part of %1 is no %2 x %3 JPEG").arg(address).arg(StreamSize.width()).arg(StreamSize.height());
        return {};
    }
    return jpeg;
}

// What the server saw since its log was reset: the stream's requests, the comments' and
// any other.
struct Requests
{
    int stream = 0;
    int comments = 0;
    QStringList other;
};

Requests requestsSeen(const std::vector<const CamServerProcess *> &servers, const QString &streamTarget)
{
    Requests seen;
    QStringList lines;
    for (const CamServerProcess *server : servers)
        lines += server->requests();
    for (const QString &line : lines) {
        const QStringList fields = line.split(QLatin1Char(' '));
        if (fields.value(1) == streamTarget)
            ++seen.stream;
        else if (fields.value(1).startsWith(QLatin1String("/comments")) && fields.value(2) == QLatin1String("200"))
            ++seen.comments;
        else
            seen.other << line;
    }
    return seen;
}

struct Window
{
    double cpuMs = 0;
    qint64 frames = 0;
    double seconds = 0;
    bool live = false; // from its start to its end

    double framesPerSecond() const { return frames / seconds; }
    double cpuPerSecond() const { return cpuMs / seconds; }
    // Another window of the same stream's rate: both together.
    void add(const Window &w)
    {
        live = (seconds == 0 || live) && w.live;
        cpuMs += w.cpuMs;
        frames += w.frames;
        seconds += w.seconds;
    }
};

// A stream of one cam on one server.
struct Stream
{
    const char *name;
    int row; // in the cam list
    CamServerProcess *server;
    QString address;
};

// The server of the catalogue and of the comments.
CamServerProcess *catalogueServer = nullptr;

class LiveBench
{
public:
    LiveBench(Application &app) : m_app(app) {}

    // Selects the stream's cam with the log of its server reset, and runs until it has shown
    // its first frame; the clock then starts. False when it did not come.
    bool startStream(const Stream &stream)
    {
        m_stream = &stream;
        stream.server->resetLog();
        catalogueServer->resetLog();
        m_app.selection().rowClicked(stream.row);
        QElapsedTimer wait;
        wait.start();
        const qint64 frames = m_app.fetch().framesShown();
        const bool started = runUntil(wait, StreamStartMs, [&] {
            return m_app.fetch().isLive() && m_app.fetch().framesShown() > frames
                && m_app.state().selection.pictureAddress() == stream.address;
        });
        m_clock.start();
        return started;
    }

    qint64 sinceFirstFrameMs() const { return m_clock.elapsed(); }

    // The window from atMs to atMs + WindowMs after the first frame; `during`, if given,
    // runs in it at the time it names (a cheap look at something).
    Window measure(qint64 atMs, qint64 duringAtMs = -1, const std::function<void()> &during = {})
    {
        runUntil(m_clock, atMs);
        Window w;
        const bool liveAtStart = m_app.fetch().isLive();
        const qint64 frames = m_app.fetch().framesShown();
        QElapsedTimer wall;
        wall.start();
        const double cpu = cpuMs();
        if (during) {
            runUntil(m_clock, duringAtMs);
            during();
        }
        runUntil(m_clock, atMs + WindowMs);
        w.cpuMs = cpuMs() - cpu;
        w.seconds = wall.nsecsElapsed() / 1e9;
        w.frames = m_app.fetch().framesShown() - frames;
        w.live = liveAtStart && m_app.fetch().isLive() && m_app.state().selection.pictureAddress() == m_stream->address;
        return w;
    }

    // The checks of a window; false, with the reason printed, when one failed.
    bool check(const Window &w, const char *what) const
    {
        std::vector<const CamServerProcess *> servers{m_stream->server};
        if (catalogueServer != m_stream->server)
            servers.push_back(catalogueServer);
        const Requests seen = requestsSeen(servers, target(m_stream->address));
        const int cap = m_app.state().switches.maxFramesPerSecond();
        std::printf("  %s: %.1f s, %lld frames shown (%.2f a second%s), %.0f ms of processor time (%.1f %% of a core); "
                    "requests since the cam was selected: %d for the stream, %d for comments, %lld other\n",
                    what, w.seconds, qlonglong(w.frames), w.framesPerSecond(),
                    w.framesPerSecond() < 0.8 * cap || w.framesPerSecond() > 1.05 * cap ? ", not about the cap" : "",
                    w.cpuMs, 100 * w.cpuMs / (w.seconds * 1000), seen.stream, seen.comments, qlonglong(seen.other.size()));
        QString failure;
        if (!w.live)
            failure = QStringLiteral("the stream was not live throughout");
        else if (w.frames <= 0)
            failure = QStringLiteral("no frame was shown");
        else if (seen.stream != 1 || !seen.other.isEmpty())
            failure = QStringLiteral("the server saw %1 requests for the stream, not one; other requests: %2")
                          .arg(seen.stream)
                          .arg(seen.other.isEmpty() ? QStringLiteral("none") : seen.other.join(QStringLiteral(", ")));
        if (failure.isEmpty())
            return true;
        for (const CamServerProcess *server : servers)
            if (!server->isRunning())
                failure += QStringLiteral(" (the server at %1 no longer runs)").arg(server->baseUrl());
        std::printf("  %s: FAILED: %s\n", what, qPrintable(failure));
        return false;
    }

private:
    Application &m_app;
    const Stream *m_stream = nullptr;
    QElapsedTimer m_clock;
};

// The processor time of the worker's and the window thread's parts of showing one frame,
// each timed on its own, ms: the runs of each, timed in shares (timeParts()) like djpeg's.
struct FrameParts
{
    std::vector<double> decode;
    std::vector<double> scale;
    std::vector<double> draw;
    // What the decoded picture and the surfaces would cost in fresh memory, taken from the
    // system, written once and given back, as a refresh's are; a stream's frames reuse
    // theirs (PictureRecycling), and so do the parts timed here.
    std::vector<double> freshMemory;
    QSize decoded;
    int reduction = 1;

    double sum() const { return median(decode) + median(scale) + median(draw); }
};

void append(std::vector<double> &to, const std::vector<double> &runs)
{
    to.insert(to.end(), runs.begin(), runs.end());
}

// Times `runs` runs of each part (after one untimed) onto the parts' runs.
void timeParts(Application &app, const QByteArray &jpeg, int runs, FrameParts &parts)
{
    MainWindow &mainWindow = app.mainWindow();
    FullscreenWindow &fullscreen = app.fullscreenWindow();
    const ViewScaleMode mode = app.state().switches.scaleMode();
    const QList<DrawingArea> areas = part::areasDrawnAtOnce(mainWindow, fullscreen);
    // Memory is reused from one picture to the next of the same size, as while a stream runs.
    std::optional<PictureRecycling> recycling(std::in_place);
    // PictureLoadJob::startBytes's load.
    part::Decoded decoded;
    append(parts.decode, cpuMsOfRuns([&] { decoded = part::decode(QString(), jpeg, areas, mode); }, runs));
    parts.decoded = decoded.size();
    parts.reduction = decoded.reduction;
    LoadedPicture prepared;
    append(parts.scale, cpuMsOfRuns([&] { prepared = part::scale(decoded, areas, mode); }, runs));
    // Each draw gets a picture and surfaces of its own, as each frame does; made untimed.
    for (int i = 0; i <= runs; ++i) {
        prepared = part::scale(part::freshCopy(decoded), areas, mode);
        const double before = cpuMs();
        part::draw(mainWindow, fullscreen, std::move(prepared));
        if (i > 0) // the first warms up
            parts.draw.push_back(cpuMs() - before);
    }
    prepared = part::scale(decoded, areas, mode);
    recycling.reset();
    append(parts.freshMemory, cpuMsOfRuns(
                                  [&] {
                                      QImage picture = newPicture(decoded.size(), QImage::Format_RGB32);
                                      picture.fill(0);
                                      for (const PreparedSurface &surface : prepared.surfaces) {
                                          QImage fresh = newPicture(surface.surface.size(), QImage::Format_RGB32);
                                          fresh.fill(0);
                                      }
                                  },
                                  runs));
}

} // namespace

int main(int argc, char *argv[])
{
    // Pictures are allocated as the program allocates them.
    giveLargeBlocksBackWhenFreed();
    double minutes = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--minutes") == 0 && i + 1 < argc) {
            minutes = QByteArray(argv[++i]).toDouble();
        } else {
            minutes = 0;
            break;
        }
    }
    if (minutes <= 0) {
        std::fprintf(stderr, "usage: bench_live [--minutes M]   (the memory run's length, 10 by default)\n");
        return 2;
    }
    // The long run holds the window at 25 fps and the first memory figure.
    const qint64 longRunMs = std::max(qint64(minutes * 60000), std::max(WarmUpMs + WindowMs, EarlyMemoryMs) + 1000);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 2;
    }
    const QString screenFile = dir.filePath(QStringLiteral("screen.json"));
    writeFile(screenFile, QStringLiteral(R"({ "windowFrameMargins": false, "screens": [ { "name": "Screen1080",
        "x": 0, "y": 0, "width": %1, "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] })")
                              .arg(Screen.width())
                              .arg(Screen.height())
                              .toUtf8());
    // The figures are those of this screen, whatever platform the caller has set.
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screenFile.toLocal8Bit());
    QApplication qapp(argc, argv);
    QImageReader::setAllocationLimit(256);
    if (QGuiApplication::primaryScreen()->size() != Screen) {
        std::fprintf(stderr, "the screen is not %dx%d\n", Screen.width(), Screen.height());
        return 2;
    }
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty())
        std::fprintf(stderr, "djpeg not found (Debian package libjpeg-turbo-progs): no ratio against it\n");

    // The slow server first, so that the catalogue can name it; the fast one serves the
    // catalogue and the comments.
    QDir root(dir.path());
    root.mkdir(QStringLiteral("work"));
    const QString catalogue = root.filePath(QStringLiteral("catalogue.txt"));
    // The demo scene follows the time of day, and its parts decode faster by night: both
    // servers paint it at noon, so every run measures the same picture.
    const QStringList scene{QStringLiteral("--scene-time"), QStringLiteral("12:00:00")};
    CamServerProcess slowServer(QStringList{QStringLiteral("--live-fps"), QString::number(SlowFps)} + scene);
    if (!slowServer.start()) {
        std::fprintf(stderr, "lumora-camserver did not start: %s\n", qPrintable(slowServer.errorString()));
        return 2;
    }
    const QString path = QStringLiteral("/live/%1.mjpg?size=%2x%3").arg(QLatin1String(CamId)).arg(StreamSize.width()).arg(StreamSize.height());
    const QString line = QStringLiteral("%1;Live at %2 fps;%3%4;A live cam.;;3;12;0;bench\r\n");
    writeFile(catalogue, (line.arg(QLatin1String(CamId)).arg(FastFps).arg(QStringLiteral("{base}"), path)
                          + line.arg(QLatin1String(CamId)).arg(SlowFps).arg(slowServer.baseUrl(), path))
                             .toUtf8());
    CamServerProcess fastServer(QStringList{QStringLiteral("--catalogue"), catalogue, QStringLiteral("--live-fps"), QString::number(FastFps)}
                                + scene);
    if (!fastServer.start()) {
        std::fprintf(stderr, "lumora-camserver did not start: %s\n", qPrintable(fastServer.errorString()));
        return 2;
    }
    catalogueServer = &fastServer;
    const Stream fast{"25 fps", 0, &fastServer, fastServer.baseUrl() + path};
    const Stream slow{"10 fps", 1, &slowServer, slowServer.baseUrl() + path};

    // The live route must answer for the cam: a part of each stream, one kept for djpeg.
    QString failure;
    const QByteArray frame = sampleFrame(fastServer, fast.address, failure);
    const QByteArray slowFrame = frame.isEmpty() ? QByteArray() : sampleFrame(slowServer, slow.address, failure);
    if (frame.isEmpty() || slowFrame.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(failure));
        return 2;
    }
    const QString frameFile = root.filePath(QStringLiteral("frame.jpg"));
    writeFile(frameFile, frame);
    if (!djpeg.isEmpty() && !bench::runDjpeg(djpeg, frameFile)) {
        std::fprintf(stderr, "djpeg failed on a part of the stream\n");
        return 2;
    }

    const QDir workDir(root.filePath(QStringLiteral("work")));
    const std::unique_ptr<Application> started = bench::startAgainst(workDir, fastServer.baseUrl());
    if (!started)
        return 2;
    Application &app = *started;
    // Quiet while the frame's parts are timed: the heartbeat runs again for the streams.
    app.heartbeat().timer()->stop();
    if (app.state().catalogue.camCount() != 2 || app.state().switches.maxFramesPerSecond() != live_rules::DefaultMaxFramesPerSecond || app.fetch().isLive()) {
        std::fprintf(stderr, "unexpected start: %d cams, %d frames a second at most, %s\n", app.state().catalogue.camCount(),
                     app.state().switches.maxFramesPerSecond(), app.fetch().isLive() ? "a stream already running" : "no stream");
        return 2;
    }
    QElapsedTimer settle; // the maximised window settles before anything is measured
    settle.start();
    runUntil(settle, 300);

    std::printf("stream: %dx%d JPEG parts of demo cam %s from lumora-camserver, %lld kB (25 fps) and %lld kB (10 fps) "
                "each; shown at most %d a second in the %dx%d main picture area\n",
                StreamSize.width(), StreamSize.height(), CamId, qlonglong(frame.size() / 1024),
                qlonglong(slowFrame.size() / 1024), app.state().switches.maxFramesPerSecond(),
                app.mainWindow().pictureArea()->pictureAreaSize().width(), app.mainWindow().pictureArea()->pictureAreaSize().height());

    // djpeg's runs, shared out between the rounds below and the end, always with no stream
    // running; and its process start alone, djpeg on a 16 x 16 JPEG.
    const QString tiny = root.filePath(QStringLiteral("tiny.jpg"));
    bench::scene(16, 16).save(tiny, "jpeg", 85);
    std::vector<double> djpegTimes, djpegStartTimes;
    const int djpegShares = 2 * Rounds + 1;
    int djpegShare = 0;
    const auto timeDjpeg = [&] {
        const int runs = DjpegRuns / djpegShares + (djpegShare++ < DjpegRuns % djpegShares ? 1 : 0);
        if (djpeg.isEmpty())
            return;
        for (double ms : cpuMsOfRuns([&] { bench::runDjpeg(djpeg, frameFile); }, runs, RUSAGE_CHILDREN))
            djpegTimes.push_back(ms);
        for (double ms : cpuMsOfRuns([&] { bench::runDjpeg(djpeg, tiny); }, runs, RUSAGE_CHILDREN))
            djpegStartTimes.push_back(ms);
    };
    const auto stopStream = [&] {
        app.heartbeat().timer()->stop();
        app.fetch().abandon();
        QElapsedTimer settled;
        settled.start();
        runUntil(settled, 200);
    };
    FrameParts parts;
    timeParts(app, frame, PartRuns / 2 + 1, parts);

    // The rounds: in each, djpeg's share of its runs, a window at 10 fps sent and one at 25,
    // so that a machine whose load changes during the run weighs on all of them alike. The
    // last stream at 25 fps runs on for the memory figures.
    LiveBench bench(app);
    std::printf("\n%d rounds, each a window of %lld s at 10 fps sent and one at 25, from %lld s after the stream's "
                "first frame; the last stream at 25 fps runs on to %.1f minutes:\n",
                Rounds, WindowMs / 1000, WarmUpMs / 1000, longRunMs / 60000.0);
    Window slowWindow, fastWindow;
    std::vector<double> slowCpuPerSecond, fastCpuPerSecond, fastCpuPerFrame;
    bool slowHeld = true, fastHeld = true;
    qint64 earlyMemory = -1;
    for (int round = 1; round <= Rounds; ++round) {
        for (const Stream *stream : {&slow, &fast}) {
            stopStream();
            timeDjpeg();
            app.heartbeat().timer()->start();
            const QString what = QStringLiteral("round %1, %2 sent").arg(round).arg(QLatin1String(stream->name));
            if (!bench.startStream(*stream)) {
                std::printf("  %s: FAILED: the stream did not show a frame within %lld s\n", qPrintable(what),
                            StreamStartMs / 1000);
                return 1;
            }
            const bool last = round == Rounds && stream == &fast;
            const Window w = last ? bench.measure(WarmUpMs, EarlyMemoryMs, [&] { earlyMemory = residentBytes(); })
                                  : bench.measure(WarmUpMs);
            const bool held = bench.check(w, qPrintable(what));
            (stream == &fast ? fastWindow : slowWindow).add(w);
            (stream == &fast ? fastCpuPerSecond : slowCpuPerSecond).push_back(w.cpuPerSecond());
            if (stream == &fast && w.frames > 0)
                fastCpuPerFrame.push_back(w.cpuMs / w.frames);
            (stream == &fast ? fastHeld : slowHeld) &= held;
        }
    }
    std::printf("  resident memory after %lld s: %.1f MiB\n", EarlyMemoryMs / 1000, mib(earlyMemory));
    const qint64 framesBefore = app.fetch().framesShown();
    const double cpuBefore = cpuMs();
    QElapsedTimer longRun;
    longRun.start();
    const qint64 since = bench.sinceFirstFrameMs();
    // Memory and the processor's share each minute, so that a cost that grows shows.
    double cpuThen = cpuBefore;
    qint64 framesThen = framesBefore;
    qint64 msThen = 0;
    for (qint64 at = 60000; at < longRunMs + 60000; at += 60000) {
        runUntil(longRun, std::min(at, longRunMs) - since);
        const double cpuNow = cpuMs();
        const qint64 framesNow = app.fetch().framesShown();
        std::printf("  after %.1f min: resident memory %.1f MiB; since the last line %.1f %% of a core, %.2f ms a frame "
                    "shown\n",
                    std::min(at, longRunMs) / 60000.0, mib(residentBytes()),
                    100 * (cpuNow - cpuThen) / std::max<qint64>(1, longRun.elapsed() - msThen),
                    (cpuNow - cpuThen) / std::max<qint64>(1, framesNow - framesThen));
        cpuThen = cpuNow;
        framesThen = framesNow;
        msThen = longRun.elapsed();
    }
    Window wholeRun;
    wholeRun.cpuMs = cpuMs() - cpuBefore;
    wholeRun.seconds = longRun.nsecsElapsed() / 1e9;
    wholeRun.frames = app.fetch().framesShown() - framesBefore;
    wholeRun.live = app.fetch().isLive() && app.state().selection.pictureAddress() == fast.address;
    const qint64 lateMemory = residentBytes();
    const bool longRunHeld = bench.check(wholeRun, "rest of the run");

    // The stream ends for the rest of djpeg's runs.
    stopStream();
    timeDjpeg();
    timeParts(app, frame, PartRuns / 2, parts);
    const double djpegMs = median(djpegTimes);
    const double djpegStartMs = median(djpegStartTimes);

    // The goal lines, each of windows whose checks held.
    const int result = slowHeld && fastHeld && longRunHeld ? 0 : 1;
    const double perFrame = fastCpuPerFrame.empty() ? 0 : median(fastCpuPerFrame);
    std::printf("\na frame's processor time at 25 fps sent, ms (the median of the windows): %.2f in all; of it, timed alone: decode %.2f (to %dx%d, "
                "1/%d), scale %.2f, draw %.2f; the rest (transfer, %.1f parts dropped a frame, event loop) %.2f%s\n",
                perFrame, median(parts.decode), parts.decoded.width(), parts.decoded.height(), parts.reduction,
                median(parts.scale), median(parts.draw), fastWindow.frames > 0 ? (FastFps * fastWindow.seconds - fastWindow.frames) / fastWindow.frames : 0,
                perFrame - parts.sum(), perFrame < parts.sum() ? " (negative: the parts cost more timed alone)" : "");
    std::printf("  the picture and the surfaces in fresh memory (taken, written once, given back, as a refresh's are; "
                "a stream's frames reuse theirs) would add %.2f\n",
                median(parts.freshMemory));
    if (djpegMs > 0) {
        std::printf("djpeg on a part: %.2f ms of processor time (the median of %zu runs, its process start included; "
                    "that start alone, djpeg on a 16 x 16 JPEG: %.2f ms)\n",
                    djpegMs, djpegTimes.size(), djpegStartMs);
        if (fastHeld)
            std::printf("LIVE_CPU_PER_FRAME: %.2f x (goal <= 1.3)\n", perFrame / djpegMs);
    }
    std::printf("frames shown a second: %.2f at 25 fps sent, %.2f at 10 fps sent\n", fastWindow.framesPerSecond(),
                slowWindow.framesPerSecond());
    if (fastHeld && slowHeld)
        std::printf("LIVE_DROPPED_FRAMES_COST: %.2f x (goal <= 1.1)\n", median(fastCpuPerSecond) / median(slowCpuPerSecond));
    std::printf("resident memory: %.1f MiB after %lld s, %.1f MiB after %.1f minutes\n", mib(earlyMemory),
                EarlyMemoryMs / 1000, mib(lateMemory), longRunMs / 60000.0);
    if (fastHeld && longRunHeld)
        std::printf("LIVE_RSS_GROWTH: %.2f MiB (goal <= 2)\n", mib(lateMemory - earlyMemory));
    return result;
}
