#pragma once
// A config.ini of the user's own, written on the first start from the address the user
// typed.
//
// storedServerAddress() is what gets written of a typed address: surrounding blanks and
// trailing slashes dropped, as the catalogue's address is the base address followed by
// "/camlist.php". checkServerAddress() says whether that is an http or https address that
// names a server and can stand as a base: a query, a fragment or an "=" (which config.ini
// cannot hold in a value) are refused, and so is an address longer than
// ServerAddressMaxLength characters, whole, as a cut one would name another place.
//
// writeNewConfig() writes "url=<address>" CR LF as the new file configFile, readable by the
// user alone (0600), into its folder, which is made for the user alone (0700) when missing,
// as are missing folders above it. Nothing is written through a link: the folder is refused
// when it is a link or another user's, the file goes to a fresh temporary name in it and is
// renamed into place, and an existing config.ini, even a dangling link, is never replaced.
// Returns an empty string on success, otherwise why, naming the file; nothing is left
// behind then but folders it made.
#include <QString>

enum class ServerAddressCheck { Usable, Empty, NotAnAddress, NotABase, TooLong };

inline constexpr int ServerAddressMaxLength = 2048;

QString storedServerAddress(const QString &typed);
ServerAddressCheck checkServerAddress(const QString &stored);
QString writeNewConfig(const QString &configFile, const QString &serverUrl);
