#pragma once
// The working files this program writes into its working folder: "temp.tmp" (catalogue
// and comments answers) and "temp." plus a picture extension (the cam picture).
// Only these names are ever deleted, so a user's own "temp.docx" beside them is safe.
#include <QDir>
#include <QString>
#include <QStringList>

namespace working_files {

inline const QString TextFile = QStringLiteral("temp.tmp");

QString pictureFile(const QString &extension);

// Every name this program may leave behind, "temp.tmp" first.
QStringList allNames();

// Deletes whichever of allNames() exist in dir; missing files are not an error.
void removeAll(const QDir &dir);

} // namespace working_files
