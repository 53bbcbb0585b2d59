#include "workingfiles.h"

#include "core/rules/pictureextension.h"

#include <cerrno>
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

} // namespace working_files
