#pragma once
// Plain drawn shapes that windows place like widgets: a line and a rounded box; and what
// the cam list draws on its rows.
//
// LineShape keeps its end points in twips, in its parent's coordinates, so that a layout
// reading them back gets exactly what it wrote; the widget covers the line's bounding box,
// one pixel wide across the line, and paints the line in its colour (white unless set).
// RoundedBox paints a rounded rectangle over its whole area in its fill and border colours.
// Neither takes the mouse: clicks and movement go to the widget underneath.
// paintStar() draws the favourite star, five-pointed, into a box; drawCamMark() the mark of
// a cam in trouble.
#include "control/views.h"

#include <QColor>
#include <QPixmap>
#include <QWidget>

class QPainter;

// A favourite's fill: a gold dark enough to stand out on light rows and on the highlight.
inline const QColor StarFill = QColor(0xE0, 0x9A, 0x00);

// A five-pointed star, point up, as large as fits into box, its outline one pixel wide in
// outline, filled with fill (Qt::transparent: an empty star).
void paintStar(QPainter &painter, const QRectF &box, const QColor &outline, const QColor &fill);

// A cam list row's mark into rect: a red disc with a white cross (Failed), an amber disc
// with two dark bars (Unchanged), nothing for None.
void drawCamMark(QPainter &p, const QRect &rect, CamMark mark);

class LineShape : public QWidget
{
    Q_OBJECT
public:
    explicit LineShape(QWidget *parent = nullptr);

    void setLine(double x1, double y1, double x2, double y2);
    double x1() const { return m_x1; }
    double y1() const { return m_y1; }
    double x2() const { return m_x2; }
    double y2() const { return m_y2; }

    void setColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_x1 = 0, m_y1 = 0, m_x2 = 0, m_y2 = 0;
    QColor m_color = Qt::white;
};

class RoundedBox : public QWidget
{
    Q_OBJECT
public:
    RoundedBox(const QColor &fill, const QColor &border, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
    QColor m_border;
    QPixmap m_drawn;
};
