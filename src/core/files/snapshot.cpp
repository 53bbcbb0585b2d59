#include "snapshot.h"

#include "core/files/workingfiles.h"

#include <QByteArrayView>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace snapshot {

namespace {

bool droppedFromName(char32_t c)
{
    // Separators, and what other file systems refuse in a name, so a saved picture can be
    // copied anywhere.
    static const std::u32string refused = U"/\\:*?\"<>|";
    if (refused.find(c) != std::u32string::npos)
        return true;
    const QChar::Category category = QChar::category(c);
    return category == QChar::Other_Control || category == QChar::Other_Format
        || category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
}

bool startsWithDotOrSpace(const QString &name)
{
    return !name.isEmpty() && (name.front() == QLatin1Char('.') || name.front().isSpace());
}

bool endsWithDotOrSpace(const QString &name)
{
    return !name.isEmpty() && (name.back() == QLatin1Char('.') || name.back().isSpace());
}

// Whole code points only, so no character is cut in half.
QString limitUtf8(const QString &text, int maxBytes)
{
    QString kept;
    int bytes = 0;
    for (const char32_t c : text.toUcs4()) {
        const int size = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        kept.append(QString::fromUcs4(&c, 1));
    }
    return kept;
}

bool startsWith(const QByteArray &bytes, const char *magic, int size, int at = 0)
{
    return bytes.size() >= at + size && bytes.mid(at, size) == QByteArray(magic, size);
}

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// An SVG document: "<svg" as the first element, after a byte-order mark, white space, an
// XML declaration, comments, processing instructions and a document type declaration.
bool isSvg(const QByteArray &bytes)
{
    // The start of a document; comments before the element are short in practice.
    const QByteArray head = bytes.left(64 * 1024);
    qsizetype at = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (at < head.size()) {
        if (isXmlSpace(head[at])) {
            ++at;
            continue;
        }
        const QByteArrayView rest = QByteArrayView(head).sliced(at);
        qsizetype end = -1;
        if (rest.startsWith("<!--")) {
            end = head.indexOf("-->", at + 4);
            end = end < 0 ? -1 : end + 3;
        } else if (rest.startsWith("<?")) {
            end = head.indexOf("?>", at + 2);
            end = end < 0 ? -1 : end + 2;
        } else if (rest.startsWith("<!DOCTYPE")) {
            // An internal subset in brackets may hold '>' of its own.
            const qsizetype bracket = head.indexOf('[', at);
            const qsizetype close = head.indexOf('>', at);
            const qsizetype from = bracket >= 0 && bracket < close ? head.indexOf(']', bracket) : at;
            end = from < 0 ? -1 : head.indexOf('>', from);
            end = end < 0 ? -1 : end + 1;
        } else {
            return rest.startsWith("<svg") && rest.size() > 4
                && (isXmlSpace(rest[4]) || rest[4] == '>' || rest[4] == '/');
        }
        if (end < 0)
            return false;
        at = end;
    }
    return false;
}

// Portable bitmaps: "P1" to "P6" and white space.
std::optional<QString> netpbmExtension(const QByteArray &bytes)
{
    if (bytes.size() < 3 || bytes[0] != 'P' || !isXmlSpace(bytes[2]))
        return std::nullopt;
    switch (bytes[1]) {
    case '1':
    case '4':
        return QStringLiteral("pbm");
    case '2':
    case '5':
        return QStringLiteral("pgm");
    case '3':
    case '6':
        return QStringLiteral("ppm");
    }
    return std::nullopt;
}

mode_t newFileMode()
{
    // The umask is read, not set and restored, so no other thread ever runs without it.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(0666 & ~mask);
            }
        }
    }
    return 0644;
}

