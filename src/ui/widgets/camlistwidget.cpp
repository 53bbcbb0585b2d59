#include "camlistwidget.h"

#include "core/catalogue/servertext.h"
#include "core/geometry/listgeometry.h"
#include "core/geometry/twips.h"
#include "ui/pictures/pictures.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>

namespace {

QRect toPixels(const QRect &t, int top)
{
    return {twips::toPixels(t.x()), top + twips::toPixels(t.y()), twips::toPixels(t.width()),
            twips::toPixels(t.height())};
}

} // namespace

CamListWidget::CamListWidget(QScrollBar *scroll, QWidget *parent)
    : QWidget(parent)
    , m_scroll(scroll)
    , m_nameFont(QStringLiteral("Tahoma"))
{
    setObjectName(QStringLiteral("CamList"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_nameFont.setPointSizeF(9.75);
    m_nameFont.setBold(true);
    m_nameFont.setStyleHint(QFont::SansSerif);
    // A notch over the scroll bar moves the rows as far as one over the rows.
    m_scroll->installEventFilter(this);
}

void CamListWidget::addRow(const QString &camName, const QString &rating)
{
    m_names.append(server_text::shown(camName, server_text::LineLimit));
    m_pictures.push_back(static_cast<signed char>(list_geometry::ratingPicture(rating).value_or(0)));
    m_flags.push_back(0);
    update();
}

double CamListWidget::heightInTwips() const { return twips::fromPixels(height()); }

void CamListWidget::setUpScrollBar(int camCount)
{
    const list_geometry::ScrollRange r = list_geometry::scrollRange(camCount, heightInTwips(), ItemHeight);
    m_scroll->setMinimum(0);
    m_scroll->setMaximum(r.Max);
    m_scroll->setPageStep(r.LargeChange);
    m_scroll->setSingleStep(1);
}

void CamListWidget::positionListItems()
{
    const int first = list_geometry::firstRow(m_scroll->value(), ItemHeight);
    if (first == m_first)
        return;
    m_first = first;
    update();
}

void CamListWidget::scrollToCam(int k)
{
    // Changing the value runs positionListItems() through the scroll bar's notification.
    m_scroll->setValue(list_geometry::scrollValueForCam(k, ItemHeight, m_scroll->minimum(), m_scroll->maximum()));
    // The wheel may have left the rows off the value's own place, and an unchanged value
    // notifies nobody.
    positionListItems();
}

bool CamListWidget::has(int row, Flag f) const
{
    return row >= 0 && row < rowCount() && (m_flags[row] & f);
}

void CamListWidget::set(int row, Flag f, bool on)
{
    if (row < 0 || row >= rowCount())
        return;
    const unsigned char before = m_flags[row];
    m_flags[row] = on ? (before | f) : (before & ~f);
    if (m_flags[row] != before)
        update(0, twips::toPixels(rowTop(row)), width(), twips::toPixels(ItemHeight));
}

void CamListWidget::setSelectionShown(int row, bool shown) { set(row, SelectionShown, shown); }
void CamListWidget::setNameHighlighted(int row, bool highlighted) { set(row, NameHighlighted, highlighted); }
bool CamListWidget::isSelectionShown(int row) const { return has(row, SelectionShown); }

double CamListWidget::rowTop(int row) const { return list_geometry::rowTop(row, m_first, ItemHeight); }

std::optional<int> CamListWidget::rowAt(QPoint pixel) const
{
    if (pixel.x() < 0 || pixel.x() >= twips::toPixels(RowWidth))
        return std::nullopt;
    return list_geometry::rowAt(twips::fromPixels(pixel.y()), m_first, ItemHeight, rowCount());
}

QString CamListWidget::rowCaption(int row) const { return m_names.value(row); }

QString CamListWidget::rowShownCaption(int row) const
{
    const QFontMetrics metrics(m_nameFont, this);
    return metrics.elidedText(m_names.value(row), Qt::ElideRight, toPixels(nameRect(), 0).width());
}

std::optional<int> CamListWidget::rowPicture(int row) const
{
    if (row < 0 || row >= rowCount() || m_pictures[row] == 0)
        return std::nullopt;
    return m_pictures[row];
}

QColor CamListWidget::rowBackground(int row) const
{
    return palette().color(row % 2 ? QPalette::Midlight : QPalette::Base);
}

QColor CamListWidget::nameColor(int row) const
{
    return palette().color(has(row, NameHighlighted) ? QPalette::HighlightedText : QPalette::ButtonText);
}

void CamListWidget::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    p.fillRect(event->rect(), palette().color(QPalette::Base));
    const int rowPixels = twips::toPixels(ItemHeight);
    const int rowWidth = twips::toPixels(RowWidth);
    const int from = m_first + std::max(0, event->rect().top() / rowPixels);
    const int to = std::min(rowCount() - 1, m_first + event->rect().bottom() / rowPixels);
    p.setFont(m_nameFont);
    for (int row = from; row <= to; ++row) {
        const int top = (row - m_first) * rowPixels;
        const QRect rowRect(0, top, rowWidth, rowPixels);
        p.fillRect(rowRect, rowBackground(row));
        if (isSelectionShown(row))
            p.fillRect(rowRect, palette().color(QPalette::Highlight));
        if (const auto picture = rowPicture(row)) {
            const QRect r = toPixels(ratingRect(), top);
            p.save();
            p.setClipRect(r);
            p.drawPixmap(r.topLeft(), pictures::imageListPicture(*picture));
            p.restore();
        }
        p.setPen(nameColor(row));
        p.drawText(toPixels(nameRect(), top), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, rowShownCaption(row));
    }
}

void CamListWidget::mousePressEvent(QMouseEvent *event)
{
    m_pressedRow = event->button() == Qt::LeftButton ? rowAt(event->position().toPoint()) : std::nullopt;
}

void CamListWidget::mouseReleaseEvent(QMouseEvent *event)
{
    // A click is a press and a release on the same row.
    const std::optional<int> row = rowAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && row && row == m_pressedRow)
        emit rowClicked(*row);
    m_pressedRow.reset();
}

