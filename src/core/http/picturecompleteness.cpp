#include "picturecompleteness.h"

#include <QtEndian>

namespace picture_completeness {

namespace {

QByteArrayView withoutPadding(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const char last = bytes.back();
        if (last != '\0' && last != ' ' && last != '\r' && last != '\n' && last != '\t')
            break;
        bytes.chop(1);
    }
    return bytes;
}

bool pngCutShort(QByteArrayView bytes)
{
    qsizetype at = 8;
    while (at + 12 <= bytes.size()) {
        const quint32 length = qFromBigEndian<quint32>(bytes.data() + at);
        const QByteArrayView type = bytes.sliced(at + 4, 4);
        if (qsizetype(length) > bytes.size() - at - 12)
            return true;
        if (type == "IEND")
            return false;
        at += 12 + qsizetype(length);
    }
    return true;
}

} // namespace

bool cutShort(QByteArrayView bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return !withoutPadding(bytes).endsWith("\xFF\xD9");
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return pngCutShort(bytes);
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return !withoutPadding(bytes).endsWith(';');
    return false;
}

} // namespace picture_completeness
