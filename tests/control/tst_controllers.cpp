// The heartbeat, the comment rotation, the key commands and the favourites on fake views,
// driven by calling their handlers.
#include "fakes.h"

#include "control/commentrotation.h"
#include "control/favourites.h"
#include "control/heartbeat.h"
#include "control/keyhandler.h"
#include "core/keys/keycodes.h"
#include "core/rules/heartbeatrules.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

namespace {

// The rig with the heartbeat, the comment rotation and the key commands, each showing on
// both fake windows.
struct Controllers : Rig
{
    FakeView countdown;
    Heartbeat heartbeat{state, selection, fetch, countdown};
    CommentRotation comments{state, random};
    KeyHandler keys{state, selection};
    QSignalSpy infoShown{&heartbeat, &Heartbeat::camInfoShown};
    QSignalSpy camChanged{&selection, &CamSelection::camChanged};

    Controllers()
    {
        for (FakeView *view : {&first, &second}) {
            heartbeat.addCamInfoView(view);
            heartbeat.addTitleView(view);
            comments.addCommentView(view);
        }
    }
    // Ends a running refresh with failed answers.
    void endRefresh()
    {
        for (int i = 0; i < 500 && fetch.isRunning(); ++i) {
            if (FakeHandler *handler = net.last())
                handler->answer(DownloadResult::Error::Network);
            QTest::qWait(5);
        }
    }
};

} // namespace

class TestControllers : public QObject
{
    Q_OBJECT
private slots:
    void firstTickShowsCam();
    void refreshCountdown_data();
    void refreshCountdown();
    void tickDuringRefreshIsSkipped();
    void shuffle_data();
    void shuffle();
    void shuffleAtZeroLetsEachPictureCome();
    void randomPassesFailedCams_data();
    void randomPassesFailedCams();
    void commentRotation_data();
    void commentRotation();
    void commentsSwitchedOff();
    void navigation_data();
    void navigation();
    void letters_data();
    void letters();
    void favouritesKeptInFile();
};

void TestControllers::firstTickShowsCam()
{
    Controllers c;
    c.state.countdowns.setRefresh(3);
    const QString title = QStringLiteral("Cam 0") + heartbeat::TitleSuffix;

    c.heartbeat.onTick();
    c.heartbeat.onTick();
    for (const FakeView *view : {&c.first, &c.second}) {
        QCOMPARE(view->camInfos, QList<QStringList>{c.state.selection.currentCamFields()});
        QCOMPARE(view->titles, (QStringList{title, title}));
    }
    QCOMPARE(c.infoShown.size(), 1);

    // Another cam is shown once more.
    c.selection.rowClicked(2);
    c.heartbeat.onTick();
    c.endRefresh();
    c.heartbeat.onTick();
    QCOMPARE(c.first.camInfos.size(), 2);
    QCOMPARE(c.second.camInfos.last().value(CamRecord::CamName), QStringLiteral("Cam 2"));
    QCOMPARE(c.first.titles.last(), QStringLiteral("Cam 2") + heartbeat::TitleSuffix);
    QCOMPARE(c.infoShown.size(), 2);
}

void TestControllers::refreshCountdown_data()
{
    QTest::addColumn<QString>("countdown"); // a number, or loaded from the box: "box 5"
    QTest::addColumn<bool>("fetches");
    QTest::addColumn<QString>("after");     // its text

    QTest::newRow("run out") << "0" << true << "5";
    QTest::newRow("one left") << "1" << false << "0";
    QTest::newRow("loaded from the box") << "box 5" << false << "4";
}

