// Times scaling a decoded picture into the rectangle it is drawn on: the resampler the
// program uses (libyuv, resampledPicture) against the way it used to scale, Qt's smooth
// scale from exact 2 x 2 halvings, in the same run, on the same picture; both share a large
// picture between two threads.
//
// The cases are those of a maximised 1920 x 1080 main window (picture drawn at 1618 x 910):
// a 1080p picture; a 2160p one decoded whole (a PNG; a 2160p JPEG is decoded at a half and
// so is the 1080p case); a 1080p picture enlarged onto the same area at two device pixels
// to one (3236 x 1820). Then the window thread's whole redraw of an area it was handed no
// surface for (a resize, a mode change): drawScaledPicture onto the 1672 x 910 surface.
// Each figure is the median of several runs. The goal: shrinking in at most half the old
// way's time; enlarging (bilinear against Qt's bilinear, no halvings to save) no slower.
#include "benchpictures.h"
#include "processtime.h"
#include "platform/scaleddrawing.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Runs = 15;

double medianMs(const std::function<void()> &work)
{
    return ::medianMs(work, Runs);
}

// The old way's exact halving: each pixel the rounded mean of a 2 x 2 block.
QImage halve(const QImage &src)
{
    QImage out(src.width() / 2, src.height() / 2, QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        const quint32 *a = reinterpret_cast<const quint32 *>(src.constScanLine(2 * y));
        const quint32 *b = reinterpret_cast<const quint32 *>(src.constScanLine(2 * y + 1));
        quint32 *o = reinterpret_cast<quint32 *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const quint32 p0 = a[2 * x], p1 = a[2 * x + 1], p2 = b[2 * x], p3 = b[2 * x + 1];
            const quint32 rb = (p0 & 0x00ff00ffu) + (p1 & 0x00ff00ffu) + (p2 & 0x00ff00ffu) + (p3 & 0x00ff00ffu);
            const quint32 ag = ((p0 >> 8) & 0x00ff00ffu) + ((p1 >> 8) & 0x00ff00ffu) + ((p2 >> 8) & 0x00ff00ffu)
                + ((p3 >> 8) & 0x00ff00ffu);
            o[x] = (((rb + 0x00020002u) >> 2) & 0x00ff00ffu) | ((((ag + 0x00020002u) >> 2) & 0x00ff00ffu) << 8);
        }
    }
    return out;
}

// Halvings while half the picture still covers the target, then Qt's smooth scale.
QImage oldWay(const QImage &picture, const QSize &target)
{
    QImage current = picture;
    while (current.width() % 2 == 0 && current.height() % 2 == 0 && current.width() / 2 >= target.width()
           && current.height() / 2 >= target.height())
        current = halve(current);
    return current.size() == target ? current
                                    : current.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    struct Case
    {
        const char *name;
        QSize picture;
        QSize target;
        double goal; // the new way's time over the old way's, at most
    };
    const Case cases[] = {
        {"scale_1080p_to_1618x910", QSize(1920, 1080), QSize(1618, 910), 0.5},
        {"scale_2160p_to_1618x910", QSize(3840, 2160), QSize(1618, 910), 0.5},
        {"scale_1080p_to_3236x1820", QSize(1920, 1080), QSize(3236, 1820), 1.0},
    };
    bool met = true;
    std::printf("%-26s %10s %10s\n", "case", "libyuv ms", "old ms");
    std::vector<QString> lines;
    for (const Case &c : cases) {
        const QImage picture = bench::scene(c.picture.width(), c.picture.height());
        QImage made;
        const double newMs = medianMs([&] { made = resampledPicture(picture, c.target); });
        const double oldMs = medianMs([&] { made = oldWay(picture, c.target); });
        if (made.size() != c.target) {
            std::fprintf(stderr, "%s: the old way made the wrong size\n", c.name);
            return 2;
        }
        std::printf("%-26s %10.2f %10.2f\n", c.name, newMs, oldMs);
        met = met && newMs / oldMs <= c.goal;
        lines.push_back(QStringLiteral("%1: %2 x (goal <= %3)")
                            .arg(QLatin1String(c.name))
                            .arg(newMs / oldMs, 0, 'f', 2)
                            .arg(c.goal));
    }

    // A redraw the decode prepared nothing for, on the window thread: resampling and the
    // black round the picture, into the area's own surface.
    const QImage picture = bench::scene(1920, 1080);
    QImage surface(1672, 910, QImage::Format_RGB32);
    const double redrawMs =
        medianMs([&] { drawScaledPicture(surface, surface.size(), picture, ViewScaleMode::ScaleInline); });
    std::printf("\n");
    for (const QString &line : lines)
        std::printf("%s\n", qPrintable(line));
    std::printf("window_thread_redraw_1080p_into_1672x910: %.2f ms\n", redrawMs);
    std::printf("goal: %s\n", met ? "met" : "NOT met");
    return 0;
}
