#pragma once
// What the viewer keeps per catalogue: favourites and the wall's layout, one file each per
// catalogue address, in one folder of the user's configuration.
#include <QString>

namespace catalogue_files {

// The folder: "<configHome>/lumora-viewer/favourites".
QString folder(const QString &configHome);

// A file name for what is kept of the catalogue at address, ending in suffix (".txt",
// ".wall"): the address with every byte but letters, digits, "-" and "_" written as
// "%XX", readable and the same for the same address; one too long for a file name is cut
// and ends in a hash of the whole address instead.
QString fileName(const QString &address, const QString &suffix);

// The folder (as folder() names it) opened without following a link, and only when it is
// the user's own: a descriptor to close, or -1 with errno set (ENOENT when it is missing,
// ELOOP for a link, EPERM when it belongs to someone else).
int openFolder(const QString &folder);

} // namespace catalogue_files
