// How far a JPEG may be reduced while it is decoded: per scale mode, area, device pixel ratio
// and picture size.
#include "core/geometry/decodereduction.h"

#include <QTest>

Q_DECLARE_METATYPE(ViewScaleMode)
Q_DECLARE_METATYPE(QList<DrawingArea>)

namespace {
const auto S = ViewScaleMode::Stretch;
const auto I = ViewScaleMode::ScaleInline;
const auto O = ViewScaleMode::ScaleOutline;

QList<DrawingArea> one(int w, int h, qreal ratio = 1.0)
{
    return {DrawingArea{QSize(w, h), ratio}};
}
} // namespace

class TestDecodeReduction : public QObject
{
    Q_OBJECT
private slots:
    void factor_data();
    void factor();
    void enough_data();
    void enough();
};

void TestDecodeReduction::factor_data()
{
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QList<DrawingArea>>("areas");
    QTest::addColumn<int>("factor");

    // The main area of a maximised window on a 1920 x 1080 screen. Inline, a 16:9 picture
    // is drawn 1618 x 910 into it: half of 3840 x 2160 covers that, a quarter does not.
    QTest::newRow("2160p inline main area") << I << QSize(3840, 2160) << one(1672, 910) << 2;
    QTest::newRow("1080p inline main area") << I << QSize(1920, 1080) << one(1672, 910) << 1;
    // Two device pixels to a logical one double what is drawn: 3236 x 1820.
    QTest::newRow("2160p inline main area ratio 2") << I << QSize(3840, 2160) << one(1672, 910, 2.0) << 1;
    // 889 x 500 drawn; at ratio 1.5, 1333 x 750.
    QTest::newRow("2160p inline small area") << I << QSize(3840, 2160) << one(900, 500) << 4;
    QTest::newRow("2160p inline small area ratio 1.5") << I << QSize(3840, 2160) << one(900, 500, 1.5) << 2;

    // One picture and one area, three modes. 500 x 100: stretched it is 500 x 100, inline
    // 178 x 100, outline 500 x 281 (overhanging at top and bottom).
    QTest::newRow("wide area stretch") << S << QSize(1920, 1080) << one(500, 100) << 2;
    QTest::newRow("wide area inline") << I << QSize(1920, 1080) << one(500, 100) << 8;
    QTest::newRow("wide area outline") << O << QSize(1920, 1080) << one(500, 100) << 2;
    // 400 x 400: stretched 400 x 400, inline 400 x 225, outline 711 x 400.
    QTest::newRow("square area stretch") << S << QSize(1920, 1080) << one(400, 400) << 2;
    QTest::newRow("square area inline") << I << QSize(1920, 1080) << one(400, 400) << 4;
    QTest::newRow("square area outline") << O << QSize(1920, 1080) << one(400, 400) << 2;
    // 1280 x 960 in a 320 x 240 area of the same shape: the same in every mode.
    QTest::newRow("same shape stretch") << S << QSize(1280, 960) << one(320, 240) << 4;
    QTest::newRow("same shape inline") << I << QSize(1280, 960) << one(320, 240) << 4;
    QTest::newRow("same shape outline") << O << QSize(1280, 960) << one(320, 240) << 4;

    // At least the drawn size, exactly: equal is enough, a pixel more is not.
    QTest::newRow("exactly half") << S << QSize(1920, 1080) << one(960, 540) << 2;
    QTest::newRow("a pixel wider than half") << S << QSize(1920, 1080) << one(961, 540) << 1;
    QTest::newRow("a pixel higher than half") << S << QSize(1920, 1080) << one(960, 541) << 1;
    // 640 x 360 logical at 1.5 is 960 x 540 device pixels.
    QTest::newRow("half in device pixels") << S << QSize(1920, 1080) << one(640, 360, 1.5) << 2;
    QTest::newRow("an eighth") << S << QSize(1920, 1080) << one(240, 135) << 8;
    QTest::newRow("never more than an eighth") << S << QSize(3840, 2160) << one(100, 50) << 8;

    // Only factors that divide both sides: 1918 halves but does not quarter, an odd side
    // does not even halve.
    QTest::newRow("sides halve only") << I << QSize(1918, 1080) << one(200, 100) << 2;
    QTest::newRow("odd width") << I << QSize(1921, 1080) << one(200, 100) << 1;
    QTest::newRow("odd height") << I << QSize(1920, 1081) << one(200, 100) << 1;

    // Every area drawn at once counts; the one needing most decides.
    QTest::newRow("main and fullscreen") << I << QSize(3840, 2160)
                                         << QList<DrawingArea>{{QSize(320, 240), 1.0}, {QSize(1920, 1080), 1.0}} << 2;
    QTest::newRow("main alone") << I << QSize(3840, 2160) << one(320, 240) << 8;
    QTest::newRow("one window on each screen") << I << QSize(3840, 2160)
                                               << QList<DrawingArea>{{QSize(480, 270), 2.0}, {QSize(640, 360), 1.0}}
                                               << 4;

    // Nothing drawn anywhere: nothing to size the picture by, so it is decoded whole.
    QTest::newRow("no area") << I << QSize(3840, 2160) << QList<DrawingArea>{} << 1;
    QTest::newRow("area without height") << I << QSize(3840, 2160) << one(320, 0) << 1;
    QTest::newRow("no mode") << ViewScaleMode::Unselected << QSize(3840, 2160) << one(320, 240) << 1;
    QTest::newRow("an empty area beside a real one")
        << I << QSize(3840, 2160) << QList<DrawingArea>{{QSize(320, 0), 1.0}, {QSize(480, 270), 1.0}} << 8;
    // A picture smaller than the area is never reduced.
    QTest::newRow("picture smaller than the area") << I << QSize(640, 480) << one(1672, 910) << 1;
}

