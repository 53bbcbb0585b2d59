#include "pictures.h"

#include "core/geometry/listgeometry.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace pictures {
namespace {

// The splash's layers, each drawn with the painter left as the one before left it.

// A dusk sky behind everything, fading into the black of the window.
void paintSky(QPainter &p, const QRect &area)
{
    QLinearGradient sky(0, 0, 0, 220);
    sky.setColorAt(0.0, QColor(18, 28, 62));
    sky.setColorAt(0.55, QColor(70, 40, 78));
    sky.setColorAt(0.8, QColor(20, 12, 24));
    sky.setColorAt(1.0, Qt::black);
    p.fillRect(area, sky);
}

// A lens: rings of glass around a bright pupil.
void paintLens(QPainter &p)
{
    const QPointF c(92, 104);
    QRadialGradient glass(c, 70, QPointF(c.x() - 18, c.y() - 22));
    glass.setColorAt(0.0, QColor(160, 220, 255));
    glass.setColorAt(0.25, QColor(40, 110, 190));
    glass.setColorAt(0.7, QColor(12, 30, 70));
    glass.setColorAt(1.0, QColor(4, 8, 18));
    p.setPen(QPen(QColor(200, 200, 210), 5));
    p.setBrush(glass);
    p.drawEllipse(c, 66, 66);
    p.setPen(QPen(QColor(90, 95, 110), 3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 52, 52);
    p.drawEllipse(c, 36, 36);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(QPointF(c.x() - 22, c.y() - 24), 11, 7);
}

// The name, and under it what the window is waiting for.
void paintName(QPainter &p)
{
    QFont big(QStringLiteral("DejaVu Sans"));
    big.setPixelSize(46);
    big.setBold(true);
    p.setFont(big);
    p.setPen(QColor(245, 240, 225));
    p.drawText(QRectF(178, 48, 240, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("lumora"));
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(22);
    p.setFont(small);
    p.setPen(QColor(255, 176, 84));
    p.drawText(QRectF(181, 104, 240, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("viewer 5"));

    QFont note(QStringLiteral("DejaVu Sans"));
    note.setPixelSize(12);
    p.setFont(note);
    p.setPen(QColor(170, 170, 185));
    p.drawText(QRectF(181, 150, 230, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Loading the cam list ..."));
}

// A thin frame so the borderless window has an edge on any background.
void paintFrame(QPainter &p, const QRect &area)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(110, 110, 125));
    p.setBrush(Qt::NoBrush);
    p.drawRect(area.adjusted(0, 0, -1, -1));
}

} // namespace

QPixmap splash()
{
    QPixmap pm(422, 220);
    pm.fill(Qt::black);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    paintSky(p, pm.rect());
    paintLens(p);
    paintName(p);
    paintFrame(p, pm.rect());
    return pm;
}

QPixmap scaleModeIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    // The area's frame ...
    p.setPen(QColor(40, 40, 48));
    p.setBrush(QColor(235, 238, 245));
    p.drawRect(0, 2, 15, 11);
    // ... a landscape picture inside it ...
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 150, 215));
    p.drawRect(3, 5, 10, 6);
    p.setBrush(QColor(70, 140, 60));
    p.drawRect(3, 9, 10, 2);
    // ... and the corner arrows of a resize.
    p.setPen(QColor(200, 40, 30));
    p.drawLine(1, 3, 4, 3);
    p.drawLine(1, 3, 1, 6);
    p.drawLine(14, 12, 11, 12);
    p.drawLine(14, 12, 14, 9);
    return pm;
}

QPixmap randomCamIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 48), 1));
    p.setBrush(QColor(250, 250, 250));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 40, 30));
    for (const QPointF &pip : {QPointF(5, 5), QPointF(8, 8), QPointF(11, 11), QPointF(11, 5), QPointF(5, 11)})
        p.drawEllipse(pip, 1.3, 1.3);
    return pm;
}

} // namespace pictures

