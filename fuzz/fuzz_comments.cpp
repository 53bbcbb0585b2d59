// The comments answer and the comment rotation: the table built from any answer, the
// clean-up and display time of every entry, and the pick of the next comment with
// draws the fuzzer chooses.
//
// Input: the answer's bytes, followed by control bytes read from the end (lastIndex,
// count mode, draws of the random source).
#include "fuzzcheck.h"

#include "core/catalogue/ansitext.h"
#include "core/rules/commentrules.h"
#include "core/rules/fetchrules.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

namespace {

// The clean-up as its rule reads: each "<br />" becomes a blank (left to right, as the
// pieces do not overlap), then every run of blanks becomes one. The order matters:
// "<br<br /> />" comes out as "<br />", so the result may still hold the tag.
QString referenceClean(const QString &text)
{
    const QStringView tag = u"<br />";
    QString once;
    for (qsizetype i = 0; i < text.size();) {
        if (QStringView(text).sliced(i).startsWith(tag)) {
            once.append(QLatin1Char(' '));
            i += tag.size();
        } else {
            once.append(text.at(i++));
        }
    }
    QString out;
    for (const QChar ch : once) {
        if (ch == QLatin1Char(' ') && out.endsWith(QLatin1Char(' ')))
            continue;
        out.append(ch);
    }
    return out;
}

void checkComment(const QString &raw)
{
    const QString clean = comment_rules::cleanText(raw);
    FUZZ_CHECK(!clean.contains(QStringLiteral("  ")));
    FUZZ_CHECK(clean == referenceClean(raw));
    // Without the nesting shown above no tag survives.
    if (!QString(raw).remove(QStringLiteral("<br />")).contains(QStringLiteral("<br")))
        FUZZ_CHECK(!clean.contains(QStringLiteral("<br />")));

    const int pieces = comment_rules::wordPieces(clean);
    FUZZ_CHECK(pieces == (clean.isEmpty() ? 0 : int(clean.split(QLatin1Char(' ')).size())));

    const int ms = comment_rules::shownMilliseconds(clean);
    FUZZ_CHECK(ms >= comment_rules::MinShownSeconds * 1000);
    FUZZ_CHECK(ms <= comment_rules::MaxShownSeconds * 1000);
    FUZZ_CHECK(ms == std::clamp(pieces * 500, 7000, 60000));

    // Even an uncleaned text (runs of blanks count as pieces) stays within the bounds.
    const int rawMs = comment_rules::shownMilliseconds(raw);
    FUZZ_CHECK(rawMs >= 7000 && rawMs <= 60000);
}

void checkTable(const QByteArray &answer, const QStringList &table)
{
    FUZZ_CHECK(table.size() >= 2);
    FUZZ_CHECK(table.last().isEmpty());

    QList<QByteArray> nonEmpty;
    for (const QByteArrayView line : ansi::splitLines(answer))
        if (!line.isEmpty())
            nonEmpty.append(line.toByteArray());

    if (nonEmpty.isEmpty()) {
        FUZZ_CHECK(table.size() == 2);
        FUZZ_CHECK(table.first().isEmpty());
        return;
    }
    FUZZ_CHECK(table.size() == nonEmpty.size() + 1);
    for (qsizetype i = 0; i + 1 < table.size(); ++i) {
        FUZZ_CHECK(!table.at(i).isEmpty());
        FUZZ_CHECK(!table.at(i).contains(QLatin1Char('\r')));
        FUZZ_CHECK(ansi::encode(table.at(i)) == nonEmpty.at(i));
    }
}

void checkPick(FuzzedDataProvider &fdp, int tableSize)
{
    const bool ownCount = fdp.ConsumeBool();
    const int count = ownCount ? int(fdp.ConsumeIntegralInRange<uint32_t>(1, 1u << 30)) : tableSize;
    const int lastIndex = fdp.ConsumeIntegralInRange<int>(-1, count - 1);

    // Draws in [0, 1) from the fuzzer (all 53 bits, up to the largest double below 1);
    // once they run out, draws that surely differ from lastIndex, so the loop ends.
    std::vector<double> draws;
    const int n = fdp.ConsumeIntegralInRange<int>(0, 8);
    for (int i = 0; i < n; ++i)
        draws.push_back(double(fdp.ConsumeIntegral<uint64_t>() >> 11) * 0x1.0p-53);
    size_t calls = 0;
    auto uniform = [&]() -> double {
        const size_t k = calls++;
        if (k < draws.size())
            return draws[k];
        const int other = lastIndex + 1 < count ? lastIndex + 1 : 0;
        return (other + 0.5) / count;
    };

    const int picked = comment_rules::pickComment(count, lastIndex, uniform);
    FUZZ_CHECK(picked >= 0 && picked < count);
    if (count > 1)
        FUZZ_CHECK(picked != lastIndex);
    FUZZ_CHECK(calls <= draws.size() + 1);
    // A single comment is taken at once, whatever was shown last.
    if (count == 1)
        FUZZ_CHECK(calls == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first up to 64 bytes drive the pick; the answer is everything before them.
    const size_t controlSize = std::min<size_t>(size, 64);
    FuzzedDataProvider control(data + size - controlSize, controlSize);
    const QByteArray answer = fuzz::bytes(data, size - controlSize);

    const QStringList table = fetch_rules::buildCommentTable(answer);
    checkTable(answer, table);
    for (const QString &entry : table)
        checkComment(entry);
    // Texts the table never holds (line ends, any QChar) too.
    checkComment(ansi::decode(answer));
    checkComment(fuzz::text(data, size));

    checkPick(control, int(table.size()));
    return 0;
}
