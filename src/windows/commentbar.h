#pragma once
// The comment bar: the part of a picture area that shows one user comment. The main and the
// fullscreen window each carry one, with the same widget names; procedures that fill, show
// or hide a comment take this part, not the window.
//
// The struct only points at the widgets; they belong to the picture area they were built
// in and live as long as it does. buildCommentBar() creates the six widgets hidden, at the
// given design geometry (twips, in the picture area's coordinates), stacked as the bar
// needs them: the tab behind the bar, the bar behind the labels and the line.
#include "windows/fullscreenlayout.h"

#include <QString>

#include <array>

class LineShape;
class QLabel;
class QWidget;

struct CommentBar
{
    QLabel *Shape1 = nullptr;                  // the bar's background, stretched
    QLabel *Shape2 = nullptr;                  // the tab above the bar
    LineShape *Line1 = nullptr;                // between name/date and text
    std::array<QLabel *, 3> CamComment{};      // name, text, date
};

struct CommentBarDesign
{
    fullscreen_layout::TwipBox Shape1;
    fullscreen_layout::TwipBox Shape2;
    double Line1X = 0;
    double Line1Y1 = 0;
    double Line1Y2 = 0;
    std::array<fullscreen_layout::TwipBox, 3> CamComment;
    QString dateCaption;
};

CommentBar buildCommentBar(QWidget *pictureArea, const CommentBarDesign &design);
