#include "camlistaccessible.h"

#include "core/geometry/twips.h"
#include "ui/widgets/camlistwidget.h"

#include <QPointer>

namespace {

class CamRowAccessible : public QAccessibleInterface
{
public:
    CamRowAccessible(CamListWidget *list, int cam)
        : m_list(list)
        , m_cam(cam)
    {
    }

    bool isValid() const override { return m_list && m_cam < m_list->rowCount(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_list.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return isValid() && t == QAccessible::Name ? m_list->rowCaption(m_cam) : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QRect rect() const override
    {
        const QRect row = localRect();
        return isValid() ? QRect(m_list->mapToGlobal(row.topLeft()), row.size()) : QRect();
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.selectable = true;
        s.selected = isValid() && m_list->isSelectionShown(m_cam);
        s.invisible = !isValid() || !m_list->rect().intersects(localRect());
        return s;
    }

private:
    QRect localRect() const
    {
        if (!isValid())
            return {};
        return QRect(0, twips::toPixels(m_list->rowTop(m_cam)), twips::toPixels(CamListWidget::RowWidth),
                     twips::toPixels(CamListWidget::ItemHeight));
    }

    QPointer<CamListWidget> m_list;
    int m_cam;
};

QAccessibleInterface *camListFactory(const QString &, QObject *object)
{
    auto *list = qobject_cast<CamListWidget *>(object);
    return list ? new CamListAccessible(list) : nullptr;
}

} // namespace

CamListAccessible::CamListAccessible(CamListWidget *list)
    : QAccessibleWidget(list, QAccessible::List)
{
}

CamListAccessible::~CamListAccessible()
{
    for (const QAccessible::Id id : std::as_const(m_rows))
        QAccessible::deleteAccessibleInterface(id);
}

void CamListAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(camListFactory);
        return true;
    }();
    (void)installed;
}

CamListWidget *CamListAccessible::list() const
{
    return static_cast<CamListWidget *>(widget());
}

int CamListAccessible::childCount() const
{
    return list()->shownCount() + QAccessibleWidget::childCount();
}

QAccessibleInterface *CamListAccessible::child(int index) const
{
    const int rows = list()->shownCount();
    if (index < 0)
        return nullptr;
    if (index >= rows)
        return QAccessibleWidget::child(index - rows);
    return row(list()->camAt(index));
}

int CamListAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it) {
        if (QAccessible::accessibleInterface(it.value()) == child) {
            const std::optional<int> place = list()->placeOf(it.key());
            return place ? *place : -1;
        }
    }
    const int own = QAccessibleWidget::indexOfChild(child);
    return own < 0 ? -1 : list()->shownCount() + own;
}

QAccessibleInterface *CamListAccessible::row(int cam) const
{
    if (cam < 0 || cam >= list()->rowCount() || !list()->placeOf(cam))
        return nullptr;
    auto it = m_rows.constFind(cam);
    if (it == m_rows.cend())
        it = m_rows.insert(cam, QAccessible::registerAccessibleInterface(new CamRowAccessible(list(), cam)));
    return QAccessible::accessibleInterface(it.value());
}
