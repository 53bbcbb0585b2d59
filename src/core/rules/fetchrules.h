#pragma once
// The rules of one picture refresh that need no display: the transfer statistics text,
// the comments table and the transfer-state bullets.
#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace fetch_rules {

// "<size> kb in <seconds> sec. (<rate> kb/sec)", each number with two decimals and the
// locale's decimal separator, no group separators. Nothing when no time was measured (the
// rate cannot be worked out) or the time is not a finite positive number.
std::optional<QString> transferStatusText(qint64 bytes, float seconds, const QLocale &locale = QLocale());
// A live stream's figures: "Live: 9.80 fps (412.35 kb/sec)".
QString liveStatusText(double framesPerSecond, double bytesPerSecond, const QLocale &locale = QLocale());

// The non-empty lines of a comments answer in order, then one empty spare entry; with no
// line at all two empty entries.
QStringList buildCommentTable(const QByteArray &answer);

// The address of a cam's comments: the cam id goes into the query as one value, encoded,
// so that whatever it holds ("&", "#", "=", blanks) reaches the server as the id.
QString commentsAddress(const QString &serverUrl, const QString &camId);

// A row of n bullets, each followed by a blank; empty for n of 0 or less.
QString stateBullets(int n);

// Shown while a picture's request waits for its turn at its host's connections.
inline const QString WaitingForConnectionText = QStringLiteral("Waiting for a connection");

} // namespace fetch_rules