bool CamListWidget::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    showNameTip(static_cast<QHelpEvent *>(event));
    return true;
}

void CamListWidget::showNameTip(const QHelpEvent *event)
{
    const std::optional<int> row = rowAt(event->pos());
    if (!row || rowShownCaption(*row) == m_names[*row]) {
        QToolTip::hideText();
        return;
    }
    const QRect rowRect(0, twips::toPixels(rowTop(*row)), twips::toPixels(RowWidth), twips::toPixels(ItemHeight));
    QToolTip::showText(event->globalPos(), m_names[*row], this, rowRect);
}

bool CamListWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_scroll || event->type() != QEvent::Wheel)
        return QWidget::eventFilter(watched, event);
    scrollByWheel(static_cast<QWheelEvent *>(event));
    return true;
}

void CamListWidget::wheelEvent(QWheelEvent *event) { scrollByWheel(event); }

void CamListWidget::scrollByWheel(QWheelEvent *event)
{
    event->accept();
    const int angle = event->angleDelta().y();
    if (angle == 0)
        return;
    // Fine-grained wheels and touchpads send parts of a notch; a turn back drops what is left.
    if ((angle > 0) != (m_wheelAngle > 0))
        m_wheelAngle = 0;
    m_wheelAngle += angle;
    const int notches = m_wheelAngle / QWheelEvent::DefaultDeltasPerStep;
    if (notches == 0)
        return;
    m_wheelAngle -= notches * QWheelEvent::DefaultDeltasPerStep;
    const int first = list_geometry::firstRowMovedBy(m_first, -notches * QApplication::wheelScrollLines(),
                                                     m_scroll->maximum(), ItemHeight);
    if (first == m_first)
        return;
    m_first = first;
    update();
    // The thumb follows to its nearest value without moving the rows back onto that value.
    const QSignalBlocker quiet(m_scroll);
    m_scroll->setValue(list_geometry::scrollValueForFirstRow(first, ItemHeight, m_scroll->maximum()));
}
