#include "core/geometry/fullscreenlayout.h"

#include <QTest>

using namespace fullscreen_layout;

Q_DECLARE_METATYPE(fullscreen_layout::TwipBox)

namespace {

const double Screen1024W = 15360;
const double Screen768H = 11520;

} // namespace

class TestFullscreenLayout : public QObject
{
    Q_OBJECT
private slots:
    void fullscreenResize_data();
    void fullscreenResize();
    void fullscreenResizeKeepsTheRest();
    void overlayWithoutCommentBar_data();
    void overlayWithoutCommentBar();
    void overlayWithCommentBar_data();
    void overlayWithCommentBar();
};

void TestFullscreenLayout::fullscreenResize_data()
{
    QTest::addColumn<double>("W");
    QTest::addColumn<double>("H");
    QTest::addColumn<double>("outerW");
    QTest::addColumn<double>("nameWidth");  // the name label's width before the resize
    QTest::addColumn<double>("textLeft");   // the text label's left edge before the resize
    QTest::addColumn<double>("commentBarTop");
    QTest::addColumn<double>("commentTabTop");
    QTest::addColumn<double>("lineY1");
    QTest::addColumn<double>("lineY2");
    QTest::addColumn<double>("nameTop");
    QTest::addColumn<double>("dateTop");
    QTest::addColumn<double>("textWidth");
    QTest::addColumn<double>("barLeft");
    QTest::addColumn<double>("labelLeft");

    QTest::newRow("1024 x 768") << Screen1024W << Screen768H << Screen1024W << 2100.0 << 2400.0
                                << 9945.0 << 9570.0 << 10065.0 << 11400.0 << 10305.0 << 10770.0
                                << 10740.0 << 6060.0 << 6180.0;
    QTest::newRow("1920 x 1080") << 28800.0 << 16200.0 << 28800.0 << 2100.0 << 2400.0
                                 << 14625.0 << 14250.0 << 14745.0 << 16080.0 << 14985.0 << 15450.0
                                 << 24180.0 << 12780.0 << 12900.0;
    // A comment filled in earlier widened the name column and moved the text.
    QTest::newRow("1024 x 768, wide name") << Screen1024W << Screen768H << Screen1024W << 3000.0 << 3300.0
                                           << 9945.0 << 9570.0 << 10065.0 << 11400.0 << 10305.0 << 10770.0
                                           << 8940.0 << 6060.0 << 6180.0;
    // The countdown centres on the outer width, which a frame would make wider.
    QTest::newRow("outer wider than inner") << Screen1024W << Screen768H << 15390.0 << 2100.0 << 2400.0
                                            << 9945.0 << 9570.0 << 10065.0 << 11400.0 << 10305.0 << 10770.0
                                            << 10740.0 << 6075.0 << 6195.0;
    QTest::newRow("too low for the bar") << 4500.0 << 1200.0 << 4500.0 << 2100.0 << 2400.0
                                         << -375.0 << -750.0 << -255.0 << 1080.0 << -15.0 << 450.0
                                         << -120.0 << 630.0 << 750.0;
}

void TestFullscreenLayout::fullscreenResize()
{
    QFETCH(double, W);
    QFETCH(double, H);
    QFETCH(double, outerW);
    QFETCH(double, nameWidth);
    QFETCH(double, textLeft);

    FullscreenGeometry before = fullscreenDesign();
    before.commentLabels[0].width = nameWidth;
    before.commentLabels[2].width = nameWidth;
    before.commentLabels[1].left = textLeft;
    const FullscreenGeometry g = resizeFullscreen(before, W, H, outerW);

    QCOMPARE(g.pictureArea, (TwipBox{0, 0, W, H}));
    QTEST(g.commentBackground.top, "commentBarTop");
    QCOMPARE(g.commentBackground.width, W);
    QTEST(g.commentTab.top, "commentTabTop");
    QTEST(g.dividerTop, "lineY1");
    QTEST(g.dividerBottom, "lineY2");
    QTEST(g.commentLabels[0].top, "nameTop");
    QTEST(g.commentLabels[1].top, "nameTop");
    QTEST(g.commentLabels[2].top, "dateTop");
    QTEST(g.commentLabels[1].width, "textWidth");
    QTEST(g.countdownBar[0].left, "barLeft");
    QTEST(g.countdownBar[1].left, "barLeft");
    QTEST(g.countdownCaption.left, "labelLeft");
}

void TestFullscreenLayout::fullscreenResizeKeepsTheRest()
{
    const FullscreenGeometry d = fullscreenDesign();
    const FullscreenGeometry g = resizeFullscreen(d, Screen1024W, Screen768H, Screen1024W);
    QCOMPARE(g.statusMessage, d.statusMessage);
    QCOMPARE(g.statusBox, d.statusBox);
    QCOMPARE(g.dividerX, d.dividerX);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(g.commentLabels[i].left, d.commentLabels[i].left);
        QCOMPARE(g.commentLabels[i].height, d.commentLabels[i].height);
    }
    QCOMPARE(g.commentLabels[0].width, d.commentLabels[0].width);
    QCOMPARE(g.commentLabels[2].width, d.commentLabels[2].width);
    QCOMPARE(g.commentBackground.left, d.commentBackground.left);
    QCOMPARE(g.commentBackground.height, d.commentBackground.height);
    QCOMPARE(g.commentTab.left, d.commentTab.left);
    QCOMPARE(g.commentTab.width, d.commentTab.width);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(g.countdownBar[i].top, d.countdownBar[i].top);
        QCOMPARE(g.countdownBar[i].width, d.countdownBar[i].width);
    }
    QCOMPARE(g.countdownCaption.top, d.countdownCaption.top);
    // A second resize to the same size changes nothing.
    const FullscreenGeometry again = resizeFullscreen(g, Screen1024W, Screen768H, Screen1024W);
    QCOMPARE(again.commentBackground, g.commentBackground);
    QCOMPARE(again.commentLabels[1], g.commentLabels[1]);
    QCOMPARE(again.dividerBottom, g.dividerBottom);
}

