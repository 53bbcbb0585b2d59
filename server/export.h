// Writes what lumora-camserver serves as a folder of static files, for any web server:
//
//   camlist.txt          the catalogue, "{base}" replaced by the export's base address
//   comments/ID.txt      the comments of each cam whose id is a safe file name (may be empty)
//   PATH                 each picture the catalogue addresses as {base}/PATH and that this
//                        server has locally (rendered demo pictures, files from --pictures)
//
// Cam ids and picture paths are text from the catalogue: only ids of [A-Za-z0-9_-]{1,64} and
// paths of plain segments ([A-Za-z0-9._~-], not starting with '.') become files; the others
// are reported as warnings and left out, so nothing is ever written outside the folder.
// The folder is built beside the target under a temporary name and renamed onto it at the
// end; an existing target must be an empty folder, otherwise nothing is written.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace exporter {

struct Source {
    QByteArray catalogue; // Windows-1252, picture addresses written as "{base}/..."
    std::function<QByteArray(const QString &camId)> commentsFor;
    // The bytes of the picture this server answers at a path (no query), or none if it has
    // none locally.
    std::function<std::optional<QByteArray>(const QString &path)> pictureAt;
};

struct Result {
    bool ok = false;
    QString error;       // why nothing was written, when !ok
    QStringList warnings; // cams or pictures left out
    int comments = 0;    // comment files written
    int pictures = 0;    // picture files written
};

// "http://host:port" or "https://host/prefix" without a trailing slash; none for anything
// else, or for text that would break a catalogue line (";", control characters, spaces).
std::optional<QString> normalisedBase(const QString &url);

// Whether an id may name a comments file (and be matched by the web server's rule).
bool isSafeCamId(const QString &camId);

// The file path inside the folder for a picture address "{base}/PATH[?QUERY]" (a static
// server ignores the query); none when the address is not below {base}, or PATH is not made
// of plain segments or would land on the catalogue or the comments folder.
std::optional<QString> localPicturePath(const QString &imageUrl);

Result exportTo(const Source &source, const QString &base, const QString &dir);

// The --export command: the catalogue from catalogueFile, or the demo catalogue when it is
// empty; messages on stderr/stdout. Returns the process's exit code.
int run(const QString &catalogueFile, const QString &base, const QString &dir,
        const std::function<QByteArray(const QString &camId)> &commentsFor,
        const std::function<std::optional<QByteArray>(const QString &path)> &answerAt);

} // namespace exporter
