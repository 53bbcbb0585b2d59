#include "newconfig.h"

#include "core/files/workingfiles.h"
#include "core/state/firstruntexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString failure(const QString &file, const QString &why)
{
    return first_run_texts::WriteFailedCause.arg(QDir::toNativeSeparators(file), why);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString storedServerAddress(const QString &typed)
{
    QString address = typed.trimmed();
    while (address.endsWith(QLatin1Char('/')))
        address.chop(1);
    return address;
}

ServerAddressCheck checkServerAddress(const QString &stored)
{
    if (stored.isEmpty())
        return ServerAddressCheck::Empty;
    if (stored.size() > ServerAddressMaxLength)
        return ServerAddressCheck::TooLong;
    const QUrl url(stored, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) || url.host().isEmpty())
        return ServerAddressCheck::NotAnAddress;
    if (url.hasQuery() || url.hasFragment() || stored.contains(QLatin1Char('=')))
        return ServerAddressCheck::NotABase;
    return ServerAddressCheck::Usable;
}

QString writeNewConfig(const QString &configFile, const QString &serverUrl)
{
    const QFileInfo file(configFile);
    const QString folder = file.absolutePath();
    if (!working_files::makePrivateFolders(folder))
        return failure(configFile, systemError(errno));
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        const int error = errno;
        const QString shown = QDir::toNativeSeparators(folder);
        return failure(configFile, error == ELOOP     ? QStringLiteral("%1 is a link, not a folder").arg(shown)
                                   : error == ENOTDIR ? QStringLiteral("%1 is not a folder").arg(shown)
                                                      : systemError(error));
    }
    struct stat st {};
    int error = ::fstat(dir, &st) != 0 ? errno : 0;
    if (!error && st.st_uid != ::geteuid()) {
        ::close(dir);
        return failure(configFile, QStringLiteral("%1 belongs to another user").arg(QDir::toNativeSeparators(folder)));
    }
    if (!error)
        error = working_files::writeAt(dir, QFile::encodeName(file.fileName()), "url=" + serverUrl.toUtf8() + "\r\n",
                                        working_files::Existing::Keep);
    ::close(dir);
    return error ? failure(configFile, systemError(error)) : QString();
}
