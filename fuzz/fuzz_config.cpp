// config.ini reader: any bytes in, checked against a plain re-reading of the rules in
// config.h and against what appending one more "url" line must do.
#include "fuzzcheck.h"

#include "core/files/config.h"
#include "core/catalogue/ansitext.h"

#include <QStringList>

namespace {

// The rules of config.h, written the obvious way: normalise the line ends, split.
ConfigResult reference(const QByteArray &content)
{
    ConfigResult r;
    if (content.isEmpty())
        return r;
    QByteArray body = content;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    QString text = body.isValidUtf8() ? QString::fromUtf8(body) : ansi::decode(body);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.isEmpty())
            return r;
        const QStringList pieces = line.split(QLatin1Char('='));
        if (pieces.first().compare(QLatin1String("url"), Qt::CaseInsensitive) == 0) {
            if (pieces.size() < 2)
                return r;
            r.serverUrl = pieces.at(1);
        }
    }
    r.ok = true;
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content = fuzz::bytes(data, size);
    const ConfigResult got = readConfigText(content);

    if (content.isEmpty())
        FUZZ_CHECK(!got.ok);
    if (got.ok) {
        // The address goes into request lines; a line end or a further "=" in it would
        // mean a line or a value was cut in the wrong place.
        FUZZ_CHECK(!got.serverUrl.contains(QLatin1Char('\r')));
        FUZZ_CHECK(!got.serverUrl.contains(QLatin1Char('\n')));
        FUZZ_CHECK(!got.serverUrl.contains(QLatin1Char('=')));
    }

    const ConfigResult expected = reference(content);
    FUZZ_CHECK(got.ok == expected.ok);
    if (got.ok)
        FUZZ_CHECK(got.serverUrl == expected.serverUrl);

    // The last "url" wins, whatever came before and in whatever letter case.
    if (got.ok && !content.endsWith('\r') && !content.endsWith('\n')) {
        const QByteArray more = content + "\r\nUrL=http://127.0.0.1:1/cams";
        const ConfigResult last = readConfigText(more);
        FUZZ_CHECK(last.ok);
        FUZZ_CHECK(last.serverUrl == QLatin1String("http://127.0.0.1:1/cams"));
    }
    return 0;
}
