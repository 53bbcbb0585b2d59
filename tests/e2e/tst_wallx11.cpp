// The wall on a real X server under a window manager (Xvfb + openbox), against
// lumora-camserver on 127.0.0.1: sixteen cams, thirteen of them changing every second, one
// whose picture never changes, one that fails and one that answers slowly. Opened with
// Ctrl+G in the main window, every tile refreshes on its own; the failing tile shows why on
// the screen and tries again less and less often; the frozen tile gets its badge; the
// slow tile holds up no other; a click on a tile shows that cam in the main window.
// The hidden test threshold LUMORA_TEST_UNCHANGED_AFTER=0,2 is set by the test's environment.
#include "onscreen.h"
#include "apprun.h"
#include "camserverprocess.h"
#include "craftedpictures.h"
#include "control/tilerefresh.h"
#include "control/wallrefresh.h"
#include "core/state/runningstate.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/walltile.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"
#include "ui/windows/wallwindow.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int Tiles = 16;
constexpr int Failing = 13;
constexpr int Frozen = 14;
constexpr int Slow = 15;
constexpr int SlowAnswerMs = 6000;

} // namespace

class TestWallOnScreen : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void slowTileHoldsUpNoOther();
    void failingTileShowsWhyAndWaitsLonger();
    void frozenTileGetsItsBadge();
    void clickShowsTheCamInTheMainWindow();
    void minimisedWallRests();
    void fullscreenThenClosedByEscape();

private:
    WallTile &tile(int i) const { return *m_run->app->wallWindow().tiles().at(i); }

    QTemporaryDir m_files;
    std::unique_ptr<CamServerProcess> m_server;
    std::unique_ptr<AppRun> m_run;
    QElapsedTimer m_opened;
    QList<int> m_pictures; // per tile: refreshes that showed a picture
    // When the server's printed log showed each request for the failing cam, from the wall's
    // opening; read from its file, so a busy server never holds the reading up.
    QList<qint64> m_failingTries;
    QTimer m_logWatch;
};

void TestWallOnScreen::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QCOMPARE(qEnvironmentVariable("LUMORA_TEST_UNCHANGED_AFTER"), QStringLiteral("0,2"));
    qputenv("XDG_CONFIG_HOME", m_files.filePath(QStringLiteral("config")).toLocal8Bit());
    const QDir files(m_files.path());
    QVERIFY(files.mkpath(QStringLiteral("pictures")));
    QFile frozen(files.filePath(QStringLiteral("pictures/frozen.jpg")));
    const QByteArray frozenBytes = crafted::filled(QSize(640, 360), qRgb(90, 140, 200), "JPG");
    QVERIFY(frozen.open(QIODevice::WriteOnly) && frozen.write(frozenBytes) == frozenBytes.size());
    frozen.close();

    // The demo cams' pictures show the time of day to the second: a new picture each second.
    QByteArray catalogue;
    for (int i = 0; i < Failing; ++i)
        catalogue += QByteArray::number(i + 1) + ";Cam " + QByteArray::number(i + 1) + ";{base}/cams/"
            + QByteArray::number(1001 + i) + ".jpg?size=640x360;;;3;0;1;tester\r\n";
    catalogue += "14;Failing;{base}/failing.jpg;;;3;0;1;tester\r\n"
                 "15;Frozen;{base}/frozen.jpg;;;3;0;1;tester\r\n"
                 "16;Slow;{base}/cams/1020.jpg;;;3;0;1;tester\r\n";
    QFile file(files.filePath(QStringLiteral("camlist.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(catalogue) == catalogue.size());
    file.close();
    m_server = std::make_unique<CamServerProcess>(QStringList{QStringLiteral("--catalogue"), file.fileName(),
                                                              QStringLiteral("--pictures"), files.filePath(QStringLiteral("pictures")),
                                                              QStringLiteral("--log")});
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    QVERIFY(m_server->setFault(QStringLiteral("/failing.jpg"), QStringLiteral("status:503")));
    QVERIFY(m_server->setFault(QStringLiteral("/cams/1020.jpg"), QStringLiteral("delay:") + QString::number(SlowAnswerMs)));

    // The main window starts on a cam of its own: on a random one it could be the failing or
    // the first cam, whose requests the tests below count as the tiles'.
    m_run = std::make_unique<AppRun>(SlowAnswerMs * 2, 10000, StartOptions{false, QStringLiteral("2"), {}, {}, {}, {}});
    QVERIFY(m_run->writeConfig(m_server->baseUrl()));
    QVERIFY(m_run->startAndWait());
    MainWindow &main = m_run->app->mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.refreshIntervalEdit()->setText(QStringLiteral("1"));

    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QTest::keyClick(&main, Qt::Key_G, Qt::ControlModifier);
    WallWindow &wall = m_run->app->wallWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&wall));
    m_opened.start();
    QCOMPARE(wall.tiles().size(), Tiles);
    QCOMPARE(m_run->app->wallRefresh().tiles().size(), Tiles);
    m_pictures = QList<int>(Tiles, 0);
    for (int i = 0; i < Tiles; ++i)
        connect(m_run->app->wallRefresh().tiles().at(i), &TileRefresh::refreshEnded, this, [this, i](bool shown) {
            m_pictures[i] += shown;
        });
    connect(&m_logWatch, &QTimer::timeout, this, [this] {
        const qsizetype seen = m_server->output().count("GET /failing.jpg");
        while (m_failingTries.size() < seen)
            m_failingTries.append(m_opened.elapsed());
    });
    m_logWatch.start(100);
}

