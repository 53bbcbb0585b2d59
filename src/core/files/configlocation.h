#pragma once
// Where config.ini is read and where the working files go.
//
// A file named on the command line is used as it is, and its folder holds the working
// files. Otherwise config.ini in the working folder wins, exactly as when the viewer is
// started from a folder of its own; then `<configHome>/lumora-viewer/config.ini`
// (xdg_dirs::configHome()), whose working files go to a private folder in the cache, or in
// the runtime folder where the cache's is refused (WorkingFolder::makePrivate), never next
// to the user's files. When none exists, the working folder's
// config.ini is what is reported missing, together with every place that was looked at.
#include <QString>
#include <QStringList>

struct ConfigLocation
{
    QString configFile;        // the file to read
    QString workDir;           // where the working files go; empty: a private folder in the cache
    QStringList looked;        // every file tried, in order
    bool found = false;
};

inline const QString ConfigFileName = QStringLiteral("config.ini");
inline const QString ProgramFolderName = QStringLiteral("lumora-viewer");

ConfigLocation locateConfig(const QString &explicitFile, const QString &workingFolder, const QString &configHome);

// "No config.ini in /home/anna, nor in /home/anna/.config/lumora-viewer" for a search that
// found nothing; empty otherwise.
QString notFoundCause(const ConfigLocation &location);

// The user's own config.ini, to be written on a first start: when nothing was named on the
// command line and no config.ini was found in any place looked at, the user's config folder
// among them. Empty otherwise, when a missing file is a fault to report.
QString firstRunConfigFile(const QString &explicitFile, const ConfigLocation &location);
