#pragma once
// The user's favourite cams of one catalogue: one cam id a line (UTF-8, LF), in the
// folder catalogue_files::folder() names, under the file name it gives for the catalogue's
// address.
//
// read() gives the ids in the file, empty lines left out; a missing file or folder is no
// problem and gives none. A file that cannot be read (a link, no regular file, a folder
// that is a link or another user's, too large, a read error) gives none and says why.
//
// write() puts ids in the file, atomically: the folders are made for the user alone when
// missing (0700), the bytes go to a private new file (0600) that is renamed onto the name,
// so a reader sees the old list or the new one, never part of one. A link, or anything
// but a regular file, standing under the name is refused and left alone, and nothing is
// ever written through a link. Returns why it failed, empty on success.
#include <QString>
#include <QStringList>

namespace favourites_file {

// The file of the catalogue at address.
QString path(const QString &configHome, const QString &address);

struct Content
{
    QStringList ids;
    QString problem; // empty: read, or there is no file yet
};

Content read(const QString &file);
QString write(const QString &file, const QStringList &ids);

} // namespace favourites_file
