#include "ansitext.h"

#include <array>

namespace ansi {
namespace {

// 0x80..0x9F; everything else is Latin-1.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

QString decode(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *dst = out.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *dst++ = (b >= 0x80 && b <= 0x9F) ? QChar(HighControls[b - 0x80]) : QChar(b);
    }
    return out;
}

QByteArray encode(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.append(static_cast<char>(u));
            continue;
        }
        char mapped = '?';
        for (int i = 0; i < int(HighControls.size()); ++i) {
            if (HighControls[i] == u) {
                mapped = static_cast<char>(0x80 + i);
                break;
            }
        }
        out.append(mapped);
    }
    return out;
}

QList<QByteArrayView> splitLines(QByteArrayView document)
{
    QList<QByteArrayView> lines;
    const qsizetype n = document.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (document[i] != '\r')
            continue;
        lines.append(document.sliced(start, i - start));
        if (i + 1 < n && document[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(document.sliced(start));
    return lines;
}

} // namespace ansi
