#pragma once
// The layout rules of the fullscreen window and its overlay, in twips.
//
// Each rule takes the geometry as it stands now and returns it with the rule applied; the
// windows read their widgets' current geometry, run the rule and write the result back,
// converting to pixels only there. Nothing is clamped: a screen too small for the comment
// bar gives negative tops, which the widgets simply place off the window.
#include <array>

namespace fullscreen_layout {

struct TwipBox
{
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    bool operator==(const TwipBox &o) const
    {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

// The fullscreen window's widgets in the picture area's coordinates; the line is vertical at X.
struct FullscreenGeometry
{
    TwipBox pictureArea;
    TwipBox countdownCaption;
    std::array<TwipBox, 2> countdownBar;
    TwipBox statusMessage;
    TwipBox statusBox;
    std::array<TwipBox, 3> commentLabels;
    double dividerX = 0;
    double dividerTop = 0;
    double dividerBottom = 0;
    TwipBox commentBackground;
    TwipBox commentTab;
};

// The geometry the window is built with.
FullscreenGeometry fullscreenDesign();

// The window's resize, before the redraw: the picture area fills the inner size, the comment
// bar sits at its bottom edge across the full width, the countdown is centred on the outer width.
// The status box, the countdown's tops and the comment labels' left edges stay.
FullscreenGeometry resizeFullscreen(FullscreenGeometry g, double scaleWidth, double scaleHeight, double outerWidth);

// The overlay's geometry in its own coordinates, and its outer height and top on the screen.
struct OverlayGeometry
{
    double top = 0;
    double height = 0;
    TwipBox commentTabHolder;
    bool commentTabShown = false;
    TwipBox descriptionBox;
    TwipBox figuresLabel;
    TwipBox ratingImage;
    TwipBox figuresBox;
    bool operator==(const OverlayGeometry &o) const
    {
        return top == o.top && height == o.height && commentTabHolder == o.commentTabHolder && commentTabShown == o.commentTabShown
            && descriptionBox == o.descriptionBox && figuresLabel == o.figuresLabel && ratingImage == o.ratingImage && figuresBox == o.figuresBox;
    }
};

OverlayGeometry overlayDesign();

// What the overlay's tick reads of the fullscreen window (outer heights).
struct FullscreenFacts
{
    double height = 0;
    bool commentBarVisible = false;
    double commentBarHeight = 0;
};

// The overlay's layout on a tick while the fullscreen window is visible. With the comment
// bar up the overlay ends 15 below the bar's top and carries the tab picture at its bottom
// edge (shown when the overlay lies at the left edge, left as it is otherwise). Without it
// the overlay is as high as the fullscreen window and the tab is hidden. Either way the
// figures box ends 120 above the overlay's foot (or the tab's top, where that shows), with
// the rating picture and the figures in it, and the text box fills the height above.
OverlayGeometry layoutOverlay(OverlayGeometry g, const FullscreenFacts &fullscreen, double overlayLeft);

} // namespace fullscreen_layout
