#include "xdgdirs.h"

#include "core/files/workingfiles.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>

namespace xdg_dirs {

namespace {

QString fromEnvironment(Base base)
{
    switch (base) {
    case Base::Config:
        return baseFolder(base, qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
    case Base::Cache:
        return baseFolder(base, qEnvironmentVariable("XDG_CACHE_HOME"), QDir::homePath());
    case Base::Runtime:
        break;
    }
    return baseFolder(base, qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::homePath());
}

} // namespace

QString baseFolder(Base base, const QString &value, const QString &home)
{
    if (value.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(value);
    switch (base) {
    case Base::Config:
        return QDir::cleanPath(home + QStringLiteral("/.config"));
    case Base::Cache:
        return QDir::cleanPath(home + QStringLiteral("/.cache"));
    case Base::Runtime:
        break;
    }
    return QString();
}

QString picturesFolder(const QByteArray &userDirs, const QString &home)
{
    const QString fallback = QDir::cleanPath(home + QStringLiteral("/Pictures"));
    QString found;
    for (const QByteArray &rawLine : userDirs.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (!line.startsWith("XDG_PICTURES_DIR="))
            continue;
        QByteArray value = line.mid(int(qstrlen("XDG_PICTURES_DIR=")));
        if (value.size() < 2 || !value.startsWith('"') || !value.endsWith('"'))
            continue;
        const QString path = QString::fromUtf8(value.mid(1, value.size() - 2));
        if (path == QLatin1String("$HOME") || path.startsWith(QLatin1String("$HOME/")))
            found = QDir::cleanPath(home + path.mid(5));
        else if (path.startsWith(QLatin1Char('/')))
            found = QDir::cleanPath(path);
    }
    return found.isEmpty() ? fallback : found;
}

QString configHome() { return fromEnvironment(Base::Config); }
QString cacheHome() { return fromEnvironment(Base::Cache); }
QString runtimeFolder() { return fromEnvironment(Base::Runtime); }

QString picturesFolder()
{
    // A regular file only: a FIFO of that name must not hold the save up. A few lines;
    // anything larger is not the file.
    const QByteArray path = QFile::encodeName(configHome() + QStringLiteral("/user-dirs.dirs"));
    const QByteArray content = working_files::readRegular(AT_FDCWD, path, 0, 64 * 1024).value_or(QByteArray());
    return picturesFolder(content, QDir::homePath());
}

} // namespace xdg_dirs
