#include "core/geometry/scalegeometry.h"

#include <QTest>

Q_DECLARE_METATYPE(ViewScaleMode)
Q_DECLARE_METATYPE(ScaleError)

namespace {
const auto S = ViewScaleMode::Stretch;
const auto I = ViewScaleMode::ScaleInline;
const auto O = ViewScaleMode::ScaleOutline;
} // namespace

class TestScaleGeometry : public QObject
{
    Q_OBJECT
private slots:
    void placement_data();
    void placement();
    void errors_data();
    void errors();
    void sameProportionsSameEverywhere_data();
    void sameProportionsSameEverywhere();
    void nothingSelectedDrawsNothing();
};

void TestScaleGeometry::placement_data()
{
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<float>("dW");
    QTest::addColumn<float>("dH");
    QTest::addColumn<float>("oW");
    QTest::addColumn<float>("oH");
    QTest::addColumn<float>("W");
    QTest::addColumn<float>("H");
    QTest::addColumn<int>("X");
    QTest::addColumn<int>("Y");
    QTest::addColumn<QRect>("pixels");

    // A 640 x 480 picture in a 1000 x 600 pixel area.
    QTest::newRow("wide area stretch") << S << 15000.f << 9000.f << 9600.f << 7200.f
                                       << 15000.f << 9000.f << 0 << 0 << QRect(0, 0, 1000, 600);
    QTest::newRow("wide area inline") << I << 15000.f << 9000.f << 9600.f << 7200.f
                                      << 12000.f << 9000.f << 1500 << 0 << QRect(100, 0, 800, 600);
    QTest::newRow("wide area outline") << O << 15000.f << 9000.f << 9600.f << 7200.f
                                       << 15000.f << 11250.f << 0 << -1125 << QRect(0, -75, 1000, 750);
    // The same picture in a tall 400 x 600 pixel area.
    QTest::newRow("tall area inline") << I << 6000.f << 9000.f << 9600.f << 7200.f
                                      << 6000.f << 4500.f << 0 << 2250 << QRect(0, 150, 400, 300);
    QTest::newRow("tall area outline") << O << 6000.f << 9000.f << 9600.f << 7200.f
                                       << 12000.f << 9000.f << -3000 << 0 << QRect(-200, 0, 800, 600);
    QTest::newRow("tall area stretch") << S << 6000.f << 9000.f << 9600.f << 7200.f
                                       << 6000.f << 9000.f << 0 << 0 << QRect(0, 0, 400, 600);

    // Rounding: a picture as high as the area and a little narrower, so that inline fits
    // the height and the half difference is what is left over.
    QTest::newRow("half 22.5 rounds to 22, pixel 1") << I << 9645.f << 7200.f << 9600.f << 7200.f
                                                     << 9600.f << 7200.f << 22 << 0 << QRect(1, 0, 640, 480);
    QTest::newRow("half 37.5 rounds to 38, pixel 3") << I << 9675.f << 7200.f << 9600.f << 7200.f
                                                     << 9600.f << 7200.f << 38 << 0 << QRect(3, 0, 640, 480);
    QTest::newRow("origin 8 is pixel 1") << I << 9616.f << 7200.f << 9600.f << 7200.f
                                         << 9600.f << 7200.f << 8 << 0 << QRect(1, 0, 640, 480);
    QTest::newRow("origin 7 is pixel 0") << I << 9614.f << 7200.f << 9600.f << 7200.f
                                         << 9600.f << 7200.f << 7 << 0 << QRect(0, 0, 640, 480);
    QTest::newRow("negative half -22.5 rounds to -22") << O << 9555.f << 7200.f << 9600.f << 7200.f
                                                       << 9600.f << 7200.f << -22 << 0 << QRect(-1, 0, 640, 480);
    QTest::newRow("vertical half 7.5 rounds to 8") << I << 9600.f << 7215.f << 9600.f << 7200.f
                                                   << 9600.f << 7200.f << 0 << 8 << QRect(0, 1, 640, 480);

    // The limits of the 16-bit origin in outline: a picture 65536 twips wider than the
    // area still fits, -32768.5 goes to the even -32768.
    QTest::newRow("origin -32768") << O << 1500.f << 1500.f << 67036.f << 1500.f
                                   << 67036.f << 1500.f << -32768 << 0 << QRect(-2185, 0, 4469, 100);
    QTest::newRow("origin -32768.5 to even") << O << 1500.f << 1500.f << 67037.f << 1500.f
                                             << 67037.f << 1500.f << -32768 << 0 << QRect(-2185, 0, 4469, 100);
    QTest::newRow("origin 32767 inline") << I << 66034.f << 15.f << 500.f << 15.f
                                         << 500.f << 15.f << 32767 << 0 << QRect(2184, 0, 33, 1);
}

