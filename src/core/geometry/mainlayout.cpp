#include "mainlayout.h"

#include "core/geometry/listgeometry.h"

#include <algorithm>

namespace main_layout {

namespace {
int atLeast0(int v) { return std::max(0, v); }

// Gaps between the interval controls as the design has them; "Auto shuffle" and its box
// overlap in the design, so they get the gap of the refresh label and its box.
constexpr int Label1ToText2 = 60;
constexpr int Text2ToCheck1 = 240;
constexpr int Check1ToCheck2 = 225;
constexpr int Check2ToText3 = 60;
constexpr int Text3ToLabel2 = 45;
// Between the toolbar's buttons and Picture1, and right of the picture area.
constexpr int ButtonsToPicture1 = 120;
constexpr int RightMargin = 120;
} // namespace

IntervalRow intervalRow(const Input &in)
{
    IntervalRow r;
    r.text2Left = in.label1Left + in.label1Width + Label1ToText2;
    r.check1Left = r.text2Left + in.text2Width + Text2ToCheck1;
    r.check2Left = r.check1Left + in.check1Width + Check1ToCheck2;
    r.text3Left = r.check2Left + in.check2Width + Check2ToText3;
    r.label2Left = r.text3Left + in.text3Width + Text3ToLabel2;
    r.width = r.label2Left + in.label2Width;
    return r;
}

Size minimumClientSize(const Input &in)
{
    Size s;
    const int menuStrip = in.toolbarLeft + in.toolbarButtonsWidth + ButtonsToPicture1 + intervalRow(in).width;
    s.width = in.picDrawLeft + menuStrip + RightMargin;
    const int picture = 2 * (in.shape1Height + in.shape2Height);
    s.height = in.infoBarHeight + 480 + in.menuBarHeight + picture;
    return s;
}

Output layout(const Input &in)
{
    Output o;
    o.picture1Left = in.toolbarLeft + in.toolbarButtonsWidth + ButtonsToPicture1;
    const IntervalRow row = intervalRow(in);
    o.picture1Width = row.width;
    o.text2Left = row.text2Left;
    o.check1Left = row.check1Left;
    o.check2Left = row.check2Left;
    o.text3Left = row.text3Left;
    o.label2Left = row.label2Left;

    o.camListHeight = atLeast0(in.H - 240);
    o.vscrollHeight = atLeast0(o.camListHeight - 30);
    o.vscrollLeft = in.camListLeft + in.camListWidth - in.vscrollWidth - 15;
    o.vscrollTop = in.camListTop + 15;

    o.picDrawWidth = atLeast0(in.W - (in.picDrawLeft + RightMargin));
    o.picDrawHeight = atLeast0(in.H - (in.infoBarHeight + 480 + in.menuBarHeight));

    o.shape1Top = o.picDrawHeight - in.shape1Height;
    o.shape1Width = o.picDrawWidth;
    o.shape2Top = o.shape1Top - in.shape2Height;
    o.line1Y1 = o.shape1Top + 120;
    o.line1Y2 = o.line1Y1 + in.shape1Height - 240;
    o.comment0Top = o.shape1Top + 360;
    o.comment1Top = o.comment0Top;
    o.comment1Width = atLeast0(o.shape1Width - (in.comment0Width + 120 + in.comment1Left));
    o.comment2Top = o.comment0Top + in.comment0Height + 120;

    o.infoBarTop = in.picDrawTop + o.picDrawHeight + 120;
    o.infoBarWidth = atLeast0(in.W - (in.camListWidth + 360));
    o.richTextWidth = atLeast0(o.infoBarWidth - 2 * in.richTextLeft);
    o.statusBarWidth = o.infoBarWidth;
    o.menuBarWidth = o.picDrawWidth;
    o.toolbarWidth = atLeast0(o.menuBarWidth - in.toolbarLeft);

    const list_geometry::ScrollRange range = list_geometry::scrollRange(in.camCount, o.camListHeight, in.itemHeight);
    o.scrollMax = range.Max;
    o.largeChange = range.LargeChange;
    return o;
}

} // namespace main_layout
