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

} // namespace picture_extension
