#pragma once
// The picture extensions a cam's working file may carry, in the order they are tried,
// and the name used when the address gives none of them.
#include <QString>
#include <QStringList>

namespace picture_extension {

inline const QStringList Known = {
    QStringLiteral("ico"), QStringLiteral("cur"), QStringLiteral("emf"), QStringLiteral("wmf"),
    QStringLiteral("gif"), QStringLiteral("png"), QStringLiteral("tif"), QStringLiteral("tiff"),
    QStringLiteral("jpe"), QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("jfif"),
};

inline const QString Fallback = QStringLiteral("JPG");

// The extension of a picture's working file: the text after the address's last ".", with
// every "?foo=0" taken out (exact, case-sensitive) and lower-cased, if it is one of the
// known extensions; "JPG" for anything else.
inline QString ImageExtension(const QString &address)
{
    const qsizetype dot = address.lastIndexOf(QLatin1Char('.'));
    QString candidate = dot < 0 ? address : address.mid(dot + 1);
    candidate.remove(QStringLiteral("?foo=0"));
    candidate = candidate.toLower();
    return Known.contains(candidate) ? candidate : Fallback;
}

} // namespace picture_extension
