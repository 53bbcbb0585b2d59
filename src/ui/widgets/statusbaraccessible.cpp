#include "statusbaraccessible.h"

#include "ui/widgets/drawnpartaccessible.h"
#include "ui/widgets/statusbar.h"

#include <QPointer>

namespace {

DrawnPart statusPanel(StatusBar *bar, int panel)
{
    const QPointer<StatusBar> owner(bar);
    DrawnPart part;
    part.valid = [owner] { return !owner.isNull(); };
    part.text = [owner, panel](QAccessible::Text t) {
        if (t == QAccessible::Name)
            return owner->panelName(panel);
        return t == QAccessible::Value || t == QAccessible::Description ? owner->panelText(panel) : QString();
    };
    part.localRect = [owner, panel] { return owner ? owner->panelGeometry(panel) : QRect(); };
    return part;
}

} // namespace

static_assert(StatusBar::PanelCount == 5);

StatusBarAccessible::StatusBarAccessible(StatusBar *bar)
    : QAccessibleWidget(bar, QAccessible::StatusBar)
{
    for (int panel = 1; panel <= StatusBar::PanelCount; ++panel)
        m_panels[std::size_t(panel - 1)] =
            QAccessible::registerAccessibleInterface(new DrawnPartAccessible(bar, statusPanel(bar, panel)));
}

StatusBarAccessible::~StatusBarAccessible()
{
    for (const QAccessible::Id id : m_panels)
        QAccessible::deleteAccessibleInterface(id);
}

void StatusBarAccessible::install()
{
    installAccessibleFactory<StatusBar, StatusBarAccessible>();
}

int StatusBarAccessible::childCount() const
{
    return StatusBar::PanelCount;
}

QAccessibleInterface *StatusBarAccessible::child(int index) const
{
    return index >= 0 && index < StatusBar::PanelCount ? QAccessible::accessibleInterface(m_panels[std::size_t(index)])
                                                        : nullptr;
}

int StatusBarAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    for (int i = 0; i < StatusBar::PanelCount; ++i) {
        if (QAccessible::accessibleInterface(m_panels[std::size_t(i)]) == child)
            return i;
    }
    return -1;
}