void TestFullscreenLayout::overlayWithoutCommentBar_data()
{
    QTest::addColumn<double>("screenH");
    QTest::addColumn<bool>("tabShownBefore");
    QTest::addColumn<double>("textHeight");
    QTest::addColumn<double>("boxTop");
    QTest::addColumn<double>("imageTop");
    QTest::addColumn<double>("labelTop");

    QTest::newRow("768 high") << Screen768H << false << 9945.0 << 10425.0 << 10485.0 << 10845.0;
    QTest::newRow("768 high, tab was up") << Screen768H << true << 9945.0 << 10425.0 << 10485.0 << 10845.0;
    QTest::newRow("1080 high") << 16200.0 << false << 14625.0 << 15105.0 << 15165.0 << 15525.0;
}

void TestFullscreenLayout::overlayWithoutCommentBar()
{
    QFETCH(double, screenH);
    QFETCH(bool, tabShownBefore);
    OverlayGeometry before = overlayDesign();
    before.top = 300;
    before.commentTabShown = tabShownBefore;
    for (double left : {0.0, 10500.0}) {
        const OverlayGeometry g = layoutOverlay(before, {screenH, false, 1575}, left);
        QCOMPARE(g.height, screenH);
        QCOMPARE(g.top, 0.0);
        QTEST(g.descriptionBox.height, "textHeight");
        QTEST(g.figuresBox.top, "boxTop");
        QTEST(g.ratingImage.top, "imageTop");
        QTEST(g.figuresLabel.top, "labelTop");
        QCOMPARE(g.commentTabShown, false);
        // Widths and horizontal places never change.
        QCOMPARE(g.descriptionBox.left, before.descriptionBox.left);
        QCOMPARE(g.descriptionBox.width, before.descriptionBox.width);
        QCOMPARE(g.figuresLabel.left, before.figuresLabel.left);
        QCOMPARE(g.commentTabHolder, before.commentTabHolder);
    }
}

void TestFullscreenLayout::overlayWithCommentBar_data()
{
    QTest::addColumn<double>("left");
    QTest::addColumn<bool>("tabShownBefore");
    QTest::addColumn<bool>("tabShownAfter");

    QTest::newRow("left edge shows the tab") << 0.0 << false << true;
    QTest::newRow("left edge, tab up") << 0.0 << true << true;
    QTest::newRow("right edge leaves it hidden") << 10500.0 << false << false;
    QTest::newRow("right edge leaves it shown") << 10500.0 << true << true;
}

void TestFullscreenLayout::overlayWithCommentBar()
{
    QFETCH(double, left);
    QFETCH(bool, tabShownBefore);
    // The first layout has the bar up, on a 1024 pixel high screen: the figures box leaves
    // its design place, high above the bar, for its place just above the foot.
    OverlayGeometry first = overlayDesign();
    first.commentTabShown = tabShownBefore;
    const OverlayGeometry g = layoutOverlay(first, {15360, true, 1575}, left);
    QCOMPARE(g.height, 13800.0);
    QCOMPARE(g.commentTabHolder.top, 13425.0);
    QCOMPARE(g.top, 0.0);
    QTEST(g.commentTabShown, "tabShownAfter");
    QCOMPARE(g.figuresBox.top + g.figuresBox.height, (g.commentTabShown ? 13425.0 : 13800.0) - 120);
    QCOMPARE(g.figuresLabel.top, g.figuresBox.top + 420);
    QCOMPARE(g.descriptionBox.top, first.descriptionBox.top);
    QCOMPARE(g.descriptionBox.top + g.descriptionBox.height + 120, g.figuresBox.top);

    // After a layout without the bar the figures box sits at the screen's foot, where the
    // bar would cover it: it moves up to end 120 above the shortened overlay's foot, or
    // above the tab where that is shown there. The same at 1024 x 768 with the box still
    // at its design place.
    const OverlayGeometry before = layoutOverlay(overlayDesign(), {Screen768H, false, 1575}, left);
    const OverlayGeometry moved = layoutOverlay(before, {Screen768H, true, 1575}, left);
    const OverlayGeometry fromDesign = layoutOverlay(overlayDesign(), {Screen768H, true, 1575}, left);
    QCOMPARE(fromDesign.figuresBox, moved.figuresBox);
    QCOMPARE(fromDesign.figuresLabel, moved.figuresLabel);
    QCOMPARE(moved.height, 9960.0);
    QCOMPARE(moved.commentTabHolder.top, 9585.0);
    const double foot = moved.commentTabShown ? 9585.0 : 9960.0;
    QCOMPARE(moved.descriptionBox.height, foot - 975 - 600);
    QCOMPARE(moved.figuresBox.top, foot - 1095);
    QCOMPARE(moved.figuresBox.top + moved.figuresBox.height, foot - 120);
    QCOMPARE(moved.ratingImage.top, moved.figuresBox.top + 60);
    QCOMPARE(moved.figuresLabel.top, moved.figuresBox.top + 420);
    QCOMPARE(moved.figuresLabel.left, before.figuresLabel.left);
}

QTEST_APPLESS_MAIN(TestFullscreenLayout)
#include "tst_fullscreenlayout.moc"
