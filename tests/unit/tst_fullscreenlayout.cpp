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
    QTest::addColumn<double>("nameWidth");  // CamComment(0).Width before the resize
    QTest::addColumn<double>("textLeft");   // CamComment(1).Left before the resize
    QTest::addColumn<double>("shape1Top");
    QTest::addColumn<double>("shape2Top");
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
    before.CamComment[0].Width = nameWidth;
    before.CamComment[2].Width = nameWidth;
    before.CamComment[1].Left = textLeft;
    const FullscreenGeometry g = resizeFullscreen(before, W, H, outerW);

    QCOMPARE(g.picDraw, (TwipBox{0, 0, W, H}));
    QTEST(g.Shape1.Top, "shape1Top");
    QCOMPARE(g.Shape1.Width, W);
    QTEST(g.Shape2.Top, "shape2Top");
    QTEST(g.Line1Y1, "lineY1");
    QTEST(g.Line1Y2, "lineY2");
    QTEST(g.CamComment[0].Top, "nameTop");
    QTEST(g.CamComment[1].Top, "nameTop");
    QTEST(g.CamComment[2].Top, "dateTop");
    QTEST(g.CamComment[1].Width, "textWidth");
    QTEST(g.AutoRandom[0].Left, "barLeft");
    QTEST(g.AutoRandom[1].Left, "barLeft");
    QTEST(g.AutoRandomLabel.Left, "labelLeft");
}

void TestFullscreenLayout::fullscreenResizeKeepsTheRest()
{
    const FullscreenGeometry d = fullscreenDesign();
    const FullscreenGeometry g = resizeFullscreen(d, Screen1024W, Screen768H, Screen1024W);
    QCOMPARE(g.Label1, d.Label1);
    QCOMPARE(g.Shape3, d.Shape3);
    QCOMPARE(g.Line1X, d.Line1X);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(g.CamComment[i].Left, d.CamComment[i].Left);
        QCOMPARE(g.CamComment[i].Height, d.CamComment[i].Height);
    }
    QCOMPARE(g.CamComment[0].Width, d.CamComment[0].Width);
    QCOMPARE(g.CamComment[2].Width, d.CamComment[2].Width);
    QCOMPARE(g.Shape1.Left, d.Shape1.Left);
    QCOMPARE(g.Shape1.Height, d.Shape1.Height);
    QCOMPARE(g.Shape2.Left, d.Shape2.Left);
    QCOMPARE(g.Shape2.Width, d.Shape2.Width);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(g.AutoRandom[i].Top, d.AutoRandom[i].Top);
        QCOMPARE(g.AutoRandom[i].Width, d.AutoRandom[i].Width);
    }
    QCOMPARE(g.AutoRandomLabel.Top, d.AutoRandomLabel.Top);
    // A second resize to the same size changes nothing.
    const FullscreenGeometry again = resizeFullscreen(g, Screen1024W, Screen768H, Screen1024W);
    QCOMPARE(again.Shape1, g.Shape1);
    QCOMPARE(again.CamComment[1], g.CamComment[1]);
    QCOMPARE(again.Line1Y2, g.Line1Y2);
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
    before.Top = 300;
    before.ShapeXVisible = tabShownBefore;
    for (double left : {0.0, 10500.0}) {
        const OverlayGeometry g = layoutOverlay(before, {screenH, false, 1575}, left);
        QCOMPARE(g.Height, screenH);
        QCOMPARE(g.Top, 0.0);
        QTEST(g.RichTextBox1.Height, "textHeight");
        QTEST(g.Shape1.Top, "boxTop");
        QTEST(g.Image1.Top, "imageTop");
        QTEST(g.Label1.Top, "labelTop");
        QCOMPARE(g.ShapeXVisible, false);
        // Widths and horizontal places never change.
        QCOMPARE(g.RichTextBox1.Left, before.RichTextBox1.Left);
        QCOMPARE(g.RichTextBox1.Width, before.RichTextBox1.Width);
        QCOMPARE(g.Label1.Left, before.Label1.Left);
        QCOMPARE(g.ShapeX, before.ShapeX);
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
    first.ShapeXVisible = tabShownBefore;
    const OverlayGeometry g = layoutOverlay(first, {15360, true, 1575}, left);
    QCOMPARE(g.Height, 13800.0);
    QCOMPARE(g.ShapeX.Top, 13425.0);
    QCOMPARE(g.Top, 0.0);
    QTEST(g.ShapeXVisible, "tabShownAfter");
    QCOMPARE(g.Shape1.Top + g.Shape1.Height, (g.ShapeXVisible ? 13425.0 : 13800.0) - 120);
    QCOMPARE(g.Label1.Top, g.Shape1.Top + 420);
    QCOMPARE(g.RichTextBox1.Top, first.RichTextBox1.Top);
    QCOMPARE(g.RichTextBox1.Top + g.RichTextBox1.Height + 120, g.Shape1.Top);

    // After a layout without the bar the figures box sits at the screen's foot, where the
    // bar would cover it: it moves up to end 120 above the shortened overlay's foot, or
    // above the tab where that is shown there. The same at 1024 x 768 with the box still
    // at its design place.
    const OverlayGeometry before = layoutOverlay(overlayDesign(), {Screen768H, false, 1575}, left);
    const OverlayGeometry moved = layoutOverlay(before, {Screen768H, true, 1575}, left);
    const OverlayGeometry fromDesign = layoutOverlay(overlayDesign(), {Screen768H, true, 1575}, left);
    QCOMPARE(fromDesign.Shape1, moved.Shape1);
    QCOMPARE(fromDesign.Label1, moved.Label1);
    QCOMPARE(moved.Height, 9960.0);
    QCOMPARE(moved.ShapeX.Top, 9585.0);
    const double foot = moved.ShapeXVisible ? 9585.0 : 9960.0;
    QCOMPARE(moved.RichTextBox1.Height, foot - 975 - 600);
    QCOMPARE(moved.Shape1.Top, foot - 1095);
    QCOMPARE(moved.Shape1.Top + moved.Shape1.Height, foot - 120);
    QCOMPARE(moved.Image1.Top, moved.Shape1.Top + 60);
    QCOMPARE(moved.Label1.Top, moved.Shape1.Top + 420);
    QCOMPARE(moved.Label1.Left, before.Label1.Left);
}

QTEST_APPLESS_MAIN(TestFullscreenLayout)
#include "tst_fullscreenlayout.moc"
