#pragma once
// Failing cams left in peace: a cam whose refreshes fail waits longer before the next try,
// and random picks pass it by for a while.
#include <QString>
#include <QtGlobal>

namespace retry_rules {

// The longest wait between tries of a failing cam, unless its own interval is longer.
inline constexpr int LongestWaitMs = 60000;
// How long a failure keeps a cam out of random picks and auto shuffle.
inline constexpr qint64 AvoidAfterFailureMs = 10 * 60 * 1000;

// The wait before the next try: the interval, doubled with each failure in a row, at most
// LongestWaitMs (an interval already longer than that stays as it is); the interval
// itself after a success (failuresInARow 0).
int nextTryMs(int intervalMs, int failuresInARow);

// A failure reason with when the next try comes: "Connection refused (next try in 20 s)".
QString withNextTry(const QString &reason, int nextTryMs);

} // namespace retry_rules
