#include "picturearea.h"

#include "core/geometry/twips.h"
#include "core/rules/fetchrules.h"
#include "platform/scaleddrawing.h"

#include <cmath>
#include <cstring>

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QtMath>
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
    // Whoever draws on it now draws over any text too.
    forgetUnderText();
    return m_surface;
}

qreal PictureArea::pixelRatio() const
{
    return devicePixelRatio();
}

void PictureArea::clear()
{
    forgetUnderText();
    // The window too: its own hide event comes before its children count as hidden.
    if (!isVisible() || !window()->isVisible()) {
        // Nobody sees a hidden area: its black surface is made when it is shown or drawn
        // on, so a window not on show (the fullscreen one, mostly) holds no screen-sized
        // picture.
        m_surface = QImage(1, 1, QImage::Format_RGB32);
        m_surface.fill(Qt::black);
        return;
    }
    const qreal ratio = pixelRatio();
    const QSize wanted = deviceSize(size().expandedTo(QSize(1, 1)), ratio);
    if (m_surface.size() != wanted || m_surface.devicePixelRatio() != ratio) {
        m_surface = QImage(wanted, QImage::Format_RGB32);
        m_surface.setDevicePixelRatio(ratio);
    }
    m_surface.fill(Qt::black);
    update();
}

bool PictureArea::showSurface(const QImage &image)
{
    const qreal ratio = pixelRatio();
    if (image.size() != deviceSize(size().expandedTo(QSize(1, 1)), ratio) || image.devicePixelRatio() != ratio
        || image.format() != QImage::Format_RGB32)
        return false;
    m_surface = image;
    forgetUnderText();
    update();
    return true;
}

void PictureArea::drawShadowText(const QString &text)
{
    syncSurface();
    const QStaticText &laidOut = staticText(text);
    // The shadow's foot; a few pixels more for rounding.
    const int footRow = twips::toPixels(75) + qCeil(laidOut.size().height()) + 3;
    // Only the band of whole rows down to it is kept, so a refresh pays next to nothing.
    keepUnderText(int(std::ceil(footRow * m_surface.devicePixelRatio())));
    const QPoint shadowAt(twips::toPixels(135), twips::toPixels(75));
    const QPoint faceAt(twips::toPixels(120), twips::toPixels(60));
    QPainter p(&m_surface);
    p.setFont(font());
    p.setPen(Qt::black);
    p.drawStaticText(shadowAt, laidOut);
    p.setPen(Qt::white);
    p.drawStaticText(faceAt, laidOut);
    p.end();
    // Only the text is new: repainting the whole area for every state of a transfer cost a
    // copy of the whole surface each time. A pixel of margin for glyphs that overhang.
    const QSize textSize = laidOut.size().toSize() + QSize(1, 1);
    const QRect drawn = (QRect(shadowAt, textSize) | QRect(faceAt, textSize)).adjusted(-2, -2, 2, 2);
    m_textRect |= drawn;
    update(drawn);
}

// The bullets take a dozen texts at most; laying each out once spares the shaping at
// every state of every transfer.
const QStaticText &PictureArea::staticText(const QString &text)
{
    const qreal ratio = m_surface.devicePixelRatio();
    if (m_staticFont != font() || m_staticRatio != ratio) {
        m_staticTexts.clear();
        m_staticFont = font();
        m_staticRatio = ratio;
    }
    auto it = m_staticTexts.find(text);
    if (it == m_staticTexts.end()) {
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
        laidOut.prepare(QTransform::fromScale(ratio, ratio), font());
        it = m_staticTexts.insert(text, laidOut);
    }
    return *it;
}

void PictureArea::forgetUnderText()
{
    m_underText = QImage();
    m_textRect = QRect();
}

void PictureArea::keepUnderText(int bottomRow)
{
    const int rows = qBound(0, bottomRow, m_surface.height());
    if (!m_underText.isNull() && m_underText.bytesPerLine() != m_surface.bytesPerLine())
        forgetUnderText();
    const int kept = m_underText.isNull() ? 0 : m_underText.height();
    if (rows <= kept)
        return;
    // Rows below the band kept so far carry no text yet. Copied row by row in device
    // pixels, so the surface's pixel ratio plays no part.
    QImage band(m_surface.width(), rows, m_surface.format());
    const qsizetype rowBytes = band.bytesPerLine();
    for (int y = 0; y < rows; ++y)
        std::memcpy(band.scanLine(y), y < kept ? m_underText.constScanLine(y) : m_surface.constScanLine(y), rowBytes);
    m_underText = std::move(band);
}

void PictureArea::wipeShadowText()
{
    syncSurface();
    if (m_underText.isNull() || m_underText.bytesPerLine() != m_surface.bytesPerLine()
        || m_underText.height() > m_surface.height()) {
        forgetUnderText();
        return;
    }
    const qsizetype rowBytes = m_surface.bytesPerLine();
    for (int y = 0; y < m_underText.height(); ++y)
        std::memcpy(m_surface.scanLine(y), m_underText.constScanLine(y), rowBytes);
    // Only the text changed the band since it was kept.
    update(m_textRect & QRect(0, 0, width(), int(std::ceil(m_underText.height() / m_surface.devicePixelRatio()))));
    forgetUnderText();
}

ScaleError drawScaledPicture(PictureArea &target, const QImage &picture, ViewScaleMode mode)
{
    const ScaleError error = drawScaledPicture(target.surface(), target.size(), picture, mode);
    target.update();
    return error;
}

