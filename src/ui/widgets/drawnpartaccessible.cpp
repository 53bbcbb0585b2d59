#include "drawnpartaccessible.h"

#include <QWindow>

#include <utility>

DrawnPartAccessible::DrawnPartAccessible(QWidget *owner, DrawnPart part)
    : m_owner(owner)
    , m_part(std::move(part))
{
}

bool DrawnPartAccessible::isValid() const
{
    return m_owner && m_part.valid();
}

QWindow *DrawnPartAccessible::window() const
{
    return m_owner ? m_owner->window()->windowHandle() : nullptr;
}

QAccessibleInterface *DrawnPartAccessible::parent() const
{
    return QAccessible::queryAccessibleInterface(m_owner.data());
}

QString DrawnPartAccessible::text(QAccessible::Text t) const
{
    return isValid() ? m_part.text(t) : QString();
}

QRect DrawnPartAccessible::rect() const
{
    if (!isValid())
        return {};
    const QRect local = m_part.localRect();
    return QRect(m_owner->mapToGlobal(local.topLeft()), local.size());
}

QAccessible::State DrawnPartAccessible::state() const
{
    QAccessible::State s;
    s.selectable = bool(m_part.selected);
    s.selected = isValid() && m_part.selected && m_part.selected();
    s.checkable = bool(m_part.checked);
    s.checked = isValid() && m_part.checked && m_part.checked();
    s.invisible = !isValid() || !m_owner->isVisible() || !m_owner->rect().intersects(m_part.localRect());
    return s;
}
