#include "cataloguefiles.h"

#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace catalogue_files {

namespace {

// Well under the 255 bytes most file systems allow, with room for the suffix.
constexpr qsizetype LongestName = 200;

} // namespace

QString folder(const QString &configHome)
{
    return configHome + QStringLiteral("/lumora-viewer/favourites");
}

QString fileName(const QString &address, const QString &suffix)
{
    const QByteArray bytes = address.toUtf8();
    QByteArray name = bytes.toPercentEncoding("-_");
    name.replace('.', "%2E"); // "." and ".." are no names of their own
    if (name.size() > LongestName) {
        const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(16);
        name = name.left(LongestName - hash.size() - 1) + '-' + hash;
    }
    return QString::fromLatin1(name) + suffix;
}

int openFolder(const QString &folder)
{
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0)
        return -1;
    struct stat st {};
    if (::fstat(dir, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(dir);
        errno = EPERM;
        return -1;
    }
    return dir;
}

} // namespace catalogue_files
