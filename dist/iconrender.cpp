// Writes the program's icon as a PNG of each size the icon theme gets, rendered by the same
// code as the window icon, for the install.
//
//   iconrender OUTDIR    writes OUTDIR/NxN/apps/io.lumora.Viewer.png for every size
//
// Exits non-zero, naming the file, when the drawing is missing or a PNG cannot be written.

#include "ui/pictures/appicon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: iconrender OUTDIR\n", stderr);
        return 2;
    }
    // Runs during the build, where there may be no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    for (int size : appicon::bitmapSizes()) {
        const QImage image = appicon::render(size);
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        const QString file = folder + QLatin1Char('/') + appicon::ThemeName + QStringLiteral(".png");
        if (image.isNull() || !QDir().mkpath(folder) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "iconrender: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
