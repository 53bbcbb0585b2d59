// Catalogue parse and the single-byte text helpers under it: any document in, the cam
// table's shape and its faithfulness to the document's lines checked.
//
// The cap on the number of cams needs documents far beyond fuzzing size (and each one
// costs hundreds of times a normal input); tst_catalogue covers it.

#include "fuzzcheck.h"

#include "core/catalogue/ansitext.h"
#include "core/catalogue/camrecord.h"
#include "core/catalogue/catalogue.h"

#include <optional>

namespace {

void checkLines(QByteArrayView doc, const QList<QByteArrayView> &lines)
{
    if (doc.isEmpty()) {
        FUZZ_CHECK(lines.isEmpty());
        return;
    }
    // The lines are views into the document; between them stands exactly one line end.
    qsizetype at = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArrayView line = lines.at(i);
        FUZZ_CHECK(line.data() == doc.data() + at);
        FUZZ_CHECK(!line.contains('\r'));
        at += line.size();
        if (at == doc.size()) {
            FUZZ_CHECK(i == lines.size() - 1);
            return;
        }
        FUZZ_CHECK(doc[at] == '\r');
        ++at;
        if (at < doc.size() && doc[at] == '\n')
            ++at;
        if (at == doc.size()) {
            // A final line end starts no further line.
            FUZZ_CHECK(i == lines.size() - 1);
            return;
        }
    }
    FUZZ_CHECK(false); // bytes left over that no line covers
}

void checkCatalogue(const QByteArray &doc)
{
    const QList<QByteArrayView> lines = ansi::splitLines(doc);
    checkLines(doc, lines);

    const Catalogue c = parseCatalogue(doc);
    FUZZ_CHECK(c.camCount >= 0);
    FUZZ_CHECK(c.camCount <= MaxCams);
    FUZZ_CHECK(c.camTable.size() == qsizetype(c.camCount) + 1);

    // The cams are the document's non-empty lines in order, each with all nine fields.
    qsizetype next = 0;
    auto nextNonEmpty = [&]() -> std::optional<QByteArrayView> {
        while (next < lines.size()) {
            const QByteArrayView l = lines.at(next++);
            if (!l.isEmpty())
                return l;
        }
        return std::nullopt;
    };
    for (int i = 0; i < c.camCount; ++i) {
        const QString &cam = c.camTable.at(i);
        FUZZ_CHECK(cam.count(QLatin1Char(';')) >= CamRecord::FieldCount - 1);
        FUZZ_CHECK(CamRecord::split(cam).size() >= CamRecord::FieldCount);
        const auto raw = nextNonEmpty();
        FUZZ_CHECK(raw.has_value());
        FUZZ_CHECK(ansi::encode(cam) == raw->toByteArray());
    }

    // The spare slot: empty when the lines ran out or the cap was reached, otherwise the
    // short line that ended the catalogue.
    const QString &spare = c.camTable.last();
    const auto after = nextNonEmpty();
    if (spare.isEmpty()) {
        FUZZ_CHECK(!after.has_value() || c.camCount == MaxCams);
    } else {
        FUZZ_CHECK(after.has_value());
        FUZZ_CHECK(ansi::encode(spare) == after->toByteArray());
        FUZZ_CHECK(spare.count(QLatin1Char(';')) < CamRecord::FieldCount - 1);
    }

    // Parsing twice gives the same table.
    const Catalogue again = parseCatalogue(doc);
    FUZZ_CHECK(again.camCount == c.camCount && again.camTable == c.camTable);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);

    // Every byte has a character and back again, one for one.
    const QString decoded = ansi::decode(input);
    FUZZ_CHECK(decoded.size() == input.size());
    FUZZ_CHECK(ansi::encode(decoded) == input);

    checkCatalogue(input);
    return 0;
}
