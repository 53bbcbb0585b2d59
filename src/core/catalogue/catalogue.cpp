#include "catalogue.h"

#include "core/catalogue/ansitext.h"
#include "core/catalogue/camrecord.h"

Catalogue parseCatalogue(const QByteArray &document)
{
    Catalogue c;
    c.camTable.clear();
    for (const QByteArrayView raw : ansi::splitLines(document)) {
        if (raw.isEmpty())
            continue;
        if (c.camCount == MaxCams)
            break;
        const QString line = ansi::decode(raw);
        // Counting separators is enough to know the field count and saves a split per line.
        if (line.count(QLatin1Char(';')) < CamRecord::FieldCount - 1) {
            c.camTable.append(line);
            return c;
        }
        c.camTable.append(line);
        ++c.camCount;
    }
    c.camTable.append(QString());
    return c;
}

std::optional<int> camIndexById(const QStringList &camTable, int camCount, const QString &camId)
{
    for (int i = 0; i < camCount && i < camTable.size(); ++i) {
        if (CamRecord::idOf(camTable[i]) == camId)
            return i;
    }
    return std::nullopt;
}
