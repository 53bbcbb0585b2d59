// Times one whole refresh against the local lumora-camserver — download of a 1920 x 1080
// JPEG, the transfer statistics, the comments download and table, the load and both draws,
// deleting the working files — against djpeg decoding the same file, in the same run, and
// prints the ratio.
//
// The JPEG is made here (the photo-like scene of bench_picture, quality 85) and served as a
// fixed file through --pictures, so every refresh downloads the same bytes and the server
// spends no time rendering. A one-cam catalogue points at it; the cam id is a demo cam's,
// so /comments.php answers with that cam's demo comments.
//
// The application runs offscreen on a 1920 x 1080 screen, so the second draw fills a
// fullscreen-sized area. Each figure is the median of several runs after warm-up runs.
// djpeg runs as a process writing to /dev/null, so its figure includes starting the
// process; that start alone (djpeg on a 16 x 16 JPEG) is printed too. Only 127.0.0.1 is
// contacted.
#include "benchapp.h"
#include "benchpictures.h"
#include "app/application.h"
#include "camserverprocess.h"
#include "control/camimagefetch.h"
#include "control/camselection.h"
#include "control/heartbeat.h"
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
};

// `before` and `after` run around each timed run of `work`, outside the time.
Timing measure(const std::function<void()> &work, const std::function<void()> &after = {},
               const std::function<void()> &before = {})
{
    for (int i = 0; i < WarmUps; ++i) {
        if (before)
            before();
        work();
        if (after)
            after();
    }
    std::vector<double> times;
    for (int i = 0; i < Runs; ++i) {
        if (before)
            before();
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(t.nsecsElapsed() / 1e6);
        if (after)
            after();
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front(), times.back()};
}


bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void printRow(const char *what, const Timing &t)
{
    std::printf("  %-38s %9.2f %9.2f %9.2f\n", what, t.median, t.min, t.max);
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 2;
    }
    // A 1920 x 1080 offscreen screen, so the fullscreen window's picture area is that size.
    const QString screenFile = dir.filePath(QStringLiteral("screen.json"));
    writeFile(screenFile, R"({ "windowFrameMargins": false, "screens": [ { "name": "Screen1080", "x": 0, "y": 0,
        "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] })");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screenFile.toLocal8Bit());
    QApplication qapp(argc, argv);
    QImageReader::setAllocationLimit(256);

    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty()) {
        std::fprintf(stderr, "djpeg not found (package libjpeg-turbo-progs)\n");
        return 2;
    }

    // The served files: the picture and a one-cam catalogue pointing at it.
    QDir root(dir.path());
    root.mkdir(QStringLiteral("pictures"));
    root.mkdir(QStringLiteral("work"));
    const QString served = root.filePath(QStringLiteral("pictures/big.jpg"));
    {
        QImageWriter writer(served, "jpeg");
        writer.setQuality(85);
        if (!writer.write(bench::scene(1920, 1080))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(served));
            return 2;
        }
    }
    const QString catalogue = root.filePath(QStringLiteral("catalogue.txt"));
    writeFile(catalogue, QByteArray(CamId) + ";Big cam;{base}/big.jpg;A 1920 x 1080 picture.;;3;12;0;bench\r\n");

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
    const QString pictureUrl = server.baseUrl() + QStringLiteral("/big.jpg");
    const QString commentsUrl = server.baseUrl() + QStringLiteral("/comments.php?camid=") + QLatin1String(CamId);

    // The picture as the viewer receives it, kept for djpeg and the load step.
    const DownloadResult once = bench::download(app.transfer(), {pictureUrl, PictureMaxBytes, 10000});
    QFile servedFile(served);
    if (!once.ok() || !servedFile.open(QIODevice::ReadOnly) || once.body != servedFile.readAll()) {
        std::fprintf(stderr, "the downloaded picture differs from the served file (%s)\n", qPrintable(once.errorText));
        return 2;
    }
    const QString fetched = root.filePath(QStringLiteral("fetched.jpg"));
    writeFile(fetched, once.body);
    if (!bench::runDjpeg(djpeg, fetched)) {
        std::fprintf(stderr, "djpeg failed on %s\n", qPrintable(fetched));
        return 2;
    }

    // One refresh first, so the areas have their sizes and the result can be checked.
    bench::refresh(app);
    quiet();
    const QSize mainArea = form1.pictureArea()->surface().size();
    const QSize fullArea = app.fullscreenWindow().pictureArea()->surface().size();
    if (form1.pictureHolder()->picture().size() != QSize(1920, 1080) || state.commentTable.size() < 2
        || state.commentTable.first().isEmpty()) {
        std::fprintf(stderr, "the refresh did not show the picture and its comments\n");
        return 2;
    }
    const qsizetype comments = state.commentTable.size() - 1;

    // The steps on their own, to see where a refresh spends its time.
    const Timing pictureDl = measure([&] { (void)bench::download(app.transfer(), {pictureUrl, PictureMaxBytes, 10000}); });
    const Timing commentsDl = measure([&] { (void)bench::download(app.transfer(), {commentsUrl, CatalogueMaxBytes, 10000}); });
    // A refresh draws a picture just loaded, so each draw here gets a fresh copy: nothing
    // kept from drawing the previous one may help it.
    QString error;
    const Timing load = measure([&] { (void)loadPictureFile(fetched, error); });
    const QImage decoded = form1.pictureHolder()->picture();
    const auto freshPicture = [&] {
        const QImage copy = decoded.copy();
        form1.setPicture(copy);
        app.fullscreenWindow().setPicture(copy);
    };
    const Timing drawMain = measure([&] { form1.drawPicture(); }, {}, freshPicture);
    const Timing drawFull = measure([&] { app.fullscreenWindow().drawPicture(); }, {}, freshPicture);
    const Timing loadDraw = measure([&] {
        const Picture p = loadPictureFile(fetched, error);
        form1.setPicture(p.value_or(QImage()));
        app.fullscreenWindow().setPicture(p.value_or(QImage()));
        form1.drawPicture();
        app.fullscreenWindow().drawPicture();
    });

    // The whole refresh.
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

    QTemporaryDir tinyDir;
    const QString tiny = tinyDir.filePath(QStringLiteral("tiny.jpg"));
    bench::scene(16, 16).save(tiny, "jpeg", 85);
    const Timing start = measure([&] { bench::runDjpeg(djpeg, tiny); });
    const Timing decode = measure([&] { bench::runDjpeg(djpeg, fetched); });

    std::printf("picture: 1920x1080 JPEG, %lld kB, served from a fixed file by lumora-camserver on %s\n",
                QFileInfo(fetched).size() / 1024, qPrintable(server.baseUrl()));
    std::printf("comments: %lld lines; picture areas: %dx%d (main window) and %dx%d (fullscreen)\n",
                qlonglong(comments), mainArea.width(), mainArea.height(), fullArea.width(), fullArea.height());
    std::printf("median of %d runs after %d warm-up runs\n\n", Runs, WarmUps);
    std::printf("  %-38s %9s %9s %9s\n", "", "median ms", "min ms", "max ms");
    printRow("picture download", pictureDl);
    printRow("comments download", commentsDl);
    printRow("load", load);
    printRow("draw into the main picture area", drawMain);
    printRow("draw into the fullscreen picture area", drawFull);
    printRow("load + both draws", loadDraw);
    printRow("whole refresh (fetchCamImage)", refresh);
    printRow("djpeg process start (16 x 16 JPEG)", start);
    printRow("djpeg on the same picture", decode);
    const double bare = decode.median - start.median;
    std::printf("\nrefresh / djpeg:                          %6.2f\n", refresh.median / decode.median);
    std::printf("refresh / djpeg without its process start: %6.2f  (djpeg %.2f ms)\n", refresh.median / bare, bare);
    if (failures != 0 || !leftovers.isEmpty()) {
        std::printf("\n%d refreshes did not show the picture and comments; working files left: %s\n", failures,
                    qPrintable(leftovers.join(QStringLiteral(", "))));
        return 1;
    }
    return 0;
}
