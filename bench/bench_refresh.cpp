// Times one whole refresh against the local lumora-camserver — download of a 1920 x 1080
// and of a 3840 x 2160 JPEG, the transfer statistics, the comments download and table, the
// load and the draws, deleting the working files — against djpeg decoding the same file
// (whole, as djpeg does by default), in the same run, and prints the ratios.
//
// The JPEGs are made here (the photo-like scene of bench_picture, quality 85) and served as
// fixed files through --pictures, so every refresh downloads the same bytes and the server
// spends no time rendering. A one-cam catalogue points at one of them; the cam id is a demo
// cam's, so /comments.php answers with that cam's demo comments.
//
// The application runs offscreen on a 1920 x 1080 screen with the main window maximised,
// so the main picture area is 1672 x 910; the fullscreen window is hidden, as it is while
// the main window shows. Each figure is the median of several runs after warm-up runs.
// djpeg (package libjpeg-turbo-progs; without it the ratios are left out) runs as a
// process writing to /dev/null, so its figure includes starting the process; that start
// alone (djpeg on a 16 x 16 JPEG) is printed too, and the ratios are given both ways. Only
// 127.0.0.1 is contacted.
#include "processtime.h"
#include "benchapp.h"
#include "benchpictures.h"
#include "app/application.h"
#include "camserverprocess.h"
#include "control/camimagefetch.h"
#include "control/camselection.h"
#include "control/heartbeat.h"
#include "core/geometry/decodereduction.h"
#include "platform/download.h"
#include "platform/picturedecoder.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int WarmUps = 2;
constexpr int Runs = 15;

// A demo cam with comments; only its id is used, the picture is the file made here.
const char *const CamId = "1006";

struct Timing
{
    double median = 0;
    double min = 0;
    double max = 0;
    double cpu = 0; // median processor time, ms
};

