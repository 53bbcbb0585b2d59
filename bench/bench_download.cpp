// The downloads on libcurl's multi interface against the hand-made HTTP/1.1 client they
// replaced, in the same run, all against lumora-camserver on 127.0.0.1:
//
// - HTTPS_REUSE_CPU and HTTP_CPU: the 1080p test picture (the photo-like scene of
//   benchpictures.h, 1920 x 1080, JPEG quality 85, served as a fixed file through
//   --pictures) fetched Fetches times one after another, after warm-up fetches; processor
//   time (user + system, getrusage) of the client process per fetch, the transfer's over
//   the old client's, each the median of CpuRounds such rounds, the clients taking turns.
//   The servers are processes of their own, so they are not counted.
//   The old client runs as bench_download_reference, a process of its own built from its
//   sources at a fixed commit; it reports its own figure. It opens a connection, over
//   https with a TLS handshake, for every fetch; the transfer keeps its connection. The
//   servers' --log counts the connections each client opened, printed beside the figures.
//   Over https the certificate is made here; the transfer trusts it through SSL_CERT_FILE
//   (that file alone), the old client through Qt's default configuration (the system's
//   store and that file).
// - PARALLEL_WALL: 16 addresses of that picture, 4 on each of 4 servers (each its own
//   query), started at once on one Transfer, against the same 16 fetched one after
//   another: wall time, median of several rounds. Each server answers the picture after
//   DelayMs, as a cam on the network does, so the figure is about waiting side by side
//   rather than about two processor cores copying bytes.
// Without git at build time there is no reference client: only PARALLEL_WALL is printed.
#include "processtime.h"
#include "benchpictures.h"
#include "camserverprocess.h"
#include "platform/transfer.h"
#include "securehttp.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageWriter>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Fetches = 200;
constexpr int WarmUps = 10; // as many as the reference client makes
constexpr int Hosts = 4;
constexpr int AddressesPerHost = 4;
constexpr int DelayMs = 100;
constexpr int Rounds = 7;
constexpr int CpuRounds = 5;
const char *const PictureName = "1080p.jpg";

int connections(const CamServerProcess &server)
{
    return int(server.output().count("connection from"));
}

// Starts every address at once on the transfer and runs the event loop until all have
// finished and their handlers are gone; how many did not bring the whole picture.
int fetchAll(Transfer &transfer, const QStringList &addresses, qint64 pictureBytes)
{
    int open = 0;
    int failures = 0;
    std::vector<QPointer<DownloadHandler>> handlers;
    for (const QString &address : addresses) {
        handlers.emplace_back(transfer.start({address, PictureMaxBytes, 10000}));
        ++open;
        QObject::connect(handlers.back(), &DownloadHandler::finished, [&](const DownloadResult &r) {
            --open;
            if (!r.ok() || r.httpStatus != 200 || r.body.size() != pictureBytes)
                ++failures;
        });
    }
    const auto gone = [&] { return std::all_of(handlers.begin(), handlers.end(), [](auto &h) { return h.isNull(); }); };
    while (open > 0 || !gone()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return failures;
}

#ifdef LUMORA_DOWNLOAD_REFERENCE
struct Figure
{
    bool ok = false;
    double cpuMs = 0;  // per fetch
    double wallMs = 0; // per fetch
    int connections = 0; // opened over the warm-up and the measured fetches
};

// The transfer: the same fetches the reference client makes, measured the same way.
Figure measureTransfer(Transfer &transfer, const QString &address, qint64 pictureBytes, const CamServerProcess &server)
{
    Figure f;
    const int before = connections(server);
    int failures = 0;
    for (int i = 0; i < WarmUps; ++i)
        failures += fetchAll(transfer, {address}, pictureBytes);
    QElapsedTimer wall;
    const double cpuBefore = cpuMs();
    wall.start();
    for (int i = 0; i < Fetches; ++i)
        failures += fetchAll(transfer, {address}, pictureBytes);
    f.wallMs = wall.nsecsElapsed() / 1e6 / Fetches;
    f.cpuMs = (cpuMs() - cpuBefore) / Fetches;
    f.connections = connections(server) - before;
    f.ok = failures == 0;
    if (!f.ok)
        std::fprintf(stderr, "%d fetches of %s failed\n", failures, qPrintable(address));
    return f;
}

Figure measureReference(const QString &address, const QString &caFile, qint64 pictureBytes, const CamServerProcess &server)
{
    Figure f;
    const int before = connections(server);
    QProcess reference;
    // Qt's own certificate store, as the old client had it.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("SSL_CERT_FILE"));
    reference.setProcessEnvironment(env);
    reference.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args{address, QString::number(Fetches)};
    if (!caFile.isEmpty())
        args << caFile;
    reference.start(QStringLiteral(LUMORA_DOWNLOAD_REFERENCE), args);
    if (!reference.waitForFinished(600000) || reference.exitStatus() != QProcess::NormalExit || reference.exitCode() != 0) {
        std::fprintf(stderr, "the reference client failed on %s\n", qPrintable(address));
        return f;
    }
    f.connections = connections(server) - before;
    qint64 bytes = -1;
    for (const QByteArray &line : reference.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() != 2)
            continue;
        if (words[0] == "cpu_ms_per_fetch")
            f.cpuMs = words[1].toDouble();
        else if (words[0] == "wall_ms_per_fetch")
            f.wallMs = words[1].toDouble();
        else if (words[0] == "bytes")
            bytes = words[1].toLongLong();
    }
    f.ok = bytes == pictureBytes && f.cpuMs > 0;
    if (!f.ok)
        std::fprintf(stderr, "the reference client brought %lld bytes instead of %lld\n", bytes, pictureBytes);
    return f;
}

