#include "picturearea.h"

#include "core/geometry/twips.h"
#include "core/rules/fetchrules.h"
#include "platform/scaleddrawing.h"

#include <QFontMetrics>
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
    p.setPen(Qt::black);
    p.drawText(QRect(QPoint(twips::toPixels(135), twips::toPixels(75)), big), Qt::AlignLeft | Qt::AlignTop, text);
    p.setPen(Qt::white);
    p.drawText(QRect(QPoint(twips::toPixels(120), twips::toPixels(60)), big), Qt::AlignLeft | Qt::AlignTop, text);
    p.end();
    update();
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
    paintNotes(p);
}

void PictureArea::setUnchangedBadge(const QString &text)
{
    if (text == m_badge)
        return;
    m_badge = text;
    update();
}

void PictureArea::setFailureReason(const QString &text)
{
    if (text == m_reason)
        return;
    m_reason = text;
    update();
}

namespace {

// The room the transfer bullets take: their origin, and the widest row of them.
constexpr int BulletsMaxCount = 12;

int bulletsRight(const QFontMetrics &metrics)
{
    return twips::toPixels(135) + metrics.horizontalAdvance(fetch_rules::stateBullets(BulletsMaxCount)) + 1;
}

} // namespace

QRect PictureArea::badgeRect() const
{
    if (m_badge.isEmpty())
        return {};
    const QFontMetrics metrics(font());
    const int margin = twips::toPixels(120);
    const QSize plate(metrics.horizontalAdvance(m_badge) + 2 * 4, metrics.height() + 2 * 2);
    QRect r(QPoint(width() - margin - plate.width(), twips::toPixels(60)), plate);
    // Beside the bullets' row where the area is wide enough, under it otherwise.
    if (r.left() < bulletsRight(metrics))
        r.moveTop(twips::toPixels(75) + metrics.height() + 4);
    return r;
}

void PictureArea::paintNotes(QPainter &p) const
{
    if (m_badge.isEmpty() && m_reason.isEmpty())
        return;
    p.setFont(font());
    const QFontMetrics metrics(font());
    if (!m_badge.isEmpty()) {
        const QRect plate = badgeRect();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 170));
        p.setRenderHint(QPainter::Antialiasing);
        p.drawRoundedRect(QRectF(plate), 3, 3);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(Qt::white);
        p.drawText(plate, Qt::AlignCenter, m_badge);
    }
    if (!m_reason.isEmpty()) {
        const int margin = twips::toPixels(120);
        const QString line = metrics.elidedText(m_reason, Qt::ElideRight, qMax(0, width() - 2 * margin - 1));
        const QRect box(margin, (height() - metrics.height()) / 2, qMax(0, width() - 2 * margin - 1),
                        metrics.height());
        p.setPen(Qt::black);
        p.drawText(box.translated(1, 1), Qt::AlignHCenter | Qt::AlignTop, line);
        p.setPen(Qt::white);
        p.drawText(box, Qt::AlignHCenter | Qt::AlignTop, line);
    }
}

void PictureArea::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

void PictureArea::resizeEvent(QResizeEvent *)
{
    syncSurface();
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
