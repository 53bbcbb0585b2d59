#include "apprun.h"
#include "control/camselection.h"
#include "camserverprocess.h"
#include "control/heartbeat.h"
#include "core/catalogue/camrecord.h"
#include "ui/widgets/demandtimer.h"
#include "ui/widgets/intervalkeyfilter.h"
#include "ui/widgets/shapes.h"
#include "ui/widgets/statusbar.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/widgets/infobarpanel.h"
#include "ui/windows/mainwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

namespace {

// Counted requests need a cam whose picture is fetched on every refresh.
const QString StillCam = QStringLiteral("1001");

int pictureRequests(const CamServerProcess &server)
{
    int n = 0;
    for (const QString &line : server.requests())
        n += line.startsWith(QLatin1String("GET /cam")) ? 1 : 0;
    return n;
}

} // namespace

class TestHeartbeat : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void firstTickShowsCam();
    void fetchesEverySixTicks();
    void autoShuffle();
    void sameCamKeepsStatus();
    void sidesAlternate();
    void intervalBoxes_data();
    void intervalBoxes();
    void typedRefreshInterval_data();
    void typedRefreshInterval();

private:
    void start(AppRun &run);
    // One tick, and the refresh it may have started run to its end.
    void beat(AppRun &run);
    CamServerProcess m_server;
};

void TestHeartbeat::initTestCase()
{
    QVERIFY(m_server.start());
}

void TestHeartbeat::init()
{
    QVERIFY(m_server.clearFaults());
}

void TestHeartbeat::start(AppRun &run)
{
    QVERIFY(run.writeConfig(m_server.baseUrl()));
    QVERIFY(run.startAndWait());
    // The tests drive the heartbeat themselves.
    run.app->heartbeat().timer()->stop();
}

void TestHeartbeat::beat(AppRun &run)
{
    run.app->heartbeat().onTick();
    QVERIFY(run.waitForRefresh());
}

void TestHeartbeat::firstTickShowsCam()
{
    AppRun run(AppRun::onCam(StillCam));
    start(run);
    MainWindow &f1 = run.app->mainWindow();
    const QStringList &fields = run.app->state().selection.currentCamFields();
    const QString name = fields.value(CamRecord::CamName);
    const int before = pictureRequests(m_server);

    beat(run);

    QCOMPARE(f1.windowTitle(), name + QStringLiteral(" - lumora viewer 5"));
    QCOMPARE(run.app->fullscreenWindow().windowTitle(), name + QStringLiteral(" - lumora viewer 5 (fullscreen window)"));
    QVERIFY(f1.descriptionBox()->toPlainText().startsWith(name + QLatin1Char('\n')));
    QVERIFY(run.app->infoBarPanel().descriptionBox()->toPlainText().startsWith(name));
    QCOMPARE(f1.camStatusBar()->panelText(1), QStringLiteral("Cam added by: ") + fields.value(CamRecord::AddedBy));
    QCOMPARE(f1.camStatusBar()->panelText(2), fields.value(CamRecord::ViewCount));
    QCOMPARE(f1.camStatusBar()->panelText(3), fields.value(CamRecord::CommentCount));
    QVERIFY(!f1.camStatusBar()->panelPicture(4).isNull());
    QCOMPARE(run.app->infoBarPanel().figuresLabel()->text(),
             QStringLiteral("Views: %1 | Comments: %2\nCam added by: %3")
                 .arg(fields.value(CamRecord::ViewCount), fields.value(CamRecord::CommentCount),
                      fields.value(CamRecord::AddedBy)));
    QCOMPARE(pictureRequests(m_server), before + 1);
    QCOMPARE(run.app->state().countdowns.refresh().text(), QStringLiteral("5"));
    QCOMPARE(run.leftovers(), QStringList());
}

