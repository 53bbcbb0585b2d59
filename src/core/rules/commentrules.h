#pragma once
// The comment rotation's rules, free of widgets: which comment comes next, how its text
// is cleaned, how long it stays up, and where the comment bar's labels go.
#include <QString>

#include <functional>

namespace comment_rules {

inline constexpr int PauseMs = 7000;
inline constexpr int MinShownSeconds = 7;
inline constexpr int MaxShownSeconds = 60;

// The index of the next comment out of `count`: uniform, drawn again while it repeats the
// last one shown, unless there is only one. `uniform` gives numbers in [0, 1).
int pickComment(int count, int lastIndex, const std::function<double()> &uniform);

// "<br />" becomes a blank, then runs of blanks shrink to one.
QString cleanText(QString text);

// The pieces a split at single blanks gives: none for an empty text; a blank at either
// end adds an empty piece.
int wordPieces(const QString &text);

// How long a comment stays up: half a second a piece, held to 7..60 seconds.
int shownMilliseconds(const QString &cleanedText);

// fillCommentBar's placement (twips). The name (label 0) and date (label 2) columns take
// the wider of their two text widths; the text (label 1) is centred in the bar's height
// and starts 180 right of the column; the line stands 60 right of the column.
struct BoxPlacement
{
    int columnWidth = 0;
    int textTop = 0;
    int textLeft = 0;
    int textWidth = 0;
    int dividerX = 0;
};
inline constexpr int ColumnLeft = 120;
// The comment text label's height for one line.
inline constexpr int TextLabelHeight = 345;
BoxPlacement placeCommentBox(int nameWidth, int dateWidth, int textHeight, int barTop, int barHeight,
                             int barWidth);

} // namespace comment_rules
