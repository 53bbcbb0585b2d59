#include "servertext.h"

namespace server_text {

QString shown(const QString &text, int limit)
{
    if (text.size() <= limit)
        return text;
    qsizetype cut = limit;
    if (cut > 0 && text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

} // namespace server_text
