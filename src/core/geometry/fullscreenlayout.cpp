#include "fullscreenlayout.h"

namespace fullscreen_layout {

FullscreenGeometry fullscreenDesign()
{
    FullscreenGeometry g;
    g.picDraw = {0, 0, 10200, 8040};
    g.AutoRandomLabel = {3960, 570, 3240, 255};
    g.AutoRandom[1] = {3960, 360, 3240, 645};
    g.AutoRandom[0] = {3960, 360, 3240, 645};
    g.Label1 = {240, 240, 3135, 255};
    g.Shape3 = {120, 120, 3375, 495};
    g.CamComment[2] = {120, 6120, 2100, 225};
    g.Line1X = 2280;
    g.Line1Y1 = 5400;
    g.Line1Y2 = 6720;
    g.CamComment[1] = {2400, 5400, 7620, 345};
    g.CamComment[0] = {120, 5640, 2100, 465};
    g.Shape1 = {0, 5280, 10215, 1575};
    g.Shape2 = {240, 4920, 2385, 375};
    return g;
}

FullscreenGeometry resizeFullscreen(FullscreenGeometry g, double scaleWidth, double scaleHeight, double outerWidth)
{
    g.picDraw.Width = scaleWidth;
    g.picDraw.Height = scaleHeight;
    g.Shape1.Top = g.picDraw.Height - g.Shape1.Height;
    g.Shape1.Width = g.picDraw.Width;
    g.Shape2.Top = g.Shape1.Top - g.Shape2.Height;
    g.Line1Y1 = g.Shape1.Top + 120;
    g.Line1Y2 = g.Line1Y1 + g.Shape1.Height - 240;
    g.CamComment[0].Top = g.Shape1.Top + 360;
    g.CamComment[1].Top = g.CamComment[0].Top;
    g.CamComment[1].Width = g.Shape1.Width - (g.CamComment[0].Width + 120 + g.CamComment[1].Left);
    // The date sits directly under the name here; the main window leaves a gap.
    g.CamComment[2].Top = g.CamComment[0].Top + g.CamComment[0].Height;
    g.AutoRandom[0].Left = (outerWidth - g.AutoRandom[0].Width) / 2;
    g.AutoRandom[1].Left = g.AutoRandom[0].Left;
    g.AutoRandomLabel.Left = g.AutoRandom[0].Left + 120;
    return g;
}

OverlayGeometry overlayDesign()
{
    OverlayGeometry g;
    g.Height = 10590;
    g.ShapeX = {240, 7320, 2385, 375};
    g.ShapeXVisible = false;
    g.RichTextBox1 = {360, 360, 4215, 9015};
    g.Label1 = {240, 9900, 4335, 495};
    g.Image1 = {1680, 9555, 1500, 300};
    g.Shape1 = {120, 9480, 4575, 975};
    return g;
}

namespace {

// The description fills the overlay down to the figures box, which sits 120 above `foot`.
void placeAboveFoot(OverlayGeometry &g, double foot)
{
    g.RichTextBox1.Height = foot - g.Shape1.Height - 600;
    g.Shape1.Top = g.RichTextBox1.Top + g.RichTextBox1.Height + 120;
    g.Image1.Top = g.Shape1.Top + 60;
    g.Label1.Top = g.Shape1.Top + g.Image1.Height + 120;
}

} // namespace

OverlayGeometry layoutOverlay(OverlayGeometry g, const FullscreenFacts &fullscreen, double overlayLeft)
{
    if (fullscreen.commentBarVisible) {
        g.Height = fullscreen.Height - fullscreen.commentBarHeight + 15;
        g.ShapeX.Top = g.Height - g.ShapeX.Height;
        if (overlayLeft == 0)
            g.ShapeXVisible = true;
        // The figures box ends above the tab, or the overlay's foot, wherever an earlier
        // layout (the design, another screen, no bar) had left it.
        placeAboveFoot(g, g.ShapeXVisible ? g.ShapeX.Top : g.Height);
    } else {
        g.Height = fullscreen.Height;
        placeAboveFoot(g, g.Height);
        g.ShapeXVisible = false;
    }
    g.Top = 0;
    return g;
}

} // namespace fullscreen_layout
