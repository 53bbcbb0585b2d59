// Frozen and failing cams on a real X server (Xvfb, 1024 x 768, no window manager) against a
// real lumora-camserver on 127.0.0.1, with the hidden test threshold
// LUMORA_TEST_UNCHANGED_AFTER=0,2 (set by the test's environment): a cam whose picture
// file never changes gets its badge on the screen at the third refresh and loses it with a
// changed picture; cams that answer 404, HTML, garbage, a refused connection or nothing at
// all show their reason on the black area. The screen is grabbed from the X server and
// compared with what the picture area draws: with no note the two are equal pixel for pixel.
#include "onscreen.h"
#include "apprun.h"
#include "camserverprocess.h"
#include "craftedpictures.h"
#include "control/camimagefetch.h"
#include "control/camselection.h"
#include "control/heartbeat.h"
#include "core/rules/retryrules.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/widgets/infobarpanel.h"
#include "ui/windows/mainwindow.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>
#include <QTimer>

namespace {

constexpr int TimeoutMs = 1500;

QByteArray jpeg(QRgb colour)
{
    return crafted::filled(QSize(640, 480), colour, "JPG");
}

QImage drawing(PictureArea &area)
{
    return area.surface().convertToFormat(QImage::Format_RGB32);
}

QRect differences(const QImage &a, const QImage &b)
{
    QRect box;
    for (int y = 0; y < qMin(a.height(), b.height()); ++y)
        for (int x = 0; x < qMin(a.width(), b.width()); ++x)
            if ((a.pixel(x, y) & 0xffffff) != (b.pixel(x, y) & 0xffffff))
                box |= QRect(x, y, 1, 1);
    return box;
}

QString describe(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class TestFreshnessOnScreen : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void frozenCamGetsItsBadge();
    void failingCamShowsWhy_data();
    void failingCamShowsWhy();
    void failingCamTriedLessOften();

private:
    bool serve(const QString &name, const QByteArray &bytes) const;
    // Starts a viewer on this server, its main window on the screen, the heartbeat's own
    // refreshes pushed far out so the test's refreshes are the only ones.
    void startViewer(AppRun &run);
    void selectCam(AppRun &run, const QString &name);

    QTemporaryDir m_files;
    std::unique_ptr<CamServerProcess> m_server;
    quint16 m_closedPort = 0;
};

bool TestFreshnessOnScreen::serve(const QString &name, const QByteArray &bytes) const
{
    QFile f(QDir(m_files.path()).filePath(QStringLiteral("pictures/") + name));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void TestFreshnessOnScreen::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QCOMPARE(qEnvironmentVariable("LUMORA_TEST_UNCHANGED_AFTER"), QStringLiteral("0,2"));
    QVERIFY(QDir(m_files.path()).mkpath(QStringLiteral("pictures")));
    QVERIFY(serve(QStringLiteral("frozen.jpg"), jpeg(qRgb(90, 140, 200))));
    QVERIFY(serve(QStringLiteral("good.jpg"), jpeg(qRgb(200, 170, 60))));
    QByteArray garbage(20000, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 2654435761u) >> 13);
    QVERIFY(serve(QStringLiteral("garbage.jpg"), garbage));

    // A port nobody listens on.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    m_closedPort = probe.serverPort();
    probe.close();

