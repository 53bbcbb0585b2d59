// The wall of 16 cams against the local lumora-camserver: 16 different 1920 x 1080 JPEGs,
// each changing every second, on tiles refreshing every second in a wall filling a
// 1920 x 1080 offscreen screen (tiles about 480 x 270, so each picture decodes at 1/4).
//
// The pictures are made here (the photo-like scene of bench_picture, quality 85, each with
// a mark of its own) in two versions per cam, and served as fixed files through --pictures:
// the served name is a link switched between the two every second, so the server reads a
// new picture each second and this process spends next to nothing on the switch.
//
// First the main window alone, maximised and refreshing its cam every second, for the run's
// length: its processor time and resident memory are the baseline. Then the wall opens
// beside it for as long. Printed:
//   tile_refresh_cpu: processor time per tile refresh that showed a new picture (the
//     wall's time over the baseline's, divided by those refreshes) against djpeg -scale 1/4
//     of one of the same pictures (its process start included, as bench_refresh does);
//   wall_cpu: the wall's processor time over the baseline's, in % of one core;
//   wall_memory: resident memory at the end against the baseline's at its end;
//   window_block: the window thread's longest time without a turn of its event loop while
//     the wall runs, its first second (the window and tiles made) left out.
// Arguments: the length of each phase in seconds (default 60). Only 127.0.0.1 is contacted.
#include "processtime.h"
#include "benchapp.h"
#include "benchpictures.h"
#include "camserverprocess.h"
#include "loopwatch.h"
#include "memorywatch.h"
#include "app/application.h"
#include "control/tilerefresh.h"
#include "control/wallrefresh.h"
#include "ui/windows/mainwindow.h"
#include "ui/windows/wallwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QLineEdit>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Cams = 16;

// Cam i's picture, version v: the scene with a block of the cam's own colour and place.
QImage picture(const QImage &scene, int i, int v)
{
    QImage image = scene.copy();
    QPainter p(&image);
    p.fillRect(60 + i * 100, 80 + v * 300, 220, 160, QColor::fromHsv(i * 22, 200, 120 + v * 100));
    return image;
}

