// Live cams on a real X server under a window manager (Xvfb + openbox), against
// lumora-camserver on 127.0.0.1: a Motion-JPEG stream sent at 10 frames a second, an HLS
// video stream, and an RTSP cam of lumora-rtsp-testserver; the picture on the screen moves in the main window, in the fullscreen window
// and on the wall's tile.
#include "onscreen.h"
#include "apprun.h"
#include "camserverprocess.h"
#include "rtspserverprocess.h"
#include "control/camimagefetch.h"
#include "control/camselection.h"
#include "ui/widgets/infobarpanel.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/walltile.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"
#include "ui/windows/wallwindow.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

class TestLiveOnScreen : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void movesInTheMainWindow_data() { cams(); }
    void movesInTheMainWindow();
    void movesFullscreen_data() { cams(); }
    void movesFullscreen();
    void movesOnTheWall_data() { cams(); }
    void movesOnTheWall();

private:
    // The cam's row in the list (and its tile on the wall), and the requests that brought
    // its pictures to the main window: one for a Motion-JPEG stream, those of the larger of
    // the video's two sizes, none for an RTSP cam (its session is not the camserver's).
    static void cams();
    // Three grabs of what the screen shows of the area, gapMs apart, each unlike the one
    // before.
    static void movesOnScreen(QWidget &area, int gapMs = 330);

    QTemporaryDir m_files;
    std::unique_ptr<CamServerProcess> m_server;
    RtspServerProcess m_rtspServer;
    std::unique_ptr<AppRun> m_run;
};

void TestLiveOnScreen::movesOnScreen(QWidget &area, int gapMs)
{
    QImage before = onScreen(area);
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(gapMs);
        const QImage now = onScreen(area);
        int changed = 0;
        for (int y = 0; y < now.height(); y += 2)
            for (int x = 0; x < now.width(); x += 2)
                changed += now.pixel(x, y) != before.pixel(x, y);
        QVERIFY2(changed > 20, qPrintable(QStringLiteral("grab %1: %2 pixels changed").arg(i).arg(changed)));
        before = now;
    }
}

void TestLiveOnScreen::cams()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("mainRequests");
    QTest::addColumn<QString>("tileRequests");
    QTest::addColumn<int>("tileFrameGapMs"); // a video's tile among others shows its key frames only
    QTest::addColumn<QString>("format");     // the Info-Bar's line for a video; none: not checked
    QTest::newRow("Motion JPEG") << 0 << "GET /live/1001.mjpg" << "GET /live/1001.mjpg" << 330 << QString();
    QTest::newRow("HLS video") << 2 << "GET /hls/1006/1920x1080/seg" << "GET /hls/1006/960x540/seg" << 1100
                               << "H.264 1920x1080";
    QTest::newRow("RTSP video") << 3 << QString() << QString() << 1100 << QString();
}

void TestLiveOnScreen::init()
{
    QFETCH(int, row);
    QElapsedTimer firstFrame;
    firstFrame.start();
    const bool selected = m_run->app->state().selection.currentCam() != row;
    if (selected)
        m_run->app->selection().rowClicked(row);
    QTRY_VERIFY_WITH_TIMEOUT(m_run->app->fetch().isLive() && !m_run->app->fetch().isRunning(), 10000);
    if (selected)
        qInfo("%s: first frame after %lld ms", QTest::currentDataTag(), firstFrame.elapsed());
}

void TestLiveOnScreen::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    qputenv("XDG_CONFIG_HOME", m_files.filePath(QStringLiteral("config")).toLocal8Bit());
    // Upright, so that the frame's clock stands clear of the fullscreen Info-Bar at the side.
    QVERIFY2(m_rtspServer.start({}), qPrintable(m_rtspServer.errorString()));
    const QByteArray catalogue = "1;Live;{base}/live/1001.mjpg?size=360x640;;;3;0;1;tester\r\n"
                                 "2;Still;{base}/cams/1002.jpg?size=640x360;;;3;0;1;tester\r\n"
                                 "3;Video;{base}/hls/1006/index.m3u8;;;3;0;1;tester\r\n"
                                 "4;Rtsp;" + RtspServerProcess::address(m_rtspServer.port()).toLatin1() + ";;;3;0;1;tester\r\n";
    QFile file(m_files.filePath(QStringLiteral("camlist.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(catalogue) == catalogue.size());
    file.close();
    m_server = std::make_unique<CamServerProcess>(
        QStringList{QStringLiteral("--catalogue"), file.fileName(), QStringLiteral("--live-fps"), QStringLiteral("10")});
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    m_run = std::make_unique<AppRun>(5000);
    QVERIFY(m_run->writeConfig(m_server->baseUrl()));
    QVERIFY(m_run->startAndWait());
    QVERIFY(QTest::qWaitForWindowExposed(&m_run->app->mainWindow()));
}

void TestLiveOnScreen::movesInTheMainWindow()
{
    QFETCH(QString, mainRequests);
    if (mainRequests.isEmpty()) {
        movesOnScreen(*m_run->app->mainWindow().pictureArea());
        return;
    }
    const int before = m_server->requests().filter(mainRequests).size();
    movesOnScreen(*m_run->app->mainWindow().pictureArea());
    const int after = m_server->requests().filter(mainRequests).size();
    // A Motion-JPEG stream brings every frame on its one connection; a video's segments
    // come one after another, of the size fit for the main window.
    if (mainRequests.startsWith(QLatin1String("GET /live/")))
        QCOMPARE(after, 1);
    else
        QVERIFY2(after > before, qPrintable(m_server->requests().join(QLatin1Char('\n'))));
}

void TestLiveOnScreen::movesFullscreen()
{
    QFETCH(QString, format);
    FullscreenWindow &full = m_run->app->fullscreenWindow();
    m_run->app->openFullscreen();
    QVERIFY(QTest::qWaitForWindowExposed(&full));
    movesOnScreen(*full.pictureArea());
    const QStringList figures = m_run->app->infoBarPanel().figuresLabel()->text().split(QLatin1Char('\n'));
    QVERIFY2(figures.contains(format) == !format.isEmpty(), qPrintable(figures.join(QLatin1String(" | "))));
    m_run->app->closeFullscreen();
    QTRY_VERIFY(!full.isVisible());
}

void TestLiveOnScreen::movesOnTheWall()
{
    QFETCH(int, row);
    QFETCH(QString, tileRequests);
    QFETCH(int, tileFrameGapMs);
    WallWindow &wall = m_run->app->wallWindow();
    if (!wall.isVisible()) {
        MainWindow &main = m_run->app->mainWindow();
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QTest::keyClick(&main, Qt::Key_G, Qt::ControlModifier);
        QVERIFY(QTest::qWaitForWindowExposed(&wall));
    }
    QVERIFY(wall.tiles().size() > row);
    if (!tileRequests.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(!m_server->requests().filter(tileRequests).isEmpty(), 10000);
    QTest::qWait(1000);
    movesOnScreen(*wall.tiles().at(row)->pictureArea(), tileFrameGapMs);
}

QTEST_MAIN(TestLiveOnScreen)
#include "tst_livex11.moc"