void TestControllers::refreshCountdown()
{
    QFETCH(QString, countdown);
    QFETCH(bool, fetches);
    QFETCH(QString, after);

    Controllers c;
    c.state.countdowns.setRefresh(countdown.startsWith(QLatin1String("box ")) ? countdown::Countdown::loadedFrom(countdown.mid(4))
                                                                                : countdown::Countdown(countdown.toInt()));
    c.heartbeat.onTick();
    QCOMPARE(c.state.countdowns.refresh().text(), after);
    QCOMPARE(c.fetch.isRunning(), fetches);
    QCOMPARE(c.net.requests.size(), fetches ? 1 : 0);
    if (fetches)
        QCOMPARE(c.net.requests[0].address, QStringLiteral("http://127.0.0.1:9/cams/0.png"));
}

void TestControllers::tickDuringRefreshIsSkipped()
{
    Controllers c;
    c.state.switches.setAutoShuffle(true);
    c.state.countdowns.setShuffle(10);
    c.heartbeat.onTick();
    QVERIFY(c.fetch.isRunning());
    const countdown::Countdown refresh = c.state.countdowns.refresh();

    c.heartbeat.onTick();
    c.heartbeat.onTick();
    QCOMPARE(c.net.requests.size(), 1);
    QVERIFY(c.state.countdowns.refresh() == refresh);
    QCOMPARE(c.state.countdowns.shuffle().text(), QStringLiteral("9"));
    QCOMPARE(c.first.titles.size(), 1);
    QCOMPARE(c.countdown.captions.size(), 1);

    c.endRefresh();
    c.heartbeat.onTick();
    QCOMPARE(c.state.countdowns.shuffle().text(), QStringLiteral("8"));
    QCOMPARE(c.countdown.captions.size(), 2);
}

void TestControllers::shuffle_data()
{
    QTest::addColumn<bool>("autoShuffle");
    QTest::addColumn<int>("countdown");
    QTest::addColumn<bool>("picks");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<double>("fill");

    QTest::newRow("on, run out") << true << 0 << true << QStringLiteral("Auto Shuffle in 60 sec.") << 0.0;
    QTest::newRow("on, counting") << true << 15 << false << QStringLiteral("Auto Shuffle in 14 sec.") << 0.766;
    QTest::newRow("off, run out") << false << 0 << false << QStringLiteral("Auto Shuffle in 0 sec.") << 1.0;
    QTest::newRow("off, held") << false << 15 << false << QStringLiteral("Auto Shuffle in 15 sec.") << 0.75;
}

void TestControllers::shuffle()
{
    QFETCH(bool, autoShuffle);
    QFETCH(int, countdown);
    QFETCH(bool, picks);
    QFETCH(QString, caption);
    QFETCH(double, fill);

    Controllers c;
    c.state.countdowns.setRefresh(3);
    c.state.switches.setAutoShuffle(autoShuffle);
    c.state.countdowns.setShuffle(countdown);
    c.heartbeat.onTick();

    QCOMPARE(c.camChanged.size(), picks ? 1 : 0);
    if (picks) {
        QCOMPARE(c.list.listCalls.last(), QStringLiteral("scroll %1").arg(c.state.selection.currentCam()));
        QCOMPARE(c.state.selection.pictureAddress(), QStringLiteral("http://127.0.0.1:9/cams/%1.png").arg(c.state.selection.currentCam()));
        QCOMPARE(c.state.countdowns.refresh().text(), QStringLiteral("0")); // the new cam's picture comes next tick
    } else {
        QVERIFY(c.list.listCalls.isEmpty());
    }
    QCOMPARE(c.countdown.captions, QStringList{caption});
    QCOMPARE(c.countdown.fills.size(), 1);
    QVERIFY2(qAbs(c.countdown.fills[0] - fill) < 0.001, qPrintable(QString::number(c.countdown.fills[0])));
    QCOMPARE(c.countdown.countdownShown, autoShuffle ? QList<bool>{true} : QList<bool>{});
}

