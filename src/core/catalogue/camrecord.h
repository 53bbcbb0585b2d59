#pragma once
// One cam of the catalogue: a raw line split on ";" by position. All fields are text and
// nothing is trimmed; a line holds at least nine fields, further ones are ignored.
#include <QString>
#include <QStringList>

namespace CamRecord {

enum Field : int {
    CamId = 0,
    CamName = 1,
    ImageUrl = 2,
    Description = 3,
    Reserved4 = 4,
    Rating = 5,
    CommentCount = 6,
    ViewCount = 7,
    AddedBy = 8,
};

inline constexpr int FieldCount = 9;

// The fields of a line; there is no quoting, so a field never holds ";".
inline QStringList split(const QString &line) { return line.split(QLatin1Char(';')); }

// Field i of an already split record, or an empty text where the record is shorter.
inline QString field(const QStringList &fields, Field i) { return fields.value(int(i)); }

// The cam id of a line, read without splitting the rest: for loops over every cam.
inline QString idOf(const QString &line) { return line.left(line.indexOf(QLatin1Char(';'))); }

} // namespace CamRecord
