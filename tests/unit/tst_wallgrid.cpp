// The wall's grid: rows and columns for a number of tiles in a window, and the tiles'
// rectangles; the size its file keeps.
#include "core/files/walllayout.h"
#include "core/geometry/wallgrid.h"

#include <QTest>

class TestWallGrid : public QObject
{
    Q_OBJECT
private slots:
    void grid_data();
    void grid();
    void tilesCoverTheWindow();
    void layoutFile_data();
    void layoutFile();
};

void TestWallGrid::grid_data()
{
    QTest::addColumn<int>("tiles");
    QTest::addColumn<QSize>("window");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");

    // 480 x 270 tiles hold a 16:9 picture whole.
    QTest::newRow("16 on 1080p") << 16 << QSize(1920, 1080) << 4 << 4;
    QTest::newRow("one") << 1 << QSize(1920, 1080) << 1 << 1;
    // Side by side: 960 x 1080 tiles waste less than 1920 x 540 ones.
    QTest::newRow("two on a wide window") << 2 << QSize(1920, 1080) << 1 << 2;
    QTest::newRow("three on a tall window") << 3 << QSize(800, 1200) << 3 << 1;
    // One empty cell in 2 x 3 wastes less than a row of five thin tiles.
    QTest::newRow("five") << 5 << QSize(1920, 1080) << 2 << 3;
    QTest::newRow("seven") << 7 << QSize(1280, 1024) << 3 << 3;
    QTest::newRow("sixteen on a tall window") << 16 << QSize(1000, 2000) << 8 << 2;
    QTest::newRow("more than the most") << 30 << QSize(1920, 1080) << 5 << 5;
    QTest::newRow("none") << 0 << QSize(1920, 1080) << 0 << 0;
    QTest::newRow("no area") << 4 << QSize(1920, 0) << 0 << 0;
}

void TestWallGrid::grid()
{
    QFETCH(int, tiles);
    QFETCH(QSize, window);
    QFETCH(int, rows);
    QFETCH(int, columns);
    const wall_grid::Grid grid = wall_grid::bestGrid(tiles, window);
    QCOMPARE(grid.rows, rows);
    QCOMPARE(grid.columns, columns);
}

// Tiles of a window that does not divide evenly meet without gaps and end at its edges.
void TestWallGrid::tilesCoverTheWindow()
{
    const QSize window(1001, 767);
    const wall_grid::Grid grid{3, 4};
    QRect covered;
    int area = 0;
    for (int i = 0; i < 12; ++i) {
        const QRect tile = wall_grid::tileRect(grid, window, i);
        covered |= tile;
        area += tile.width() * tile.height();
    }
    QCOMPARE(covered, QRect(QPoint(0, 0), window));
    QCOMPARE(area, window.width() * window.height());
    QVERIFY(wall_grid::tileRect(grid, window, 12).isEmpty());
}

void TestWallGrid::layoutFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QSize>("size"); // the window's; none: the file gives nothing

    QTest::newRow("within the screens") << QByteArray("size=1280,720\ngrid=2,2\n") << QSize(1280, 720);
    // 30 bytes that would ask for a window of 16 GiB of pixels.
    QTest::newRow("65535 x 65535 held to the screens") << QByteArray("size=65535,65535\ngrid=5,5\n")
                                                       << QSize(1920, 1050);
    QTest::newRow("one side over") << QByteArray("size=4000,600\n") << QSize(1920, 600);
    QTest::newRow("no size") << QByteArray("grid=2,2\n") << QSize();
}

void TestWallGrid::layoutFile()
{
    QFETCH(QByteArray, text);
    QFETCH(QSize, size);
    const std::optional<wall_layout::Layout> layout = wall_layout::parse(text, QSize(1920, 1050));
    QCOMPARE(layout ? layout->size : QSize(), size);
}

QTEST_APPLESS_MAIN(TestWallGrid)
#include "tst_wallgrid.moc"