void TestScaleGeometry::placement()
{
    QFETCH(ViewScaleMode, mode);
    QFETCH(float, dW);
    QFETCH(float, dH);
    QFETCH(float, oW);
    QFETCH(float, oH);
    const ScaledPlacement p = scaledPlacement(mode, dW, dH, oW, oH);
    QCOMPARE(p.error, ScaleError::None);
    QTEST(p.W, "W");
    QTEST(p.H, "H");
    QTEST(int(p.X), "X");
    QTEST(int(p.Y), "Y");
    QTEST(p.pixels, "pixels");
}

void TestScaleGeometry::errors_data()
{
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<float>("dW");
    QTest::addColumn<float>("dH");
    QTest::addColumn<float>("oW");
    QTest::addColumn<float>("oH");
    QTest::addColumn<ScaleError>("error");

    QTest::newRow("inline, area without height") << I << 9000.f << 0.f << 9600.f << 7200.f << ScaleError::DivisionByZero;
    QTest::newRow("outline, area without height") << O << 9000.f << 0.f << 9600.f << 7200.f << ScaleError::DivisionByZero;
    QTest::newRow("stretch, area without height") << S << 9000.f << 0.f << 9600.f << 7200.f << ScaleError::None;
    QTest::newRow("inline, picture without height") << I << 9000.f << 900.f << 9600.f << 0.f << ScaleError::DivisionByZero;
    QTest::newRow("outline, picture without width, fit by width")
        << O << 9000.f << 900.f << 0.f << 7200.f << ScaleError::DivisionByZero;
    QTest::newRow("stretch ignores the picture") << S << 9000.f << 900.f << 0.f << 0.f << ScaleError::None;

    // A 10000 x 10 pixel strip covering a 1000 x 600 area overhangs by far more than
    // 16 bits of twips.
    QTest::newRow("outline very wide picture") << O << 15000.f << 9000.f << 150000.f << 150.f << ScaleError::Overflow;
    QTest::newRow("outline very tall picture") << O << 15000.f << 9000.f << 150.f << 150000.f << ScaleError::Overflow;
    QTest::newRow("origin -32769") << O << 1500.f << 1500.f << 67038.f << 1500.f << ScaleError::Overflow;
    QTest::newRow("origin 32767.5 rounds to 32768") << I << 66035.f << 15.f << 500.f << 15.f << ScaleError::Overflow;
    QTest::newRow("inline keeps a very wide picture inside") << I << 15000.f << 9000.f << 150000.f << 150.f
                                                             << ScaleError::None;
}

void TestScaleGeometry::errors()
{
    QFETCH(ViewScaleMode, mode);
    QFETCH(float, dW);
    QFETCH(float, dH);
    QFETCH(float, oW);
    QFETCH(float, oH);
    QFETCH(ScaleError, error);
    const ScaledPlacement p = scaledPlacement(mode, dW, dH, oW, oH);
    QCOMPARE(p.error, error);
    if (error != ScaleError::None)
        QVERIFY(p.pixels.isEmpty());
}

void TestScaleGeometry::sameProportionsSameEverywhere_data()
{
    QTest::addColumn<float>("dW");
    QTest::addColumn<float>("dH");
    QTest::addColumn<float>("oW");
    QTest::addColumn<float>("oH");
    QTest::newRow("4:3 doubled") << 19200.f << 14400.f << 9600.f << 7200.f;
    QTest::newRow("16:9 scaled by 1.5") << 21600.f << 12150.f << 14400.f << 8100.f;
    QTest::newRow("1001:601 (not exact in binary)") << 15015.f << 9015.f << 30030.f << 18030.f;
    QTest::newRow("odd 7:3 shrunk") << 1575.f << 675.f << 11025.f << 4725.f;
}

void TestScaleGeometry::sameProportionsSameEverywhere()
{
    QFETCH(float, dW);
    QFETCH(float, dH);
    QFETCH(float, oW);
    QFETCH(float, oH);
    const QRect whole(0, 0, int(dW / 15), int(dH / 15));
    for (ViewScaleMode mode : {S, I, O}) {
        const ScaledPlacement p = scaledPlacement(mode, dW, dH, oW, oH);
        QCOMPARE(p.error, ScaleError::None);
        QCOMPARE(p.pixels, whole);
    }
}

void TestScaleGeometry::nothingSelectedDrawsNothing()
{
    const ScaledPlacement p = scaledPlacement(ViewScaleMode::Unselected, 15000.f, 9000.f, 9600.f, 7200.f);
    QCOMPARE(p.error, ScaleError::None);
    QVERIFY(p.pixels.isEmpty());
    QCOMPARE(int(p.X), 7500);
    QCOMPARE(int(p.Y), 4500);
}

QTEST_APPLESS_MAIN(TestScaleGeometry)
#include "tst_scalegeometry.moc"