// An interval of 0 jumps on every tick, but not over the refresh its tick has just started:
// each cam's picture and comments come before the next cam.
void TestControllers::shuffleAtZeroLetsEachPictureCome()
{
    Controllers c;
    c.state.switches.setAutoShuffle(true);
    c.state.switches.setShuffleIntervalText(QStringLiteral("0"));
    c.state.reloadShuffleCountdown();
    for (int cam = 1; cam <= 3; ++cam) {
        c.heartbeat.onTick();
        QVERIFY(c.fetch.isRunning());
        c.endRefresh();
        QCOMPARE(c.net.requests.size(), 2 * cam); // the comments too: not given up
        c.heartbeat.onTick();
        QCOMPARE(c.camChanged.size(), cam);
    }
}

// Random Cam and auto shuffle pass by the cams that failed in the last ten minutes while
// another is left, with one number of the generator as always.
void TestControllers::randomPassesFailedCams_data()
{
    QTest::addColumn<QList<int>>("failed");
    QTest::addColumn<int>("minutesAgo");
    QTest::addColumn<QList<int>>("allowed");

    QRandomGenerator plain(1); // the rig's generator
    const int drawn = int(plain.generateDouble() * 3);
    const int other = (drawn + 1) % 3, third = (drawn + 2) % 3;
    QTest::newRow("none failed") << QList<int>{} << 0 << QList<int>{drawn};
    QTest::newRow("the drawn cam failed") << QList<int>{drawn} << 1 << QList<int>{other, third};
    QTest::newRow("one left") << QList<int>{drawn, third} << 9 << QList<int>{other};
    QTest::newRow("all failed") << QList<int>{0, 1, 2} << 1 << QList<int>{drawn};
    QTest::newRow("failed 11 minutes ago") << QList<int>{drawn} << 11 << QList<int>{drawn};
}

void TestControllers::randomPassesFailedCams()
{
    QFETCH(QList<int>, failed);
    QFETCH(int, minutesAgo);
    QFETCH(QList<int>, allowed);

    for (const bool byShuffle : {false, true}) {
        Controllers c;
        const qint64 failedAt = QDateTime::currentMSecsSinceEpoch() - qint64(minutesAgo) * 60 * 1000;
        for (const int cam : failed)
            c.state.health.set(QStringLiteral("cam%1").arg(cam), CamHealth{1, failedAt, 0});
        if (byShuffle) {
            c.state.countdowns.setRefresh(3);
            c.state.switches.setAutoShuffle(true);
            c.state.countdowns.setShuffle(0);
            c.heartbeat.onTick();
        } else {
            c.selection.pickRandomCam();
        }
        QCOMPARE(c.camChanged.size(), 1);
        QVERIFY2(allowed.contains(c.state.selection.currentCam()), qPrintable(QString::number(c.state.selection.currentCam())));
        QRandomGenerator plain(1);
        plain.generateDouble();
        QCOMPARE(c.random.generate(), plain.generate());
    }
}

void TestControllers::commentRotation_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<int>("shownMs");

    const QString words = QStringList(30, QStringLiteral("word")).join(QLatin1Char(' '));
    QTest::newRow("one comment") << QStringList{QStringLiteral("Ann;") + words + QStringLiteral("<br />  !;2020-01-01"), QString()}
                                 << QStringList{QStringLiteral("Ann"), words + QStringLiteral(" !"), QStringLiteral("2020-01-01")}
                                 << 15500;
    QTest::newRow("no comments") << QStringList{QString(), QString()} << QStringList() << 7000;
    QTest::newRow("two fields") << QStringList{QStringLiteral("Ann;Nice view"), QString()} << QStringList() << 7000;
}

