#include "config.h"

#include "core/catalogue/ansitext.h"

#include <QFile>
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

} // namespace

ConfigResult readConfigText(const QByteArray &content)
{
    ConfigResult result;
    QByteArrayView rest(content);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    // Reading starts with one line whatever the file holds, so an empty file is unreadable.
    if (content.isEmpty())
        return result;

    const QString text = decodeConfig(rest);
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (true) {
        qsizetype end = start;
        while (end < n && text[end] != QLatin1Char('\r') && text[end] != QLatin1Char('\n'))
            ++end;
        const QStringView line = QStringView(text).sliced(start, end - start);
        if (line.isEmpty())
            return result; // a line without even a key
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QStringView key = eq < 0 ? line : line.first(eq);
        if (key.toString().toLower() == QLatin1String("url")) {
            if (eq < 0)
                return result; // "url" without a value
            const QStringView afterKey = line.sliced(eq + 1);
            const qsizetype nextEq = afterKey.indexOf(QLatin1Char('='));
            result.serverUrl = (nextEq < 0 ? afterKey : afterKey.first(nextEq)).toString();
        }
        if (end >= n)
            break;
        if (text[end] == QLatin1Char('\r') && end + 1 < n && text[end + 1] == QLatin1Char('\n'))
            ++end;
        start = end + 1;
        if (start >= n)
            break; // a final line end adds no empty line
    }
    result.ok = true;
    return result;
}

ConfigResult readConfigFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() > MaxConfigBytes)
        return {};
    const QByteArray content = file.read(MaxConfigBytes + 1);
    if (content.size() > MaxConfigBytes)
        return {};
    return readConfigText(content);
}
