// Cams that ask for credentials or speak https, on a real X server under a window manager
// (Xvfb + openbox), against lumora-camserver on 127.0.0.1. A cam whose picture address
// carries its user and password shows its picture from a server that asks for Digest
// credentials, and with a wrong password the reason on the black area; a cam over https,
// trusted through SSL_CERT_FILE, shows its picture refresh after refresh over the one
// connection the cam list came on.
#include "onscreen.h"
#include "apprun.h"
#include "camserverprocess.h"
#include "craftedpictures.h"
#include "securehttp.h"
#include "control/camimagefetch.h"
#include "core/rules/retryrules.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/mainwindow.h"
#include "wholefiles.h"

#include <QLineEdit>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QRgb Colour = qRgb(40, 160, 90);

int pixelsOf(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

} // namespace

class TestSecureCams : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void camBehindDigest_data();
    void camBehindDigest();
    void httpsCamOnOneConnection();

private:
    // A server for the catalogue, the pictures folder and the comments folder of m_files.
    QStringList servedFiles() const;
    // Starts a viewer on cam 1, its main window on the screen, and waits for its first picture.
    void startViewer(AppRun &run, const QString &url, const QString &refreshSeconds);

    QTemporaryDir m_files;
};

QStringList TestSecureCams::servedFiles() const
{
    return {QStringLiteral("--catalogue"), m_files.filePath(QStringLiteral("camlist.txt")), QStringLiteral("--pictures"),
            m_files.filePath(QStringLiteral("pictures")), QStringLiteral("--comments"), m_files.filePath(QStringLiteral("comments"))};
}

void TestSecureCams::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(QDir(m_files.path()).mkpath(QStringLiteral("pictures")) && QDir(m_files.path()).mkpath(QStringLiteral("comments")));
    QVERIFY(writeFile(m_files.filePath(QStringLiteral("pictures/pic.png")), crafted::filled(QSize(640, 480), Colour, "PNG")));
    // No comments, so the comment bar never covers part of the picture.
    QVERIFY(writeFile(m_files.filePath(QStringLiteral("comments/1.txt")), QByteArray()));
    QVERIFY(writeFile(m_files.filePath(QStringLiteral("camlist.txt")), "written by each test\r\n"));
}

void TestSecureCams::startViewer(AppRun &run, const QString &url, const QString &refreshSeconds)
{
    QVERIFY(run.writeConfig(url));
    QSignalSpy ended(&run.app->fetch(), &CamImageFetch::refreshEnded);
    QVERIFY(run.startAndWait());
    MainWindow &main = run.app->mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.refreshIntervalEdit()->setText(refreshSeconds);
    QVERIFY(QTest::qWaitFor([&] { return !ended.isEmpty() && !run.app->fetch().isRunning(); }, 20000));
}

void TestSecureCams::camBehindDigest_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QString>("reason"); // empty: the picture shows
    QTest::addColumn<QString>("logged");  // the picture's line in the server's log
    QTest::newRow("right password") << QByteArray("SECRET") << QString() << "GET /pic.png 200 Authorization: Digest";
    QTest::newRow("wrong password") << QByteArray("WRONG") << QStringLiteral("HTTP 401 Unauthorized")
                                    << "GET /pic.png 401 Authorization: Digest";
}

void TestSecureCams::camBehindDigest()
{
    QFETCH(QByteArray, password);
    QFETCH(QString, reason);
    QFETCH(QString, logged);
    CamServerProcess server(servedFiles() + QStringList{QStringLiteral("--auth"), QStringLiteral("digest:cam:SECRET")});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    // The port is known only now; the server reads the catalogue when it is first asked for.
    QVERIFY(writeFile(m_files.filePath(QStringLiteral("camlist.txt")),
                      "1;Locked Cam;http://cam:" + password + "@127.0.0.1:" + QByteArray::number(server.port())
                          + "/pic.png;Behind a password;;3;0;1;tester\r\n"));

    AppRun run(5000, 10000, StartOptions{false, QStringLiteral("1"), {}, {}, {}, {}});
    startViewer(run, server.baseUrl(), QStringLiteral("999"));
    if (QTest::currentTestFailed())
        return;
    MainWindow &main = run.app->mainWindow();
    PictureArea &area = *main.pictureArea();
    const QStringList requests = server.requests();
    QVERIFY2(requests.contains(logged), qPrintable(requests.join(QLatin1String(" | "))));
    // The refresh box holds 999: a wait that long is not drawn out.
    QCOMPARE(area.failureReason(), reason.isEmpty() ? reason : retry_rules::withNextTry(reason, 999 * 1000));
    const QImage shot = onScreen(area);
    if (reason.isEmpty()) {
        QCOMPARE(shot, area.surface().convertToFormat(QImage::Format_RGB32));
        QVERIFY2(pixelsOf(shot, Colour) > shot.width() * shot.height() / 2, "the picture fills the area");
    } else {
        QVERIFY(main.pictureArea()->picture().isNull());
        QCOMPARE(pixelsOf(shot, Colour), 0);
        QVERIFY(!requests.join(QLatin1Char('\n')).contains(QLatin1String(" 200 Authorization")));
    }
}

// The picture comes again every second, and the catalogue, comments and pictures all
// travel on one connection: none is opened again for each refresh, nor its handshake made.
void TestSecureCams::httpsCamOnOneConnection()
{
    QTemporaryDir tls;
    QString error;
    QVERIFY2(makeSelfSignedCertificate(tls.path(), &error), qPrintable(error));
    CamServerProcess server(servedFiles() + QStringList{QStringLiteral("--log"), QStringLiteral("--tls-cert"),
                                                        tls.filePath(QStringLiteral("cert.pem")), QStringLiteral("--tls-key"),
                                                        tls.filePath(QStringLiteral("key.pem"))});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(writeFile(m_files.filePath(QStringLiteral("camlist.txt")), "1;Secure Cam;{base}/pic.png;Over https;;3;0;1;tester\r\n"));
    qputenv("SSL_CERT_FILE", tls.filePath(QStringLiteral("cert.pem")).toLocal8Bit());
    const auto restore = qScopeGuard([] { qunsetenv("SSL_CERT_FILE"); });

    AppRun run(5000, 10000, StartOptions{false, QStringLiteral("1"), {}, {}, {}, {}});
    startViewer(run, QStringLiteral("https://127.0.0.1:%1").arg(server.port()), QStringLiteral("0"));
    if (QTest::currentTestFailed())
        return;
    constexpr int Refreshes = 6;
    QTRY_VERIFY_WITH_TIMEOUT(server.output().count("GET /pic.png ") >= Refreshes, 20000);
    QVERIFY(run.waitForRefresh());

    PictureArea &area = *run.app->mainWindow().pictureArea();
    QCOMPARE(area.failureReason(), QString());
    const QImage shot = onScreen(area);
    QCOMPARE(shot, area.surface().convertToFormat(QImage::Format_RGB32));
    QVERIFY2(pixelsOf(shot, Colour) > shot.width() * shot.height() / 2, "the picture fills the area");

    const QByteArray log = server.output();
    QVERIFY(log.contains("GET /camlist.php 200") && log.contains("GET /comments.php?camid=1 200"));
    const qsizetype connections = log.count("connection from ");
    QVERIFY2(connections == 1, qPrintable(QStringLiteral("%1 connections for %2 pictures")
                                              .arg(connections).arg(log.count("GET /pic.png "))));
}

QTEST_MAIN(TestSecureCams)
#include "tst_securecamsx11.moc"