void PictureArea::paintEvent(QPaintEvent *event)
{
    // A surface let go while the area was hidden comes back black at the area's size.
    syncSurface();
    // Placed by its own ratio, the surface lands on the screen's device pixels one to one;
    // the painter's clip keeps the copy to the region being painted.
    QPainter p(this);
    p.drawImage(QPointF(0, 0), m_surface);
    paintNotes(p, event->region());
}

void PictureArea::setUnchangedBadge(const QString &text)
{
    if (text == m_badge)
        return;
    const QRect before = badgeRect();
    m_badge = text;
    update((before | badgeRect()).adjusted(-2, -2, 2, 2));
}

void PictureArea::setFailureReason(const QString &text)
{
    if (text == m_reason)
        return;
    const QRect before = reasonRect();
    m_reason = text;
    update((before | reasonRect()).adjusted(-2, -2, 2, 2));
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
    // Measured once per text, width and font rather than at every paint.
    if (m_plate.text != m_badge || m_plate.width != width() || m_plate.font != font()) {
        const QFontMetrics metrics(font());
        const int margin = twips::toPixels(120);
        const QSize plate(metrics.horizontalAdvance(m_badge) + 2 * 4, metrics.height() + 2 * 2);
        QRect r(QPoint(width() - margin - plate.width(), twips::toPixels(60)), plate);
        // Beside the bullets' row where the area is wide enough, under it otherwise.
        if (r.left() < bulletsRight(metrics))
            r.moveTop(twips::toPixels(75) + metrics.height() + 4);
        m_plate = {m_badge, width(), font(), r};
    }
    return m_plate.rect;
}

QRect PictureArea::reasonRect() const
{
    if (m_reason.isEmpty())
        return {};
    const int margin = twips::toPixels(120);
    const int lineHeight = QFontMetrics(font()).height();
    // The line's box and its shadow a pixel right and down.
    return QRect(margin, (height() - lineHeight) / 2, qMax(0, width() - 2 * margin - 1) + 1, lineHeight + 1);
}

void PictureArea::paintNotes(QPainter &p, const QRegion &region) const
{
    // Only where the region being painted meets them: a transfer's bullets or a comment
    // bar repaint small parts of the area, and laying the notes' text out is the dearest
    // part of painting.
    const QRect plate = badgeRect();
    const QRect reason = reasonRect();
    // A pixel or two of margin for glyphs and edges that overhang.
    const bool badge = !plate.isEmpty() && region.intersects(plate.adjusted(-2, -2, 2, 2));
    const bool line = !reason.isEmpty() && region.intersects(reason.adjusted(-2, -2, 2, 2));
    if (!badge && !line)
        return;
    p.setFont(font());
    if (badge) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 170));
        p.setRenderHint(QPainter::Antialiasing);
        p.drawRoundedRect(QRectF(plate), 3, 3);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(Qt::white);
        p.drawText(plate, Qt::AlignCenter, m_badge);
    }
    if (line) {
        const QFontMetrics metrics(font());
        const QRect box = reason.adjusted(0, 0, -1, -1);
        const QString shown = metrics.elidedText(m_reason, Qt::ElideRight, box.width());
        p.setPen(Qt::black);
        p.drawText(box.translated(1, 1), Qt::AlignHCenter | Qt::AlignTop, shown);
        p.setPen(Qt::white);
        p.drawText(box, Qt::AlignHCenter | Qt::AlignTop, shown);
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
    forgetUnderText();
    QImage next(wanted, QImage::Format_RGB32);
    next.setDevicePixelRatio(ratio);
    next.fill(Qt::black);
    QPainter p(&next);
    p.drawImage(0, 0, m_surface);
    p.end();
    m_surface = std::move(next);
}

bool PictureArea::drawsPictureAtOnce() const
{
    return m_drawing != Drawing::WhileVisible || isVisible();
}

bool PictureArea::pictureOnScreen() const
{
    if (m_drawing != Drawing::WhileOnScreen)
        return drawsPictureAtOnce();
    const QWidget *top = window();
    return isVisible() && top->isVisible() && !top->isMinimized() && !visibleRegion().isEmpty();
}

void PictureArea::showPicture(const QImage &picture, ViewScaleMode mode, const QImage &prepared)
{
    m_picture = picture;
    m_mode = mode;
    // Nobody sees a hidden area; scaling every picture into it is wasted.
    if (!drawsPictureAtOnce()) {
        m_drawPending = true;
        return;
    }
    (void)drawPicture(prepared);
}

ScaleError PictureArea::redrawPicture(ViewScaleMode mode)
{
    m_mode = mode;
    if (!drawsPictureAtOnce()) {
        m_drawPending = true;
        return ScaleError::None;
    }
    return drawPicture(QImage());
}

// A surface made for the area is shown as it is, with no second copy.
ScaleError PictureArea::drawPicture(const QImage &prepared)
{
    m_drawPending = false;
    if (!prepared.isNull() && !m_picture.isNull() && showSurface(prepared))
        return ScaleError::None;
    return drawScaledPicture(*this, m_picture, m_mode);
}

void PictureArea::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_drawPending)
        (void)drawPicture(QImage());
}

void PictureArea::clearPicture()
{
    m_drawPending = false;
    clear();
}

void PictureArea::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A surface nobody sees while drawing is put off: let go, drawn again when shown.
    if (m_drawing == Drawing::WhileVisible) {
        clear();
        m_drawPending = true;
    }
}
