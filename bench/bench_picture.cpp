// Times one refresh's picture work (load the JPEG once, draw it into an 800 x 600 and a
// 1920 x 1080 picture area) against djpeg decoding the same file, in the same run, and
// prints the ratio. The goal is a ratio of at most 1.3.
//
// The JPEGs are made here: a photo-like scene (gradients, shapes and fine noise) at
// 1920 x 1080 and 3840 x 2160, quality 85. Each figure is the median of several runs.
// djpeg runs as a process writing to /dev/null, so its figure includes starting the
// process; that start alone (djpeg on a 16 x 16 JPEG) is printed too.
#include "benchpictures.h"
#include "processtime.h"
#include "platform/picturedecoder.h"
#include "platform/scaleddrawing.h"
#include "ui/widgets/picturearea.h"

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


double medianMs(const std::function<void()> &work)
{
    return ::medianMs(work, Runs);
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
    bench::scene(16, 16).save(tiny, "jpeg", 85);
    const double startMs = medianMs([&] { bench::runDjpeg(djpeg, tiny); });
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
        if (!writer.write(bench::scene(size.width(), size.height()))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 2;
        }
        if (!bench::runDjpeg(djpeg, file)) {
            std::fprintf(stderr, "djpeg failed on %s\n", qPrintable(file));
            return 2;
        }

        Picture picture;
        QString error;
        const double loadMs = medianMs([&] { picture = loadPictureFile(file, error); });
        if (!picture || picture->isNull()) {
            std::fprintf(stderr, "load failed: %s\n", qPrintable(error));
            return 2;
        }
        const double smallMs = medianMs([&] { drawScaledPicture(small, *picture, ViewScaleMode::ScaleInline); });
        const double largeMs = medianMs([&] { drawScaledPicture(large, *picture, ViewScaleMode::ScaleInline); });
        const double totalMs = medianMs([&] {
            const Picture p = loadPictureFile(file, error);
            drawScaledPicture(small, *p, ViewScaleMode::ScaleInline);
            drawScaledPicture(large, *p, ViewScaleMode::ScaleInline);
        });
        const double djpegMs = medianMs([&] { bench::runDjpeg(djpeg, file); });
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
