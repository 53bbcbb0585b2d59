#include "core/rules/countdown.h"
#include "core/rules/heartbeatrules.h"
#include "core/rules/retryrules.h"

#include <QTest>

using namespace heartbeat;

class TestHeartbeatRules : public QObject
{
    Q_OBJECT
private slots:
    void fetchEveryNPlusOneTicks_data();
    void fetchEveryNPlusOneTicks();
    void shuffleJumpsOnTickSPlusOne();
    void shuffleIntervalsWithZero_data();
    void shuffleIntervalsWithZero();
    void shuffleStandsStillWhileOff();
    void emptyRefreshBoxKeepsLastInterval();
    void retryAfterFailure_data();
    void retryAfterFailure();
    void sidesAlternate();
    void texts();
};

void TestHeartbeatRules::fetchEveryNPlusOneTicks_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("period");
    QTest::newRow("5 seconds: every 6 ticks") << "5" << 6;
    QTest::newRow("1 second: every 2 ticks") << "1" << 2;
    QTest::newRow("0: every tick") << "0" << 1;
    QTest::newRow("10 seconds: every 11 ticks") << "10" << 11;
    QTest::newRow("30 seconds: every 31 ticks") << "30" << 31;
}

void TestHeartbeatRules::fetchEveryNPlusOneTicks()
{
    QFETCH(QString, box);
    QFETCH(int, period);
    QString last = QStringLiteral("5");
    countdown::Countdown c = 0; // as start-up and every selection leave it
    QList<int> fetchTicks;
    for (int tick = 1; tick <= 4 * period; ++tick) {
        const RefreshStep step = refreshStep(c, box, last);
        c = step.countdown;
        if (step.fetch)
            fetchTicks.append(tick);
    }
    QCOMPARE(fetchTicks.first(), 1); // the first tick fetches at once
    QCOMPARE(fetchTicks.size(), 4);
    for (int i = 1; i < fetchTicks.size(); ++i)
        QCOMPARE(fetchTicks[i] - fetchTicks[i - 1], period);
}

void TestHeartbeatRules::shuffleJumpsOnTickSPlusOne()
{
    countdown::Countdown c = countdown::Countdown::loadedFrom(QStringLiteral("60"));
    QStringList captions;
    int jumpTick = 0;
    for (int tick = 1; tick <= 62 && !jumpTick; ++tick) {
        const ShuffleStep step = shuffleStep(c, true);
        c = step.countdown;
        if (step.pick)
            jumpTick = tick;
        captions.append(countdownCaption(c));
    }
    QCOMPARE(jumpTick, 61);
    QCOMPARE(captions.first(), QStringLiteral("Auto Shuffle in 59 sec."));
    QCOMPARE(captions.count(QStringLiteral("Auto Shuffle in 0 sec.")), 2); // the tick before and the jump tick
    QCOMPARE(countdownCaption(countdown::Countdown::loadedFrom(QStringLiteral("60"))), QStringLiteral("Auto Shuffle in 60 sec."));
}

void TestHeartbeatRules::shuffleIntervalsWithZero_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("jumpTick");
    QTest::newRow("0: the first tick jumps") << "0" << 1;
    QTest::newRow("10") << "10" << 11;
    QTest::newRow("30") << "30" << 31;
    QTest::newRow("60") << "60" << 61;
}

void TestHeartbeatRules::shuffleIntervalsWithZero()
{
    QFETCH(QString, box);
    QFETCH(int, jumpTick);
    QString last = QStringLiteral("60");
    countdown::Countdown c = countdown::Countdown::loadedFrom(countdown::readInterval(box, last));
    QCOMPARE(c.text(), box);
    int tick = 1;
    for (; tick <= 100; ++tick) {
        const ShuffleStep step = shuffleStep(c, true);
        c = step.countdown;
        if (step.pick)
            break;
    }
    QCOMPARE(tick, jumpTick);
    QCOMPARE(countdownCaption(c), QStringLiteral("Auto Shuffle in 0 sec."));
}

void TestHeartbeatRules::shuffleStandsStillWhileOff()
{
    countdown::Countdown c = countdown::Countdown::loadedFrom(QStringLiteral("60"));
    for (int i = 0; i < 10; ++i)
        c = shuffleStep(c, false).countdown;
    QCOMPARE(c.text(), QStringLiteral("60"));
    const ShuffleStep atZero = shuffleStep(0, false);
    QVERIFY(!atZero.pick);
}

void TestHeartbeatRules::emptyRefreshBoxKeepsLastInterval()
{
    QString last = QStringLiteral("5");
    RefreshStep step = refreshStep(0, QStringLiteral("7"), last);
    QCOMPARE(step.countdown.text(), QStringLiteral("7"));
    step = refreshStep(0, QString(), last);
    QVERIFY(step.fetch);
    QCOMPARE(step.countdown.text(), QStringLiteral("7"));
    step = refreshStep(step.countdown, QStringLiteral("abc"), last);
    QCOMPARE(step.countdown.value(), 6);
}

// The countdown set at a failed refresh's end: the next try comes `wait` seconds later (the
// tick that finds 0 tries), and the reason says so.
void TestHeartbeatRules::retryAfterFailure_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("countdown");
    QTest::addColumn<QString>("reason");
    QTest::newRow("5 s, one failure") << 5 << 1 << 9 << "Connection refused (next try in 10 s)";
    QTest::newRow("5 s, four: at most a minute") << 5 << 4 << 59 << "Connection refused (next try in 60 s)";
    QTest::newRow("0 s: doubles a second") << 0 << 1 << 1 << "Connection refused (next try in 2 s)";
    QTest::newRow("0 s, three in a row") << 0 << 3 << 7 << "Connection refused (next try in 8 s)";
    QTest::newRow("90 s: as it is") << 90 << 5 << 89 << "Connection refused (next try in 90 s)";
    QTest::newRow("a week: as it is") << 604800 << 2 << 604799 << "Connection refused (next try in 604800 s)";
}

void TestHeartbeatRules::retryAfterFailure()
{
    QFETCH(int, interval);
    QFETCH(int, failures);
    QFETCH(int, countdown);
    QFETCH(QString, reason);
    const RetryStep step = heartbeat::retryAfterFailure(interval, failures);
    QCOMPARE(step.countdown, countdown);
    QCOMPARE(retry_rules::withNextTry(QStringLiteral("Connection refused"), step.waitMs), reason);
}

void TestHeartbeatRules::sidesAlternate()
{
    const int screen = 15360; // 1024 pixels
    const int overlay = 4860;
    Sides s = switchSides(screen, 0, overlay, 3375, 3135);
    QCOMPARE(s.overlayLeft, screen - overlay);
    QCOMPARE(s.statusBoxLeft, 120);
    QCOMPARE(s.statusMessageLeft, 240);
    s = switchSides(screen, s.overlayLeft, overlay, 3375, 3135);
    QCOMPARE(s.overlayLeft, 0);
    QCOMPARE(s.statusBoxLeft, screen - 3375 - 120);
    QCOMPARE(s.statusMessageLeft, screen - 3135 - 240);
}

void TestHeartbeatRules::texts()
{
    const QStringList f{"1", "Cam", "http://h/1.jpg", "d", "", "3", "12", "345", "anna"};
    QCOMPARE(overlayFigures(f), QStringLiteral("Views: 345 | Comments: 12\r\nCam added by: anna"));
    QCOMPARE(addedByText(f), QStringLiteral("Cam added by: anna"));
}

QTEST_APPLESS_MAIN(TestHeartbeatRules)
#include "tst_heartbeatrules.moc"
