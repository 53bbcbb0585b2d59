// What the translucent Info-Bar costs each time the fullscreen picture under it is drawn
// again, as at every frame of a live cam: the processor time of one repaint of the
// fullscreen window's picture with the Info-Bar shown, against the same repaint with it
// switched off, on a 1920 x 1080 screen of the offscreen platform. Prints
//
//   INFOBAR_REDRAW  a repaint with the Info-Bar shown against one without
//
// The reference is the cheapest redraw there is, a copy of the picture already scaled, so
// the Info-Bar's text alone weighs several times it. The goal holds the panel to drawing its
// parts straight over the picture: a panel made as a picture of its own at every redraw
// and blended as a whole costs about nine times the reference.
//
// Usage: bench_infobar [RUNS] (default 300).
#include "app/application.h"
#include "processtime.h"
#include "ui/widgets/infobarpanel.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QDeadlineTimer>
#include <QWindow>

#include <cstdio>

int main(int argc, char **argv)
{
    QTemporaryDir screenDir;
    const QString screenFile = screenDir.filePath(QStringLiteral("screen.json"));
    QFile json(screenFile);
    if (!json.open(QIODevice::WriteOnly)
        || json.write(R"({"windowFrameMargins": false, "screens": [{"name": "Screen1080", "x": 0, "y": 0,
                          "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
               < 0)
        return 1;
    json.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screenFile.toUtf8());
    QApplication qapp(argc, argv);
    const int runs = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;

    QTemporaryDir work;
    AppEnvironment env;
    env.workFolder = WorkingFolder(work.path());
    env.stopMessage = [](const QString &, const QString &, const QString &) {};
    env.endProgram = [](int) {};
    Application app(env);
    FullscreenWindow &full = app.fullscreenWindow();
    InfoBarPanel &infoBar = *full.infoBar();

    // A picture with detail, so no drawing takes a shortcut over flat colour.
    QImage picture(1280, 720, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = qRgb(x & 255, y & 255, (x ^ y) & 255);
    }
    full.pictureArea()->showPicture(picture, ViewScaleMode::ScaleInline);
    const auto settle = [](int ms) {
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    full.show();
    settle(200);
    if (!full.windowHandle()->isExposed() || full.size() != QSize(1920, 1080)) {
        std::fprintf(stderr, "the fullscreen window did not cover the 1920 x 1080 screen\n");
        return 1;
    }
    infoBar.showCamInfo(QStringLiteral("1;Harbour;http://127.0.0.1/a.jpg;Boats in the harbour, the pier and the "
                                       "lighthouse at its end.;;4;12;3456;someone")
                            .split(QLatin1Char(';')));
    infoBar.onLayoutTick();
    settle(50);

    const auto repaints = [&] { return cpuMsOfRuns([&] { full.pictureArea()->repaint(); }, runs); };
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    // Alternating blocks, so a change in the machine's load meets both alike.
    std::vector<double> shown;
    std::vector<double> hidden;
    for (int block = 0; block < 4; ++block) {
        infoBar.show();
        for (double ms : repaints())
            shown.push_back(ms);
        infoBar.hide();
        for (double ms : repaints())
            hidden.push_back(ms);
    }
    const double withBar = median(shown);
    const double without = median(hidden);
    std::printf("a repaint of the 1920 x 1080 fullscreen picture, processor time, the median of %zu: %.3f ms with the "
                "Info-Bar shown, %.3f ms without\n",
                shown.size(), withBar, without);
    std::printf("INFOBAR_REDRAW: %.2f x (goal <= 5)\n", withBar / std::max(without, 1e-3));
    return 0;
}
