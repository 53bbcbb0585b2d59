#include "commentrules.h"

#include <algorithm>

namespace comment_rules {

int pickComment(int count, int lastIndex, const std::function<double()> &uniform)
{
    if (count <= 0)
        return 0; // nothing to pick from

    int i = 0;
    do {
        i = int(uniform() * count);
    } while (i == lastIndex && count != 1);
    return i;
}

QString cleanText(QString text)
{
    text.replace(QStringLiteral("<br />"), QStringLiteral(" "));
    while (text.contains(QStringLiteral("  ")))
        text.replace(QStringLiteral("  "), QStringLiteral(" "));
    return text;
}

int wordPieces(const QString &text) { return text.isEmpty() ? 0 : int(text.count(QLatin1Char(' '))) + 1; }

int shownMilliseconds(const QString &cleanedText)
{
    const double seconds = std::clamp(wordPieces(cleanedText) / 2.0, double(MinShownSeconds), double(MaxShownSeconds));
    return int(seconds * 1000);
}

BoxPlacement placeCommentBox(int nameWidth, int dateWidth, int textHeight, int barTop, int barHeight,
                             int barWidth)
{
    BoxPlacement p;
    p.columnWidth = std::max(nameWidth, dateWidth);
    p.textTop = barTop + (barHeight - textHeight) / 2;
    p.textLeft = ColumnLeft + p.columnWidth + 180;
    p.textWidth = std::max(0, barWidth - p.textLeft - 120);
    p.dividerX = ColumnLeft + p.columnWidth + 60;
    return p;
}

} // namespace comment_rules
