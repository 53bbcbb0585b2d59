#include "picturerenderer.h"

#include "gifwriter.h"

#include <QBuffer>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <cmath>

namespace {

// Everything random about a scene comes from this generator so that a cam keeps its
// look across refreshes and runs. Its seed is a hash of the id's own (FNV-1a): qHash of a
// string is keyed per process where the processor has AES instructions.
QRandomGenerator sceneRandom(const QString &camId)
{
    quint32 hash = 2166136261u;
    for (const QChar c : camId) {
        hash ^= c.unicode();
        hash *= 16777619u;
    }
    return QRandomGenerator(hash ^ 0x9e3779b9u);
}

double uniform(QRandomGenerator &rng, double lo, double hi)
{
    return lo + rng.generateDouble() * (hi - lo);
}

struct Palette {
    QColor skyTop, skyBottom, far, near, water;
    bool night;
};

Palette pickPalette(QRandomGenerator &rng)
{
    static const Palette palettes[] = {
        {QColor(40, 110, 200), QColor(170, 210, 245), QColor(90, 130, 110), QColor(60, 120, 50), QColor(30, 90, 150), false},
        {QColor(20, 60, 140), QColor(240, 150, 90), QColor(110, 80, 100), QColor(70, 60, 60), QColor(60, 60, 110), false},
        {QColor(120, 160, 200), QColor(225, 230, 235), QColor(160, 170, 180), QColor(235, 240, 245), QColor(90, 120, 140), false},
        {QColor(10, 15, 45), QColor(40, 50, 100), QColor(30, 35, 60), QColor(20, 25, 35), QColor(15, 25, 60), true},
        {QColor(70, 140, 220), QColor(200, 230, 250), QColor(120, 150, 90), QColor(170, 150, 80), QColor(40, 130, 170), false},
        {QColor(90, 100, 120), QColor(170, 175, 180), QColor(100, 110, 100), QColor(70, 90, 60), QColor(80, 95, 105), false},
    };
    return palettes[rng.bounded(int(std::size(palettes)))];
}

QPainterPath ridge(QRandomGenerator &rng, int w, int h, double baseY, double amplitude)
{
    const double f1 = uniform(rng, 1.0, 3.0), f2 = uniform(rng, 3.0, 7.0);
    const double p1 = uniform(rng, 0, 6.28), p2 = uniform(rng, 0, 6.28);
    QPainterPath path;
    path.moveTo(0, h);
    const int steps = 48;
    for (int i = 0; i <= steps; ++i) {
        const double x = double(w) * i / steps;
        const double t = double(i) / steps * 6.2832;
        const double y = baseY - amplitude * (0.65 * std::sin(f1 * t + p1) + 0.35 * std::sin(f2 * t + p2));
        path.lineTo(x, y);
    }
    path.lineTo(w, h);
    path.closeSubpath();
    return path;
}

void drawCloud(QPainter &p, double cx, double cy, double r, const QColor &c)
{
    p.setBrush(c);
    p.drawEllipse(QPointF(cx, cy), r * 1.6, r * 0.8);
    p.drawEllipse(QPointF(cx - r, cy + r * 0.2), r * 0.9, r * 0.6);
    p.drawEllipse(QPointF(cx + r * 0.9, cy + r * 0.1), r, r * 0.65);
    p.drawEllipse(QPointF(cx + r * 0.1, cy - r * 0.45), r * 0.9, r * 0.7);
}

void drawHouses(QPainter &p, QRandomGenerator &rng, int w, double groundY, double scale, bool night)
{
    const int count = 3 + rng.bounded(6);
    double x = uniform(rng, 0.05, 0.4) * w;
    for (int i = 0; i < count && x < w; ++i) {
        const double hw = uniform(rng, 0.05, 0.11) * w * scale;
        const double hh = uniform(rng, 0.6, 1.4) * hw;
        const QColor wall = QColor::fromHsv(rng.bounded(60), 40 + rng.bounded(80), night ? 70 : 170 + rng.bounded(70));
        const QColor roof = QColor::fromHsv(rng.bounded(30), 120 + rng.bounded(100), night ? 50 : 110 + rng.bounded(60));
        p.setBrush(wall);
        p.drawRect(QRectF(x, groundY - hh, hw, hh));
        QPolygonF roofShape;
        roofShape << QPointF(x - hw * 0.08, groundY - hh) << QPointF(x + hw / 2, groundY - hh - hw * 0.5)
                  << QPointF(x + hw * 1.08, groundY - hh);
        p.setBrush(roof);
        p.drawPolygon(roofShape);
        const QColor window = night ? QColor(250, 220, 120) : QColor(70, 90, 120);
        p.setBrush(window);
        const double ww = hw * 0.18;
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 2; ++col)
                if (!night || rng.bounded(3) != 0)
                    p.drawRect(QRectF(x + hw * (0.2 + col * 0.42), groundY - hh * (0.8 - row * 0.4), ww, ww));
        x += hw * uniform(rng, 1.2, 2.2);
    }
}

