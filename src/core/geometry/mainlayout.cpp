#include "mainlayout.h"

#include "core/geometry/listgeometry.h"

#include <algorithm>

namespace main_layout {

namespace {
int atLeast0(int v) { return std::max(0, v); }

// Gaps between the interval controls as the design has them; "Auto shuffle" and its box
// overlap in the design, so they get the gap of the refresh label and its box.
constexpr int RefreshLabelToEdit = 60;
constexpr int RefreshEditToShowComments = 240;
constexpr int ShowCommentsToAutoShuffle = 225;
constexpr int AutoShuffleToShuffleEdit = 60;
constexpr int ShuffleEditToSeconds = 45;
// Between the toolbar's buttons and the interval strip, and right of the picture area.
constexpr int ButtonsToIntervalStrip = 120;
constexpr int RightMargin = 120;
} // namespace

IntervalRow intervalRow(const Input &in)
{
    IntervalRow r;
    r.refreshEditLeft = in.refreshLabelLeft + in.refreshLabelWidth + RefreshLabelToEdit;
    r.showCommentsLeft = r.refreshEditLeft + in.refreshEditWidth + RefreshEditToShowComments;
    r.autoShuffleLeft = r.showCommentsLeft + in.showCommentsWidth + ShowCommentsToAutoShuffle;
    r.shuffleEditLeft = r.autoShuffleLeft + in.autoShuffleWidth + AutoShuffleToShuffleEdit;
    r.secondsLabelLeft = r.shuffleEditLeft + in.shuffleEditWidth + ShuffleEditToSeconds;
    r.width = r.secondsLabelLeft + in.secondsLabelWidth;
    return r;
}

Size minimumClientSize(const Input &in)
{
    Size s;
    const int menuStrip = in.toolbarLeft + in.toolbarButtonsWidth + ButtonsToIntervalStrip + intervalRow(in).width;
    s.width = in.pictureAreaLeft + menuStrip + RightMargin;
    const int picture = 2 * (in.commentBarHeight + in.commentTabHeight);
    s.height = in.infoBarHeight + 480 + in.menuBarHeight + picture;
    return s;
}

Output layout(const Input &in)
{
    Output o;
    o.intervalStripLeft = in.toolbarLeft + in.toolbarButtonsWidth + ButtonsToIntervalStrip;
    const IntervalRow row = intervalRow(in);
    o.intervalStripWidth = row.width;
    o.refreshEditLeft = row.refreshEditLeft;
    o.showCommentsLeft = row.showCommentsLeft;
    o.autoShuffleLeft = row.autoShuffleLeft;
    o.shuffleEditLeft = row.shuffleEditLeft;
    o.secondsLabelLeft = row.secondsLabelLeft;

    o.camListHeight = atLeast0(in.H - 240);
    o.vscrollHeight = atLeast0(o.camListHeight - 30);
    o.vscrollLeft = in.camListLeft + in.camListWidth - in.vscrollWidth - 15;
    o.vscrollTop = in.camListTop + 15;

    o.pictureAreaWidth = atLeast0(in.W - (in.pictureAreaLeft + RightMargin));
    o.pictureAreaHeight = atLeast0(in.H - (in.infoBarHeight + 480 + in.menuBarHeight));

    o.commentBarTop = o.pictureAreaHeight - in.commentBarHeight;
    o.commentBarWidth = o.pictureAreaWidth;
    o.commentTabTop = o.commentBarTop - in.commentTabHeight;
    o.dividerTop = o.commentBarTop + 120;
    o.dividerBottom = o.dividerTop + in.commentBarHeight - 240;
    o.commentNameTop = o.commentBarTop + 360;
    o.commentTextTop = o.commentNameTop;
    o.commentTextWidth = atLeast0(o.commentBarWidth - (in.commentNameWidth + 120 + in.commentTextLeft));
    o.commentDateTop = o.commentNameTop + in.commentNameHeight + 120;

    o.infoBarTop = in.pictureAreaTop + o.pictureAreaHeight + 120;
    o.infoBarWidth = atLeast0(in.W - (in.camListWidth + 360));
    o.descriptionWidth = atLeast0(o.infoBarWidth - 2 * in.descriptionLeft);
    o.statusBarWidth = o.infoBarWidth;
    o.menuBarWidth = o.pictureAreaWidth;
    o.toolbarWidth = atLeast0(o.menuBarWidth - in.toolbarLeft);

    const list_geometry::ScrollRange range = list_geometry::scrollRange(in.camCount, o.camListHeight, in.itemHeight);
    o.scrollMax = range.Max;
    o.largeChange = range.LargeChange;
    return o;
}

} // namespace main_layout
