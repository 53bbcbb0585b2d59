#pragma once
// The program's icon: one SVG drawing compiled into the program, the same file the install
// puts into the hicolor theme. The window icon and the theme's bitmaps are all rendered
// from it, so they cannot drift apart.
#include <QIcon>
#include <QImage>
#include <QList>

namespace appicon {

// The name in the icon theme and of the desktop entry (without ".desktop").
inline const QString ThemeName = QStringLiteral("io.lumora.Viewer");

// The bitmap sizes the theme gets: the sizes desktops ask for in menus, panels and switchers.
QList<int> bitmapSizes();

// The drawing rendered at size x size pixels, transparent where it leaves the square
// uncovered; a null image when the drawing is missing or the size is not positive.
QImage render(int size);

// The window icon: the drawing rendered at every bitmap size.
QIcon icon();

} // namespace appicon