void TestHeartbeat::fetchesEverySixTicks()
{
    AppRun run(AppRun::onCam(StillCam));
    start(run);
    const int before = pictureRequests(m_server);
    QList<int> fetchTicks;
    for (int tick = 1; tick <= 13; ++tick) {
        const int n = pictureRequests(m_server);
        beat(run);
        if (pictureRequests(m_server) != n)
            fetchTicks.append(tick);
    }
    QCOMPARE(fetchTicks, (QList<int>{1, 7, 13}));
    QCOMPARE(pictureRequests(m_server), before + 3);

    // A selection makes the next tick fetch.
    run.app->selection().rowClicked(0);
    const int n = pictureRequests(m_server);
    beat(run);
    QCOMPARE(pictureRequests(m_server), n + 1);
}

void TestHeartbeat::autoShuffle()
{
    AppRun run;
    start(run);
    MainWindow &f1 = run.app->mainWindow();
    FullscreenWindow &f3 = run.app->fullscreenWindow();
    RunningState &s = run.app->state();
    f1.shuffleIntervalEdit()->setText(QStringLiteral("3"));
    s.countdowns.setShuffle(countdown::Countdown::loadedFrom(QStringLiteral("3")));
    f1.autoShuffleCheck()->setChecked(true);
    QVERIFY(f3.countdownCaption()->isVisibleTo(&f3));

    QStringList captions;
    QList<int> fills;
    int jumpTick = 0;
    for (int tick = 1; tick <= 5; ++tick) {
        const countdown::Countdown before = s.countdowns.shuffle();
        beat(run);
        captions.append(f3.countdownCaption()->text());
        fills.append(f3.countdownBar()[1]->width());
        if (!jumpTick && before == countdown::Countdown(0)) // counted down, not loaded
            jumpTick = tick;
    }
    QCOMPARE(captions, (QStringList{"Auto Shuffle in 2 sec.", "Auto Shuffle in 1 sec.", "Auto Shuffle in 0 sec.",
                                    "Auto Shuffle in 3 sec.", "Auto Shuffle in 2 sec."}));
    QCOMPARE(jumpTick, 4);
    const int full = f3.countdownBar()[0]->width();
    QCOMPARE(fills[2], full);
    QCOMPARE(fills[3], 0);
    QVERIFY(fills[0] > 0 && fills[0] < fills[1] && fills[1] < full);
    // The indicator follows the Info-Bar switch on every tick.
    QVERIFY(f3.countdownBar()[0]->isVisibleTo(&f3));
    run.app->infoBarPanel().layoutTimer()->setEnabled(false);
    beat(run);
    QVERIFY(!f3.countdownBar()[0]->isVisibleTo(&f3));

    // Off: the countdown is reloaded and stands still.
    f1.autoShuffleCheck()->setChecked(false);
    QCOMPARE(s.countdowns.shuffle().text(), QStringLiteral("3"));
    beat(run);
    beat(run);
    QCOMPARE(f3.countdownCaption()->text(), QStringLiteral("Auto Shuffle in 3 sec."));
    QVERIFY(!f3.countdownCaption()->isVisibleTo(&f3));

    // An emptied box falls back to the last interval it held.
    f1.autoShuffleCheck()->setChecked(true);
    f1.shuffleIntervalEdit()->clear();
    for (int i = 0; i < 3; ++i)
        beat(run);
    QCOMPARE(f3.countdownCaption()->text(), QStringLiteral("Auto Shuffle in 0 sec."));
    beat(run);
    QCOMPARE(f3.countdownCaption()->text(), QStringLiteral("Auto Shuffle in 3 sec."));
}

void TestHeartbeat::sameCamKeepsStatus()
{
    AppRun run;
    start(run);
    MainWindow &f1 = run.app->mainWindow();
    beat(run);
    const int overlayX = run.app->infoBarPanel().x();
    f1.camStatusBar()->setPanelText(1, QStringLiteral("marker"));
    run.app->selection().rowClicked(run.app->state().selection.currentCam());
    beat(run);
    QCOMPARE(f1.camStatusBar()->panelText(1), QStringLiteral("marker"));
    QCOMPARE(run.app->infoBarPanel().x(), overlayX);
}

