// lumora-camserver: serves a cam catalogue, comments and freshly rendered cam pictures over HTTP,
// and misbehaves on request (--fault, /_control/... with --control) so clients can be tested
// against bad servers.
//
// Request log lines read "METHOD <path-with-query> <status>"; status 0 means no answer was sent
// (reset, stall). A stalled request is logged when the hold starts, all others just before the
// answer goes out, so a client that has its answer always finds it in /_control/requests.
// A request that carried If-None-Match or If-Modified-Since has them appended to its line as
// they came (" If-None-Match: <value>"), so the 304s they earned can be read beside them.
//
// With --auth, pictures (every path but the catalogue, comments and control) need credentials;
// with --tls-cert and --tls-key, the server speaks HTTPS only.
//
// /live/ID.mjpg streams a demo cam as Motion-JPEG at --live-fps frames a second, each frame
// drawn with its number and the time to the millisecond.
// /hls/ID/index.m3u8 streams it as live HLS (see hlsstream.h).
//
// Pictures carry an ETag and a Last-Modified and are answered with a bodiless 304 when a
// request's conditions find them unchanged; --no-conditional serves them the plain way.

#include "export.h"
#include "faultanswers.h"
#include "httpcore.h"
#include "livestream.h"
#include "routes.h"
#include "serverstate.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QThread>

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

void warmUp()
{
    // The first text drawing loads the font database and the first encode loads the
    // image plugins; doing both here keeps that one-off work off the worker threads.
    PictureRequest pr;
    pr.camId = QStringLiteral("warm-up");
    pr.caption = QStringLiteral("warm-up");
    pr.size = QSize(64, 48);
    pr.time = QTime::currentTime();
    serverState().renderer.renderEncoded(pr, PictureFormat::Jpeg);
    serverState().renderer.renderEncoded(pr, PictureFormat::Png);
}

// The export asks for each picture exactly as a client would, so the folder holds what the
// server answers.
int runExport()
{
    const Options &o = serverState().options;
    return exporter::run(o.catalogueFile, o.exportBase, o.exportDir, commentsFor,
                         [](const QString &path) -> std::optional<QByteArray> {
                             Request request;
                             request.method = "GET";
                             request.target = request.path = path.toStdString();
                             if (servesStream(request))
                                 return std::nullopt; // a stream makes no file
                             const Reply r = route(request);
                             if (r.status != 200)
                                 return std::nullopt;
                             return QByteArray(r.bytes().data(), qsizetype(r.bytes().size()));
                         });
}

// Every connection takes a descriptor; the soft limit is often far below what the
// connection cap allows.
int raiseDescriptorLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    return int(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
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

    ServerState &state = serverState();
    if (!parseOptions(QCoreApplication::arguments(), state.options))
        return 2;
    if (state.options.tls() && !tlsAvailable()) {
        std::fprintf(stderr, "lumora-camserver: this libmicrohttpd is built without TLS; --tls-cert cannot be served\n");
        return 2;
    }
    for (const std::string &rule : state.options.faultRules)
        state.faults.add(*faults::parseRule(rule));
    state.log.setPrinting(state.options.log);
    warmUp();
    if (!state.options.exportDir.isEmpty())
        return runExport();
    if (!state.options.catalogueFile.isEmpty())
        state.catalogueCache = std::make_unique<CatalogueCache>(state.options.catalogueFile);

    const std::string host = state.options.bind.toStdString();
    const int listenSocket = listenOn(host, state.options.port, state.boundPort);
    if (listenSocket < 0) {
        std::fprintf(stderr, "lumora-camserver: cannot listen on %s:%d\n", host.c_str(), state.options.port);
        return 1;
    }
    CoreSettings settings;
    settings.listenSocket = listenSocket;
    // Renders are CPU work: more at once than cores only adds memory.
    settings.pictureWorkers = std::clamp(QThread::idealThreadCount(), 2, 8);
    settings.documentWorkers = 2;
    settings.maxPerAddress = state.options.maxPerAddress;
    settings.maxConnections = std::min(limits::kMaxConnections, raiseDescriptorLimit() - 64);
    Handlers handlers;
    handlers.immediate = controlAnswer;
    handlers.lane = [](const Request &request) {
        if (hasFault(request))
            return Handlers::Lane::OwnThread;
        return drawsPicture(request) ? Handlers::Lane::Pictures : Handlers::Lane::Documents;
    };
    handlers.answer = answerRequest;
    handlers.guarded = needsCredentials;
    handlers.refused = [](const Request &request, int status) { recordRequest(request, status, false); };
    // Printed only: shows how many connections the requests came on.
    handlers.opened = [](const std::string &peer) { serverState().log.add("connection from " + peer, false); };
    settings.credentials = state.options.credentials;
    settings.tlsCertificate = state.options.tlsCertificate;
    settings.tlsKey = state.options.tlsKey;
    HttpCore core(settings, handlers);
    if (!core.start()) {
        std::fprintf(stderr, "lumora-camserver: cannot start serving on %s:%d%s\n", host.c_str(), state.boundPort,
                     state.options.tls() ? " (do --tls-cert and --tls-key hold a matching PEM certificate and key?)" : "");
        // The worker pools' threads wait for jobs for ever: end without unwinding them.
        _exit(1);
    }

    // The socket is already listening here, so clients may connect as soon as they read this.
    std::printf("%d\n", state.boundPort);
    std::fflush(stdout);

    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
    state.stopping = true;
    // Live streams send their closing delimiter and end; held answers notice within a few
    // milliseconds and drop their connections; nothing else in flight is worth waiting for.
    live::stopAll();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    state.log.freeze();
    _exit(0);
}
