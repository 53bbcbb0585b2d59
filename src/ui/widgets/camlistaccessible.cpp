#include "camlistaccessible.h"

#include "core/geometry/twips.h"
#include "core/state/favouritetexts.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/drawnpartaccessible.h"

#include <QPointer>

namespace {

// A row of the cam list: its cam's name, selected where the highlight is, checked where it
// is a favourite; the description says "favourite" and "your own cam" where they hold.
DrawnPart camRow(CamListWidget *list, int cam)
{
    const QPointer<CamListWidget> owner(list);
    const auto valid = [owner, cam] { return owner && cam < owner->rowCount(); };
    DrawnPart row;
    row.role = QAccessible::ListItem;
    row.valid = valid;
    row.text = [owner, cam](QAccessible::Text t) {
        if (t == QAccessible::Name)
            return owner->rowCaption(cam);
        if (t != QAccessible::Description)
            return QString();
        QStringList marks;
        if (owner->isFavouriteShown(cam))
            marks.append(favourite_texts::FavouriteDescription);
        if (owner->isOwnShown(cam))
            marks.append(favourite_texts::OwnCamDescription);
        return marks.join(QLatin1String(", "));
    };
    row.localRect = [owner, cam, valid] {
        if (!valid())
            return QRect();
        return QRect(0, twips::toPixels(owner->rowTop(cam)), twips::toPixels(CamListWidget::RowWidth),
                     twips::toPixels(CamListWidget::ItemHeight));
    };
    row.selected = [owner, cam, valid] { return valid() && owner->isSelectionShown(cam); };
    row.checked = [owner, cam, valid] { return valid() && owner->isFavouriteShown(cam); };
    return row;
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
    installAccessibleFactory<CamListWidget, CamListAccessible>();
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
        it = m_rows.insert(cam, QAccessible::registerAccessibleInterface(new DrawnPartAccessible(list(), camRow(list(), cam))));
    return QAccessible::accessibleInterface(it.value());
}
