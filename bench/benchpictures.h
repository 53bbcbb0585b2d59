#pragma once
// What the picture benchmarks share: the test picture they encode and the reference
// decoder they time.
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <algorithm>

namespace bench {

// A landscape with coloured blocks and sensor noise, so the file is not unrealistically
// easy to compress.
inline QImage scene(int w, int h)
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

// Runs djpeg on a file, output thrown away, with its options before (-scale 1/4); false
// when it failed.
inline bool runDjpeg(const QString &djpeg, const QString &file, QStringList options = {})
{
    QProcess proc;
    options << QStringLiteral("-outfile") << QStringLiteral("/dev/null") << file;
    proc.start(djpeg, options);
    return proc.waitForFinished(60000) && proc.exitStatus() == QProcess::NormalExit && proc.exitCode() == 0;
}

} // namespace bench
