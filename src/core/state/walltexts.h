#pragma once
// The wall's words, as the window and the main window's toolbar show them.
#include <QString>

namespace wall_texts {

inline const QString WindowTitle = QStringLiteral("Wall - lumora viewer");
inline const QString ButtonText = QStringLiteral("Wall");
inline const QString ButtonTip = QStringLiteral("The favourites, or the first cams of the list, side by side (Ctrl+G)");

} // namespace wall_texts
