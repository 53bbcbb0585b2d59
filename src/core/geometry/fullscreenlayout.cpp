#include "fullscreenlayout.h"

namespace fullscreen_layout {

FullscreenGeometry fullscreenDesign()
{
    FullscreenGeometry g;
    g.pictureArea = {0, 0, 10200, 8040};
    g.countdownCaption = {3960, 570, 3240, 255};
    g.countdownBar[1] = {3960, 360, 3240, 645};
    g.countdownBar[0] = {3960, 360, 3240, 645};
    g.statusMessage = {240, 240, 3135, 255};
    g.statusBox = {120, 120, 3375, 495};
    g.commentLabels[2] = {120, 6120, 2100, 225};
    g.dividerX = 2280;
    g.dividerTop = 5400;
    g.dividerBottom = 6720;
    g.commentLabels[1] = {2400, 5400, 7620, 345};
    g.commentLabels[0] = {120, 5640, 2100, 465};
    g.commentBackground = {0, 5280, 10215, 1575};
    g.commentTab = {240, 4920, 2385, 375};
    return g;
}

FullscreenGeometry resizeFullscreen(FullscreenGeometry g, double scaleWidth, double scaleHeight, double outerWidth)
{
    g.pictureArea.width = scaleWidth;
    g.pictureArea.height = scaleHeight;
    g.commentBackground.top = g.pictureArea.height - g.commentBackground.height;
    g.commentBackground.width = g.pictureArea.width;
    g.commentTab.top = g.commentBackground.top - g.commentTab.height;
    g.dividerTop = g.commentBackground.top + 120;
    g.dividerBottom = g.dividerTop + g.commentBackground.height - 240;
    g.commentLabels[0].top = g.commentBackground.top + 360;
    g.commentLabels[1].top = g.commentLabels[0].top;
    g.commentLabels[1].width = g.commentBackground.width - (g.commentLabels[0].width + 120 + g.commentLabels[1].left);
    // The date sits directly under the name here; the main window leaves a gap.
    g.commentLabels[2].top = g.commentLabels[0].top + g.commentLabels[0].height;
    g.countdownBar[0].left = (outerWidth - g.countdownBar[0].width) / 2;
    g.countdownBar[1].left = g.countdownBar[0].left;
    g.countdownCaption.left = g.countdownBar[0].left + 120;
    return g;
}

OverlayGeometry overlayDesign()
{
    OverlayGeometry g;
    g.height = 10590;
    g.commentTabHolder = {240, 7320, 2385, 375};
    g.commentTabShown = false;
    g.descriptionBox = {360, 360, 4215, 9015};
    g.figuresLabel = {240, 9900, 4335, 495};
    g.ratingImage = {1680, 9555, 1500, 300};
    g.figuresBox = {120, 9480, 4575, 975};
    return g;
}

namespace {

// The description fills the overlay down to the figures box, which sits 120 above `foot`.
void placeAboveFoot(OverlayGeometry &g, double foot)
{
    g.descriptionBox.height = foot - g.figuresBox.height - 600;
    g.figuresBox.top = g.descriptionBox.top + g.descriptionBox.height + 120;
    g.ratingImage.top = g.figuresBox.top + 60;
    g.figuresLabel.top = g.figuresBox.top + g.ratingImage.height + 120;
}

} // namespace

OverlayGeometry layoutOverlay(OverlayGeometry g, const FullscreenFacts &fullscreen, double overlayLeft)
{
    if (fullscreen.commentBarVisible) {
        g.height = fullscreen.height - fullscreen.commentBarHeight + 15;
        g.commentTabHolder.top = g.height - g.commentTabHolder.height;
        if (overlayLeft == 0)
            g.commentTabShown = true;
        // The figures box ends above the tab, or the overlay's foot, wherever an earlier
        // layout (the design, another screen, no bar) had left it.
        placeAboveFoot(g, g.commentTabShown ? g.commentTabHolder.top : g.height);
    } else {
        g.height = fullscreen.height;
        placeAboveFoot(g, g.height);
        g.commentTabShown = false;
    }
    g.top = 0;
    return g;
}

} // namespace fullscreen_layout