// Runs the event loop for ms milliseconds.
void run(qint64 ms)
{
    QElapsedTimer clock;
    clock.start();
    QTimer wake; // so the wait for events ends in time
    wake.start(20);
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

struct Phase
{
    double cpuMs = 0;
    qint64 residentBytes = 0;
    int mainRefreshes = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    // Pictures are allocated as the program allocates them.
    giveLargeBlocksBackWhenFreed();
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    bench::useOffscreen1080(QDir(dir.path()));
    QApplication qapp(argc, argv);
    QImageReader::setAllocationLimit(256);
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 60;

    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty())
        std::fprintf(stderr, "djpeg not found (Debian package libjpeg-turbo-progs): no ratio against it\n");

    QDir root(dir.path());
    root.mkdir(QStringLiteral("pictures"));
    root.mkdir(QStringLiteral("work"));
    const QImage scene = bench::scene(1920, 1080);
    QByteArray catalogue;
    for (int i = 0; i < Cams; ++i) {
        for (int v = 0; v < 2; ++v) {
            QImageWriter writer(root.filePath(QStringLiteral("pictures/%1-%2.jpg").arg(i).arg(v)), "jpeg");
            writer.setQuality(85);
            if (!writer.write(picture(scene, i, v)))
                return 2;
        }
        QFile::link(QStringLiteral("%1-0.jpg").arg(i), root.filePath(QStringLiteral("pictures/cam%1.jpg").arg(i)));
        catalogue += QByteArray::number(2001 + i) + ";Cam " + QByteArray::number(i + 1) + ";{base}/cam"
            + QByteArray::number(i) + ".jpg;;;3;0;1;bench\r\n";
    }
    writeFile(root.filePath(QStringLiteral("catalogue.txt")), catalogue);
    // Every second each cam's link turns to its other picture, by a new link renamed over it.
    int version = 0;
    QTimer switcher;
    QObject::connect(&switcher, &QTimer::timeout, [&] {
        version ^= 1;
        for (int i = 0; i < Cams; ++i) {
            const QByteArray fresh = QFile::encodeName(root.filePath(QStringLiteral("pictures/new%1").arg(i)));
            const QByteArray target = QStringLiteral("%1-%2.jpg").arg(i).arg(version).toLocal8Bit();
            if (::symlink(target.constData(), fresh.constData()) == 0)
                ::rename(fresh.constData(), QFile::encodeName(root.filePath(QStringLiteral("pictures/cam%1.jpg").arg(i))).constData());
        }
    });
    switcher.start(1000);

    CamServerProcess server({QStringLiteral("--catalogue"), root.filePath(QStringLiteral("catalogue.txt")),
                             QStringLiteral("--pictures"), root.filePath(QStringLiteral("pictures"))});
    if (!server.start()) {
        std::fprintf(stderr, "lumora-camserver did not start: %s\n", qPrintable(server.errorString()));
        return 2;
    }
    const QDir workDir(root.filePath(QStringLiteral("work")));
    const std::unique_ptr<Application> started = bench::startAgainst(workDir, server.baseUrl());
    if (!started)
        return 2;
    Application &app = *started;
    app.mainWindow().refreshIntervalEdit()->setText(QStringLiteral("1"));
    Phase mainAlone;
    Phase withWall;
    int mainRefreshes = 0;
    QObject::connect(&app.fetch(), &CamImageFetch::refreshEnded, [&] { ++mainRefreshes; });
    run(3000); // settle: the maximised window, the first pictures

    const double cpu0 = cpuMs(RUSAGE_SELF);
    mainRefreshes = 0;
    qint64 mainBlock = 0;
    {
        LoopGapWatch watch;
        run(seconds * 1000);
        mainBlock = watch.longest();
    }
    mainAlone = {cpuMs(RUSAGE_SELF) - cpu0, memorywatch::residentBytes(), mainRefreshes};

    WallWindow &wall = app.wallWindow();
    wall.resize(1920, 1080);
    app.openWall();
    int pictures = 0;
    int tileRefreshes = 0;
    for (TileRefresh *tile : app.wallRefresh().tiles())
        QObject::connect(tile, &TileRefresh::refreshEnded, [&](bool shown) {
            ++tileRefreshes;
            pictures += shown;
        });
    run(1000);
    const double cpu1 = cpuMs(RUSAGE_SELF);
    mainRefreshes = 0;
    tileRefreshes = 0;
    pictures = 0;
    qint64 longestBlock = 0;
    {
        LoopGapWatch watch;
        run(seconds * 1000);
        longestBlock = watch.longest();
    }
    withWall = {cpuMs(RUSAGE_SELF) - cpu1, memorywatch::residentBytes(), mainRefreshes};
    const wall_grid::Grid grid = wall.grid();
    const QSize tileArea = app.wallWindow().tileViews().value(0) ? app.wallWindow().tileViews()[0]->pictureAreaSize() : QSize();

    // Tile refreshes that decoded a new picture: those that showed one, less the ones that
    // found the bytes already shown (the same version twice within a second).
    const double wallCpuMs = withWall.cpuMs - mainAlone.cpuMs * (double(withWall.mainRefreshes) / std::max(1, mainAlone.mainRefreshes));
    std::printf("# %d s per phase; wall %dx%d tiles of %dx%d; %d tile refreshes, %d showed a picture; main window "
                "%d refreshes alone, %d beside the wall\n",
                seconds, grid.rows, grid.columns, tileArea.width(), tileArea.height(), tileRefreshes, pictures,
                mainAlone.mainRefreshes, withWall.mainRefreshes);
    std::printf("# processor time: main window alone %.0f ms, with the wall %.0f ms\n", mainAlone.cpuMs, withWall.cpuMs);

    if (!djpeg.isEmpty()) {
        const QString file = root.filePath(QStringLiteral("pictures/0-0.jpg"));
        const double reference = medianCpuMs(
            [&] { bench::runDjpeg(djpeg, file, {QStringLiteral("-scale"), QStringLiteral("1/4")}); }, 11, RUSAGE_CHILDREN);
        const double perTile = pictures > 0 ? wallCpuMs / pictures : 0;
        std::printf("# per tile refresh %.2f ms of processor time; djpeg -scale 1/4 %.2f ms\n", perTile, reference);
        std::printf("tile_refresh_cpu: %.2f x (goal <= 1.5)\n", perTile / reference);
    }
    std::printf("wall_cpu: %.1f %% (goal <= 15 %%)\n", 100.0 * wallCpuMs / (seconds * 1000.0));
    std::printf("# resident memory: main window alone %.1f MiB, with the wall %.1f MiB\n",
                mainAlone.residentBytes / 1048576.0, withWall.residentBytes / 1048576.0);
    std::printf("wall_memory: %.2f x (goal <= 1.3)\n", double(withWall.residentBytes) / mainAlone.residentBytes);
    std::printf("# the window thread's longest block: main window alone %lld ms\n", static_cast<long long>(mainBlock));
    std::printf("window_block: %lld ms (goal <= 16 ms)\n", static_cast<long long>(longestBlock));
    return 0;
}
