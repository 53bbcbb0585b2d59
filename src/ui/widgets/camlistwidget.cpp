#include "camlistwidget.h"

#include "core/catalogue/servertext.h"
#include "core/geometry/listgeometry.h"
#include "core/geometry/twips.h"
#include "core/state/favouritetexts.h"
#include "ui/pictures/pictures.h"
#include "ui/widgets/camlistaccessible.h"
#include "ui/widgets/shapes.h"
#include "ui/widgets/tooltiptext.h"

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>

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
    CamListAccessible::install();
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_nameFont.setPointSizeF(9.75);
    m_nameFont.setBold(true);
    m_nameFont.setStyleHint(QFont::SansSerif);
    // A notch over the scroll bar moves the rows as far as one over the rows.
    m_scroll->installEventFilter(this);
    createFilterLine();
}

int CamListWidget::rowsTopPixels() const
{
    return m_filterEdit->isHidden() ? 0 : m_filterEdit->height();
}

int CamListWidget::shownCount() const
{
    return m_shown ? int(m_shown->size()) : rowCount();
}

int CamListWidget::camAt(int place) const
{
    return m_shown ? m_shown->at(std::size_t(place)) : place;
}

std::optional<int> CamListWidget::placeOf(int cam) const
{
    if (!m_shown)
        return cam >= 0 && cam < rowCount() ? std::optional<int>(cam) : std::nullopt;
    const auto at = std::lower_bound(m_shown->begin(), m_shown->end(), cam);
    if (at == m_shown->end() || *at != cam)
        return std::nullopt;
    return int(at - m_shown->begin());
}

void CamListWidget::showOnly(const std::vector<int> &cams)
{
    m_shown = cams;
    setUpScrollBar(shownCount());
    m_scroll->setValue(0);
    m_first = 0;
    update();
}

void CamListWidget::showAll()
{
    m_shown.reset();
    setUpScrollBar(shownCount());
    update();
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
    const double rowsHeight = twips::fromPixels(height() - rowsTopPixels());
    const list_geometry::ScrollRange r = list_geometry::scrollRange(camCount, rowsHeight, ItemHeight);
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
    const std::optional<int> place = placeOf(k);
    if (!place)
        return;
    // Changing the value runs positionListItems() through the scroll bar's notification.
    m_scroll->setValue(list_geometry::scrollValueForCam(*place, ItemHeight, m_scroll->minimum(), m_scroll->maximum()));
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

void CamListWidget::setSelectionShown(int row, bool shown)
{
    set(row, SelectionShown, shown);
    if (!shown || !QAccessible::isActive())
        return;
    // Screen readers follow the highlight from row to row.
    auto *list = static_cast<CamListAccessible *>(QAccessible::queryAccessibleInterface(this));
    if (QAccessibleInterface *chosen = list ? list->row(row) : nullptr) {
        QAccessibleEvent selected(chosen, hasFocus() ? QAccessible::Focus : QAccessible::Selection);
        QAccessible::updateAccessibility(&selected);
    }
}
void CamListWidget::setNameHighlighted(int row, bool highlighted) { set(row, NameHighlighted, highlighted); }
bool CamListWidget::isSelectionShown(int row) const { return has(row, SelectionShown); }
void CamListWidget::setFavouriteShown(int row, bool favourite)
{
    set(row, Favourite, favourite);
    auto *list = QAccessible::isActive() ? static_cast<CamListAccessible *>(QAccessible::queryAccessibleInterface(this)) : nullptr;
    if (QAccessibleInterface *starred = list ? list->row(row) : nullptr) {
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(starred, changed);
        QAccessible::updateAccessibility(&event);
    }
}
void CamListWidget::setOwnShown(int row, bool own) { set(row, Own, own); }
bool CamListWidget::isFavouriteShown(int row) const { return has(row, Favourite); }
bool CamListWidget::isOwnShown(int row) const { return has(row, Own); }

double CamListWidget::rowTop(int row) const
{
    const std::optional<int> place = placeOf(row);
    if (!place)
        return -ItemHeight;
    return twips::fromPixels(rowsTopPixels()) + list_geometry::rowTop(*place, m_first, ItemHeight);
}

std::optional<int> CamListWidget::rowAt(QPoint pixel) const
{
    const int y = pixel.y() - rowsTopPixels();
    if (pixel.x() < 0 || pixel.x() >= twips::toPixels(RowWidth) || y < 0)
        return std::nullopt;
    const std::optional<int> place = list_geometry::rowAt(twips::fromPixels(y), m_first, ItemHeight, shownCount());
    if (!place)
        return std::nullopt;
    return camAt(*place);
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
    // Stripes follow the rows as shown, filtered or not.
    return palette().color(placeOf(row).value_or(row) % 2 ? QPalette::Midlight : QPalette::Base);
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
    const int rowsTop = rowsTopPixels();
    const int from = m_first + std::max(0, (event->rect().top() - rowsTop) / rowPixels);
    const int to = std::min(shownCount() - 1, m_first + std::max(0, event->rect().bottom() - rowsTop) / rowPixels);
    p.setFont(m_nameFont);
    for (int place = from; place <= to; ++place) {
        const int row = camAt(place);
        const int top = rowsTop + (place - m_first) * rowPixels;
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
        paintMarks(p, row, top);
    }
    if (hasFocus()) {
        // A ring in the highlight colour round the rows, whatever the style draws for focus.
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(0, rowsTop, std::min(width(), rowWidth), height() - rowsTop).adjusted(1, 1, -1, -1));
    }
}

