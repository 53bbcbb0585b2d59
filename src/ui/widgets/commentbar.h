#pragma once
// The comment bar: the part of a picture area that shows one user comment. The main and the
// fullscreen window each carry one, with the same widget names; procedures that fill, show
// or hide a comment take this part, not the window.
//
// The struct only points at the widgets; they belong to the picture area they were built
// in and live as long as it does. buildCommentBar() creates the six widgets hidden, at the
// given design geometry (twips, in the picture area's coordinates), stacked as the bar
// needs them: the tab behind the bar, the bar behind the labels and the line.
#include "core/geometry/fullscreenlayout.h"

#include <QString>
#include <QStringList>

#include <array>

class LineShape;
class QLabel;
class QWidget;

struct CommentBar
{
    QLabel *background = nullptr;                  // the bar's background, stretched
    QLabel *tab = nullptr;                  // the tab above the bar
    LineShape *divider = nullptr;                // between name/date and text
    std::array<QLabel *, 3> labels{};      // name, text, date
    QString fullText;                      // the comment's text before it was broken into lines
};

struct CommentBarDesign
{
    fullscreen_layout::TwipBox commentBackground;
    fullscreen_layout::TwipBox commentTab;
    double dividerX = 0;
    double dividerTop = 0;
    double dividerBottom = 0;
    std::array<fullscreen_layout::TwipBox, 3> commentLabels;
    QString dateCaption;
};

CommentBar buildCommentBar(QWidget *pictureArea, const CommentBarDesign &design);

// Shows or hides the bar and its labels, in the order background, tab, the three labels,
// divider.
void setCommentBarVisible(const CommentBar &bar, bool visible);

// Puts a comment's name, text and date into the bar's labels and places them: the name
// and date columns as wide as the wider of the two, the text beside them centred in the
// bar's height, the line between.
void fillCommentBar(CommentBar &bar, const QStringList &fields);

// Breaks the comment's text anew into the text label's present width: called after a
// window's layout has moved or resized the label, so no line runs past its right edge.
void fitCommentText(const CommentBar &bar);
