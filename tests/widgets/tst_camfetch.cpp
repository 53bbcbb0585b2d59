#include "apprun.h"
#include "control/camselection.h"
#include "ui/widgets/camlistwidget.h"
#include "camserverprocess.h"
#include "core/catalogue/camrecord.h"
#include "craftedpictures.h"
#include "loopwatch.h"
#include "memorywatch.h"
#include "control/camimagefetch.h"
#include "control/heartbeat.h"
#include "core/rules/fetchrules.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/statusbar.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"

#include <QBuffer>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QRegularExpression StatsText(QStringLiteral(R"(^\d+[.,]\d\d kb in \d+[.,]\d\d sec\. \(\d+[.,]\d\d kb/sec\)$)"));

// Index of the first cam whose picture address contains the text.
int camWith(const RunningState &s, const QString &part)
{
    for (int i = 0; i < s.catalogue.camCount(); ++i)
        if (CamRecord::field(CamRecord::split(s.catalogue.camTable()[i]), CamRecord::ImageUrl).contains(part))
            return i;
    return -1;
}

using crafted::allBlack;

} // namespace

class TestCamFetch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void refreshShowsCam();
    void failedPicture();
    void failedComments();
    void stalledPictureKeepsWindowsAlive();
    void closeDuringStall();
    void changeBeforeSlowAnswer();
    void decodeLeavesWindowAnswering();
    void camChangeDuringDecode();
    void decodeOverBudgetIsAFailedLoad();
    void closeDuringDecode();
    void largePictureGoesBeforeTheNext();
    void hiddenFullscreenDrawnWhenShown();

private:
    void startAt(AppRun &run, const QString &picturePart);
    // A server whose cams show pictures made here: a decoder bomb, a good picture and one
    // the tests change.
    void startCrafted(AppRun &run, const QString &picture);
    bool serve(const QString &picture, const QByteArray &content) const;
    CamServerProcess m_server;
    QTemporaryDir m_files;
    std::unique_ptr<CamServerProcess> m_crafted;
    QByteArray m_bomb;
    QByteArray m_good;
};

void TestCamFetch::initTestCase()
{
    QVERIFY(m_server.start());

    // A progressive JPEG whose luma scan repeats 20000 times: a minute of decoding in a
    // file of under a megabyte.
    m_bomb = crafted::jpegScanBomb(4096, 20000);
    QVERIFY(!m_bomb.isEmpty());
    QImage good(320, 240, QImage::Format_RGB32);
    good.fill(qRgb(200, 120, 40));
    QBuffer buffer(&m_good);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && good.save(&buffer, "PNG"));

    QVERIFY(m_files.isValid());
    QDir dir(m_files.path());
    QVERIFY(dir.mkpath(QStringLiteral("pictures/pics")) && dir.mkpath(QStringLiteral("comments")));
    QFile catalogue(dir.filePath(QStringLiteral("camlist.txt")));
    QVERIFY(catalogue.open(QIODevice::WriteOnly));
    catalogue.write("1;Bomb cam;{base}/pics/bomb.jpg;d;;5;0;10;tester\r\n"
                    "2;Good cam;{base}/pics/good.png;d;;5;0;10;tester\r\n"
                    "3;Changing cam;{base}/pics/changing.jpg;d;;5;0;10;tester\r\n");
    catalogue.close();
    for (const char *id : {"1", "2", "3"}) {
        QFile comments(dir.filePath(QStringLiteral("comments/%1.txt").arg(QLatin1String(id))));
        QVERIFY(comments.open(QIODevice::WriteOnly));
    }
    QVERIFY(serve(QStringLiteral("bomb.jpg"), m_bomb));
    QVERIFY(serve(QStringLiteral("good.png"), m_good));
    m_crafted = std::make_unique<CamServerProcess>(QStringList{
        QStringLiteral("--catalogue"), dir.filePath(QStringLiteral("camlist.txt")), QStringLiteral("--pictures"),
        dir.filePath(QStringLiteral("pictures")), QStringLiteral("--comments"), dir.filePath(QStringLiteral("comments"))});
    QVERIFY2(m_crafted->start(), qPrintable(m_crafted->errorString()));
}