void CamListWidget::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
}

void CamListWidget::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

void CamListWidget::mousePressEvent(QMouseEvent *event)
{
    const bool left = event->button() == Qt::LeftButton;
    m_pressedStar = left ? starAt(event->position().toPoint()) : std::nullopt;
    m_pressedRow = left && !m_pressedStar ? rowAt(event->position().toPoint()) : std::nullopt;
}

void CamListWidget::mouseReleaseEvent(QMouseEvent *event)
{
    // A click is a press and a release on the same row, or the same star.
    const QPoint at = event->position().toPoint();
    const std::optional<int> row = rowAt(at);
    if (event->button() == Qt::LeftButton && m_pressedStar && starAt(at) == m_pressedStar)
        emit starClicked(*m_pressedStar);
    else if (event->button() == Qt::LeftButton && row && row == m_pressedRow)
        emit rowClicked(*row);
    m_pressedRow.reset();
    m_pressedStar.reset();
}

std::optional<int> CamListWidget::starAt(QPoint pixel) const
{
    const std::optional<int> row = rowAt(pixel);
    if (!row || !toPixels(starRect(), twips::toPixels(rowTop(*row))).contains(pixel))
        return std::nullopt;
    return row;
}

void CamListWidget::paintMarks(QPainter &p, int row, int top)
{
    const QColor ink = nameColor(row);
    paintStar(p, toPixels(starRect(), top), ink, isFavouriteShown(row) ? StarFill : QColor(Qt::transparent));
    if (!isOwnShown(row))
        return;
    const QRect tag = toPixels(ownTagRect(), top);
    QFont small = m_nameFont;
    small.setPointSizeF(7.5);
    p.save();
    p.setFont(small);
    p.setPen(ink);
    p.setBrush(Qt::NoBrush);
    p.setRenderHint(QPainter::Antialiasing);
    p.drawRoundedRect(QRectF(tag).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    p.drawText(tag, Qt::AlignCenter | Qt::TextSingleLine, favourite_texts::OwnCamTag);
    p.restore();
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
    if (const std::optional<int> star = starAt(event->pos())) {
        const QRect r = toPixels(starRect(), twips::toPixels(rowTop(*star)));
        QToolTip::showText(event->globalPos(), isFavouriteShown(*star) ? favourite_texts::RemoveTip : favourite_texts::AddTip,
                           this, r);
        return;
    }
    const std::optional<int> row = rowAt(event->pos());
    if (!row) {
        QToolTip::showText(event->globalPos(), toolTip(), this); // the list's own, under its rows
        return;
    }
    if (rowShownCaption(*row) == m_names[*row]) {
        QToolTip::hideText();
        return;
    }
    const QRect rowRect(0, twips::toPixels(rowTop(*row)), twips::toPixels(RowWidth), twips::toPixels(ItemHeight));
    QToolTip::showText(event->globalPos(), plainToolTip(m_names[*row]), this, rowRect);
}

bool CamListWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_filterEdit && event->type() == QEvent::KeyPress)
        return filterKey(static_cast<QKeyEvent *>(event));
    if (watched == m_favouritesOnly && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        closeFilter();
        return true;
    }
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
