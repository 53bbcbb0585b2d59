// Refreshes of one cam in the application against lumora-camserver: an unchanged picture
// is asked for conditionally, comes back as a 304 and stays on screen without a working
// file; the plain server sends it whole each time; a server's unfit entity tags are never
// sent back, and a 304 nobody asked for is a failed refresh.
#include "apprun.h"
#include "camserverprocess.h"
#include "craftedpictures.h"
#include "control/camselection.h"
#include "control/heartbeat.h"
#include "control/pictureloadjob.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/statusbar.h"
#include "ui/windows/mainwindow.h"

#include <QBuffer>
#include <QImage>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QRegularExpression StatsText(QStringLiteral(R"(^(\d+)[.,](\d\d) kb in \d+[.,]\d\d sec\. \(\d+[.,]\d\d kb/sec\)$)"));

using crafted::allBlack;

} // namespace

class TestConditionalFetch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void unchangedPicture_data();
    void unchangedPicture();

private:
    // A refresh; whether it wrote a picture file, which only a load from the working folder
    // follows. (The file may live for less than a turn of the event loop.)
    bool refreshWatching(AppRun &run, bool *pictureFileSeen) const;

    QTemporaryDir m_files;
    QByteArray m_picture;
};

void TestConditionalFetch::initTestCase()
{
    QVERIFY(m_files.isValid());
    QImage picture(320, 240, QImage::Format_RGB32);
    picture.fill(qRgb(30, 140, 200));
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; x += 7)
            picture.setPixel(x, y, qRgb(x % 256, y, 90));
    QBuffer buffer(&m_picture);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "JPEG", 90));
    QDir dir(m_files.path());
    QVERIFY(dir.mkpath(QStringLiteral("pictures")) && dir.mkpath(QStringLiteral("comments")));
    QFile catalogue(dir.filePath(QStringLiteral("camlist.txt")));
    QVERIFY(catalogue.open(QIODevice::WriteOnly));
    catalogue.write("7;Still cam;{base}/still.jpg;d;;5;1;10;tester\r\n");
    catalogue.close();
    QFile comments(dir.filePath(QStringLiteral("comments/7.txt")));
    QVERIFY(comments.open(QIODevice::WriteOnly));
    comments.write("Ann;Still there;2026-12-08\r\n");
    comments.close();
    QFile still(dir.filePath(QStringLiteral("pictures/still.jpg")));
    QVERIFY(still.open(QIODevice::WriteOnly));
    QCOMPARE(still.write(m_picture), m_picture.size());
}

bool TestConditionalFetch::refreshWatching(AppRun &run, bool *pictureFileSeen) const
{
    const auto *load = run.app->fetch().findChild<PictureLoadJob *>();
    if (!load)
        return false;
    QSignalSpy loaded(load, &PictureLoadJob::loaded);
    if (!run.refresh())
        return false;
    *pictureFileSeen = loaded.size() > 0;
    // Refreshes here are the test's alone.
    run.app->heartbeat().timer()->stop();
    return true;
}

void TestConditionalFetch::unchangedPicture_data()
{
    QTest::addColumn<QStringList>("serverArgs");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("asksConditionally");
    QTest::addColumn<int>("secondStatus");
    QTest::addColumn<bool>("shown");

    QTest::newRow("conditional") << QStringList() << QString() << true << 304 << true;
    // The same bytes in full: still no new file and no decode.
    QTest::newRow("plain server") << QStringList{QStringLiteral("--no-conditional")} << QString() << false << 200 << true;
    QTest::newRow("tag with a CR") << QStringList() << QStringLiteral("bad-etag:0") << false << 200 << true;
    QTest::newRow("tag of 10 kB") << QStringList() << QStringLiteral("bad-etag:10240") << false << 200 << true;
    QTest::newRow("304 never asked for") << QStringList() << QStringLiteral("not-modified") << false << 304 << false;
}

