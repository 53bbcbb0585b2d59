#pragma once
// Saved pictures: the file name a snapshot of a cam gets, and writing it into a folder
// the user may share with other people's files and links.
//
// The cam's name is server text. In a file name it loses path separators, the characters
// other file systems refuse (: * ? " < > |), control and format characters, leading dots and spaces, and whatever makes it longer than
// NameLimitBytes in UTF-8; a name with nothing left becomes "Snapshot". The extension
// comes from the picture's bytes, never from its address.
#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QString>

#include <optional>

namespace snapshot {

// Room for the time, a " (999)" and the extension within a file system's 255 bytes.
inline constexpr int NameLimitBytes = 160;
// Names tried with " (2)", " (3)" … before a save gives up.
inline constexpr int MaxNumber = 9999;

inline const QString EmptyName = QStringLiteral("Snapshot");

// The cam's name as it may stand in a file name.
QString cleanName(const QString &camName);

// The picture format the bytes start with, as a lower-case extension ("jpg", "png",
// "gif", "bmp", "tif", "webp", "ico", "cur", "emf", "wmf", "mng", "icns", "xpm", "xbm",
// "pbm", "pgm", "ppm", "svg", "svgz" for gzip data); nothing for other bytes.
std::optional<QString> sniffExtension(const QByteArray &bytes);

// The extension for a picture format's name as an image reader gives it ("jpeg": "jpg");
// "bin" for none.
QString extensionOfFormat(const QByteArray &format);

// "Harbour of Kessvik 2026-12-08 14-02-11.jpg", from local time.
QString fileName(const QString &camName, const QDateTime &localTime, const QString &extension);

// The name with " (number)" before its extension; number 1 is the name itself.
QString numbered(const QString &fileName, int number);

// Writes bytes as a new file in dir under fileName, or under numbered(fileName, 2, 3 …)
// while a file, folder or link of that name exists. Nothing already in the folder is
// replaced or written through, and the file appears whole or not at all. Its mode is
// that of a new file under the process's umask. Returns the path written; nothing when no
// file could be made, and then nothing of this call is left in the folder.
std::optional<QString> saveNew(const QDir &dir, const QString &fileName, const QByteArray &bytes);

} // namespace snapshot
