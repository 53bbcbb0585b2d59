#include "favouritesfile.h"

#include "core/files/cataloguefiles.h"
#include "core/files/workingfiles.h"
#include "core/state/favouritetexts.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace favourites_file {

namespace {

// Far above 32768 ids of any usual length.
constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The file's folder (catalogue_files::openFolder); -1 and why when it cannot be used, -1
// and no reason when it is missing.
int openFolder(const QString &folder, QString *why)
{
    const int dir = catalogue_files::openFolder(folder);
    if (dir < 0) {
        const int error = errno;
        *why = error == ENOENT ? QString()
             : error == ELOOP  ? favourite_texts::IsALink
             : error == EPERM  ? favourite_texts::ForeignFolder
                               : systemError(error);
    }
    return dir;
}

} // namespace

QString path(const QString &configHome, const QString &address)
{
    return catalogue_files::folder(configHome) + QLatin1Char('/') + catalogue_files::fileName(address, QStringLiteral(".txt"));
}

Content read(const QString &file)
{
    const QFileInfo info(file);
    Content content;
    const int dir = openFolder(info.absolutePath(), &content.problem);
    if (dir < 0)
        return content;
    mode_t type = 0;
    const std::optional<QByteArray> bytes =
        working_files::readRegular(dir, QFile::encodeName(info.fileName()), O_NOFOLLOW, MaxFileBytes + 1, &type);
    const int error = errno;
    ::close(dir);
    if (!bytes) {
        if (error != ENOENT)
            content.problem = error == ELOOP ? favourite_texts::IsALink
                            : type && !S_ISREG(type) ? favourite_texts::NotAFile
                                                     : systemError(error);
        return content;
    }
    if (bytes->size() > MaxFileBytes) {
        content.problem = favourite_texts::TooLarge;
        return content;
    }
    for (const QByteArray &line : bytes->split('\n')) {
        const QString id = QString::fromUtf8(line.endsWith('\r') ? line.chopped(1) : line);
        if (!id.isEmpty())
            content.ids.append(id);
    }
    return content;
}

QString write(const QString &file, const QStringList &ids)
{
    const QFileInfo info(file);
    if (!working_files::makePrivateFolders(info.absolutePath()))
        return systemError(errno);
    QString why;
    const int dir = openFolder(info.absolutePath(), &why);
    if (dir < 0)
        return why.isEmpty() ? systemError(ENOENT) : why;
    const QByteArray name = QFile::encodeName(info.fileName());
    struct stat st {};
    if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
        ::close(dir);
        return S_ISLNK(st.st_mode) ? favourite_texts::IsALink : favourite_texts::NotAFile;
    }
    QByteArray bytes;
    for (const QString &id : ids) {
        // An id with a line break in it would come back as two.
        if (!id.contains(QLatin1Char('\n')) && !id.contains(QLatin1Char('\r')))
            bytes += id.toUtf8() + '\n';
    }
    const int error = working_files::writeAt(dir, name, bytes, working_files::Existing::Update);
    ::close(dir);
    return error ? systemError(error) : QString();
}

} // namespace favourites_file
