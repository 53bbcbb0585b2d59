#include "heartbeatrules.h"

#include "core/catalogue/camrecord.h"
#include "core/catalogue/servertext.h"
#include "core/rules/countdown.h"
#include "core/rules/retryrules.h"

#include <climits>

namespace heartbeat {

namespace {

QString shownField(const QStringList &f, CamRecord::Field index)
{
    return server_text::shown(CamRecord::field(f, index), server_text::LineLimit);
}

} // namespace

RefreshStep refreshStep(const countdown::Countdown &current, const std::function<QString()> &readInterval)
{
    if (current.value() <= 0)
        return {countdown::Countdown::loadedFrom(readInterval()), true};
    return {current.counted(), false};
}

RefreshStep refreshStep(const countdown::Countdown &current, const QString &refreshBox, QString &lastReadable)
{
    return refreshStep(current, [&] { return countdown::readInterval(refreshBox, lastReadable); });
}

RetryStep retryAfterFailure(int intervalSeconds, int failuresInARow)
{
    // An interval that long is not backed off, and in milliseconds it may not fit an int.
    const qint64 waitMs = qint64(qMax(0, intervalSeconds)) * 1000 >= retry_rules::LongestWaitMs
        ? qint64(intervalSeconds) * 1000
        : retry_rules::nextTryMs(intervalSeconds * 1000, failuresInARow);
    return {int(qMax<qint64>(0, (waitMs + 999) / 1000 - 1)), int(qMin<qint64>(waitMs, INT_MAX))};
}

ShuffleStep shuffleStep(const countdown::Countdown &current, bool autoShuffle)
{
    if (current.value() <= 0)
        return {current, autoShuffle};
    return {autoShuffle ? current.counted() : current, false};
}

Sides switchSides(int screenWidth, int overlayLeft, int overlayWidth, int statusBoxWidth, int statusMessageWidth)
{
    if (overlayLeft == screenWidth - overlayWidth)
        return {0, screenWidth - statusBoxWidth - 120, screenWidth - statusMessageWidth - 240};
    return {screenWidth - overlayWidth, 120, 240};
}

QString overlayFigures(const QStringList &f)
{
    return QStringLiteral("Views: ") + shownField(f, CamRecord::ViewCount) + QStringLiteral(" | ")
        + QStringLiteral("Comments: ") + shownField(f, CamRecord::CommentCount) + QStringLiteral("\r\n")
        + addedByText(f);
}

QString addedByText(const QStringList &f) { return QStringLiteral("Cam added by: ") + shownField(f, CamRecord::AddedBy); }

QString windowTitle(const QStringList &f) { return shownField(f, CamRecord::CamName) + TitleSuffix; }

QString countdownCaption(const countdown::Countdown &shuffleCountdown)
{
    return QStringLiteral("Auto Shuffle in ") + shuffleCountdown.text() + QStringLiteral(" sec.");
}

} // namespace heartbeat
