#include "config.h"

#include "core/catalogue/ansitext.h"
#include "core/files/workingfiles.h"
#include "core/files/workingfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString decodeConfig(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return ansi::decode(bytes);
}

ConfigResult unreadable(const QString &why)
{
    ConfigResult result;
    result.error = why;
    return result;
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("no regular file");
}

ConfigResult notAFile(const QString &shownPath, mode_t mode)
{
    return unreadable(QStringLiteral("Cannot read %1: it is %2, not a file").arg(shownPath, kindOf(mode)));
}

ConfigResult cannotRead(const QString &shownPath, int error)
{
    return unreadable(QStringLiteral("Cannot read %1: %2").arg(shownPath, QString::fromLocal8Bit(std::strerror(error))));
}

// name relative to the folder dirFd (or AT_FDCWD); path is the file's full path.
ConfigResult readConfigAt(int dirFd, const QString &name, const QString &path)
{
    const QFileInfo info(path);
    const QString shownPath = QDir::toNativeSeparators(path);
    const QByteArray encodedName = QFile::encodeName(name);
    // Looked at before it is opened: opening a FIFO waits for a writer, a device may act.
    struct stat st;
    if (::fstatat(dirFd, encodedName.constData(), &st, 0) != 0) {
        if (errno == ENOENT)
            return unreadable(QStringLiteral("No %1 in %2").arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath())));
        return cannotRead(shownPath, errno);
    }
    if (!S_ISREG(st.st_mode))
        return notAFile(shownPath, st.st_mode);
    // Should it have become something else meanwhile, it is refused once open.
    mode_t type = 0;
    const std::optional<QByteArray> content = working_files::readRegular(dirFd, encodedName, 0, MaxConfigBytes + 1, &type);
    if (!content)
        return type && !S_ISREG(type) ? notAFile(shownPath, type) : cannotRead(shownPath, errno);
    if (content->size() > MaxConfigBytes)
        return unreadable(QStringLiteral("%1 is larger than %2 bytes").arg(shownPath, QString::number(MaxConfigBytes)));
    ConfigResult result = readConfigText(*content);
    if (!result.ok)
        result.error = QStringLiteral("Cannot use %1: %2").arg(shownPath, result.error);
    return result;
}

} // namespace

ConfigResult readConfigText(const QByteArray &content)
{
    ConfigResult result;
    QByteArrayView rest(content);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    // Reading starts with one line whatever the file holds, so an empty file is unreadable.
    if (content.isEmpty())
        return unreadable(QStringLiteral("the file is empty"));

    const QString text = decodeConfig(rest);
    qsizetype start = 0;
    const qsizetype n = text.size();
    int lineNumber = 1;
    while (true) {
        qsizetype end = start;
        while (end < n && text[end] != QLatin1Char('\r') && text[end] != QLatin1Char('\n'))
            ++end;
        const QStringView line = QStringView(text).sliced(start, end - start);
        if (line.isEmpty()) // a line without even a key
            return unreadable(QStringLiteral("line %1 is empty").arg(lineNumber));
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QStringView key = eq < 0 ? line : line.first(eq);
        if (key.toString().toLower() == QLatin1String("url")) {
            if (eq < 0)
                return unreadable(QStringLiteral("line %1 holds \"%2\" without \"=\"").arg(QString::number(lineNumber), key));
            const QStringView afterKey = line.sliced(eq + 1);
            const qsizetype nextEq = afterKey.indexOf(QLatin1Char('='));
            result.serverUrl = (nextEq < 0 ? afterKey : afterKey.first(nextEq)).toString();
        }
        if (end >= n)
            break;
        if (text[end] == QLatin1Char('\r') && end + 1 < n && text[end + 1] == QLatin1Char('\n'))
            ++end;
        start = end + 1;
        ++lineNumber;
        if (start >= n)
            break; // a final line end adds no empty line
    }
    result.ok = true;
    return result;
}

ConfigResult readConfigFile(const QString &path)
{
    const QFileInfo info(path);
    return readConfigAt(AT_FDCWD, info.absoluteFilePath(), info.absoluteFilePath());
}

ConfigResult readConfigFile(const WorkingFolder &folder, const QString &name)
{
    if (!folder.isOpen())
        return unreadable(QStringLiteral("Cannot open the working folder: %1").arg(folder.error()));
    return readConfigAt(folder.descriptor(), name, folder.filePath(name));
}