// For file systems without hard links: O_EXCL neither follows a link nor opens anything
// that exists.
std::optional<QString> writeExclusive(const QDir &dir, const QString &fileName, const QByteArray &bytes, mode_t mode)
{
    for (int number = 1; number <= MaxNumber; ++number) {
        const QString path = dir.filePath(numbered(fileName, number));
        const QByteArray encoded = QFile::encodeName(path);
        const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return std::nullopt;
        }
        const bool ok = working_files::writeWhole(fd, bytes) & (::close(fd) == 0);
        if (ok)
            return path;
        ::unlink(encoded.constData());
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

QString cleanName(const QString &camName)
{
    QString name;
    for (const char32_t c : camName.toUcs4())
        name.append(droppedFromName(c) ? QStringLiteral(" ") : QString::fromUcs4(&c, 1));
    name = name.simplified();
    while (startsWithDotOrSpace(name))
        name.remove(0, 1);
    name = limitUtf8(name, NameLimitBytes);
    while (endsWithDotOrSpace(name))
        name.chop(1);
    return name.isEmpty() ? EmptyName : name;
}

std::optional<QString> sniffExtension(const QByteArray &bytes)
{
    if (startsWith(bytes, "\xFF\xD8\xFF", 3))
        return QStringLiteral("jpg");
    if (startsWith(bytes, "\x89PNG\r\n\x1A\n", 8))
        return QStringLiteral("png");
    if (startsWith(bytes, "GIF87a", 6) || startsWith(bytes, "GIF89a", 6))
        return QStringLiteral("gif");
    if (startsWith(bytes, "BM", 2) && bytes.size() >= 26)
        return QStringLiteral("bmp");
    if (startsWith(bytes, "II*\0", 4) || startsWith(bytes, "MM\0*", 4))
        return QStringLiteral("tif");
    if (startsWith(bytes, "RIFF", 4) && startsWith(bytes, "WEBP", 4, 8))
        return QStringLiteral("webp");
    if (startsWith(bytes, "\0\0\1\0", 4) && bytes.size() >= 6 && (bytes[4] || bytes[5]))
        return QStringLiteral("ico");
    if (startsWith(bytes, "\0\0\2\0", 4) && bytes.size() >= 6 && (bytes[4] || bytes[5]))
        return QStringLiteral("cur");
    if (startsWith(bytes, "\1\0\0\0", 4) && startsWith(bytes, " EMF", 4, 40))
        return QStringLiteral("emf");
    if (startsWith(bytes, "\xD7\xCD\xC6\x9A", 4))
        return QStringLiteral("wmf");
    if (startsWith(bytes, "\x8AMNG\r\n\x1A\n", 8))
        return QStringLiteral("mng");
    if (startsWith(bytes, "icns", 4) && bytes.size() >= 8)
        return QStringLiteral("icns");
    if (startsWith(bytes, "/* XPM */", 9))
        return QStringLiteral("xpm");
    if (bytes.left(1024).trimmed().startsWith("#define ") && bytes.left(1024).contains("_width "))
        return QStringLiteral("xbm");
    if (const auto netpbm = netpbmExtension(bytes))
        return netpbm;
    // Among the pictures shown, only a compressed SVG is gzip data.
    if (startsWith(bytes, "\x1F\x8B", 2))
        return QStringLiteral("svgz");
    if (isSvg(bytes))
        return QStringLiteral("svg");
    return std::nullopt;
}

QString extensionOfFormat(const QByteArray &format)
{
    const QString name = QString::fromLatin1(format).toLower();
    if (name == QLatin1String("jpeg"))
        return QStringLiteral("jpg");
    if (name == QLatin1String("tiff"))
        return QStringLiteral("tif");
    return name.isEmpty() ? QStringLiteral("bin") : name;
}

QString fileName(const QString &camName, const QDateTime &localTime, const QString &extension)
{
    return cleanName(camName) + QLatin1Char(' ') + localTime.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"))
        + QLatin1Char('.') + extension;
}

QString numbered(const QString &fileName, int number)
{
    if (number <= 1)
        return fileName;
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const qsizetype at = dot <= 0 ? fileName.size() : dot;
    return fileName.left(at) + QStringLiteral(" (%1)").arg(number) + fileName.mid(at);
}

std::optional<QString> saveNew(const QDir &dir, const QString &fileName, const QByteArray &bytes)
{
    const mode_t mode = newFileMode();
    // mkstemp opens with O_CREAT | O_EXCL: the private file is new and no link.
    QByteArray privateName = QFile::encodeName(dir.filePath(QStringLiteral(".lumora-XXXXXX")));
    const int fd = ::mkstemp(privateName.data());
    if (fd < 0)
        return std::nullopt;
    bool ok = ::fchmod(fd, mode) == 0;
    ok = working_files::writeWhole(fd, bytes) && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(privateName.constData());
        return std::nullopt;
    }
    // link() makes the finished file appear under a name no entry has yet: it fails on
    // any entry of that name, a dangling link included, instead of replacing it.
    std::optional<QString> saved;
    bool noLinks = false;
    for (int number = 1; number <= MaxNumber && !saved; ++number) {
        const QString path = dir.filePath(numbered(fileName, number));
        if (::link(privateName.constData(), QFile::encodeName(path).constData()) == 0)
            saved = path;
        else if (errno != EEXIST) {
            noLinks = errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS || errno == EXDEV;
            break;
        }
    }
    ::unlink(privateName.constData());
    if (!saved && noLinks)
        return writeExclusive(dir, fileName, bytes, mode);
    return saved;
}

} // namespace snapshot
