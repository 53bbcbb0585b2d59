#pragma once
// The user's own cams: cams.txt in the user's configuration folder, lines in the cam
// catalogue's own format (Windows-1252, ";"-fields, at least nine), added after the
// server's cams.
//
// append() puts each usable line of document into camTable after the catalogue's camCount
// cams, before the spare slot, and counts it in camCount. Lines may end in CR LF, CR or LF
// (the file is the user's, written with any editor); empty lines are skipped. A line with
// fewer than nine fields, an id a cam already has (the server's or an earlier line's), or a
// line beyond MaxCams is skipped with one warning naming fileName and the line's number;
// the lines after it are still read. Never fails.
#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace own_cams {

// "<configHome>/lumora-viewer/cams.txt".
QString filePath(const QString &configHome);

struct Added
{
    QSet<QString> ids;    // of the cams added
    QStringList warnings; // one per line skipped
};

Added append(QStringList &camTable, int &camCount, const QByteArray &document, const QString &fileName);

// The file's bytes; nothing when it cannot be read, with a warning unless it is missing.
std::optional<QByteArray> read(const QString &path, QString *warning);

} // namespace own_cams