    const QByteArray catalogue =
        "1;Frozen;{base}/frozen.jpg;Never changes;;3;0;1;tester\r\n"
        "2;Good;{base}/good.jpg;Fine;;3;0;1;tester\r\n"
        "3;Missing;{base}/missing.jpg;404;;3;0;1;tester\r\n"
        "4;Page;{base}/page.jpg;HTML;;3;0;1;tester\r\n"
        "5;Garbage;{base}/garbage.jpg;Bytes;;3;0;1;tester\r\n"
        "6;Refused;http://127.0.0.1:" + QByteArray::number(m_closedPort) + "/cam.jpg;Nobody;;3;0;1;tester\r\n"
        "7;Stalled;{base}/stalled.jpg;Silent;;3;0;1;tester\r\n";
    QFile file(QDir(m_files.path()).filePath(QStringLiteral("camlist.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(catalogue) == catalogue.size());
    file.close();

    m_server = std::make_unique<CamServerProcess>(
        QStringList{QStringLiteral("--catalogue"), file.fileName(), QStringLiteral("--pictures"),
                    QDir(m_files.path()).filePath(QStringLiteral("pictures"))});
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    QVERIFY(m_server->setFault(QStringLiteral("/page.jpg"), QStringLiteral("html")));
    QVERIFY(m_server->setFault(QStringLiteral("/stalled.jpg"), QStringLiteral("stall")));
}

void TestFreshnessOnScreen::startViewer(AppRun &run)
{
    QVERIFY(run.writeConfig(m_server->baseUrl()));
    QVERIFY(run.startAndWait());
    MainWindow &main = run.app->mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.refreshIntervalEdit()->setText(QStringLiteral("999"));
    const QRect area(main.pictureArea()->mapToGlobal(QPoint(0, 0)), main.pictureArea()->size());
    QVERIFY2(QGuiApplication::primaryScreen()->geometry().contains(area), qPrintable(describe(area)));
}

// The selection's own refresh comes with the heartbeat's next tick; it is waited for, so
// the cam's first picture is in.
void TestFreshnessOnScreen::selectCam(AppRun &run, const QString &name)
{
    const QStringList &cams = run.app->state().catalogue.camTable();
    int row = -1;
    for (int i = 0; i < cams.size() && row < 0; ++i)
        if (cams[i].section(QLatin1Char(';'), 1, 1) == name)
            row = i;
    QVERIFY(row >= 0);
    QVERIFY(run.waitForRefresh());
    QSignalSpy ended(&run.app->fetch(), &CamImageFetch::refreshEnded);
    run.app->selection().rowClicked(row);
    QVERIFY(QTest::qWaitFor([&] { return !ended.isEmpty() && !run.app->fetch().isRunning(); }, 20000));
}

void TestFreshnessOnScreen::frozenCamGetsItsBadge()
{
    AppRun run(TimeoutMs);
    startViewer(run);
    if (QTest::currentTestFailed())
        return;
    MainWindow &main = run.app->mainWindow();
    PictureArea &area = *main.pictureArea();
    InfoBarPanel &infoBar = run.app->infoBarPanel();

    const QTime before = QTime::currentTime();
    selectCam(run, QStringLiteral("Frozen"));
    const QTime after = QTime::currentTime();
    if (QTest::currentTestFailed())
        return;
    const QStringList notes{QStringLiteral("unchanged since ") + before.toString(QStringLiteral("HH:mm")),
                            QStringLiteral("unchanged since ") + after.toString(QStringLiteral("HH:mm"))};

    // A fresh cam: the screen shows exactly the drawing, and so after the second refresh.
    QCOMPARE(onScreen(area), drawing(area));
    QVERIFY(run.refresh());
    QCOMPARE(onScreen(area), drawing(area));
    const QString figures = infoBar.figuresLabel()->text();
    QVERIFY(!figures.contains(QLatin1String("unchanged")));

    // The third picture with the same bytes: the badge, in the top right corner.
    QVERIFY(run.refresh());
    QVERIFY2(notes.contains(area.unchangedBadge()), qPrintable(area.unchangedBadge()));
    const QImage shot = onScreen(area);
    const QRect changed = differences(shot, drawing(area));
    QVERIFY2(!changed.isEmpty(), "the badge is on the screen");
    QVERIFY2(area.badgeRect().contains(changed), qPrintable(describe(changed)));
    QVERIFY(changed.right() >= area.width() - 20 && changed.top() <= 10);
    QVERIFY(whitePixels(shot, changed) > 30);
    QCOMPARE(infoBar.figuresLabel()->text(), figures + QLatin1Char('\n') + area.unchangedBadge());

    // The fullscreen window shows it too (the Info-Bar, which may lie over that corner, off).
    run.app->state().switches.setInfoBarOn(false);
    FullscreenWindow &full = run.app->fullscreenWindow();
    QTest::mouseDClick(&area, Qt::LeftButton, {}, QPoint(20, 200));
    QVERIFY(QTest::qWaitForWindowExposed(&full));
    PictureArea &fullArea = *full.pictureArea();
    QTRY_COMPARE(fullArea.size(), QSize(1024, 768));
    QCOMPARE(fullArea.unchangedBadge(), area.unchangedBadge());
    const QImage fullShot = onScreen(fullArea);
    const QRect fullChanged = differences(fullShot, drawing(fullArea));
    QVERIFY2(!fullChanged.isEmpty() && fullArea.badgeRect().contains(fullChanged), qPrintable(describe(fullChanged)));
    QVERIFY(whitePixels(fullShot, fullChanged) > 30);
    QTest::mouseDClick(&fullArea, Qt::LeftButton, {}, QPoint(500, 400));
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    // A changed picture: the badge goes, on the screen and in the Info-Bar.
    QVERIFY(serve(QStringLiteral("frozen.jpg"), jpeg(qRgb(200, 90, 90))));
    QVERIFY(run.refresh());
    QCOMPARE(area.unchangedBadge(), QString());
    QCOMPARE(onScreen(area), drawing(area));
    QCOMPARE(infoBar.figuresLabel()->text(), figures);
    QVERIFY(serve(QStringLiteral("frozen.jpg"), jpeg(qRgb(90, 140, 200))));
}

void TestFreshnessOnScreen::failingCamShowsWhy_data()
{
    QTest::addColumn<QString>("cam");
    QTest::addColumn<QString>("failure");
    QTest::newRow("404") << QStringLiteral("Missing") << QStringLiteral("HTTP 404 Not Found");
    QTest::newRow("HTML page") << QStringLiteral("Page") << QStringLiteral("Not a picture (text/html)");
    QTest::newRow("garbage bytes") << QStringLiteral("Garbage") << QStringLiteral("Picture could not be decoded");
    QTest::newRow("refused") << QStringLiteral("Refused") << QStringLiteral("Connection refused");
    QTest::newRow("no answer") << QStringLiteral("Stalled") << QStringLiteral("No answer for 1.5 seconds");
}

void TestFreshnessOnScreen::failingCamShowsWhy()
{
    QFETCH(QString, cam);
    QFETCH(QString, failure);
    // The refresh box holds 999: a wait that long is not drawn out.
    const QString reason = retry_rules::withNextTry(failure, 999 * 1000);
    AppRun run(TimeoutMs);
    startViewer(run);
    if (QTest::currentTestFailed())
        return;
    MainWindow &main = run.app->mainWindow();
    PictureArea &area = *main.pictureArea();

    selectCam(run, QStringLiteral("Good"));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(onScreen(area), drawing(area));

    selectCam(run, cam);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(area.failureReason(), reason);
    QCOMPARE(run.app->fullscreenWindow().pictureArea()->failureReason(), reason);
    QVERIFY(main.pictureArea()->picture().isNull());

    // The black area, and one white line across its middle; the bullets of the refresh
    // stay where they are, at the top left.
    const QImage shot = onScreen(area);
    const QRect changed = differences(shot, drawing(area));
    QVERIFY2(!changed.isEmpty(), "the reason is on the screen");
    const int middle = area.height() / 2;
    QVERIFY2(changed.top() <= middle && changed.bottom() >= middle && changed.height() < 30,
             qPrintable(describe(changed)));
    QVERIFY(whitePixels(shot, changed) > 30);

    // The same answer again (not decoded again where it was bytes) leaves the line as it was.
    QVERIFY(run.refresh());
    QCOMPARE(area.failureReason(), reason);
    const QImage again = onScreen(area);
    QCOMPARE(differences(again, drawing(area)), changed);
    QCOMPARE(again, shot);

    // The next picture takes it down.
    selectCam(run, QStringLiteral("Good"));
    QCOMPARE(area.failureReason(), QString());
    QCOMPARE(onScreen(area), drawing(area));
}

// With the refresh box at 0 a failing cam is tried again 2, then 4 seconds after a failure,
// not every second, and the server sees those tries only; its list row shows the mark.
void TestFreshnessOnScreen::failingCamTriedLessOften()
{
    AppRun run(TimeoutMs);
    startViewer(run);
    if (QTest::currentTestFailed())
        return;
    MainWindow &main = run.app->mainWindow();
    // Whatever start-up picked is over and forgotten.
    selectCam(run, QStringLiteral("Good"));
    if (QTest::currentTestFailed())
        return;
    run.app->state().health.clear();
    QVERIFY(m_server->resetLog());
    main.refreshIntervalEdit()->setText(QStringLiteral("0"));
    selectCam(run, QStringLiteral("Missing"));
    if (QTest::currentTestFailed())
        return;
    QElapsedTimer clock;
    clock.start();
    QList<qint64> ends{0};
    QStringList reasons{main.pictureArea()->failureReason()};
    QObject context;
    connect(&run.app->fetch(), &CamImageFetch::refreshEnded, &context, [&] {
        ends.append(clock.elapsed());
        reasons.append(main.pictureArea()->failureReason());
    });
    QVERIFY(QTest::qWaitFor([&] { return ends.size() == 3; }, 15000));
    const QString failure = QStringLiteral("HTTP 404 Not Found");
    QCOMPARE(reasons, (QStringList{retry_rules::withNextTry(failure, 2000), retry_rules::withNextTry(failure, 4000),
                                   retry_rules::withNextTry(failure, 8000)}));
    QVERIFY2(ends[1] - ends[0] >= 1800 && ends[2] - ends[1] >= 3800, qPrintable(QStringLiteral("%1 %2").arg(ends[1]).arg(ends[2])));
    QCOMPARE(m_server->requests().filter(QStringLiteral("/missing.jpg")).size(), 3);

    // The next tick marks its row, on the screen too.
    CamListWidget &list = *main.camList();
    const int row = run.app->state().selection.currentCam();
    QTRY_VERIFY(list.rowMark(row) == CamMark::Failed);
    const QImage shot = onScreen(list);
    const QRect mark = CamListWidget::markRect();
    const QRect r(mark.left() / 15, int(list.rowTop(row) + mark.top()) / 15, mark.width() / 15, mark.height() / 15);
    int red = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            red += qRed(shot.pixel(x, y)) > 160 && qGreen(shot.pixel(x, y)) < 90;
    QVERIFY2(red > 40, qPrintable(QString::number(red)));
}

QTEST_MAIN(TestFreshnessOnScreen)
#include "tst_freshnessx11.moc"
