// Video cams (HLS) against the local lumora-camserver, in the program's own windows on a
// 1920 x 1080 offscreen screen, the main window maximised:
//   VIDEO_FIRST_FRAME: the time from choosing an HLS cam to its first frame shown (the median
//     of 7 choices, each after a still cam), against the stream's segment duration (1 s);
//   VIDEO_WALL_CPU: a wall of 16 tiles of 1280x720 HLS cams (a key frame every second), the
//     processor time of the whole process over the run, beside the main window on a still cam,
//     in % of one core;
//   VIDEO_WALL_MEMORY: resident memory with that wall against the main window alone.
// Arguments: the wall's run in seconds (default 30). Only 127.0.0.1 is contacted.
#include "processtime.h"
#include "benchapp.h"
#include "camserverprocess.h"
#include "memorywatch.h"
#include "app/application.h"
#include "control/camimagefetch.h"
#include "control/camselection.h"
#include "ui/windows/mainwindow.h"
#include "ui/windows/wallwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Tiles = 16;

void run(qint64 ms)
{
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(20);
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// Runs the event loop until done() or timeoutMs; the time it took, or -1.
template <class Done>
qint64 runUntil(Done done, qint64 timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return -1;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return clock.elapsed();
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    bench::useOffscreen1080(QDir(dir.path()));
    QApplication qapp(argc, argv);
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 30;

    // The video cams, which the wall shows, then a still cam (row Tiles): 1002 is a 1280x720
    // demo cam; each tile's address is its own, the server encodes the stream once for all.
    QByteArray catalogue;
    for (int i = 0; i < Tiles; ++i)
        catalogue += QByteArray::number(3001 + i) + ";Video " + QByteArray::number(i + 1)
            + ";{base}/hls/1002/index.m3u8?tile=" + QByteArray::number(i) + ";;;3;0;1;bench\r\n";
    catalogue += "3100;Still;{base}/cams/1001.jpg;;;3;0;1;bench\r\n";
    const QString cataloguePath = dir.filePath(QStringLiteral("catalogue.txt"));
    writeFile(cataloguePath, catalogue);
    CamServerProcess server({QStringLiteral("--catalogue"), cataloguePath});
    if (!server.start()) {
        std::fprintf(stderr, "lumora-camserver did not start: %s\n", qPrintable(server.errorString()));
        return 2;
    }
    QDir root(dir.path());
    root.mkdir(QStringLiteral("work"));
    const std::unique_ptr<Application> started = bench::startAgainst(QDir(root.filePath(QStringLiteral("work"))), server.baseUrl());
    if (!started)
        return 2;
    Application &app = *started;
    run(2000);

    // The first frame, each time from a still cam.
    std::vector<double> firstFrames;
    for (int round = 0; round < 7; ++round) {
        app.selection().rowClicked(Tiles);
        if (runUntil([&] { return !app.fetch().isLive() && !app.fetch().isRunning(); }, 10000) < 0)
            return 2;
        run(300);
        bool shown = false;
        QMetaObject::Connection c = QObject::connect(&app.fetch(), &CamImageFetch::refreshEnded, [&] { shown = true; });
        app.selection().rowClicked(round % Tiles);
        const qint64 ms = runUntil([&] { return shown && app.fetch().isLive(); }, 10000);
        QObject::disconnect(c);
        if (ms < 0) {
            std::fprintf(stderr, "no frame from the video cam within 10 s\n");
            return 1;
        }
        firstFrames.push_back(double(ms));
    }
    std::printf("# first frames (ms):");
    for (double ms : firstFrames)
        std::printf(" %.0f", ms);
    std::printf("\n");
    std::printf("VIDEO_FIRST_FRAME: %.2f x (goal <= 1.5)\n", median(firstFrames) / 1000.0);

    // The main window alone on the still cam, then with the wall of video cams.
    app.selection().rowClicked(Tiles);
    run(3000);
    const qint64 aloneBytes = memorywatch::residentBytes();
    WallWindow &wall = app.wallWindow();
    wall.resize(1920, 1080);
    app.openWall();
    run(5000); // every tile playing
    const double cpu0 = cpuMs(RUSAGE_SELF);
    run(seconds * 1000);
    const double wallCpu = cpuMs(RUSAGE_SELF) - cpu0;
    const qint64 wallBytes = memorywatch::residentBytes();
    std::printf("# %d tiles for %d s: %.0f ms of processor time; resident memory %.1f MiB alone, %.1f MiB with the wall\n",
                int(wall.tiles().size()), seconds, wallCpu, aloneBytes / 1048576.0, wallBytes / 1048576.0);
    std::printf("VIDEO_WALL_CPU: %.1f %% (goal <= 15 %%)\n", 100.0 * wallCpu / (seconds * 1000.0));
    std::printf("VIDEO_WALL_MEMORY: %.2f x (goal <= 1.5)\n", double(wallBytes) / double(aloneBytes));
    return 0;
}
