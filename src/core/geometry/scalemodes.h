#pragma once
// The scale modes as the toolbar names them, and the step of its scale-mode button.
//
// The toolbar's texts are the ones compared; the hidden option buttons carry their own
// captions, which are never compared.
#include "core/geometry/scalegeometry.h"

#include <QString>
#include <QStringList>

namespace scale_modes {

inline const QString Stretch = QStringLiteral("Stretch");
inline const QString ScaleInline = QStringLiteral("Scale Inline");
inline const QString ScaleOutline = QStringLiteral("Scale Outline");
inline const QString RandomCam = QStringLiteral("Random Cam");

// The scale-mode button's menu, items 1 to 3 in this order.
inline const QStringList MenuItems = {Stretch, ScaleInline, ScaleOutline};

// Captions of the hidden option buttons 0 to 2.
inline const QStringList OptionCaptions = {
    QStringLiteral("Stretch"), QStringLiteral("Scale inline"), QStringLiteral("Scale outline")};

// The menu item (1 to 3) a click on the scale-mode button chooses, from the caption it
// shows now; 0 for a caption that names no mode.
inline int nextMenuItem(const QString &caption)
{
    if (caption == Stretch)
        return 2;
    if (caption == ScaleInline)
        return 3;
    if (caption == ScaleOutline)
        return 1;
    return 0;
}

// The option button (0 to 2) a menu text selects, -1 for none; exact, case-sensitive.
inline int optionForMenuText(const QString &text)
{
    return int(MenuItems.indexOf(text));
}

// The hidden option buttons 0 to 2 and the menu items 1 to 3 stand for the modes in
// their declared order.
inline ViewScaleMode modeForOption(int option)
{
    return option >= 0 && option < 3 ? ViewScaleMode(option) : ViewScaleMode::Unselected;
}

inline int optionForMode(ViewScaleMode mode)
{
    return mode == ViewScaleMode::Unselected ? -1 : int(mode);
}

// The scale-mode button's caption for a mode; empty for none.
inline QString caption(ViewScaleMode mode)
{
    return MenuItems.value(optionForMode(mode));
}

} // namespace scale_modes
