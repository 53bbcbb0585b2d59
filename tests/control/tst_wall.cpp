// Which cams the wall shows: the favourites in catalogue order, else the first cams of the
// list as filtered, never more than the wall holds.
#include "control/wallrefresh.h"
#include "core/state/runningstate.h"

#include <QTest>

#include <vector>

Q_DECLARE_METATYPE(std::vector<int>)

class TestWall : public QObject
{
    Q_OBJECT
private slots:
    void camsShown_data();
    void camsShown();
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
    state.camTable.clear();
    for (int i = 0; i < 30; ++i)
        state.camTable.append(QStringLiteral("c%1;Cam %1;http://127.0.0.1:9/%1.jpg;;;3;0;1;me").arg(i));
    state.camCount = 30;
    state.favouriteCams = QSet<QString>(favourites.begin(), favourites.end());
    QList<int> cams;
    for (const WallCam &cam : wallCams(state, filtered ? &matches : nullptr)) {
        QCOMPARE(cam.id, QStringLiteral("c%1").arg(cam.camIndex));
        cams.append(cam.camIndex);
    }
    QCOMPARE(cams, shown);
}

QTEST_GUILESS_MAIN(TestWall)
#include "tst_wall.moc"
