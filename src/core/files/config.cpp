#include "config.h"

#include "core/catalogue/ansitext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

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
    const QString shownPath = QDir::toNativeSeparators(info.absoluteFilePath());
    if (!info.exists())
        return unreadable(QStringLiteral("No %1 in %2").arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath())));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(QStringLiteral("Cannot read %1: %2").arg(shownPath, file.errorString()));
    const QString tooLarge = QStringLiteral("%1 is larger than %2 bytes").arg(shownPath, QString::number(MaxConfigBytes));
    if (file.size() > MaxConfigBytes)
        return unreadable(tooLarge);
    const QByteArray content = file.read(MaxConfigBytes + 1);
    if (content.size() > MaxConfigBytes)
        return unreadable(tooLarge);
    ConfigResult result = readConfigText(content);
    if (!result.ok)
        result.error = QStringLiteral("Cannot use %1: %2").arg(shownPath, result.error);
    return result;
}
