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
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(m_border);
    p.setBrush(m_fill);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = std::min(r.width(), r.height()) / 4;
    p.drawRoundedRect(r, radius, radius);
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