// `before` and `after` run around each timed run of `work`, outside the time. cpuOf:
// RUSAGE_SELF, or RUSAGE_CHILDREN for work that runs a process.
Timing measure(const std::function<void()> &work, const std::function<void()> &after = {},
               const std::function<void()> &before = {}, int cpuOf = RUSAGE_SELF)
{
    for (int i = 0; i < WarmUps; ++i) {
        if (before)
            before();
        work();
        if (after)
            after();
    }
    std::vector<double> times;
    std::vector<double> cpu;
    for (int i = 0; i < Runs; ++i) {
        if (before)
            before();
        QElapsedTimer t;
        const double cpuBefore = cpuMs(cpuOf);
        t.start();
        work();
        times.push_back(t.nsecsElapsed() / 1e6);
        cpu.push_back(cpuMs(cpuOf) - cpuBefore);
        if (after)
            after();
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    return {times[times.size() / 2], times.front(), times.back(), cpu[cpu.size() / 2]};
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void printRow(const char *what, const Timing &t)
{
    std::printf("  %-40s %9.2f %9.2f %9.2f %9.2f\n", what, t.median, t.min, t.max, t.cpu);
}

} // namespace

struct Picture2
{
    const char *name;
    QSize size;
};

int main(int argc, char *argv[])
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 2;
    }
    // A 1920 x 1080 offscreen screen: the maximised main window's picture area is 1672 x 910.
    const QString screenFile = dir.filePath(QStringLiteral("screen.json"));
    writeFile(screenFile, R"({ "windowFrameMargins": false, "screens": [ { "name": "Screen1080", "x": 0, "y": 0,
        "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] })");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screenFile.toLocal8Bit());
    QApplication qapp(argc, argv);
    QImageReader::setAllocationLimit(256);

    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty())
        std::fprintf(stderr, "djpeg not found (Debian package libjpeg-turbo-progs): no ratios against it\n");

    // The served files: the pictures and a one-cam catalogue pointing at the first.
    const Picture2 pictures[] = {{"1080p.jpg", QSize(1920, 1080)}, {"2160p.jpg", QSize(3840, 2160)}};
    QDir root(dir.path());
    root.mkdir(QStringLiteral("pictures"));
    root.mkdir(QStringLiteral("work"));
    for (const Picture2 &picture : pictures) {
        const QString served = root.filePath(QStringLiteral("pictures/") + QLatin1String(picture.name));
        QImageWriter writer(served, "jpeg");
        writer.setQuality(85);
        if (!writer.write(bench::scene(picture.size.width(), picture.size.height()))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(served));
            return 2;
        }
    }
    const QString catalogue = root.filePath(QStringLiteral("catalogue.txt"));
    writeFile(catalogue, QByteArray(CamId) + ";Big cam;{base}/1080p.jpg;A big picture.;;3;12;0;bench\r\n");

    // Each refresh must fetch and show the picture in full: no 304s, and the cam selected
    // anew before each, so the same bytes are not taken for the picture already shown.
    CamServerProcess server({QStringLiteral("--catalogue"), catalogue, QStringLiteral("--pictures"),
                             root.filePath(QStringLiteral("pictures")), QStringLiteral("--no-conditional")});
    if (!server.start()) {
        std::fprintf(stderr, "lumora-camserver did not start: %s\n", qPrintable(server.errorString()));
        return 2;
    }

    const QDir workDir(root.filePath(QStringLiteral("work")));
    writeFile(workDir.filePath(QStringLiteral("config.ini")), "url=" + server.baseUrl().toUtf8() + "\r\n");
    Application app(bench::environment(workDir));
    if (!bench::start(app)) {
        std::fprintf(stderr, "the application did not start\n");
        return 2;
    }
    MainWindow &form1 = app.mainWindow();
    RunningState &state = app.state();
    // No heartbeat: only the refreshes asked for here run.
    app.heartbeat().timer()->stop();
    const auto quiet = [&] {
        app.heartbeat().timer()->stop();
        QCoreApplication::processEvents();
    };
    if (state.camCount != 1 || state.currentCam != 0) {
        std::fprintf(stderr, "unexpected catalogue: %d cams, cam %d selected\n", state.camCount, state.currentCam);
        return 2;
    }
    const QString commentsUrl = server.baseUrl() + QStringLiteral("/comments.php?camid=") + QLatin1String(CamId);
    // Let the maximised window settle before anything is measured.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents();

    QTemporaryDir tinyDir;
    const QString tiny = tinyDir.filePath(QStringLiteral("tiny.jpg"));
    bench::scene(16, 16).save(tiny, "jpeg", 85);
    const Timing start = djpeg.isEmpty() ? Timing{} : measure([&] { bench::runDjpeg(djpeg, tiny); }, {}, {}, RUSAGE_CHILDREN);
    const Timing commentsDl = measure([&] { (void)bench::download(app.transfer(), {commentsUrl, CatalogueMaxBytes, 10000}); });

    std::printf("pictures: JPEG, quality 85, served from fixed files by lumora-camserver on %s\n",
                qPrintable(server.baseUrl()));
    std::printf("median of %d runs after %d warm-up runs\n", Runs, WarmUps);
    int result = 0;
    for (const Picture2 &picture : pictures) {
        const QString pictureUrl = server.baseUrl() + QStringLiteral("/") + QLatin1String(picture.name);
        state.pictureAddress = pictureUrl;

        // The picture as the viewer receives it, kept for djpeg and the load step.
        const DownloadResult once = bench::download(app.transfer(), {pictureUrl, PictureMaxBytes, 10000});
        QFile servedFile(root.filePath(QStringLiteral("pictures/") + QLatin1String(picture.name)));
        if (!once.ok() || !servedFile.open(QIODevice::ReadOnly) || once.body != servedFile.readAll()) {
            std::fprintf(stderr, "the downloaded picture differs from the served file (%s)\n", qPrintable(once.errorText));
            return 2;
        }
        const QString fetched = root.filePath(QStringLiteral("fetched-") + QLatin1String(picture.name));
        writeFile(fetched, once.body);
        if (!djpeg.isEmpty() && !bench::runDjpeg(djpeg, fetched)) {
            std::fprintf(stderr, "djpeg failed on %s\n", qPrintable(fetched));
            return 2;
        }

        // One refresh first, so the areas have their sizes and the result can be checked.
        bench::refresh(app);
        quiet();
        const QSize mainArea = form1.pictureArea()->surface().size();
        const QSize decodedSize = form1.pictureHolder()->picture().size();
        if (decodedSize.isEmpty() || state.commentTable.size() < 2 || state.commentTable.first().isEmpty()) {
            std::fprintf(stderr, "the refresh did not show the picture and its comments\n");
            return 2;
        }
        const qsizetype comments = state.commentTable.size() - 1;

        // The steps on their own, to see where a refresh spends its time.
        const Timing pictureDl = measure([&] { (void)bench::download(app.transfer(), {pictureUrl, PictureMaxBytes, 10000}); });
        const QList<DrawingArea> areas{DrawingArea{form1.pictureAreaSize(), form1.pictureAreaPixelRatio()}};
        Reduction reduction;
        reduction.rule = [&](const QSize &full) { return decode_reduction::factorFor(state.scaleMode, full, areas); };
        QString error;
        const Timing load = measure([&] { (void)loadPictureFile(fetched, error, nullptr, &reduction); });
        const Timing fullLoad = measure([&] { (void)loadPictureFile(fetched, error); });
        // A refresh draws a picture just loaded, so each draw here gets a fresh copy: nothing
        // kept from drawing the previous one may help it.
        const QImage decoded = form1.pictureHolder()->picture();
        const auto freshPicture = [&] { form1.setPicture(decoded.copy()); };
        const Timing drawMain = measure([&] { form1.drawPicture(); }, {}, freshPicture);

        // The whole refresh. The cam is selected anew before each, so the same bytes are
        // not taken for the picture already shown and every refresh decodes and draws.
        int failures = 0;
        const Timing refresh = measure([&] { bench::refresh(app); },
                                       [&] {
                                           quiet();
                                           if (form1.pictureHolder()->picture().isNull()
                                               || state.commentTable.size() - 1 != comments)
                                               ++failures;
                                       },
                                       [&] {
                                           app.selection().rowClicked(0);
                                           quiet();
                                       });
        QStringList leftovers = workDir.entryList(QDir::Files);
        leftovers.removeAll(QStringLiteral("config.ini"));

        std::printf("\n%s: %dx%d, %lld kB; decoded at %dx%d for the %dx%d main area; %lld comment lines\n",
                    picture.name, picture.size.width(), picture.size.height(), QFileInfo(fetched).size() / 1024,
                    decodedSize.width(), decodedSize.height(), mainArea.width(), mainArea.height(),
                    qlonglong(comments));
        std::printf("  %-40s %9s %9s %9s %9s\n", "", "median ms", "min ms", "max ms", "cpu ms");
        printRow("picture download", pictureDl);
        printRow("comments download", commentsDl);
        printRow("load at the reduced size", load);
        printRow("load at full size", fullLoad);
        printRow("draw into the main picture area", drawMain);
        printRow("whole refresh (fetchCamImage)", refresh);
        std::printf("  %-40s %9.2f %29.2f\n", "rest of the refresh",
                    refresh.median - pictureDl.median - commentsDl.median - load.median - drawMain.median,
                    refresh.cpu - pictureDl.cpu - commentsDl.cpu - load.cpu - drawMain.cpu);
        if (!djpeg.isEmpty()) {
            const Timing decode = measure([&] { bench::runDjpeg(djpeg, fetched); }, {}, {}, RUSAGE_CHILDREN);
            printRow("djpeg process start (16 x 16 JPEG)", start);
            printRow("djpeg on the same picture", decode);
            const double bare = decode.median - start.median;
            std::printf("  refresh / djpeg:                           %6.2f\n", refresh.median / decode.median);
            std::printf("  refresh / djpeg without its process start: %6.2f  (djpeg %.2f ms)\n",
                        refresh.median / bare, bare);
            // The viewer's processor time (the server's is not counted) against djpeg's.
            std::printf("  processor time, refresh / djpeg:           %6.2f  (without its start %.2f)\n",
                        refresh.cpu / decode.cpu, refresh.cpu / (decode.cpu - start.cpu));
        }
        if (failures != 0 || !leftovers.isEmpty()) {
            std::printf("\n%d refreshes did not show the picture and comments; working files left: %s\n", failures,
                        qPrintable(leftovers.join(QStringLiteral(", "))));
            result = 1;
        }
    }
    return result;
}
