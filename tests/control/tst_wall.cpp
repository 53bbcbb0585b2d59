// Which cams the wall shows: the favourites in catalogue order, else the first cams of the
// list as filtered, never more than the wall holds; a tile's refresh on a fake downloader.
#include "craftedpictures.h"
#include "fakes.h"
#include "control/tilerefresh.h"
#include "control/wallrefresh.h"
#include "core/state/runningstate.h"

#include <QElapsedTimer>
#include <QTest>

#include <vector>

Q_DECLARE_METATYPE(std::vector<int>)

class TestWall : public QObject
{
    Q_OBJECT
private slots:
    void camsShown_data();
    void camsShown();
    void liveTileOffScreenDecodesNoPart();
    void pictureEndsTheBackOff();
};

void TestWall::camsShown_data()
{
    QTest::addColumn<QStringList>("favourites");
    QTest::addColumn<bool>("filtered");
    QTest::addColumn<std::vector<int>>("matches");
    QTest::addColumn<QList<int>>("shown");

    QTest::newRow("first of all") << QStringList() << false << std::vector<int>() << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9,
        10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    QTest::newRow("first of the filtered") << QStringList() << true << std::vector<int>{3, 7, 29} << QList<int>{3, 7, 29};
    // In catalogue order, whatever order they were marked in; an id no longer listed is passed by.
    QTest::newRow("favourites") << QStringList{"c12", "c2", "gone"} << true << std::vector<int>{5} << QList<int>{2, 12};
    QTest::newRow("only unlisted favourites") << QStringList{"gone"} << true << std::vector<int>{5} << QList<int>{5};
}

void TestWall::camsShown()
{
    QFETCH(QStringList, favourites);
    QFETCH(bool, filtered);
    QFETCH(std::vector<int>, matches);
    QFETCH(QList<int>, shown);
    RunningState state;
    QStringList table;
    for (int i = 0; i < 30; ++i)
        table.append(QStringLiteral("c%1;Cam %1;http://127.0.0.1:9/%1.jpg;;;3;0;1;me").arg(i));
    state.catalogue.setCams(table, 30);
    state.catalogue.setFavourites(QSet<QString>(favourites.begin(), favourites.end()));
    QList<int> cams;
    for (const WallCam &cam : wallCams(state, filtered ? &matches : nullptr)) {
        QCOMPARE(cam.id, QStringLiteral("c%1").arg(cam.camIndex));
        cams.append(cam.camIndex);
    }
    QCOMPARE(cams, shown);
}

// Parts of a live stream that come while the tile cannot be seen are dropped undecoded; the
// same part once it is seen again is shown.
void TestWall::liveTileOffScreenDecodesNoPart()
{
    CamState state;
    FakeDownloader net;
    FakeTileView tile;
    TileRefresh refresh(state, net, tile, QStringLiteral("cam0"), QStringLiteral("http://127.0.0.1:9/live/0.mjpg"));
    refresh.start();
    QCOMPARE(net.requests.size(), 1);
    const QByteArray frame = crafted::filled(QSize(40, 30), qRgb(200, 40, 0), "JPG");
    tile.onScreen = false;
    for (int i = 0; i < 3; ++i) {
        net.last()->part(frame);
        QTest::qWait(150); // past the frame rate's slot, and long enough for a decode to end
    }
    QVERIFY(tile.pictures.isEmpty());
    tile.onScreen = true;
    net.last()->part(frame);
    QVERIFY(QTest::qWaitFor([&] { return !tile.pictures.isEmpty(); }, 5000));
    QCOMPARE(tile.pictures.last().isNull(), false);
    refresh.stop();
}

// Two failures in a row back the tile off; a picture brings the interval back, and the next
// failure counts from one again.
void TestWall::pictureEndsTheBackOff()
{
    CamState state;
    state.switches.setRefreshIntervalText(QStringLiteral("1"));
    FakeDownloader net;
    FakeTileView tile;
    TileRefresh refresh(state, net, tile, QStringLiteral("cam0"), QStringLiteral("http://127.0.0.1:9/cams/0.jpg"));
    const auto fail = [&](const char *nextTry) {
        net.last()->answer(DownloadResult::Error::Network);
        QVERIFY(QTest::qWaitFor([&] { return !tile.failures.isEmpty() && !tile.failures.last().isEmpty(); }, 5000));
        QVERIFY2(tile.failures.last().endsWith(QLatin1String(nextTry)), qPrintable(tile.failures.last()));
        tile.failures.clear();
    };
    // Each try at once rather than after its wait.
    refresh.start();
    fail("(next try in 2 s)");
    refresh.stop();
    refresh.start();
    fail("(next try in 4 s)");
    refresh.stop();
    refresh.start();
    DownloadResult picture;
    picture.httpStatus = 200;
    picture.body = crafted::filled(QSize(40, 30), qRgb(0, 90, 200), "JPG");
    net.last()->answer(picture);
    QVERIFY(QTest::qWaitFor([&] { return !tile.pictures.isEmpty() && !tile.pictures.last().isNull(); }, 5000));
    // Placed for the tile, the picture is its surface as it is, with no second copy.
    QCOMPARE(tile.pictures.last().size(), QSize(160, 120));
    QCOMPARE(tile.prepared.last().cacheKey(), tile.pictures.last().cacheKey());
    QElapsedTimer wait;
    wait.start();
    // The interval of 1 s, not the 4 s or more of a third failure.
    QVERIFY2(QTest::qWaitFor([&] { return net.requests.size() == 4; }, 3000), qPrintable(QString::number(wait.elapsed())));
    fail("(next try in 2 s)");
    refresh.stop();
}

QTEST_GUILESS_MAIN(TestWall)
#include "tst_wall.moc"
