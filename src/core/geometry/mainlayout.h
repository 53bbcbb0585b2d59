#pragma once
// The main window's layout over its client size, in twips, free of widgets: the toolbar
// strip, the cam list and its scroll bar, the picture area with its comment bar, the info
// bar, and the list's scroll range. Every figure is worked from the current values passed
// in, in a fixed order. A client area too small for the rules gives no negative width or
// height: such values are held at 0, and the scroll range stays inside its 16-bit limits.
namespace main_layout {

struct Input
{
    int W = 0, H = 0;              // client size
    int toolbarLeft = 0;
    int toolbarButtonsWidth = 0;   // all of Toolbar1's buttons together
    int label1Left = 0, label1Width = 0;
    int text2Width = 0;
    int check1Width = 0, check2Width = 0, text3Width = 0, label2Width = 0;
    int camListLeft = 0, camListTop = 0, camListWidth = 0;
    int vscrollWidth = 0;
    int picDrawLeft = 0, picDrawTop = 0;
    int infoBarHeight = 0;
    int menuBarHeight = 0;
    int shape1Height = 0, shape2Height = 0;
    int comment0Height = 0, comment0Width = 0, comment1Left = 0;
    int richTextLeft = 0;
    int itemHeight = 735;
    int camCount = 0;
};

struct Output
{
    int picture1Left = 0, picture1Width = 0;
    int toolbarWidth = 0;
    int text2Left = 0;
    int check1Left = 0;
    int check2Left = 0, text3Left = 0, label2Left = 0;
    int camListHeight = 0;
    int vscrollHeight = 0, vscrollLeft = 0, vscrollTop = 0;
    int picDrawWidth = 0, picDrawHeight = 0;
    int shape1Top = 0, shape1Width = 0;
    int shape2Top = 0;
    int line1Y1 = 0, line1Y2 = 0;
    int comment0Top = 0, comment1Top = 0, comment1Width = 0, comment2Top = 0;
    int infoBarTop = 0, infoBarWidth = 0;
    int richTextWidth = 0;
    int statusBarWidth = 0;
    int menuBarWidth = 0;
    int scrollMax = 0, largeChange = 1;
};

Output layout(const Input &in);

// The refresh and shuffle controls on Picture1, left to right in their design order, each
// as wide as given (the callers pass at least what a caption needs): where each starts and
// how wide the strip must be to hold them all.
struct IntervalRow
{
    int text2Left = 0, check1Left = 0, check2Left = 0, text3Left = 0, label2Left = 0;
    int width = 0;
};
IntervalRow intervalRow(const Input &in);

// The smallest client size at which the rules above keep every control whole: the
// buttons and the interval strip side by side on the menu strip, and a picture at least
// twice as high as the comment bar with its tab, so a comment never hides the picture.
struct Size
{
    int width = 0, height = 0;
};
Size minimumClientSize(const Input &in);

} // namespace main_layout
