#pragma once
// The texts of favourites and the user's own cams, word for word: the list's star and tag,
// the "favourites only" switch, what Ctrl+D reports, and the warnings on standard error.
#include <QString>

namespace favourite_texts {

inline const QString OwnCamTag = QStringLiteral("yours");
inline const QString FavouritesOnly = QStringLiteral("Favourites only");
inline const QString FavouritesOnlyTip = QStringLiteral("Show only your favourites among the cams found");
inline const QString AddTip = QStringLiteral("Add to favourites (Ctrl+D)");
inline const QString RemoveTip = QStringLiteral("Remove from favourites (Ctrl+D)");
// What a screen reader says of a row besides its cam's name.
inline const QString FavouriteDescription = QStringLiteral("favourite");
inline const QString OwnCamDescription = QStringLiteral("your own cam");

inline QString added(const QString &camName) { return QStringLiteral("Added to favourites: ") + camName; }
inline QString removed(const QString &camName) { return QStringLiteral("Removed from favourites: ") + camName; }

// Standard error. %1 is the file, %2 its line number or the reason.
inline const QString OwnCamShortLine = QStringLiteral("%1, line %2: fewer than 9 fields; line skipped");
inline const QString OwnCamIdTaken = QStringLiteral("%1, line %2: the cam id '%3' is taken; line skipped");
inline const QString OwnCamNoRoom = QStringLiteral("%1, line %2: the cam list is full; line skipped");
inline const QString OwnCamsUnreadable = QStringLiteral("%1 not read: %2");
inline const QString FavouritesUnreadable = QStringLiteral("%1 not read, no favourites: %2");
inline const QString FavouritesNotKept = QStringLiteral("Favourites not kept in %1: %2");

// Why a file was not read or written.
inline const QString IsALink = QStringLiteral("it is a link");
inline const QString NotAFile = QStringLiteral("it is not a file");
inline const QString TooLarge = QStringLiteral("it is too large");
inline const QString ForeignFolder = QStringLiteral("its folder belongs to another user");
inline const QString KeptAsFound = QStringLiteral("it could not be read at start, so it is left as it was");

} // namespace favourite_texts
