#pragma once
// The main window's controls as tooltips and screen readers name them, word for word.
// Each tooltip names the control's key command, where it has one.
#include <QString>

#include <array>

namespace control_texts {

inline const QString CamListName = QStringLiteral("Cam list");
inline const QString CamListTip =
    QStringLiteral("The cams: Up, Down, Page Up, Page Down, Home and End choose one; Ctrl+F or / finds one");
// A list row's mark of a cam in trouble, as screen readers describe the row.
inline const QString CamFailedMark = QStringLiteral("Last refresh failed");
inline const QString CamUnchangedMark = QStringLiteral("Picture unchanged for long");
inline const QString ScaleModeName = QStringLiteral("Scale mode");
inline const QString ScaleModeTip = QStringLiteral("How the picture fills its area: the next mode (s), or pick one from the arrow");
inline const QString RandomCamName = QStringLiteral("Random Cam");
inline const QString RandomCamTip = QStringLiteral("Show a random cam (r)");
inline const QString RefreshName = QStringLiteral("Refresh interval in seconds");
inline const QString RefreshTip = QStringLiteral("Seconds between two downloads of the picture (F5: now)");
inline const QString CommentsName = QStringLiteral("Show user comments");
inline const QString CommentsTip = QStringLiteral("The users' comments on the cam over the picture (c)");
inline const QString AutoShuffleName = QStringLiteral("Auto shuffle");
inline const QString AutoShuffleTip = QStringLiteral("A random cam each time the interval runs out (a)");
inline const QString ShuffleIntervalName = QStringLiteral("Auto-shuffle interval in seconds");
inline const QString ShuffleIntervalTip = QStringLiteral("Seconds until auto shuffle picks the next cam");
inline const QString DescriptionName = QStringLiteral("Cam description");
inline const QString DescriptionTip = QStringLiteral("The cam's name and description");
inline const QString StatusBarName = QStringLiteral("Cam figures");
// The status bar's panels, 1 to 5.
inline const std::array<QString, 5> PanelNames{
    QStringLiteral("Who added the cam"), QStringLiteral("Views"), QStringLiteral("Comments"), QStringLiteral("Rating"),
    QStringLiteral("Last download")};

} // namespace control_texts
