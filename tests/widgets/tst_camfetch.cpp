#include "apprun.h"
#include "camlist/camlistwidget.h"
#include "camlist/selection.h"
#include "camserverprocess.h"
#include "catalogue/camrecord.h"
#include "status/statusbar.h"
#include "view/camimagefetch.h"
#include "view/fetchrules.h"
#include "view/picturearea.h"
#include "windows/form1.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace {

const QRegularExpression StatsText(QStringLiteral(R"(^\d+[.,]\d\d kb in \d+[.,]\d\d sec\. \(\d+[.,]\d\d kb/sec\)$)"));

// Index of the first cam whose picture address contains the text.
int camWith(const RunningState &s, const QString &part)
{
    for (int i = 0; i < s.CamCount; ++i)
        if (CamRecord::field(CamRecord::split(s.CamTable[i]), CamRecord::ImageUrl).contains(part))
            return i;
    return -1;
}

bool allBlack(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0)
                return false;
    return true;
}

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

private:
    void startAt(AppRun &run, const QString &picturePart);
    CamServerProcess m_server;
};

void TestCamFetch::initTestCase()
{
    QVERIFY(m_server.start());
}

void TestCamFetch::init()
{
    QVERIFY(m_server.clearFaults());
}

void TestCamFetch::startAt(AppRun &run, const QString &picturePart)
{
    QVERIFY(run.writeConfig(m_server.baseUrl()));
    QVERIFY(run.app->start());
    // Let the maximised window settle: its layout redraws (and so clears) the picture area.
    QVERIFY(QTest::qWaitForWindowExposed(&run.app->form1()));
    QTest::qWait(50);
    const int cam = camWith(run.app->state(), picturePart);
    QVERIFY(cam >= 0);
    run.app->selection().rowClicked(cam);
}

void TestCamFetch::refreshShowsCam()
{
    AppRun run;
    startAt(run, QStringLiteral(".png"));
    Form1 &f = run.app->form1();
    const RunningState &s = run.app->state();
    const QString camId = s.CurrentCamFields.value(CamRecord::CamId);

    QVERIFY(run.refresh());

    QVERIFY(!f.picOriginal->picture().isNull());
    QVERIFY(!allBlack(f.picDraw->surface()));
    QVERIFY2(StatsText.match(f.StatusBar1->panelText(5)).hasMatch(), qPrintable(f.StatusBar1->panelText(5)));
    QCOMPARE(s.CommentTable.size() - 1, s.CurrentCamFields.value(CamRecord::CommentCount).toInt()
                                             + (s.CurrentCamFields.value(CamRecord::CommentCount) == "0" ? 1 : 0));
    QVERIFY(f.Timer1->isActive());
    QCOMPARE(run.leftovers(), QStringList());
    const QStringList seen = m_server.requests();
    QVERIFY(seen.contains(QStringLiteral("GET /comments.php?camid=%1 200").arg(camId)));
    QVERIFY(seen.contains(QStringLiteral("GET %1 200").arg(QUrl(f.Text1->text()).path())));
}

void TestCamFetch::failedPicture()
{
    AppRun run;
    startAt(run, QStringLiteral(".jpg"));
    Form1 &f = run.app->form1();
    QVERIFY(run.refresh());
    QVERIFY(!f.picOriginal->picture().isNull());

    QVERIFY(m_server.setFault(QStringLiteral("/cams/*"), QStringLiteral("reset")));
    QVERIFY(run.refresh());
    QVERIFY(f.picOriginal->picture().isNull());
    QVERIFY(allBlack(f.picDraw->surface()));
    QVERIFY2(f.StatusBar1->panelText(5).startsWith(QLatin1String("0.00 kb in ")), qPrintable(f.StatusBar1->panelText(5)));
    QVERIFY(f.StatusBar1->panelText(5).endsWith(QLatin1String("(0.00 kb/sec)")));
    QCOMPARE(run.leftovers(), QStringList());

    // The next refresh works again once the server behaves.
    QVERIFY(m_server.clearFaults());
    QVERIFY(run.refresh());
    QVERIFY(!f.picOriginal->picture().isNull());
    QCOMPARE(run.leftovers(), QStringList());
}

void TestCamFetch::failedComments()
{
    AppRun run;
    startAt(run, QStringLiteral(".jpg"));
    RunningState &s = run.app->state();
    s.CommentTable = QStringList{QStringLiteral("old;comment;1.1.2000"), QString()};
    QVERIFY(m_server.setFault(QStringLiteral("/comments.php"), QStringLiteral("reset")));
    QVERIFY(run.refresh());
    // No comments, not the picture's bytes read as comments.
    QCOMPARE(s.CommentTable, (QStringList{QString(), QString()}));
    QVERIFY(!run.app->form1().picOriginal->picture().isNull());
    QCOMPARE(run.leftovers(), QStringList());
}

void TestCamFetch::stalledPictureKeepsWindowsAlive()
{
    AppRun run(20000);
    startAt(run, QStringLiteral(".jpg"));
    Form1 &f = run.app->form1();
    RunningState &s = run.app->state();
    const int stalledCam = s.CurrentCam;
    const QString statsBefore = f.StatusBar1->panelText(5);
    QVERIFY(m_server.setFault(QStringLiteral("/cams/*"), QStringLiteral("stall")));

    bool queuedRan = false;
    bool bulletsShown = false;
    bool secondFetchStarted = false;
    const int otherCam = stalledCam == 0 ? 1 : 0;
    QTimer::singleShot(300, &f, [&] {
        queuedRan = true;
        QVERIFY(run.app->fetch().isRunning());
        // The transfer's progress shows as bullets on the picture area.
        bulletsShown = !allBlack(f.picDraw->surface().copy(0, 0, 120, 30));
        // A second refresh asked for now does not start.
        const int requestsBefore = m_server.requests().size();
        run.app->fetch().FetchCamImage();
        secondFetchStarted = m_server.requests().size() != requestsBefore;
        // The user picks another cam while the picture hangs.
        run.app->selection().rowClicked(otherCam);
    });
    QElapsedTimer clock;
    clock.start();
    run.app->fetch().FetchCamImage();

    QVERIFY(queuedRan);
    QVERIFY(bulletsShown);
    QVERIFY(!secondFetchStarted);
    QVERIFY2(clock.elapsed() < 10000, "the new selection ends the wait");
    QCOMPARE(s.CurrentCam, otherCam);
    // Nothing of the old cam lands on the new selection.
    QCOMPARE(f.StatusBar1->panelText(5), statsBefore);
    QVERIFY(allBlack(f.picDraw->surface()));
    QCOMPARE(s.CommentTable, (QStringList{QString(), QString()}));
    QCOMPARE(run.leftovers(), QStringList());
    QVERIFY(f.Timer1->isActive());

    QVERIFY(m_server.clearFaults());
    QVERIFY(run.refresh());
    QVERIFY(!f.picOriginal->picture().isNull());
}

void TestCamFetch::closeDuringStall()
{
    AppRun run(20000);
    startAt(run, QStringLiteral(".jpg"));
    QVERIFY(m_server.setFault(QStringLiteral("/cams/*"), QStringLiteral("stall")));
    QTimer::singleShot(300, &run.app->form1(), [&] { run.app->form1().close(); });
    QElapsedTimer clock;
    clock.start();
    run.app->fetch().FetchCamImage();
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(run.exits, QList<int>{0});
    QCOMPARE(run.leftovers(), QStringList());
    QVERIFY(run.messages.isEmpty());
}

QTEST_MAIN(TestCamFetch)
#include "tst_camfetch.moc"
