#pragma once
// The cam catalogue: the answer to "/camlist.php" turned into the cam table.
//
// Input: the document's bytes as received (Windows-1252, CR LF or CR line ends).
// Result: `camTable`, one raw line per cam in document order, plus exactly one spare slot
// at the end (empty, or the short line that ended the catalogue), and `camCount`.
// Empty lines are skipped without using an index; the first non-empty line with fewer
// than nine ";"-fields ends the catalogue. At most MaxCams cams are taken; lines beyond
// that are ignored. Never fails: a document without a cam line gives camCount 0.
#include <QByteArray>
#include <QStringList>

#include <optional>

struct Catalogue
{
    QStringList camTable{QString()};
    int camCount = 0;
};

// Cam indices are 16-bit numbers throughout the program.
inline constexpr int MaxCams = 32768;

Catalogue parseCatalogue(const QByteArray &document);

// The first of the table's camCount cams whose id is exactly camId; none for an id no cam
// has.
std::optional<int> camIndexById(const QStringList &camTable, int camCount, const QString &camId);
