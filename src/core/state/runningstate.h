#pragma once
// The running state shared by every window, from start-up to exit. One instance, owned by
// the application and handed to the windows by reference; nobody keeps a copy.
#include "core/geometry/scalegeometry.h"
#include "core/rules/countdown.h"
#include "core/rules/liverules.h"
#include "core/rules/retryrules.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// How a cam's refreshes have gone of late, wherever it was refreshed (the main window or a
// tile of the wall); times are milliseconds since the epoch, 0 for never.
struct CamHealth
{
    int failuresInARow = 0;
    qint64 lastFailureMs = 0;
    // Since when its picture has counted as unchanged; 0 while it changes.
    qint64 unchangedSinceMs = 0;

    // A refresh showed a picture, unchanged since then if so.
    void pictureShown(std::optional<qint64> unchangedSince)
    {
        failuresInARow = 0;
        unchangedSinceMs = unchangedSince.value_or(0);
    }
    // A refresh showed none at nowMs; failures long past say nothing of the cam now, so
    // the count starts again after them.
    void refreshFailed(qint64 nowMs)
    {
        if (!failedLately(nowMs))
            failuresInARow = 0;
        ++failuresInARow;
        lastFailureMs = nowMs;
    }
    // Whether it failed within retry_rules::AvoidAfterFailureMs of nowMs.
    bool failedLately(qint64 nowMs) const
    {
        return lastFailureMs > 0 && nowMs >= lastFailureMs && nowMs - lastFailureMs < retry_rules::AvoidAfterFailureMs;
    }
};

struct RunningState
{
    // Raw catalogue lines, one per cam, plus one spare slot at the end.
    QStringList camTable{QString()};
    int camCount = 0;
    // Index of the selected cam.
    int currentCam = 0;
    // The selected cam's line split on ";".
    QStringList currentCamFields;
    // The catalogue server's base address, from config.ini.
    QString serverUrl;
    // The selected cam's comment lines plus one empty spare entry.
    QStringList commentTable{QString(), QString()};
    // Countdowns in ticks. They are loaded from the interval boxes' texts and counted as
    // numbers, so they hold either the text they were loaded from or a whole number.
    QVariant refreshCountdown{0};
    QVariant shuffleCountdown{0};
    // The last readable text of the refresh (Text2) and auto-shuffle (Text3) boxes, used
    // when a box is empty or garbled at the moment a countdown is loaded from it.
    QString lastRefreshInterval{QStringLiteral("5")};
    QString lastShuffleInterval{QStringLiteral("60")};
    // commentTable index of the comment shown last, -1 for none.
    int lastCommentIndex = -1;

    // The ids of the cams the user marked as favourites (of this catalogue), and of those
    // the user added from cams.txt (their lines follow the server's in camTable).
    QSet<QString> favouriteCams;
    QSet<QString> ownCams;
    // By cam id.
    QHash<QString, CamHealth> camHealth;

    // What the user sets and the windows only show. A window pushes a user's edit in
    // here; code that changes one of these asks the windows to show it again.
    // The selected cam's picture address (shown by the hidden Text1).
    QString pictureAddress;
    // The mode pictures are drawn in (the scale-mode button's caption, the hidden Option1).
    ViewScaleMode scaleMode = ViewScaleMode::ScaleInline;
    // Whether the fullscreen window shows its Info-Bar (the overlay's Timer1 enabled).
    bool infoBarOn = true;
    // The "Show user comments" (Check1) and "Auto shuffle" (Check2) switches.
    bool showComments = true;
    bool autoShuffle = false;
    // The refresh (Text2) and auto-shuffle (Text3) interval boxes' texts, as typed.
    QString refreshIntervalText{QStringLiteral("5")};
    QString shuffleIntervalText{QStringLiteral("60")};
    // A live cam's frames shown per second at most.
    int maxFramesPerSecond = live_rules::DefaultMaxFramesPerSecond;

    // The auto-shuffle interval as the countdown is loaded from it: the box's text when
    // it is readable, else the last readable one.
    QString shuffleIntervalNow() { return countdown::readInterval(shuffleIntervalText, lastShuffleInterval); }
    // No comments: only the spare entry (and the empty line a table of none holds).
    void emptyCommentTable() { commentTable = QStringList{QString(), QString()}; }
    // Starts the auto-shuffle countdown afresh from the interval box.
    void reloadShuffleCountdown() { shuffleCountdown = shuffleIntervalNow(); }
};
