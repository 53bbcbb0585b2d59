#include "picturearea.h"

#include "core/geometry/twips.h"
#include "platform/scaleddrawing.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

PictureArea::PictureArea(QWidget *parent)
    : QWidget(parent)
    , m_surface(1, 1, QImage::Format_RGB32)
{
    // The surface covers every pixel, so nothing needs to be erased before painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_surface.fill(Qt::black);
}

QImage &PictureArea::surface()
{
    syncSurface();
    return m_surface;
}

qreal PictureArea::pixelRatio() const
{
    return devicePixelRatio();
}

void PictureArea::clear()
{
    const qreal ratio = pixelRatio();
    const QSize wanted = deviceSize(size().expandedTo(QSize(1, 1)), ratio);
    if (m_surface.size() != wanted || m_surface.devicePixelRatio() != ratio) {
        m_surface = QImage(wanted, QImage::Format_RGB32);
        m_surface.setDevicePixelRatio(ratio);
    }
    m_surface.fill(Qt::black);
    update();
}

void PictureArea::drawShadowText(const QString &text)
{
    syncSurface();
    QPainter p(&m_surface);
    p.setFont(font());
    const QSize big(m_surface.width() + 1000, m_surface.height() + 1000);
    QRect shadow;
    QRect face;
    p.setPen(Qt::black);
    p.drawText(QRect(QPoint(twips::toPixels(135), twips::toPixels(75)), big), Qt::AlignLeft | Qt::AlignTop, text,
               &shadow);
    p.setPen(Qt::white);
    p.drawText(QRect(QPoint(twips::toPixels(120), twips::toPixels(60)), big), Qt::AlignLeft | Qt::AlignTop, text,
               &face);
    p.end();
    // Only the text is new: repainting the whole area for every state of a transfer cost a
    // copy of the whole surface each time. A pixel of margin for glyphs that overhang.
    update((shadow | face).adjusted(-2, -2, 2, 2));
}

ScaleError drawScaledPicture(PictureArea &target, const QImage &picture, ViewScaleMode mode)
{
    const ScaleError error = drawScaledPicture(target.surface(), target.size(), picture, mode);
    target.update();
    return error;
}

void PictureArea::paintEvent(QPaintEvent *)
{
    // Placed by its own ratio, the surface lands on the screen's device pixels one to one;
    // the painter's clip keeps the copy to the region being painted.
    QPainter p(this);
    p.drawImage(QPointF(0, 0), m_surface);
}

void PictureArea::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

void PictureArea::resizeEvent(QResizeEvent *)
{
    syncSurface();
    emit areaChanged();
}

bool PictureArea::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    // A move to a screen of another pixel ratio.
    if (event->type() == QEvent::ScreenChangeInternal && pixelRatio() != m_surface.devicePixelRatio())
        emit areaChanged();
    return handled;
}

// A hidden widget hears of its resize only when shown, so the size is checked on use.
void PictureArea::syncSurface()
{
    const qreal ratio = pixelRatio();
    const QSize wanted = deviceSize(size().expandedTo(QSize(1, 1)), ratio);
    if (wanted == m_surface.size() && ratio == m_surface.devicePixelRatio())
        return;
    QImage next(wanted, QImage::Format_RGB32);
    next.setDevicePixelRatio(ratio);
    next.fill(Qt::black);
    QPainter p(&next);
    p.drawImage(0, 0, m_surface);
    p.end();
    m_surface = std::move(next);
}

PictureHolder::PictureHolder(QWidget *parent)
    : QWidget(parent)
{
    hide();
}

void PictureHolder::setPicture(const QImage &picture)
{
    m_picture = picture;
    if (!m_picture.isNull())
        resize(m_picture.size());
}