bool TestCamFetch::serve(const QString &picture, const QByteArray &content) const
{
    QFile f(QDir(m_files.path()).filePath(QStringLiteral("pictures/pics/") + picture));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

void TestCamFetch::startCrafted(AppRun &run, const QString &picture)
{
    QVERIFY(run.writeConfig(m_crafted->baseUrl()));
    QVERIFY(run.startAndWait());
    QVERIFY(QTest::qWaitForWindowExposed(&run.app->mainWindow()));
    QTest::qWait(50);
    const int cam = camWith(run.app->state(), picture);
    QVERIFY(cam >= 0);
    run.app->selection().rowClicked(cam);
}

void TestCamFetch::init()
{
    QVERIFY(m_server.clearFaults());
}

void TestCamFetch::startAt(AppRun &run, const QString &picturePart)
{
    QVERIFY(run.writeConfig(m_server.baseUrl()));
    QVERIFY(run.startAndWait());
    // Let the maximised window settle: its layout redraws (and so clears) the picture area.
    QVERIFY(QTest::qWaitForWindowExposed(&run.app->mainWindow()));
    QTest::qWait(50);
    const int cam = camWith(run.app->state(), picturePart);
    QVERIFY(cam >= 0);
    run.app->selection().rowClicked(cam);
}

void TestCamFetch::refreshShowsCam()
{
    AppRun run;
    startAt(run, QStringLiteral(".png"));
    MainWindow &f = run.app->mainWindow();
    const RunningState &s = run.app->state();
    const QString camId = s.selection.currentCamFields().value(CamRecord::CamId);

    QVERIFY(run.refresh());

    QVERIFY(!f.pictureArea()->picture().isNull());
    QVERIFY(!allBlack(f.pictureArea()->surface()));
    QVERIFY2(StatsText.match(f.camStatusBar()->panelText(5)).hasMatch(), qPrintable(f.camStatusBar()->panelText(5)));
    QCOMPARE(s.selection.commentTable().size() - 1, s.selection.currentCamFields().value(CamRecord::CommentCount).toInt()
                                             + (s.selection.currentCamFields().value(CamRecord::CommentCount) == "0" ? 1 : 0));
    QVERIFY(run.app->heartbeat().timer()->isActive());
    QCOMPARE(run.leftovers(), QStringList());
    const QStringList seen = m_server.requests();
    QVERIFY(seen.contains(QStringLiteral("GET /comments.php?camid=%1 200").arg(camId)));
    QVERIFY(seen.contains(QStringLiteral("GET %1 200").arg(QUrl(f.pictureAddressEdit()->text()).path())));
}

void TestCamFetch::failedPicture()
{
    AppRun run;
    startAt(run, QStringLiteral(".jpg"));
    MainWindow &f = run.app->mainWindow();
    QVERIFY(run.refresh());
    QVERIFY(!f.pictureArea()->picture().isNull());

    QVERIFY(m_server.setFault(QStringLiteral("/cams/*"), QStringLiteral("reset")));
    QVERIFY(run.refresh());
    QVERIFY(f.pictureArea()->picture().isNull());
    QVERIFY(allBlack(f.pictureArea()->surface()));
    QVERIFY2(f.camStatusBar()->panelText(5).startsWith(QLatin1String("0.00 kb in ")), qPrintable(f.camStatusBar()->panelText(5)));
    QVERIFY(f.camStatusBar()->panelText(5).endsWith(QLatin1String("(0.00 kb/sec)")));
    QCOMPARE(run.leftovers(), QStringList());

    // The next refresh works again once the server behaves.
    QVERIFY(m_server.clearFaults());
    QVERIFY(run.refresh());
    QVERIFY(!f.pictureArea()->picture().isNull());
    QCOMPARE(run.leftovers(), QStringList());
}

void TestCamFetch::failedComments()
{
    AppRun run;
    startAt(run, QStringLiteral(".jpg"));
    RunningState &s = run.app->state();
    s.selection.setCommentTable(QStringList{QStringLiteral("old;comment;1.1.2000"), QString()});
    QVERIFY(m_server.setFault(QStringLiteral("/comments.php"), QStringLiteral("reset")));
    QVERIFY(run.refresh());
    // No comments, not the picture's bytes read as comments.
    QCOMPARE(s.selection.commentTable(), (QStringList{QString(), QString()}));
    QVERIFY(!run.app->mainWindow().pictureArea()->picture().isNull());
    QCOMPARE(run.leftovers(), QStringList());
}

void TestCamFetch::stalledPictureKeepsWindowsAlive()
{
    AppRun run(20000);
    startAt(run, QStringLiteral(".jpg"));
    MainWindow &f = run.app->mainWindow();
    RunningState &s = run.app->state();
    const int stalledCam = s.selection.currentCam();
    const QString statsBefore = f.camStatusBar()->panelText(5);
    QVERIFY(m_server.setFault(QStringLiteral("/cams/*"), QStringLiteral("stall")));

    bool queuedRan = false;
    bool bulletsShown = false;
    bool secondFetchStarted = false;
    const int otherCam = stalledCam == 0 ? 1 : 0;
    QTimer::singleShot(300, &f, [&] {
        queuedRan = true;
        QVERIFY(run.app->fetch().isRunning());
        // The transfer's progress shows as bullets on the picture area.
        bulletsShown = !allBlack(f.pictureArea()->surface().copy(0, 0, 120, 30));
        // A second refresh asked for now does not start.
        const int requestsBefore = m_server.requests().size();
        run.app->fetch().fetchCamImage();
        secondFetchStarted = m_server.requests().size() != requestsBefore;
        // The user picks another cam while the picture hangs.
        run.app->selection().rowClicked(otherCam);
    });
    QSignalSpy ended(&run.app->fetch(), &CamImageFetch::refreshEnded);
    QElapsedTimer clock;
    clock.start();
    run.app->fetch().fetchCamImage();
    QVERIFY(ended.wait(15000));

    QCOMPARE(ended.count(), 1);
    QVERIFY(queuedRan);
    QVERIFY(bulletsShown);
    QVERIFY(!secondFetchStarted);
    QVERIFY2(clock.elapsed() < 10000, "the new selection ends the wait");
    QCOMPARE(s.selection.currentCam(), otherCam);
    // Nothing of the old cam lands on the new selection.
    QCOMPARE(f.camStatusBar()->panelText(5), statsBefore);
    QVERIFY(allBlack(f.pictureArea()->surface()));
    QCOMPARE(s.selection.commentTable(), (QStringList{QString(), QString()}));
    QCOMPARE(run.leftovers(), QStringList());
    QVERIFY(run.app->heartbeat().timer()->isActive());

    QVERIFY(m_server.clearFaults());
    QVERIFY(run.refresh());
    QVERIFY(!f.pictureArea()->picture().isNull());
}

void TestCamFetch::closeDuringStall()
{
    AppRun run(20000);
    startAt(run, QStringLiteral(".jpg"));
    QVERIFY(m_server.setFault(QStringLiteral("/cams/*"), QStringLiteral("stall")));
    QTimer::singleShot(300, &run.app->mainWindow(), [&] { run.app->mainWindow().close(); });
    QElapsedTimer clock;
    clock.start();
    run.app->fetch().fetchCamImage();
    QTRY_VERIFY_WITH_TIMEOUT(!run.exits.isEmpty(), 10000);
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(run.exits, QList<int>{0});
    QCOMPARE(run.leftovers(), QStringList());
    QVERIFY(run.messages.isEmpty());
}

// A picture that would come, only late: the cam changes first, and nothing of the old cam
// shows up when its answer would have arrived.
void TestCamFetch::changeBeforeSlowAnswer()
{
    AppRun run;
    startAt(run, QStringLiteral(".jpg"));
    MainWindow &f = run.app->mainWindow();
    RunningState &s = run.app->state();
    // No refresh of the heartbeat's own in between.
    run.app->heartbeat().timer()->stop();
    QVERIFY(run.waitForRefresh());
    const QString statsBefore = f.camStatusBar()->panelText(5);
    const int otherCam = s.selection.currentCam() == 0 ? 1 : 0;
    QVERIFY(m_server.setFault(QStringLiteral("/cams/*"), QStringLiteral("delay:600")));

    QSignalSpy ended(&run.app->fetch(), &CamImageFetch::refreshEnded);
    run.app->fetch().fetchCamImage();
    QTest::qWait(200);
    QVERIFY(run.app->fetch().isRunning());
    run.app->selection().rowClicked(otherCam);
    QCOMPARE(ended.count(), 1);
    QVERIFY(!run.app->fetch().isRunning());
    run.app->heartbeat().timer()->stop();
    QTest::qWait(1200);

    QCOMPARE(ended.count(), 1);
    QCOMPARE(s.selection.currentCam(), otherCam);
    QCOMPARE(f.camStatusBar()->panelText(5), statsBefore);
    QVERIFY(allBlack(f.pictureArea()->surface()));
    QVERIFY(allBlack(run.app->fullscreenWindow().pictureArea()->surface()));
    QCOMPARE(s.selection.commentTable(), (QStringList{QString(), QString()}));
    QCOMPARE(run.leftovers(), QStringList());
    QVERIFY(m_server.clearFaults());
}

// While a picture decodes for a long time the windows go on answering, and the heartbeat
// starts no second refresh beside it.
void TestCamFetch::decodeLeavesWindowAnswering()
{
    AppRun run;
    startCrafted(run, QStringLiteral("bomb.jpg"));
    RunningState &s = run.app->state();
    run.app->fetch().fetchCamImage();
    QVERIFY2(run.app->fetch().isRunning(), "the decode runs on after fetchCamImage returned");

    LoopGapWatch gaps;
    QTest::qWait(400);
    const qint64 longest = gaps.longest();
    QVERIFY2(longest < 250, qPrintable(QStringLiteral("the window thread was held for %1 ms").arg(longest)));

    // A tick with the refresh due, and a refresh asked for directly: neither starts one.
    const int requests = m_crafted->requests().size();
    s.countdowns.setRefresh(0);
    run.app->heartbeat().onTick();
    run.app->fetch().fetchCamImage();
    QCOMPARE(m_crafted->requests().size(), requests);
    QCOMPARE(s.countdowns.refresh().value(), 0);
    QVERIFY(run.app->fetch().isRunning());
}

// A new cam gives the running decode up; nothing of the old cam is drawn.
void TestCamFetch::camChangeDuringDecode()
{
    AppRun run;
    startCrafted(run, QStringLiteral("bomb.jpg"));
    MainWindow &f = run.app->mainWindow();
    PictureArea &fullscreen = *run.app->fullscreenWindow().pictureArea();
    run.app->fetch().fetchCamImage();
    QVERIFY(run.app->fetch().isRunning());
    QTest::qWait(200);

    QSignalSpy ended(&run.app->fetch(), &CamImageFetch::refreshEnded);
    QElapsedTimer clock;
    clock.start();
    run.app->selection().rowClicked(camWith(run.app->state(), QStringLiteral("good.png")));
    QVERIFY2(run.waitForRefresh(3000), "the decode given up still runs");
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
    QCOMPARE(ended.count(), 1);
    // The bomb is one grey: a drawing of what was decoded so far would show.
    QVERIFY(f.pictureArea()->picture().isNull());
    QVERIFY(allBlack(f.pictureArea()->surface()));
    QVERIFY(allBlack(fullscreen.surface()));
    QCOMPARE(run.leftovers(), QStringList());
    QVERIFY(run.app->heartbeat().timer()->isActive());

    QVERIFY(run.refresh());
    QCOMPARE(f.pictureArea()->picture().size(), QSize(320, 240));
    QVERIFY(!allBlack(f.pictureArea()->surface()));
}

// A decode past its budget is given up, and the refresh ends as any failed load does.
void TestCamFetch::decodeOverBudgetIsAFailedLoad()
{
    const int budgetMs = 400;
    AppRun run(1500, budgetMs);
    QVERIFY(serve(QStringLiteral("changing.jpg"), m_good));
    startCrafted(run, QStringLiteral("changing.jpg"));
    MainWindow &f = run.app->mainWindow();
    PictureArea &fullscreen = *run.app->fullscreenWindow().pictureArea();
    // Shown, so that it draws at each refresh as the main window does.
    run.app->fullscreenWindow().show();
    QVERIFY(run.refresh());
    QVERIFY(!allBlack(f.pictureArea()->surface()));
    QVERIFY(!allBlack(fullscreen.surface()));

    QVERIFY(serve(QStringLiteral("changing.jpg"), m_bomb));
    QSignalSpy ended(&run.app->fetch(), &CamImageFetch::refreshEnded);
    run.app->fetch().fetchCamImage();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(ended.wait(5000));
    const qint64 endedMs = clock.elapsed();
    QVERIFY2(endedMs >= budgetMs - 50 && endedMs < budgetMs + 1000, qPrintable(QString::number(endedMs)));
    QVERIFY(f.pictureArea()->picture().isNull());
    QVERIFY(allBlack(f.pictureArea()->surface()));
    QVERIFY(allBlack(fullscreen.surface()));
    QCOMPARE(run.leftovers(), QStringList());
    QVERIFY(run.app->heartbeat().timer()->isActive());
    // The decoder lets go soon after.
    QVERIFY2(run.waitForRefresh(1500), "the decode given up still runs");

    QVERIFY(serve(QStringLiteral("changing.jpg"), m_good));
    QVERIFY(run.refresh());
    QCOMPARE(f.pictureArea()->picture().size(), QSize(320, 240));
}

void TestCamFetch::closeDuringDecode()
{
    AppRun run;
    startCrafted(run, QStringLiteral("bomb.jpg"));
    run.app->fetch().fetchCamImage();
    QVERIFY(run.app->fetch().isRunning());
    QTest::qWait(200);
    run.app->mainWindow().close();
    QCOMPARE(run.exits, QList<int>{0});
    QCOMPARE(run.leftovers(), QStringList());
    QVERIFY(run.messages.isEmpty());
    QVERIFY2(run.waitForRefresh(1500), "the decode given up still runs");
    QCOMPARE(run.leftovers(), QStringList());
}

// A cam showing a picture of over 64 MiB: the picture held goes before the next is decoded,
// so a refresh adds no second picture's worth of memory to the one on show.
void TestCamFetch::largePictureGoesBeforeTheNext()
{
    const int side = 4200;
    const qint64 pictureBytes = qint64(side) * side * 4;
    QVERIFY(pictureBytes > CamFeed::LargePictureBytes);
    QVERIFY(serve(QStringLiteral("changing.jpg"), crafted::rgbaPng(crafted::rampRow(side), side)));
    AppRun run;
    startCrafted(run, QStringLiteral("changing.jpg"));
    MainWindow &f = run.app->mainWindow();
    QVERIFY(run.refresh());
    QCOMPARE(f.pictureArea()->picture().size(), QSize(side, side));

    MemoryWatch memory;
    QVERIFY(run.refresh());
    const qint64 growth = memory.growth();
    QCOMPARE(f.pictureArea()->picture().size(), QSize(side, side));
    QVERIFY(!allBlack(f.pictureArea()->surface()));
    QVERIFY2(growth < pictureBytes / 2,
             qPrintable(QStringLiteral("%1 MiB for a %2 MiB picture").arg(growth >> 20).arg(pictureBytes >> 20)));
}

// While the fullscreen window is hidden, refreshes draw nothing into its picture area; shown,
// it draws the newest picture.
void TestCamFetch::hiddenFullscreenDrawnWhenShown()
{
    const auto png = [](QRgb colour) { return crafted::filled(QSize(320, 240), colour, "PNG"); };
    const QRgb older = qRgb(200, 120, 40);
    const QRgb newer = qRgb(30, 90, 210);
    QVERIFY(serve(QStringLiteral("changing.jpg"), png(older)));
    AppRun run;
    startCrafted(run, QStringLiteral("changing.jpg"));
    MainWindow &f = run.app->mainWindow();
    FullscreenWindow &full = run.app->fullscreenWindow();
    QVERIFY(!full.isVisible());

    QVERIFY(run.refresh());
    QCOMPARE(f.pictureArea()->surface().pixel(f.pictureArea()->surface().rect().center()), older);
    QVERIFY(allBlack(full.pictureArea()->surface()));
    // A layout of the main window or a mode change asks for a redraw of both areas.
    f.cycleScaleMode();
    QVERIFY(allBlack(full.pictureArea()->surface()));

    QVERIFY(serve(QStringLiteral("changing.jpg"), png(newer)));
    QVERIFY(run.refresh());
    QCOMPARE(f.pictureArea()->surface().pixel(f.pictureArea()->surface().rect().center()), newer);
    QVERIFY(allBlack(full.pictureArea()->surface()));

    QTest::mouseDClick(f.pictureArea(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(full.isVisible());
    const QImage &shown = full.pictureArea()->surface();
    QCOMPARE(shown.size(), full.pictureArea()->size() * shown.devicePixelRatio());
    QCOMPARE(shown.pixel(shown.rect().center()), newer);

    // Hidden again, a cam change clears it and nothing of the old picture comes back on show.
    QTest::mouseDClick(full.pictureArea(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!full.isVisible());
    run.app->selection().rowClicked(camWith(run.app->state(), QStringLiteral("good.png")));
    full.show();
    QVERIFY(allBlack(full.pictureArea()->surface()));
}

QTEST_MAIN(TestCamFetch)
#include "tst_camfetch.moc"
