// The cam list's filter line and its "favourites only" switch.
#include "camlistwidget.h"

#include "core/state/favouritetexts.h"
#include "ui/widgets/shapes.h"

#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>

namespace {

// The switch's star, empty while off and filled while on, sharp up to twice the pixels.
QIcon starIcon(const QColor &outline)
{
    QIcon icon;
    for (const int size : {16, 32}) {
        for (const bool on : {false, true}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            paintStar(p, QRectF(0, 0, size, size), outline, on ? StarFill : QColor(Qt::transparent));
            p.end();
            icon.addPixmap(pixmap, QIcon::Normal, on ? QIcon::On : QIcon::Off);
        }
    }
    return icon;
}

} // namespace

void CamListWidget::createFilterLine()
{
    m_filterEdit = new QLineEdit(this);
    m_filterEdit->setObjectName(QStringLiteral("camFilter"));
    m_filterEdit->setPlaceholderText(QStringLiteral("Find a cam"));
    m_filterEdit->setClearButtonEnabled(true);
    m_filterEdit->hide();
    m_filterEdit->installEventFilter(this);
    connect(m_filterEdit, &QLineEdit::textChanged, this, &CamListWidget::filterTextChanged);

    m_favouritesOnly = new QToolButton(this);
    m_favouritesOnly->setObjectName(QStringLiteral("favouritesOnly"));
    m_favouritesOnly->setCheckable(true);
    m_favouritesOnly->setAutoRaise(true);
    m_favouritesOnly->setIcon(starIcon(palette().color(QPalette::ButtonText)));
    m_favouritesOnly->setToolTip(favourite_texts::FavouritesOnlyTip);
    m_favouritesOnly->setAccessibleName(favourite_texts::FavouritesOnly);
    m_favouritesOnly->hide();
    m_favouritesOnly->installEventFilter(this);
    connect(m_favouritesOnly, &QToolButton::toggled, this, &CamListWidget::favouritesOnlyToggled);
}

void CamListWidget::openFilter()
{
    if (m_filterEdit->isHidden()) {
        // Beside the scroll bar, which lies over the rows' right end; the switch at the end.
        const int besideScrollBar = m_scroll->parentWidget() == parentWidget() ? m_scroll->x() - x() : width();
        const int height = m_filterEdit->sizeHint().height();
        const int lineWidth = std::clamp(besideScrollBar - height, 1, width());
        m_filterEdit->setGeometry(0, 0, lineWidth, height);
        m_favouritesOnly->setGeometry(lineWidth, 0, height, height);
        m_filterEdit->show();
        m_favouritesOnly->show();
        setUpScrollBar(shownCount());
        update();
        emit filterOpened();
    }
    m_filterEdit->setFocus(Qt::ShortcutFocusReason);
    m_filterEdit->selectAll();
}

void CamListWidget::closeFilter()
{
    if (m_filterEdit->isHidden())
        return;
    m_filterEdit->hide();
    m_favouritesOnly->hide();
    m_filterEdit->clear();
    showAll();
    emit filterClosed();
}

bool CamListWidget::isFilterOpen() const
{
    return !m_filterEdit->isHidden();
}

bool CamListWidget::filterKey(const QKeyEvent *key)
{
    switch (key->key()) {
    case Qt::Key_Up:
        emit filterStepped(-1);
        return true;
    case Qt::Key_Down:
        emit filterStepped(1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit filterAccepted();
        return true;
    case Qt::Key_Escape:
        closeFilter();
        return true;
    default:
        return false;
    }
}
