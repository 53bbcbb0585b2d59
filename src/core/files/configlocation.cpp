#include "configlocation.h"

#include <QDir>
#include <QFileInfo>

ConfigLocation locateConfig(const QString &explicitFile, const QString &workingFolder, const QString &configHome)
{
    ConfigLocation location;
    if (!explicitFile.isEmpty()) {
        const QFileInfo info(explicitFile);
        location.configFile = info.absoluteFilePath();
        location.workDir = info.absolutePath();
        location.looked = {location.configFile};
        location.found = info.exists();
        return location;
    }
    const QString local = QDir(workingFolder).absoluteFilePath(ConfigFileName);
    location.looked = {local};
    if (QFileInfo::exists(local)) {
        location.configFile = local;
        location.workDir = QDir(workingFolder).absolutePath();
        location.found = true;
        return location;
    }
    if (!configHome.isEmpty() && QDir::isAbsolutePath(configHome)) {
        const QString personal = QDir(configHome).absoluteFilePath(ProgramFolderName + QLatin1Char('/') + ConfigFileName);
        location.looked.append(personal);
        if (QFileInfo::exists(personal)) {
            location.configFile = personal;
            location.found = true;
            return location;
        }
    }
    // Nothing anywhere: reported as the working folder's file, as before.
    location.configFile = local;
    location.workDir = QDir(workingFolder).absolutePath();
    return location;
}

QString notFoundCause(const ConfigLocation &location)
{
    if (location.found)
        return QString();
    QStringList folders;
    for (const QString &file : location.looked)
        folders.append(QDir::toNativeSeparators(QFileInfo(file).absolutePath()));
    return QStringLiteral("No %1 in %2").arg(QFileInfo(location.configFile).fileName(), folders.join(QStringLiteral(", nor in ")));
}

QString firstRunConfigFile(const QString &explicitFile, const ConfigLocation &location)
{
    if (!explicitFile.isEmpty() || location.found || location.looked.size() < 2)
        return QString();
    return location.looked.last();
}