void TestDecodeReduction::factor()
{
    QFETCH(ViewScaleMode, mode);
    QFETCH(QSize, picture);
    QFETCH(QList<DrawingArea>, areas);
    QFETCH(int, factor);

    QCOMPARE(decode_reduction::factorFor(mode, picture, areas), factor);
    // What the factor gives is enough, and so is every lesser one.
    for (int f = factor; f >= 1; f /= 2)
        QVERIFY(decode_reduction::enoughFor(mode, picture, picture / f, areas));
    // The next factor would not be, where the picture has one.
    const int next = factor * 2;
    if (next <= decode_reduction::MaxFactor && picture.width() % next == 0 && picture.height() % next == 0
        && factor > 1)
        QVERIFY(!decode_reduction::enoughFor(mode, picture, picture / next, areas));
}

void TestDecodeReduction::enough_data()
{
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("decoded");
    QTest::addColumn<QList<DrawingArea>>("areas");
    QTest::addColumn<bool>("enough");

    QTest::newRow("full size is always enough") << I << QSize(1920, 1080) << QSize(1920, 1080) << one(4000, 3000)
                                                << true;
    QTest::newRow("a quarter for the main area") << I << QSize(3840, 2160) << QSize(960, 540) << one(900, 500)
                                                 << true;
    // The fullscreen window shown beside it needs the half.
    QTest::newRow("a quarter once the fullscreen area shows")
        << I << QSize(3840, 2160) << QSize(960, 540)
        << QList<DrawingArea>{{QSize(900, 500), 1.0}, {QSize(1920, 1080), 1.0}} << false;
    QTest::newRow("a window made larger") << I << QSize(3840, 2160) << QSize(960, 540) << one(1672, 910) << false;
    QTest::newRow("a screen of two device pixels") << I << QSize(3840, 2160) << QSize(960, 540)
                                                   << one(900, 500, 2.0) << false;
    // Outline overhangs: the area is 500 x 100, the picture drawn 500 x 281.
    QTest::newRow("stretch to outline") << O << QSize(1920, 1080) << QSize(960, 270) << one(500, 100) << false;
    QTest::newRow("no area") << I << QSize(3840, 2160) << QSize(480, 270) << QList<DrawingArea>{} << true;
}

void TestDecodeReduction::enough()
{
    QFETCH(ViewScaleMode, mode);
    QFETCH(QSize, picture);
    QFETCH(QSize, decoded);
    QFETCH(QList<DrawingArea>, areas);
    QFETCH(bool, enough);
    QCOMPARE(decode_reduction::enoughFor(mode, picture, decoded, areas), enough);
}

QTEST_APPLESS_MAIN(TestDecodeReduction)
#include "tst_decodereduction.moc"
