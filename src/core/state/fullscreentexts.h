#pragma once
// The texts the fullscreen and overlay windows show, word for word.
#include <QString>

namespace fullscreen_texts {

inline const QString Caption = QStringLiteral("lumora viewer fullscreen window");
// Appended to the main window's title to give the fullscreen window's.
inline const QString CaptionSuffix = QStringLiteral(" (fullscreen window)");
inline const QString InfoBarEnabled = QStringLiteral("Info-Bar enabled");
inline const QString InfoBarDisabled = QStringLiteral("Info-Bar disabled");
inline const QString StatusText = QStringLiteral("StatusText");
inline const QString AutoShuffleDesign = QStringLiteral("Auto Shuffle in 0 sec.");
// The overlay's figures before the first cam: while they read so the overlay stays hidden.
inline const QString NoCamData = QStringLiteral("...");
inline const QString Commenter = QStringLiteral("Commenter");
inline const QString Comment = QStringLiteral("Comment");
inline const QString FullscreenDateDesign = QStringLiteral("31.12.1899 23:59");
inline const QString MainDateDesign = QStringLiteral("31.12.1899 23:59:59");
inline const QString UserCommentTab = QStringLiteral("User Comment");

} // namespace fullscreen_texts