// While the slow cam's first answer is on its way, every changing cam shows picture after
// picture.
void TestWallOnScreen::slowTileHoldsUpNoOther()
{
    QVERIFY(QTest::qWaitFor([this] {
        for (int i = 0; i < Failing; ++i)
            if (m_pictures[i] < 3)
                return false;
        return true;
    }, SlowAnswerMs - 1000));
    QVERIFY(m_opened.elapsed() < SlowAnswerMs);
    QCOMPARE(m_pictures[Slow], 0);
    QVERIFY(QTest::qWaitFor([this] { return m_pictures[Slow] > 0; }, SlowAnswerMs * 2));
}

// Each failure in a row doubles the wait before the next try (2 s, then 4 s at an interval
// of 1 s), and the tile says so.
void TestWallOnScreen::failingTileShowsWhyAndWaitsLonger()
{
    QVERIFY(QTest::qWaitFor([this] { return m_failingTries.size() >= 3; }, 20000));
    const qint64 second = m_failingTries[1] - m_failingTries[0];
    const qint64 third = m_failingTries[2] - m_failingTries[1];
    QVERIFY2(second >= 1800 && third >= 3600, qPrintable(QStringLiteral("%1 %2").arg(second).arg(third)));
    QVERIFY(m_run->app->state().health.of(QStringLiteral("14")).failuresInARow >= 2);

    PictureArea &area = *tile(Failing).pictureArea();
    QVERIFY2(area.failureReason().startsWith(QStringLiteral("HTTP 503")), qPrintable(area.failureReason()));
    QVERIFY(area.failureReason().contains(QStringLiteral("(next try in ")));
    // White letters on the black tile, in its middle.
    const QImage shot = onScreen(area);
    QVERIFY(whitePixels(shot, QRect(0, area.height() / 3, area.width(), area.height() / 3)) > 20);
}

// The third refresh with the same bytes: the badge, on the screen in the tile's top right.
void TestWallOnScreen::frozenTileGetsItsBadge()
{
    PictureArea &area = *tile(Frozen).pictureArea();
    QVERIFY(QTest::qWaitFor([&area] { return !area.unchangedBadge().isEmpty(); }, 10000));
    QVERIFY(area.unchangedBadge().startsWith(QStringLiteral("unchanged since ")));
    QVERIFY(tile(0).pictureArea()->unchangedBadge().isEmpty());
    const QRect badge = area.badgeRect();
    QVERIFY(!badge.isEmpty());
    QVERIFY(whitePixels(onScreen(area), badge) > 10);
}

void TestWallOnScreen::clickShowsTheCamInTheMainWindow()
{
    const int chosen = 6;
    QTest::mouseClick(tile(chosen).pictureArea(), Qt::LeftButton, {}, QPoint(30, 30));
    QCOMPARE(m_run->app->state().selection.currentCam(), chosen);
    MainWindow &main = m_run->app->mainWindow();
    QVERIFY(main.pictureAddressEdit()->text().endsWith(QStringLiteral("/cams/1007.jpg?size=640x360")));
    QVERIFY(QTest::qWaitFor([&main] { return main.isActiveWindow(); }, 5000));
}

void TestWallOnScreen::minimisedWallRests()
{
    WallWindow &wall = m_run->app->wallWindow();
    const auto requests = [this] { return m_server->output().count("GET /cams/1001.jpg"); };
    wall.showMinimized();
    QVERIFY(QTest::qWaitFor([&wall] { return wall.isMinimized(); }, 5000));
    QTest::qWait(500); // a request under way as it went ends
    const qsizetype before = requests();
    QTest::qWait(2500);
    QCOMPARE(requests(), before);
    wall.showNormal();
    QVERIFY(QTest::qWaitFor([&] { return requests() > before; }, 5000));
}

// F11 covers the screen with the wall; Escape brings it back to its size, and then closes
// it: every tile's download ends, and its size is kept for the next time.
void TestWallOnScreen::fullscreenThenClosedByEscape()
{
    WallWindow &wall = m_run->app->wallWindow();
    wall.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&wall));
    const QSize normal = wall.size();
    QTest::keyClick(&wall, Qt::Key_F11);
    QVERIFY(QTest::qWaitFor([&wall] { return wall.geometry() == wall.screen()->geometry(); }, 5000));
    QVERIFY(!m_run->app->fullscreenWindow().isVisible());
    QTest::keyClick(&wall, Qt::Key_Escape);
    QVERIFY(QTest::qWaitFor([&] { return !wall.isFullScreen() && wall.size() == normal; }, 5000));
    QVERIFY(wall.isVisible());
    QTest::keyClick(&wall, Qt::Key_Escape);
    QVERIFY(!wall.isVisible());
    QVERIFY(m_run->app->wallRefresh().tiles().isEmpty());
    const auto requests = [this] { return m_server->output().count("GET /cams/1001.jpg"); };
    const qsizetype closed = requests();
    QTest::qWait(2500);
    QCOMPARE(requests(), closed);

    m_run->app->openWall();
    QVERIFY(QTest::qWaitForWindowExposed(&wall));
    QCOMPARE(wall.size(), normal);
}

QTEST_MAIN(TestWallOnScreen)
#include "tst_wallx11.moc"
