// Times one refresh's picture work (load the JPEG once, draw it into an 800 x 600 and a
// 1920 x 1080 picture area) against djpeg decoding the same file, in the same run, and
// prints the ratio. The goal is a ratio of at most 1.3.
//
// The JPEGs are made here: a photo-like scene (gradients, shapes and fine noise) at
// 1920 x 1080 and 3840 x 2160, quality 85. Each figure is the median of several runs.
// djpeg runs as a process writing to /dev/null, so its figure includes starting the
// process; that start alone (djpeg on a 16 x 16 JPEG) is printed too.
#include "platform/picturedecoder.h"
#include "view/picturearea.h"
#include "view/scaleddrawing.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Runs = 9;

QImage scene(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(70, 120, 200));
    sky.setColorAt(0.6, QColor(200, 210, 230));
    sky.setColorAt(1, QColor(60, 90, 40));
    p.fillRect(img.rect(), sky);
    QRandomGenerator rng(7);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 300; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromHsv(rng.bounded(360), 40 + rng.bounded(200), 60 + rng.bounded(190)));
        const int x = rng.bounded(w), y = h / 3 + rng.bounded(2 * h / 3);
        p.drawRect(x, y, 10 + rng.bounded(w / 12), 10 + rng.bounded(h / 8));
    }
    p.end();
    // Sensor noise, so the file is not unrealistically easy to compress.
    for (int y = 0; y < h; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = int(rng.bounded(17)) - 8;
            line[x] = qRgb(std::clamp(qRed(line[x]) + n, 0, 255), std::clamp(qGreen(line[x]) + n, 0, 255),
                           std::clamp(qBlue(line[x]) + n, 0, 255));
        }
    }
    return img;
}

double medianMs(const std::function<void()> &work)
{
    std::vector<double> times;
    work(); // warm the caches and the plugin loading
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool runDjpeg(const QString &djpeg, const QString &file)
{
    QProcess proc;
    proc.start(djpeg, {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), file});
    return proc.waitForFinished(60000) && proc.exitStatus() == QProcess::NormalExit && proc.exitCode() == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QImageReader::setAllocationLimit(256);

    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty()) {
        std::fprintf(stderr, "djpeg not found (package libjpeg-turbo-progs)\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString tiny = dir.filePath(QStringLiteral("tiny.jpg"));
    scene(16, 16).save(tiny, "jpeg", 85);
    const double startMs = medianMs([&] { runDjpeg(djpeg, tiny); });
    std::printf("djpeg process start (16 x 16 JPEG): %.2f ms\n\n", startMs);
    std::printf("%-11s %8s %9s %9s %9s %9s %8s %8s\n", "picture", "kB", "load ms", "800x600", "1920x1080",
                "total ms", "djpeg ms", "ratio");

    PictureArea small;
    small.resize(800, 600);
    PictureArea large;
    large.resize(1920, 1080);

    bool allWithinGoal = true;
    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)}) {
        const QString file = dir.filePath(QStringLiteral("cam-%1x%2.jpg").arg(size.width()).arg(size.height()));
        QImageWriter writer(file, "jpeg");
        writer.setQuality(85);
        if (!writer.write(scene(size.width(), size.height()))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 2;
        }
        if (!runDjpeg(djpeg, file)) {
            std::fprintf(stderr, "djpeg failed on %s\n", qPrintable(file));
            return 2;
        }

        Picture picture;
        QString error;
        const double loadMs = medianMs([&] { picture = LoadPictureFile(file, error); });
        if (!picture || picture->isNull()) {
            std::fprintf(stderr, "load failed: %s\n", qPrintable(error));
            return 2;
        }
        const double smallMs = medianMs([&] { drawScaledPicture(small, *picture, ViewScaleMode::ScaleInline); });
        const double largeMs = medianMs([&] { drawScaledPicture(large, *picture, ViewScaleMode::ScaleInline); });
        const double totalMs = medianMs([&] {
            const Picture p = LoadPictureFile(file, error);
            drawScaledPicture(small, *p, ViewScaleMode::ScaleInline);
            drawScaledPicture(large, *p, ViewScaleMode::ScaleInline);
        });
        const double djpegMs = medianMs([&] { runDjpeg(djpeg, file); });
        const double ratio = totalMs / djpegMs;
        allWithinGoal = allWithinGoal && ratio <= 1.3;
        std::printf("%4dx%-6d %8lld %9.2f %9.2f %9.2f %9.2f %8.2f %8.2f\n", size.width(), size.height(),
                    QFileInfo(file).size() / 1024, loadMs, smallMs, largeMs, totalMs, djpegMs, ratio);
        std::printf("%-11s %8s %9s %9s %9s %9s %8.2f %8.2f  (djpeg without its process start)\n", "", "", "", "",
                    "", "", djpegMs - startMs, totalMs / (djpegMs - startMs));
    }
    std::printf("\ngoal: load + both draws at most 1.3 x djpeg: %s\n", allWithinGoal ? "met" : "NOT met");
    return 0;
}