void TestControllers::commentRotation()
{
    QFETCH(QStringList, table);
    QFETCH(QStringList, shown);
    QFETCH(int, shownMs);

    Controllers c;
    c.state.selection.setCommentTable(table);
    c.comments.onTick();
    const QList<QStringList> expected = shown.isEmpty() ? QList<QStringList>{} : QList<QStringList>{shown};
    QCOMPARE(c.first.comments, expected);
    QCOMPARE(c.second.comments, expected);
    QCOMPARE(c.comments.isCommentShown(), !shown.isEmpty());
    QCOMPARE(c.comments.timer()->interval(), shownMs);
    QVERIFY(c.comments.timer()->isActive());

    // The next tick takes it down for the pause.
    c.comments.onTick();
    QCOMPARE(c.first.hides, shown.isEmpty() ? 0 : 1);
    QCOMPARE(c.second.hides, c.first.hides);
    QVERIFY(!c.comments.isCommentShown());
    QCOMPARE(c.comments.timer()->interval(), 7000);
    QVERIFY(c.comments.timer()->isActive());
}

void TestControllers::commentsSwitchedOff()
{
    Controllers c;
    c.state.selection.setCommentTable(QStringList{QStringLiteral("Ann;Hi;2020-01-01"), QString()});
    c.comments.onTick();
    QVERIFY(c.comments.isCommentShown());

    c.state.switches.setShowComments(false);
    c.comments.onShowCommentsToggled();
    QVERIFY(!c.comments.timer()->isActive());
    QVERIFY(!c.comments.isCommentShown());
    QCOMPARE(c.first.hides, 1);
    QCOMPARE(c.second.hides, 1);

    c.state.switches.setShowComments(true);
    c.comments.onShowCommentsToggled();
    QVERIFY(c.comments.timer()->isActive());
    QCOMPARE(c.first.hides, 1);
}

void TestControllers::navigation_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("to"); // -1: no move

    QTest::newRow("down") << 0 << keycodes::Down << 1;
    QTest::newRow("up") << 2 << keycodes::Up << 1;
    QTest::newRow("up at the top") << 0 << keycodes::Up << 0;
    QTest::newRow("page down past the end") << 0 << keycodes::PageDown << 2;
    QTest::newRow("page up past the top") << 1 << keycodes::PageUp << 0;
    QTest::newRow("end") << 0 << keycodes::End << 2;
    QTest::newRow("home") << 2 << keycodes::Home << 0;
    QTest::newRow("other key") << 1 << int('X') << -1;
}

void TestControllers::navigation()
{
    QFETCH(int, from);
    QFETCH(int, key);
    QFETCH(int, to);

    Controllers c;
    c.state.selection.setCurrentCam(from);
    c.keys.onKeyDown(key, 0);

    if (to < 0) {
        QCOMPARE(c.state.selection.currentCam(), from);
        QVERIFY(c.list.listCalls.isEmpty());
        QCOMPARE(c.camChanged.size(), 0);
        return;
    }
    QCOMPARE(c.state.selection.currentCam(), to);
    QCOMPARE(c.list.listCalls,
             (QStringList{QStringLiteral("highlight %1 off").arg(from), QStringLiteral("select %1 off").arg(from),
                          QStringLiteral("select %1 on").arg(to), QStringLiteral("highlight %1 on").arg(to),
                          QStringLiteral("scroll %1").arg(to)}));
    QCOMPARE(c.camChanged.size(), 1);
    QCOMPARE(c.state.selection.pictureAddress(), QStringLiteral("http://127.0.0.1:9/cams/%1.png").arg(to));
}

void TestControllers::letters_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<bool>("showComments");
    QTest::addColumn<bool>("autoShuffle");

    QTest::newRow("s") << int('S') << QStringList{"scale mode step", "Scale mode: Scale Inline"} << true << false;
    QTest::newRow("c") << int('C') << QStringList{"comments switched", "Comments turned off"} << false << false;
    QTest::newRow("a") << int('A') << QStringList{"shuffle switched", "Auto shuffle turned on"} << true << true;
    QTest::newRow("r") << int('R') << QStringList{"cam changed"} << true << false;
}

