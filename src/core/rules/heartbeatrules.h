#pragma once
// The arithmetic of the one-second heartbeat, free of widgets: the two countdowns, the
// side switch of the overlay and the texts the tick writes.
#include "core/rules/countdown.h"

#include <QStringList>

#include <functional>

namespace heartbeat {

inline const QString TitleSuffix = QStringLiteral(" - lumora viewer 5");
inline const QString FullscreenTitleSuffix = QStringLiteral(" (fullscreen window)");

// Refresh: a countdown at 0 or below is reloaded from the refresh box and a fetch runs;
// otherwise it counts down.
struct RefreshStep
{
    ::countdown::Countdown countdown;
    bool fetch = false;
};
// The interval is read only when the countdown is reloaded.
RefreshStep refreshStep(const countdown::Countdown &current, const std::function<QString()> &readInterval);
// Reloaded from the refresh box's text as countdown::readInterval reads it.
RefreshStep refreshStep(const countdown::Countdown &current, const QString &refreshBox, QString &lastReadable);

// Auto shuffle: a countdown at 0 or below jumps to a random cam when auto shuffle is on;
// above 0 it counts down only while auto shuffle is on.
struct ShuffleStep
{
    ::countdown::Countdown countdown;
    bool pick = false;
};
ShuffleStep shuffleStep(const countdown::Countdown &current, bool autoShuffle);

// After a refresh that showed no picture: the refresh countdown that makes the next try
// come waitMs after the refresh's end (the tick that finds 0 tries), waitMs being the
// refresh interval backed off for failuresInARow failures (retry_rules::nextTryMs).
struct RetryStep
{
    int countdown = 0;
    int waitMs = 0;
};
RetryStep retryAfterFailure(int intervalSeconds, int failuresInARow);

// Where the overlay and the fullscreen status box go when the cam changes (twips): the
// overlay to the other edge of the screen, the status box to the side opposite it.
struct Sides
{
    int overlayLeft = 0;
    int statusBoxLeft = 0;
    int statusMessageLeft = 0;
};
Sides switchSides(int screenWidth, int overlayLeft, int overlayWidth, int statusBoxWidth, int statusMessageWidth);

// "Views: <views> | Comments: <comments>" CR LF "Cam added by: <name>".
QString overlayFigures(const QStringList &camFields);
QString addedByText(const QStringList &camFields);

// The main window's title for a cam: its name, cut as any one-line field, and the suffix.
// The title tells whether a cam's information is on screen, so it is the same text every
// time for the same cam.
QString windowTitle(const QStringList &camFields);
QString countdownCaption(const countdown::Countdown &shuffleCountdown);

} // namespace heartbeat
