#include "workingfiles.h"

#include "core/rules/pictureextension.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool writeWhole(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

QString randomName(const QString &prefix)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString name = prefix;
    for (int i = 0; i < 6; ++i)
        name.append(QLatin1Char(letters[QRandomGenerator::system()->bounded(int(sizeof letters - 1))]));
    return name;
}

int writeAt(int dirFd, const QByteArray &name, const QByteArray &bytes, Existing existing)
{
    QByteArray privateName;
    int fd = -1;
    for (int attempt = 0; attempt < MaxNameAttempts && fd < 0; ++attempt) {
        privateName = QFile::encodeName(randomName(QStringLiteral(".lumora-")));
        fd = ::openat(dirFd, privateName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    const bool keep = existing == Existing::Keep;
    bool written = writeWhole(fd, bytes);
    if (written && existing != Existing::Replace)
        written = ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
    int error = written ? 0 : (errno ? errno : EIO);
    if (::close(fd) != 0 && !error)
        error = errno;
    // renameat() replaces the entry itself (a link included) and refuses a folder.
    if (!error
        && (keep ? ::renameat2(dirFd, privateName.constData(), dirFd, name.constData(), RENAME_NOREPLACE)
                 : ::renameat(dirFd, privateName.constData(), dirFd, name.constData()))
            != 0)
        error = errno;
    if (error)
        ::unlinkat(dirFd, privateName.constData(), 0);
    return error;
}

bool makePrivateFolders(const QString &path)
{
    QString reached;
    for (const QString &part : QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        reached += QLatin1Char('/') + part;
        if (::mkdir(QFile::encodeName(reached).constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

std::optional<QByteArray> readRegular(int dirFd, const QByteArray &name, int flags, qint64 maxBytes, mode_t *type)
{
    if (type)
        *type = 0;
    const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    const bool seen = ::fstat(fd, &st) == 0;
    int error = seen ? 0 : errno;
    if (seen && type)
        *type = st.st_mode & S_IFMT;
    QFile file;
    if (!seen || !S_ISREG(st.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (!error)
            error = S_ISREG(st.st_mode) ? EIO : EINVAL;
        ::close(fd);
        errno = error;
        return std::nullopt;
    }
    // QIODevice::read(n) reserves all n bytes first; the file's own size is what it takes,
    // and a file that grew meanwhile is read on up to the limit.
    QByteArray bytes = file.read(std::min<qint64>(maxBytes, st.st_size));
    if (bytes.size() < maxBytes && !file.atEnd())
        bytes += file.read(maxBytes - bytes.size());
    return bytes;
}

} // namespace working_files