// Rounds of Fetches fetches, the two clients taking turns, so that a change in the machine's
// load falls on both; prints their medians and the goal line, false when a fetch failed.
bool compare(const char *goal, double target, Transfer &transfer, const QString &address, const QString &caFile,
             qint64 pictureBytes, const CamServerProcess &server)
{
    std::vector<double> cpu[2], wall[2];
    int opened[2] = {0, 0};
    for (int round = 0; round < CpuRounds; ++round) {
        const Figure figures[2] = {measureTransfer(transfer, address, pictureBytes, server),
                                   measureReference(address, caFile, pictureBytes, server)};
        for (int i = 0; i < 2; ++i) {
            if (!figures[i].ok)
                return false;
            cpu[i].push_back(figures[i].cpuMs);
            wall[i].push_back(figures[i].wallMs);
            opened[i] += figures[i].connections;
        }
    }
    std::printf("  %-24s %14s %14s %14s %12s\n", "", "cpu ms/fetch", "lowest, ms", "highest, ms", "connections");
    const char *const names[2] = {"transfer (libcurl)", "old client (reference)"};
    for (int i = 0; i < 2; ++i) {
        std::printf("  %-24s %14.3f %14.3f %14.3f %12d\n", names[i], median(cpu[i]),
                    *std::min_element(cpu[i].begin(), cpu[i].end()), *std::max_element(cpu[i].begin(), cpu[i].end()),
                    opened[i]);
    }
    std::printf("  wall ms/fetch: transfer %.3f, old client %.3f\n", median(wall[0]), median(wall[1]));
    std::printf("  (medians of %d rounds of %d fetches, each after %d warm-up fetches; connections over all of them)\n",
                CpuRounds, Fetches, WarmUps);
    std::printf("%s: %.3f x (goal <= %.2g)\n", goal, median(cpu[0]) / median(cpu[1]), target);
    return true;
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 2;
    }
    const QString pictures = dir.filePath(QStringLiteral("pictures"));
    QDir().mkpath(pictures);
    const QString picture = pictures + QLatin1Char('/') + QLatin1String(PictureName);
    QImageWriter writer(picture, "jpeg");
    writer.setQuality(85);
    if (!writer.write(bench::scene(1920, 1080))) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(picture));
        return 2;
    }
    const qint64 pictureBytes = QFileInfo(picture).size();
    QString error;
    if (!makeSelfSignedCertificate(dir.path(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    const QString caFile = dir.filePath(QStringLiteral("cert.pem"));
    qputenv("SSL_CERT_FILE", caFile.toLocal8Bit());

    const QStringList served{QStringLiteral("--pictures"), pictures, QStringLiteral("--no-conditional"),
                             QStringLiteral("--log")};
    const QString path = QLatin1Char('/') + QLatin1String(PictureName);
    CamServerProcess secure(served + QStringList{QStringLiteral("--tls-cert"), caFile, QStringLiteral("--tls-key"),
                                                 dir.filePath(QStringLiteral("key.pem"))});
    CamServerProcess plain(served);
    std::vector<std::unique_ptr<CamServerProcess>> hosts;
    for (int i = 0; i < Hosts; ++i)
        hosts.push_back(std::make_unique<CamServerProcess>(
            served + QStringList{QStringLiteral("--fault"), path + QStringLiteral("=delay:%1").arg(DelayMs)}));
    for (CamServerProcess *server : {&secure, &plain}) {
        if (!server->start()) {
            std::fprintf(stderr, "lumora-camserver did not start: %s\n", qPrintable(server->errorString()));
            return 2;
        }
    }
    for (const auto &server : hosts) {
        if (!server->start()) {
            std::fprintf(stderr, "lumora-camserver did not start: %s\n", qPrintable(server->errorString()));
            return 2;
        }
    }

    std::printf("the 1080p test picture: %lld bytes, from lumora-camserver on 127.0.0.1\n", pictureBytes);
    Transfer transfer;
    bool ok = true;
#ifdef LUMORA_DOWNLOAD_REFERENCE
    const QString secureAddress = QStringLiteral("https://127.0.0.1:%1%2").arg(secure.port()).arg(path);
    std::printf("\nover https, fetches one after another:\n");
    ok = compare("HTTPS_REUSE_CPU", 0.3, transfer, secureAddress, caFile, pictureBytes, secure) && ok;
    const QString plainAddress = plain.baseUrl() + path;
    std::printf("\nover http, fetches one after another:\n");
    ok = compare("HTTP_CPU", 0.8, transfer, plainAddress, {}, pictureBytes, plain) && ok;
#else
    std::printf("\nthe reference client is missing (it is built from git history): no HTTPS_REUSE_CPU, no HTTP_CPU\n");
#endif

    QStringList addresses;
    for (const auto &server : hosts) {
        for (int i = 0; i < AddressesPerHost; ++i)
            addresses << server->baseUrl() + path + QStringLiteral("?view=%1").arg(i);
    }
    // A round of each first: connections opened, the pieces of the event loop warm.
    int failures = fetchAll(transfer, addresses, pictureBytes);
    for (const QString &address : addresses)
        failures += fetchAll(transfer, {address}, pictureBytes);
    const auto opened = [&] {
        int sum = 0;
        for (const auto &server : hosts)
            sum += connections(*server);
        return sum;
    };
    std::vector<double> parallel, oneByOne;
    int openedParallel = 0, openedOneByOne = 0;
    for (int round = 0; round < Rounds; ++round) {
        int before = opened();
        QElapsedTimer wall;
        wall.start();
        failures += fetchAll(transfer, addresses, pictureBytes);
        parallel.push_back(wall.nsecsElapsed() / 1e6);
        openedParallel += opened() - before;
        before = opened();
        wall.start();
        for (const QString &address : addresses)
            failures += fetchAll(transfer, {address}, pictureBytes);
        oneByOne.push_back(wall.nsecsElapsed() / 1e6);
        openedOneByOne += opened() - before;
    }
    std::printf("\n%d addresses on %d servers, each answering after %d ms; median of %d rounds:\n",
                int(addresses.size()), Hosts, DelayMs, Rounds);
    std::printf("  all at once      %8.1f ms, %3d connections opened in all rounds\n", median(parallel), openedParallel);
    std::printf("  one after another%8.1f ms, %3d connections opened in all rounds\n", median(oneByOne), openedOneByOne);
    if (failures != 0) {
        std::fprintf(stderr, "%d fetches failed\n", failures);
        return 1;
    }
    std::printf("PARALLEL_WALL: %.3f x (goal <= 0.35)\n", median(parallel) / median(oneByOne));
    return ok ? 0 : 1;
}