void TestControllers::letters()
{
    QFETCH(int, key);
    QFETCH(QStringList, said);
    QFETCH(bool, showComments);
    QFETCH(bool, autoShuffle);

    Controllers c;
    QStringList log;
    const auto note = [&log](const char *what) { return [&log, what] { log.append(QLatin1String(what)); }; };
    connect(&c.keys, &KeyHandler::scaleModeStepRequested, this, note("scale mode step"));
    connect(&c.state.switches, &ViewerSwitches::showCommentsChanged, this, note("comments switched"));
    connect(&c.state.switches, &ViewerSwitches::autoShuffleChanged, this, note("shuffle switched"));
    connect(&c.selection, &CamSelection::camChanged, this, note("cam changed"));
    connect(&c.keys, &KeyHandler::statusMessage, this, [&log](const QString &text) { log.append(text); });

    c.keys.onKeyDown(key, 0);
    QCOMPARE(log, said);
    QCOMPARE(c.state.switches.showComments(), showComments);
    QCOMPARE(c.state.switches.autoShuffle(), autoShuffle);
}

// Stars go to the file and come back on the next start; an id of a cam the catalogue no
// longer has stays in the file; a link in the file's place is neither read nor written.
void TestControllers::favouritesKeptInFile()
{
    Rig rig;
    const QString folder = rig.dir.filePath(QStringLiteral("config/lumora-viewer/favourites"));
    const QString file = folder + QStringLiteral("/catalogue.txt");
    const auto content = [&file] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable");
    };
    const auto mode = [](const QString &path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    {
        Favourites favourites(rig.state, rig.list);
        QSignalSpy warnings(&favourites, &Favourites::warning);
        favourites.load(file); // no file yet
        favourites.toggle(2);
        QCOMPARE(content(), QByteArray("cam2\n"));
        QCOMPARE(mode(folder), 0700);
        QCOMPARE(mode(file), 0600);
        QVERIFY(warnings.isEmpty());
    }
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::Append));
        f.write("gone\n");
    }
    Favourites favourites(rig.state, rig.list);
    favourites.load(file);
    QCOMPARE(rig.state.catalogue.favouriteCams(), QSet<QString>{QStringLiteral("cam2")});
    QVERIFY(rig.list.listCalls.contains(QStringLiteral("star 2 on")));
    favourites.toggle(0);
    favourites.toggle(2);
    QCOMPARE(content(), QByteArray("gone\ncam0\n"));

    // A link put in the file's place is not written through, nor read.
    const QString target = rig.dir.filePath(QStringLiteral("elsewhere.txt"));
    QVERIFY(QFile::rename(file, target));
    QVERIFY(QFile::link(target, file));
    QSignalSpy warnings(&favourites, &Favourites::warning);
    favourites.toggle(1);
    QCOMPARE(warnings.size(), 1);
    QVERIFY(QFileInfo(file).isSymLink());
    QFile kept(target);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("gone\ncam0\n"));
    favourites.load(file);
    QVERIFY(rig.state.catalogue.favouriteCams().isEmpty());
    QCOMPARE(warnings.size(), 2);

    // Nor is a folder that is a link, to a folder of the user's own with such a file.
    const QString otherFolder = rig.dir.filePath(QStringLiteral("other"));
    QVERIFY(QDir().rename(folder, otherFolder) && QFile::link(otherFolder, folder));
    QVERIFY(QFile::remove(otherFolder + QStringLiteral("/catalogue.txt")));
    QVERIFY(QFile::copy(target, otherFolder + QStringLiteral("/catalogue.txt")));
    favourites.load(file);
    QVERIFY(rig.state.catalogue.favouriteCams().isEmpty());
    favourites.toggle(1);
    QCOMPARE(warnings.size(), 4);
    QFile untouched(otherFolder + QStringLiteral("/catalogue.txt"));
    QVERIFY(untouched.open(QIODevice::ReadOnly));
    QCOMPARE(untouched.readAll(), QByteArray("gone\ncam0\n"));
}

QTEST_GUILESS_MAIN(TestControllers)
#include "tst_controllers.moc"