namespace pictures {
namespace {

QPainterPath starPath(QPointF centre, double outer, double inner)
{
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const double r = (i % 2 == 0) ? outer : inner;
        const double a = -M_PI / 2 + i * M_PI / 5;
        const QPointF pt(centre.x() + r * std::cos(a), centre.y() + r * std::sin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    return path;
}

// Five stars, the first `rating` of them lit, on a transparent strip.
QPixmap ratingStrip(int rating)
{
    QPixmap pm(100, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 5; ++i) {
        const QPainterPath star = starPath(QPointF(10 + i * 20, 10.5), 9, 3.8);
        if (i < rating) {
            QLinearGradient gold(0, 1, 0, 19);
            gold.setColorAt(0, QColor(255, 222, 89));
            gold.setColorAt(1, QColor(232, 140, 16));
            p.setBrush(gold);
            p.setPen(QPen(QColor(150, 86, 0), 1));
        } else {
            p.setBrush(QColor(208, 208, 212));
            p.setPen(QPen(QColor(140, 140, 148), 1));
        }
        p.drawPath(star);
    }
    return pm;
}

// A speech bubble.
QPixmap commentsSymbol()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(1.5, 1.5, 13, 9.5), 3, 3);
    QPainterPath tail;
    tail.moveTo(4, 10.5);
    tail.lineTo(3.5, 14.5);
    tail.lineTo(8, 10.5);
    tail.closeSubpath();
    p.setPen(QPen(QColor(30, 70, 140), 1));
    p.setBrush(QColor(120, 180, 250));
    p.drawPath(bubble.united(tail));
    p.setPen(QPen(Qt::white, 1.2));
    p.drawLine(QPointF(4.5, 5), QPointF(11.5, 5));
    p.drawLine(QPointF(4.5, 7.5), QPointF(9.5, 7.5));
    return pm;
}

// An eye.
QPixmap viewsSymbol()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath eye;
    eye.moveTo(1, 8);
    eye.quadTo(8, 0.5, 15, 8);
    eye.quadTo(8, 15.5, 1, 8);
    p.setPen(QPen(QColor(40, 40, 48), 1.2));
    p.setBrush(Qt::white);
    p.drawPath(eye);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 130, 90));
    p.drawEllipse(QPointF(8, 8), 3.4, 3.4);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(8, 8), 1.6, 1.6);
    return pm;
}

} // namespace

QPixmap imageListPicture(int number)
{
    static const QList<QPixmap> list = [] {
        QList<QPixmap> l;
        for (int rating = 0; rating <= 5; ++rating)
            l.append(ratingStrip(rating));
        l.append(commentsSymbol());
        l.append(viewsSymbol());
        return l;
    }();
    if (number < 1 || number > list.size())
        return {};
    return list[number - 1];
}

} // namespace pictures

namespace pictures {

QPixmap commentBar()
{
    QPixmap pm(248, 95);
    QPainter p(&pm);
    QLinearGradient shade(0, 0, 0, 95);
    shade.setColorAt(0.0, QColor(128, 18, 18));
    shade.setColorAt(0.45, QColor(84, 6, 8));
    shade.setColorAt(1.0, QColor(36, 0, 2));
    p.fillRect(pm.rect(), shade);
    // A lighter edge along the top, where the tab meets the bar.
    p.setPen(QColor(176, 52, 48));
    p.drawLine(0, 0, 247, 0);
    return pm;
}

QPixmap commentTab()
{
    QPixmap pm(159, 25);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath tab;
    tab.moveTo(0, 25);
    tab.lineTo(0, 8);
    tab.quadTo(0, 0, 8, 0);
    tab.lineTo(151, 0);
    tab.quadTo(159, 0, 159, 8);
    tab.lineTo(159, 25);
    tab.closeSubpath();
    QLinearGradient shade(0, 0, 0, 25);
    shade.setColorAt(0.0, QColor(150, 30, 28));
    shade.setColorAt(1.0, QColor(128, 18, 18));
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawPath(tab);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 2, 159, 23), Qt::AlignCenter, QStringLiteral("User Comment"));
    return pm;
}

namespace {

// A rounded bar with a glassy highlight in the given body colours.
QPixmap roundedBar(const QColor &top, const QColor &bottom, const QColor &edge)
{
    QPixmap pm(216, 43);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(1.5, 6.5, 213, 30);
    QLinearGradient shade(0, body.top(), 0, body.bottom());
    shade.setColorAt(0.0, top);
    shade.setColorAt(1.0, bottom);
    p.setPen(QPen(edge, 1.5));
    p.setBrush(shade);
    p.drawRoundedRect(body, 15, 15);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawRoundedRect(QRectF(8, 9, 200, 10), 5, 5);
    return pm;
}

} // namespace

QPixmap autoShuffleTrack()
{
    return roundedBar(QColor(150, 150, 156), QColor(86, 86, 92), QColor(200, 200, 206));
}

QPixmap autoShuffleFill()
{
    return roundedBar(QColor(236, 64, 52), QColor(150, 14, 10), QColor(255, 150, 140));
}

QPixmap ratingPicture(const QString &rating)
{
    return imageListPicture(list_geometry::ratingPicture(rating).value_or(0));
}

} // namespace pictures
