// Bytes and CPU time of a cam watched for 60 refreshes whose picture changes at every 10th,
// asked for conditionally (ETag / Last-Modified, 304 for an unchanged picture, identical
// bytes neither decoded nor drawn again) against the plain way (lumora-camserver started
// with --no-conditional), in one run, and the ratios of the two.
//
// Two local servers serve the same 1920 x 1080 JPEG from files of their own, rewritten
// before refreshes 0, 10, 20, ... so both see the same pictures; one catalogue lists a cam
// on each. The figures are the picture bytes each refresh's statistics give (a 304's header
// section, or the whole picture) and the process's CPU time across each refresh, the
// decoding thread included. The plain way is the viewer as it was: each picture decoded and
// drawn. Only 127.0.0.1 is contacted.
#include "benchapp.h"
#include "benchpictures.h"
#include "app/application.h"
#include "camserverprocess.h"
#include "control/camimagefetch.h"
#include "control/camselection.h"
#include "control/heartbeat.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/statusbar.h"
#include "ui/windows/mainwindow.h"
#include "wholefiles.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

constexpr int Refreshes = 60;
constexpr int ChangeEvery = 10;

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The scene with a mark that moves with each version, as a camera's picture changes.
QByteArray version(int n)
{
    QImage picture = bench::scene(1920, 1080);
    QPainter p(&picture);
    p.fillRect(QRect(100 + 150 * n, 700, 140, 140), QColor::fromHsv((n * 47) % 360, 200, 230));
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    writer.write(picture);
    return bytes;
}

struct Figures
{
    double bytes = 0;
    double cpu = 0;
    double wall = 0;
    int failures = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    QImageReader::setAllocationLimit(256);

    QDir root(dir.path());
    for (const char *folder : {"conditional", "plain", "work"})
        root.mkdir(QLatin1String(folder));
    QList<QByteArray> versions;
    for (int n = 0; n < Refreshes / ChangeEvery; ++n)
        versions.append(version(n));

    CamServerProcess plain({QStringLiteral("--pictures"), root.filePath(QStringLiteral("plain")),
                            QStringLiteral("--no-conditional")});
    if (!plain.start()) {
        std::fprintf(stderr, "lumora-camserver did not start: %s\n", qPrintable(plain.errorString()));
        return 2;
    }
    const QString catalogue = root.filePath(QStringLiteral("catalogue.txt"));
    writeFile(catalogue, "1006;Conditional cam;{base}/cam.jpg;asked for conditionally;;3;12;0;bench\r\n1006;Plain cam;"
                             + plain.baseUrl().toUtf8() + "/cam.jpg;asked for in full;;3;12;0;bench\r\n");
    CamServerProcess server({QStringLiteral("--catalogue"), catalogue, QStringLiteral("--pictures"),
                             root.filePath(QStringLiteral("conditional"))});
    if (!server.start()) {
        std::fprintf(stderr, "lumora-camserver did not start: %s\n", qPrintable(server.errorString()));
        return 2;
    }

    const QDir workDir(root.filePath(QStringLiteral("work")));
    const std::unique_ptr<Application> started = bench::startAgainst(workDir, server.baseUrl());
    if (!started || started->state().catalogue.camCount() != 2) {
        std::fprintf(stderr, "the application did not start with both cams\n");
        return 2;
    }
    Application &app = *started;
    MainWindow &mainWindow = app.mainWindow();
    static const QRegularExpression sizeText(QStringLiteral(R"(^(\d+)[.,](\d\d) kb in )"));

    // The plain way selects its cam anew before each refresh, outside the figures: the
    // areas are cleared then, so every picture is decoded and drawn as the viewer did before
    // it knew unchanged pictures.
    const auto watch = [&](int row, const QString &folder, bool plainWay) {
        app.heartbeat().timer()->stop();
        app.selection().rowClicked(row);
        Figures f;
        QElapsedTimer wall;
        for (int i = 0; i < Refreshes; ++i) {
            if (i % ChangeEvery == 0)
                writeFile(root.filePath(folder + QStringLiteral("/cam.jpg")), versions[i / ChangeEvery]);
            if (plainWay) {
                app.selection().rowClicked(row);
                QCoreApplication::processEvents();
            }
            const double before = cpuSeconds();
            wall.start();
            bench::refresh(app);
            f.wall += wall.nsecsElapsed() / 1e9;
            f.cpu += cpuSeconds() - before;
            app.heartbeat().timer()->stop();
            const auto m = sizeText.match(mainWindow.camStatusBar()->panelText(5));
            if (!m.hasMatch() || mainWindow.pictureArea()->picture().isNull())
                ++f.failures;
            f.bytes += (m.captured(1).toDouble() + m.captured(2).toDouble() / 100) * 1024;
        }
        return f;
    };
    // Once each beforehand, so neither run pays for first-time costs.
    watch(1, QStringLiteral("plain"), true);
    watch(0, QStringLiteral("conditional"), false);
    plain.resetLog();
    server.resetLog();
    const Figures before = watch(1, QStringLiteral("plain"), true);
    const Figures after = watch(0, QStringLiteral("conditional"), false);
    const qsizetype notModified = server.requests().filter(QStringLiteral("GET /cam.jpg 304")).size();
    const qsizetype plainFull = plain.requests().filter(QStringLiteral("GET /cam.jpg 200")).size();

    std::printf("%d refreshes of a 1920 x 1080 JPEG (%lld kB) that changes at every %dth refresh\n", Refreshes,
                qlonglong(versions.first().size() / 1024), ChangeEvery);
    std::printf("  %-34s %14s %14s %14s\n", "", "bytes/refresh", "CPU ms/refresh", "wall ms/refresh");
    std::printf("  %-34s %14.0f %14.2f %14.2f\n", "plain (--no-conditional)", before.bytes / Refreshes,
                before.cpu * 1000 / Refreshes, before.wall * 1000 / Refreshes);
    std::printf("  %-34s %14.0f %14.2f %14.2f\n", "conditional", after.bytes / Refreshes, after.cpu * 1000 / Refreshes,
                after.wall * 1000 / Refreshes);
    std::printf("server answers: plain %lld full; conditional %lld x 304\n", qlonglong(plainFull), qlonglong(notModified));
    std::printf("\nbytes ratio: %.3f  (goal <= 0.15)\nCPU ratio:   %.3f  (goal <= 0.20)\n", after.bytes / before.bytes,
                after.cpu / before.cpu);
    if (before.failures + after.failures != 0) {
        std::printf("%d refreshes did not show the picture\n", before.failures + after.failures);
        return 1;
    }
    return 0;
}
