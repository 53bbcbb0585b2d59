#include "core/geometry/listgeometry.h"

#include <QTest>

#include <cstdlib>

using namespace list_geometry;

namespace {
constexpr double Item = 735;
constexpr double DesignHeight = 10455;
}

class TestListGeometry : public QObject
{
    Q_OBJECT
private slots:
    void scrollRange_data();
    void scrollRange();
    void firstRowAndTops();
    void scrollToCam_data();
    void scrollToCam();
    void wheelRows_data();
    void wheelRows();
    void hitTest_data();
    void hitTest();
    void ratingPicture_data();
    void ratingPicture();
};

void TestListGeometry::scrollRange_data()
{
    QTest::addColumn<int>("cams");
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("largeChange");

    QTest::newRow("design, 100 cams") << 100 << DesignHeight << 43 << 5;
    QTest::newRow("design, 32768 cams") << 32768 << DesignHeight << 16050 << 5;
    QTest::newRow("all cams fit: empty range") << 5 << DesignHeight << 0 << 5;
    QTest::newRow("one cam") << 1 << DesignHeight << 0 << 5;
    QTest::newRow("a list two rows high keeps a page step") << 100 << 2 * Item << 49 << 1;
    QTest::newRow("no height at all") << 100 << 0.0 << 49 << 1;
    QTest::newRow("taller list, 15 visible rows") << 100 << 15 * Item << 42 << 6;
}

void TestListGeometry::scrollRange()
{
    QFETCH(int, cams);
    QFETCH(double, height);
    QFETCH(int, max);
    QFETCH(int, largeChange);
    const ScrollRange r = list_geometry::scrollRange(cams, height, Item);
    QCOMPARE(r.Max, max);
    QCOMPARE(r.LargeChange, largeChange);
}

void TestListGeometry::firstRowAndTops()
{
    QCOMPARE(firstRow(0, Item), 0);
    QCOMPARE(firstRow(1, Item), 2);   // 2.04 rows per step
    QCOMPARE(firstRow(24, Item), 49); // 48.98
    QCOMPARE(firstRow(43, Item), 88);

    // Value 0: nothing waits above the window.
    QCOMPARE(rowTop(0, 0, Item), 0.0);
    QCOMPARE(rowTop(3, 0, Item), 3 * Item);
    // Rows above the first wait one row above the window; the rest stack from 0.
    QCOMPARE(rowTop(0, 49, Item), -Item);
    QCOMPARE(rowTop(48, 49, Item), -Item);
    QCOMPARE(rowTop(49, 49, Item), 0.0);
    QCOMPARE(rowTop(52, 49, Item), 3 * Item);
}

void TestListGeometry::scrollToCam_data()
{
    QTest::addColumn<int>("cam");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("value");

    for (int k = 0; k <= 3; ++k)
        QTest::addRow("cam %d stays at the top", k) << k << 43 << 0;
    QTest::newRow("cam 4") << 4 << 43 << 1;
    QTest::newRow("cam 50: 23.5 to the even 24") << 50 << 43 << 24;
    QTest::newRow("cam 52: 24.48") << 52 << 43 << 24;
    QTest::newRow("cam 150: 72.5 to the even 72") << 150 << 16050 << 72;
    QTest::newRow("last of 100 cams stops at Max") << 99 << 43 << 43;
    QTest::newRow("empty range") << 3 << 0 << 0;
}

void TestListGeometry::scrollToCam()
{
    QFETCH(int, cam);
    QFETCH(int, max);
    QFETCH(int, value);
    QCOMPARE(scrollValueForCam(cam, Item, 0, max), value);
    // The cam then stands within the first four rows, unless the list end holds it back.
    const int first = firstRow(value, Item);
    if (value > 0 && value < max) {
        QVERIFY(cam - first >= 1);
        QVERIFY(cam - first <= 3);
    }
}

void TestListGeometry::wheelRows_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("moved");
    QTest::addColumn<int>("value");
    QTest::newRow("3 down from the top") << 0 << 3 << 43 << 3 << 1;    // 1.47
    QTest::newRow("3 more") << 3 << 3 << 43 << 6 << 3;                 // 2.94
    QTest::newRow("3 up") << 6 << -3 << 43 << 3 << 1;
    QTest::newRow("up past the top") << 2 << -3 << 43 << 0 << 0;
    QTest::newRow("down past the end") << 87 << 3 << 43 << 88 << 43;   // 88 is the first row of 43
    QTest::newRow("at the end") << 88 << 3 << 43 << 88 << 43;
    QTest::newRow("back from the end") << 88 << -3 << 43 << 85 << 42; // 41.65
    QTest::newRow("24.5 to the even 24") << 50 << 0 << 43 << 50 << 24;
    QTest::newRow("everything fits") << 0 << 3 << 0 << 0 << 0;
    QTest::newRow("far down, held") << 10 << 2000000000 << 43 << 88 << 43;
}

void TestListGeometry::wheelRows()
{
    QFETCH(int, first);
    QFETCH(int, rows);
    QFETCH(int, max);
    QFETCH(int, moved);
    QFETCH(int, value);
    QCOMPARE(firstRowMovedBy(first, rows, max, Item), moved);
    QCOMPARE(scrollValueForFirstRow(moved, Item, max), value);
    // The value's own first row is the nearest row a scroll step can show.
    QVERIFY(std::abs(firstRow(value, Item) - moved) <= 1 || max == 0);
}

void TestListGeometry::hitTest_data()
{
    QTest::addColumn<double>("y");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("cams");
    QTest::addColumn<int>("row");

    QTest::newRow("top of row 0") << 0.0 << 0 << 100 << 0;
    QTest::newRow("last twip of row 0") << 734.0 << 0 << 100 << 0;
    QTest::newRow("first twip of row 1") << 735.0 << 0 << 100 << 1;
    QTest::newRow("scrolled") << 100.0 << 49 << 100 << 49;
    QTest::newRow("scrolled, third row") << 2 * Item + 1 << 49 << 100 << 51;
    QTest::newRow("below the last row") << 3 * Item << 0 << 3 << -1;
    QTest::newRow("above the window") << -1.0 << 0 << 100 << -1;
}

void TestListGeometry::hitTest()
{
    QFETCH(double, y);
    QFETCH(int, first);
    QFETCH(int, cams);
    QFETCH(int, row);
    QCOMPARE(rowAt(y, first, Item, cams).value_or(-1), row);
}

void TestListGeometry::ratingPicture_data()
{
    QTest::addColumn<QString>("rating");
    QTest::addColumn<int>("picture");
    QTest::newRow("0 is strip 1") << "0" << 1;
    QTest::newRow("5 is strip 6") << "5" << 6;
    QTest::newRow("6 is the comments symbol") << "6" << 7;
    QTest::newRow("7 is the views symbol") << "7" << 8;
    QTest::newRow("8 has none") << "8" << 0;
    QTest::newRow("negative") << "-1" << 0;
    QTest::newRow("not a number") << "good" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("blanks around") << " 3 " << 4;
    QTest::newRow("fraction") << "2.5" << 0;
}

void TestListGeometry::ratingPicture()
{
    QFETCH(QString, rating);
    QFETCH(int, picture);
    QCOMPARE(list_geometry::ratingPicture(rating).value_or(0), picture);
}

QTEST_APPLESS_MAIN(TestListGeometry)
#include "tst_listgeometry.moc"
