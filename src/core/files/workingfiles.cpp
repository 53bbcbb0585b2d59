#include "workingfiles.h"

#include "core/rules/pictureextension.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
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

void removeAll(const QDir &dir)
{
    for (const QString &name : allNames())
        QFile::remove(dir.filePath(name));
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

bool write(const QDir &dir, const QString &name, const QByteArray &bytes)
{
    // mkstemp opens with O_CREAT | O_EXCL, so the private file is new and no link.
    QByteArray privateName = QFile::encodeName(dir.filePath(QStringLiteral(".lumora-XXXXXX")));
    const int fd = ::mkstemp(privateName.data());
    if (fd < 0)
        return false;
    bool ok = writeWhole(fd, bytes);
    ok = ::close(fd) == 0 && ok;
    // rename() replaces the entry itself (a link included) and refuses a folder.
    ok = ok && ::rename(privateName.constData(), QFile::encodeName(dir.filePath(name)).constData()) == 0;
    if (!ok)
        ::unlink(privateName.constData());
    return ok;
}

std::optional<QByteArray> read(const QDir &dir, const QString &name, qint64 maxBytes)
{
    const int fd = ::open(QFile::encodeName(dir.filePath(name)).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    QFile file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    return file.read(maxBytes);
}

} // namespace working_files
