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
    int toolbarButtonsWidth = 0;   // all of the toolbar's buttons together
    int refreshLabelLeft = 0, refreshLabelWidth = 0;
    int refreshEditWidth = 0;
    int showCommentsWidth = 0, autoShuffleWidth = 0, shuffleEditWidth = 0, secondsLabelWidth = 0;
    int camListLeft = 0, camListTop = 0, camListWidth = 0;
    int vscrollWidth = 0;
    int pictureAreaLeft = 0, pictureAreaTop = 0;
    int infoBarHeight = 0;
    int menuBarHeight = 0;
    int commentBarHeight = 0, commentTabHeight = 0;
    int commentNameHeight = 0, commentNameWidth = 0, commentTextLeft = 0;
    int descriptionLeft = 0;
    int itemHeight = 735;
    int camCount = 0;
};

struct Output
{
    int intervalStripLeft = 0, intervalStripWidth = 0;
    int toolbarWidth = 0;
    int refreshEditLeft = 0;
    int showCommentsLeft = 0;
    int autoShuffleLeft = 0, shuffleEditLeft = 0, secondsLabelLeft = 0;
    int camListHeight = 0;
    int vscrollHeight = 0, vscrollLeft = 0, vscrollTop = 0;
    int pictureAreaWidth = 0, pictureAreaHeight = 0;
    int commentBarTop = 0, commentBarWidth = 0;
    int commentTabTop = 0;
    int dividerTop = 0, dividerBottom = 0;
    int commentNameTop = 0, commentTextTop = 0, commentTextWidth = 0, commentDateTop = 0;
    int infoBarTop = 0, infoBarWidth = 0;
    int descriptionWidth = 0;
    int statusBarWidth = 0;
    int menuBarWidth = 0;
    int scrollMax = 0, largeChange = 1;
};

Output layout(const Input &in);

// The refresh and shuffle controls on the interval strip, left to right in their design
// order, each as wide as given (the callers pass at least what a caption needs): where each
// starts and how wide the strip must be to hold them all.
struct IntervalRow
{
    int refreshEditLeft = 0, showCommentsLeft = 0, autoShuffleLeft = 0, shuffleEditLeft = 0, secondsLabelLeft = 0;
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