QImage paintBackground(const QString &camId, QSize size, bool transparentCorner)
{
    QRandomGenerator rng = sceneRandom(camId);
    const int w = size.width(), h = size.height();
    QImage img(size, transparentCorner ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const Palette pal = pickPalette(rng);

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    QLinearGradient sky(0, 0, 0, h * 0.7);
    sky.setColorAt(0, pal.skyTop);
    sky.setColorAt(1, pal.skyBottom);
    p.fillRect(img.rect(), sky);

    const double horizon = h * uniform(rng, 0.5, 0.72);
    // Sun or moon with a soft halo.
    const QPointF sunPos(w * uniform(rng, 0.1, 0.9), horizon * uniform(rng, 0.15, 0.6));
    const double sunR = std::min(w, h) * uniform(rng, 0.04, 0.08);
    QRadialGradient halo(sunPos, sunR * 3);
    const QColor sunColor = pal.night ? QColor(235, 235, 215) : QColor(255, 236, 150);
    halo.setColorAt(0, QColor(sunColor.red(), sunColor.green(), sunColor.blue(), 150));
    halo.setColorAt(1, QColor(sunColor.red(), sunColor.green(), sunColor.blue(), 0));
    p.setBrush(halo);
    p.drawEllipse(sunPos, sunR * 3, sunR * 3);
    p.setBrush(sunColor);
    p.drawEllipse(sunPos, sunR, sunR);

    if (pal.night) {
        p.setBrush(QColor(255, 255, 240));
        for (int i = 0; i < 80; ++i)
            p.drawEllipse(QPointF(uniform(rng, 0, w), uniform(rng, 0, horizon * 0.8)), 1.2, 1.2);
    }

    const int clouds = rng.bounded(5);
    for (int i = 0; i < clouds; ++i)
        drawCloud(p, uniform(rng, 0, w), uniform(rng, 0.08, 0.4) * horizon, std::min(w, h) * uniform(rng, 0.04, 0.09),
                  pal.night ? QColor(70, 75, 100, 200) : QColor(255, 255, 255, 220));

    p.setBrush(pal.far);
    p.drawPath(ridge(rng, w, h, horizon - h * 0.05, h * uniform(rng, 0.05, 0.2)));

    const bool hasWater = rng.bounded(3) == 0;
    if (hasWater) {
        QLinearGradient water(0, horizon, 0, h);
        water.setColorAt(0, pal.water.lighter(130));
        water.setColorAt(1, pal.water);
        p.fillRect(QRectF(0, horizon, w, h - horizon), water);
        // A pier and a few boats make it read as a harbour.
        p.setBrush(pal.near);
        p.drawRect(QRectF(0, horizon + (h - horizon) * 0.35, w * 0.45, (h - horizon) * 0.12));
        for (int i = 0; i < 3; ++i) {
            const double bx = uniform(rng, 0.5, 0.95) * w, by = horizon + (h - horizon) * uniform(rng, 0.2, 0.7);
            const double bw = w * 0.06;
            QPolygonF hull;
            hull << QPointF(bx, by) << QPointF(bx + bw, by) << QPointF(bx + bw * 0.8, by + bw * 0.25)
                 << QPointF(bx + bw * 0.2, by + bw * 0.25);
            p.setBrush(QColor::fromHsv(rng.bounded(360), 160, 200));
            p.drawPolygon(hull);
            p.setBrush(QColor(245, 245, 240));
            QPolygonF sail;
            sail << QPointF(bx + bw * 0.5, by - bw * 0.9) << QPointF(bx + bw * 0.5, by) << QPointF(bx + bw * 0.9, by);
            p.drawPolygon(sail);
        }
    } else {
        p.setBrush(pal.near);
        p.drawPath(ridge(rng, w, h, horizon + h * 0.08, h * uniform(rng, 0.02, 0.06)));
    }

    if (rng.bounded(4) != 0)
        drawHouses(p, rng, w, hasWater ? horizon + (h - horizon) * 0.35 : horizon + h * 0.1,
                   uniform(rng, 0.7, 1.3), pal.night);

    if (transparentCorner) {
        // Cut a rounded notch out of the top-left corner so the picture really has
        // fully transparent pixels that a client must composite.
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.drawEllipse(QPointF(0, 0), w * 0.25, h * 0.25);
    }
    return img;
}

struct CacheKey {
    QString camId;
    QSize size;
    bool transparent;
    bool operator==(const CacheKey &o) const
    {
        return camId == o.camId && size == o.size && transparent == o.transparent;
    }
};
size_t qHash(const CacheKey &k, size_t seed = 0)
{
    return qHashMulti(seed, k.camId, k.size.width(), k.size.height(), k.transparent);
}

QMutex cacheMutex;
QHash<CacheKey, QImage> backgroundCache;

QImage background(const QString &camId, QSize size, bool transparent)
{
    const CacheKey key {camId, size, transparent};
    {
        QMutexLocker lock(&cacheMutex);
        auto it = backgroundCache.constFind(key);
        if (it != backgroundCache.constEnd())
            return *it;
    }
    // Painted outside the lock: two threads may paint the same scene once each, which
    // is harmless and cheaper than serialising all first requests.
    QImage img = paintBackground(camId, size, transparent);
    QMutexLocker lock(&cacheMutex);
    if (backgroundCache.size() > 256) // bounded: test catalogues may invent sizes
        backgroundCache.clear();
    backgroundCache.insert(key, img);
    return img;
}

} // namespace

