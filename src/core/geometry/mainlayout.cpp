#include "mainlayout.h"

#include "core/geometry/listgeometry.h"

#include <algorithm>

namespace main_layout {

namespace {
int atLeast0(int v) { return std::max(0, v); }
} // namespace

Output layout(const Input &in)
{
    Output o;
    o.picture1Left = in.toolbarLeft + in.toolbarButtonsWidth + 120;
    o.text2Left = in.label1Left + in.label1Width + 60;
    o.check1Left = o.text2Left + in.text2Width + 240;

    o.camListHeight = atLeast0(in.H - 240);
    o.vscrollHeight = atLeast0(o.camListHeight - 30);
    o.vscrollLeft = in.camListLeft + in.camListWidth - in.vscrollWidth - 15;
    o.vscrollTop = in.camListTop + 15;

    o.picDrawWidth = atLeast0(in.W - (in.picDrawLeft + 120));
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

    const list_geometry::ScrollRange range = list_geometry::scrollRange(in.camCount, o.camListHeight, in.itemHeight);
    o.scrollMax = range.Max;
    o.largeChange = range.LargeChange;
    return o;
}

} // namespace main_layout
