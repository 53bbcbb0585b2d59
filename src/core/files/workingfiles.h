#pragma once
// The working files this program writes into its working folder: "temp.tmp" (catalogue
// and comments answers) and "temp." plus a picture extension (the cam picture).
// Only these names are ever deleted, so a user's own "temp.docx" beside them is safe.
//
// The working folder may be shared with other people's files and links. A working file is
// therefore never written through whatever entry already has its name: write() puts the
// bytes into a private file of its own in the same folder and renames that onto the name,
// so a link of that name is replaced, not followed, and a folder of that name makes the
// write fail. Deleting a link deletes the link only.
#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>

#include <optional>

namespace working_files {

inline const QString TextFile = QStringLiteral("temp.tmp");

QString pictureFile(const QString &extension);

// Every name this program may leave behind, "temp.tmp" first.
QStringList allNames();

// Deletes whichever of allNames() exist in dir; missing files are not an error.
void removeAll(const QDir &dir);

// Writes bytes as dir/name, replacing any entry of that name that is not a folder.
// False when the file could not be made or written whole; then nothing of this call is
// left in the folder and an entry already there is untouched.
bool write(const QDir &dir, const QString &name, const QByteArray &bytes);

// Writes all of bytes to the open file descriptor fd, going on after interrupted writes;
// false when a write fails.
bool writeWhole(int fd, const QByteArray &bytes);

// The whole content of dir/name if it is a regular file and not a link; nothing else is
// opened. At most maxBytes are read.
std::optional<QByteArray> read(const QDir &dir, const QString &name, qint64 maxBytes);

} // namespace working_files
