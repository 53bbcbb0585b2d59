#include "workingfiles.h"

#include "view/pictureextension.h"

#include <QFile>

namespace working_files {

QString pictureFile(const QString &extension) { return QStringLiteral("temp.") + extension; }

QStringList allNames()
{
    QStringList names{TextFile};
    for (const QString &ext : picture_extension::Known)
        names.append(pictureFile(ext));
    names.append(pictureFile(picture_extension::Fallback));
    return names;
}

void removeAll(const QDir &dir)
{
    for (const QString &name : allNames())
        QFile::remove(dir.filePath(name));
}

} // namespace working_files
