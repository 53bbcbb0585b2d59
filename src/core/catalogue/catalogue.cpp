#include "catalogue.h"

#include "core/catalogue/ansitext.h"
#include "core/catalogue/camrecord.h"

Catalogue parseCatalogue(const QByteArray &document)
{
    Catalogue c;
    c.CamTable.clear();
    for (const QByteArrayView raw : ansi::splitLines(document)) {
        if (raw.isEmpty())
            continue;
        if (c.CamCount == MaxCams)
            break;
        const QString line = ansi::decode(raw);
        // Counting separators is enough to know the field count and saves a split per line.
        if (line.count(QLatin1Char(';')) < CamRecord::FieldCount - 1) {
            c.CamTable.append(line);
            return c;
        }
        c.CamTable.append(line);
        ++c.CamCount;
    }
    c.CamTable.append(QString());
    return c;
}