void TestHeartbeat::sidesAlternate()
{
    AppRun run;
    start(run);
    FullscreenWindow &f3 = run.app->fullscreenWindow();
    InfoBarPanel &f4 = run.app->infoBarPanel();
    const int screenWidth = f3.screen()->geometry().width();
    QList<int> overlay;
    QList<int> box;
    for (int cam : {0, 1, 2, 3}) {
        run.app->selection().rowClicked(cam);
        beat(run);
        overlay.append(f4.x());
        box.append(f3.statusBox()->x());
    }
    for (int i = 0; i < 4; ++i) {
        const bool right = overlay[i] == screenWidth - f4.width();
        QVERIFY(right || overlay[i] == 0);
        // The status box sits opposite the overlay.
        QCOMPARE(box[i], right ? 8 : screenWidth - f3.statusBox()->width() - 8);
        if (i > 0)
            QVERIFY(overlay[i] != overlay[i - 1]);
    }
}

void TestHeartbeat::intervalBoxes_data()
{
    QTest::addColumn<bool>("shuffleBox");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("beeps");
    QTest::newRow("refresh: 10") << false << "" << "10" << "10" << 0;
    QTest::newRow("refresh: 30") << false << "" << "30" << "30" << 0;
    QTest::newRow("refresh: 60 typed back") << false << "" << "60" << "60" << 0;
    QTest::newRow("refresh: 0") << false << "" << "0" << "0" << 0;
    QTest::newRow("refresh: letters and blanks dropped") << false << "5" << "0x 1" << "501" << 2;
    QTest::newRow("shuffle: 10") << true << "" << "10" << "10" << 0;
    QTest::newRow("shuffle: 60 typed back") << true << "" << "60" << "60" << 0;
    QTest::newRow("shuffle: letters dropped") << true << "" << "3a0" << "30" << 1;
}

void TestHeartbeat::intervalBoxes()
{
    QFETCH(bool, shuffleBox);
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QFETCH(int, beeps);
    AppRun run;
    start(run);
    MainWindow &f1 = run.app->mainWindow();
    QLineEdit *box = shuffleBox ? f1.shuffleIntervalEdit() : f1.refreshIntervalEdit();
    const QString &stateText = shuffleBox ? run.app->state().switches.shuffleIntervalText() : run.app->state().switches.refreshIntervalText();
    QSignalSpy rejected(&run.app->intervalKeys(), &IntervalKeyFilter::rejected);
    box->setText(before);
    box->setFocus();
    box->end(false);
    QTest::keyClicks(box, typed);
    QCOMPARE(box->text(), after);
    QCOMPARE(stateText, after);
    QCOMPARE(rejected.count(), beeps);
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), after.chopped(1));
    QCOMPARE(stateText, after.chopped(1));
    QCOMPARE(rejected.count(), beeps);
}

void TestHeartbeat::typedRefreshInterval_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("fetchTicks");
    QTest::newRow("0: every tick") << "0" << QList<int>{1, 2, 3, 4, 5};
    QTest::newRow("2: every third tick") << "2" << QList<int>{1, 4, 7, 10};
    QTest::newRow("10: every eleventh tick") << "10" << QList<int>{1, 12, 23};
}

// What is typed into the refresh box sets how often the picture is fetched.
void TestHeartbeat::typedRefreshInterval()
{
    QFETCH(QString, typed);
    QFETCH(QList<int>, fetchTicks);
    AppRun run(AppRun::onCam(StillCam));
    start(run);
    QLineEdit *box = run.app->mainWindow().refreshIntervalEdit();
    box->clear();
    QTest::keyClicks(box, typed);
    QCOMPARE(box->text(), typed);
    QList<int> seen;
    for (int tick = 1; tick <= fetchTicks.last(); ++tick) {
        const int n = pictureRequests(m_server);
        beat(run);
        if (pictureRequests(m_server) != n)
            seen.append(tick);
    }
    QCOMPARE(seen, fetchTicks);
}

QTEST_MAIN(TestHeartbeat)
#include "tst_heartbeat.moc"
