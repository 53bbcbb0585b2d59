#include "shapes.h"

#include "core/geometry/twips.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

LineShape::LineShape(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineShape::setLine(double x1, double y1, double x2, double y2)
{
    m_x1 = x1;
    m_y1 = y1;
    m_x2 = x2;
    m_y2 = y2;
    const int left = twips::toPixels(std::min(x1, x2));
    const int top = twips::toPixels(std::min(y1, y2));
    const int right = twips::toPixels(std::max(x1, x2));
    const int bottom = twips::toPixels(std::max(y1, y2));
    setGeometry(left, top, right - left + 1, bottom - top + 1);
    update();
}

void LineShape::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void LineShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(m_color);
    const QPoint origin = pos();
    p.drawLine(QPoint(twips::toPixels(m_x1), twips::toPixels(m_y1)) - origin,
               QPoint(twips::toPixels(m_x2), twips::toPixels(m_y2)) - origin);
}

RoundedBox::RoundedBox(const QColor &fill, const QColor &border, QWidget *parent)
    : QWidget(parent)
    , m_fill(fill)
    , m_border(border)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RoundedBox::paintEvent(QPaintEvent *)
{
    // Drawn once for each size and pixel ratio: a smooth curve costs far more than copying
    // it, and the box is drawn again with whatever changes beneath or beside it.
    const qreal ratio = devicePixelRatioF();
    if (m_drawn.isNull() || m_drawn.deviceIndependentSize() != QSizeF(size()) || m_drawn.devicePixelRatio() != ratio) {
        m_drawn = QPixmap(size() * ratio);
        m_drawn.setDevicePixelRatio(ratio);
        m_drawn.fill(Qt::transparent);
        QPainter p(&m_drawn);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(m_border);
        p.setBrush(m_fill);
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const double radius = std::min(r.width(), r.height()) / 4;
        p.drawRoundedRect(r, radius, radius);
    }
    QPainter(this).drawPixmap(0, 0, m_drawn);
}

void paintStar(QPainter &painter, const QRectF &box, const QColor &outline, const QColor &fill)
{
    // The points on a circle, the inner corners on one 0.382 times as large (a regular star).
    const double radius = std::min(box.width(), box.height()) / 2 - 0.5;
    const QPointF centre = box.center() + QPointF(0, radius * 0.1);
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const double r = i % 2 ? radius * 0.382 : radius;
        const double angle = -M_PI / 2 + i * M_PI / 5;
        star << centre + QPointF(r * std::cos(angle), r * std::sin(angle));
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(outline, 1.2));
    painter.setBrush(fill);
    painter.drawPolygon(star);
    painter.restore();
}

void drawCamMark(QPainter &p, const QRect &rect, CamMark mark)
{
    if (mark == CamMark::None)
        return;
    const bool failed = mark == CamMark::Failed;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc = QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(failed ? QColor(0xd0, 0x20, 0x20) : QColor(0xf0, 0xa0, 0x10));
    p.drawEllipse(disc);
    const double w = disc.width();
    const QPointF c = disc.center();
    if (failed) {
        p.setPen(QPen(Qt::white, std::max(1.5, w / 7), Qt::SolidLine, Qt::RoundCap));
        const double d = w / 5;
        p.drawLine(c + QPointF(-d, -d), c + QPointF(d, d));
        p.drawLine(c + QPointF(-d, d), c + QPointF(d, -d));
    } else {
        // A pause sign: the picture stands still.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x30, 0x30, 0x30));
        const double barW = std::max(1.5, w / 7), barH = w / 2;
        p.drawRect(QRectF(c.x() - barW * 1.5, c.y() - barH / 2, barW, barH));
        p.drawRect(QRectF(c.x() + barW * 0.5, c.y() - barH / 2, barW, barH));
    }
    p.restore();
}