QImage PictureRenderer::render(const PictureRequest &request)
{
    const QSize size = request.size.isValid() ? request.size : QSize(640, 480);
    QImage img = background(request.camId, size, request.transparentCorner);
    img.detach();

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const int w = size.width(), h = size.height();
    // Sizes scale with the picture so the caption stays legible at 320x240 and
    // does not look tiny at 1920x1080.
    const int pixelSize = std::max(10, std::min(w, h) / 20);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    p.setFont(font);

    const bool live = request.frame >= 0;
    const QString stamp = live ? request.time.toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral("  #%1").arg(request.frame)
                               : request.time.toString(QStringLiteral("HH:mm:ss"));
    const int band = pixelSize * 2;
    p.fillRect(QRect(0, h - band, w, band), QColor(0, 0, 0, 150));
    p.setPen(Qt::white);
    const int margin = pixelSize / 2;
    const int stampRoom = std::max(pixelSize * 6, p.fontMetrics().horizontalAdvance(stamp) + margin);
    p.drawText(QRect(margin, h - band, w - 2 * margin, band), Qt::AlignVCenter | Qt::AlignRight, stamp);
    p.drawText(QRect(margin, h - band, w - 2 * margin - stampRoom, band),
               Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
               p.fontMetrics().elidedText(request.caption, Qt::ElideRight, w - 2 * margin - stampRoom));

    // A second hand sweeping round a small dial: even a viewer that scales the
    // picture down to a thumbnail shows that it changed.
    const QPointF dial(w - pixelSize * 1.6, pixelSize * 1.6);
    p.setPen(QPen(QColor(255, 255, 255, 200), std::max(1.0, pixelSize / 8.0)));
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawEllipse(dial, pixelSize, pixelSize);
    // A still keeps its looks for the whole second (its validators depend on it); a live
    // frame's hand moves on with every frame.
    const double seconds = request.time.second() + (live ? request.time.msec() / 1000.0 : 0.0);
    const double angle = seconds / 60.0 * 2 * M_PI;
    p.drawLine(dial, dial + QPointF(std::sin(angle) * pixelSize * 0.85, -std::cos(angle) * pixelSize * 0.85));
    p.end();
    return img;
}

QByteArray PictureRenderer::renderEncoded(const PictureRequest &request, PictureFormat format)
{
    const QImage img = render(request);
    if (format == PictureFormat::Gif)
        return gifwriter::encode(img, request.transparentCorner);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format == PictureFormat::Png ? "png" : "jpeg");
    if (format == PictureFormat::Jpeg) {
        writer.setQuality(85);
        writer.write(img.format() == QImage::Format_RGB32 ? img : img.convertToFormat(QImage::Format_RGB32));
    } else {
        writer.write(img);
    }
    return bytes;
}

const char *PictureRenderer::contentType(PictureFormat format)
{
    switch (format) {
    case PictureFormat::Png:
        return "image/png";
    case PictureFormat::Gif:
        return "image/gif";
    case PictureFormat::Jpeg:
        break;
    }
    return "image/jpeg";
}
