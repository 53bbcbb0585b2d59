#pragma once
// The working files this program writes into its working folder: "temp.tmp" (catalogue
// and comments answers) and "temp." plus a picture extension (the cam picture).
// Only these names are ever deleted, so a user's own "temp.docx" beside them is safe.
//
// WorkingFolder writes, reads and deletes them.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace working_files {

inline const QString TextFile = QStringLiteral("temp.tmp");

QString pictureFile(const QString &extension);

// Every name this program may leave behind, "temp.tmp" first.
QStringList allNames();

// Writes all of bytes to the open file descriptor fd, going on after interrupted writes;
// false when a write fails.
bool writeWhole(int fd, const QByteArray &bytes);

} // namespace working_files