void TestConditionalFetch::unchangedPicture()
{
    QFETCH(QStringList, serverArgs);
    QFETCH(QString, fault);
    QFETCH(bool, asksConditionally);
    QFETCH(int, secondStatus);
    QFETCH(bool, shown);

    const QDir dir(m_files.path());
    CamServerProcess server(QStringList{QStringLiteral("--catalogue"), dir.filePath(QStringLiteral("camlist.txt")),
                                        QStringLiteral("--pictures"), dir.filePath(QStringLiteral("pictures")),
                                        QStringLiteral("--comments"), dir.filePath(QStringLiteral("comments"))}
                            + serverArgs);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    if (!fault.isEmpty())
        QVERIFY(server.setFault(QStringLiteral("/still.jpg"), fault));

    AppRun run;
    QVERIFY(run.writeConfig(server.baseUrl()));
    QVERIFY(run.startAndWait());
    QVERIFY(QTest::qWaitForWindowExposed(&run.app->mainWindow()));
    QTest::qWait(50);
    run.app->heartbeat().timer()->stop();
    run.app->selection().rowClicked(0);
    MainWindow &f = run.app->mainWindow();

    bool fileSeen = false;
    QVERIFY(refreshWatching(run, &fileSeen));
    QVERIFY(fileSeen);
    // Not shown: the black area the rules leave, the failure's reason over it.
    const QImage firstScreen = f.pictureArea()->grab().toImage();
    QCOMPARE(allBlack(shown ? firstScreen : f.pictureArea()->surface()), !shown);
    QVERIFY(!allBlack(firstScreen));
    QCOMPARE(run.app->state().selection.commentTable().value(0), QStringLiteral("Ann;Still there;2026-12-08"));

    QVERIFY(refreshWatching(run, &fileSeen));
    // Neither the held picture again nor the same failed answer again is written or decoded.
    QVERIFY(!fileSeen);
    const QStringList log = server.requests().filter(QStringLiteral("GET /still.jpg "));
    QCOMPARE(log.size(), 2);
    QVERIFY2(log[0] == QStringLiteral("GET /still.jpg %1").arg(fault == QLatin1String("not-modified") ? 304 : 200),
             qPrintable(log[0]));
    QVERIFY2(log[1].startsWith(QStringLiteral("GET /still.jpg %1").arg(secondStatus)), qPrintable(log[1]));
    QCOMPARE(log[1].contains(QLatin1String(" If-None-Match: \"")), asksConditionally);
    QCOMPARE(log[1].contains(QLatin1String(" If-Modified-Since: ")), asksConditionally);
    QVERIFY2(!log[1].contains(QLatin1String("If-None-Match: \"bad")) && !log[1].contains(QLatin1String("eeee")),
             qPrintable(log[1].left(200)));

    // The picture on screen is the one drawn first, without the transfer's bullets; over a
    // failure only the wait for the next try has grown.
    const QImage secondScreen = f.pictureArea()->grab().toImage();
    QCOMPARE(secondScreen.size(), firstScreen.size());
    if (shown)
        QVERIFY(secondScreen == firstScreen);
    else
        QVERIFY2(f.pictureArea()->failureReason().endsWith(QLatin1String(" (next try in 20 s)")),
                 qPrintable(f.pictureArea()->failureReason()));
    QCOMPARE(allBlack(f.pictureArea()->surface()), !shown);
    QCOMPARE(f.pictureArea()->picture().isNull(), !shown);
    QCOMPARE(run.app->state().selection.commentTable().value(0), QStringLiteral("Ann;Still there;2026-12-08"));

    const QString stats = f.camStatusBar()->panelText(5);
    const auto m = StatsText.match(stats);
    QVERIFY2(m.hasMatch(), qPrintable(stats));
    const double kb = m.captured(1).toDouble() + m.captured(2).toDouble() / 100;
    if (secondStatus == 304)
        QVERIFY2(kb < 1.0, qPrintable(stats)); // the header section alone, or nothing
    else
        QVERIFY2(kb >= m_picture.size() / 1024.0 - 0.01, qPrintable(stats));
    QCOMPARE(run.leftovers(), QStringList());
}

QTEST_MAIN(TestConditionalFetch)
#include "tst_conditionalfetch.moc"
