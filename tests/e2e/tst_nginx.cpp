// An exported catalogue served by Debian's nginx with exactly the configuration files the
// README shows, started as an ordinary user would (as nobody when the test runs as root) on a
// free loopback port, and the real viewer against it.
#include "camserverprocess.h"
#include "platform/transfer.h"
#include "securehttp.h"
#include "wholefiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString kNginx = QStringLiteral("/usr/sbin/nginx");
const QString kLocations = QStringLiteral(LUMORA_SOURCE_DIR "/dist/nginx/lumora-locations.conf");
const QString kConfiguration = QStringLiteral(LUMORA_SOURCE_DIR "/dist/nginx/lumora-nginx.conf");
// The one thing the test changes in the configuration: the port, to a free one.
const QByteArray kShownListen = "listen 127.0.0.1:8081;";

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

class TestNginx : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void readmeQuotesTheConfiguration_data();
    void readmeQuotesTheConfiguration();
    void documents_data();
    void documents();
    void viewerGetsListPictureAndComments();
    void http2OverOneConnection();
    void cleanupTestCase();

private:
    QString accessLog() const { return m_prefix.filePath(QStringLiteral("access.log")); }

    QTemporaryDir m_prefix;
    QString m_site;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0; // the same site over TLS, HTTP/2 offered
    QProcess m_nginx;
};

void TestNginx::initTestCase()
{
    if (!QFileInfo(kNginx).isExecutable())
        QFAIL("nginx is not installed (/usr/sbin/nginx): run scripts/packages, which installs nginx-light");
    QVERIFY(m_prefix.isValid());
    m_port = freePort();
    QVERIFY(m_port != 0);
    const QString p = m_prefix.path();

    m_site = m_prefix.filePath(QStringLiteral("site"));
    QProcess exporter;
    exporter.start(QStringLiteral(LUMORA_CAMSERVER_PATH),
                   {QStringLiteral("--export"), m_site, QStringLiteral("--export-base"), QStringLiteral("http://127.0.0.1:%1").arg(m_port)});
    QVERIFY(exporter.waitForFinished(60000));
    QVERIFY2(exporter.exitCode() == 0, exporter.readAllStandardError().constData());

    QByteArray conf = readFile(kConfiguration);
    QCOMPARE(conf.count(kShownListen), 1);
    conf.replace(kShownListen, "listen 127.0.0.1:" + QByteArray::number(m_port) + ';');
    // Beside it, for the test alone: the site over TLS with HTTP/2, logging each request's
    // connection and protocol.
    m_tlsPort = freePort();
    QString error;
    QVERIFY2(makeSelfSignedCertificate(p, &error), qPrintable(error));
    QCOMPARE(conf.count("http {\n"), 1);
    conf.replace("http {\n", "http {\n    log_format protocol '$connection $server_protocol $request_uri';\n"
                              "    server {\n        listen 127.0.0.1:" + QByteArray::number(m_tlsPort) + " ssl http2;\n"
                              "        ssl_certificate cert.pem;\n        ssl_certificate_key key.pem;\n"
                              "        access_log tls.log protocol;\n        root site;\n"
                              "        include lumora-locations.conf;\n    }\n");
    QVERIFY(writeFile(p + QStringLiteral("/lumora-nginx.conf"), conf));
    QVERIFY(QFile::copy(kLocations, p + QStringLiteral("/lumora-locations.conf")));

    // The command the README gives, run from the folder that holds the files.
    QString program = kNginx;
    QStringList arguments{QStringLiteral("-p"), p, QStringLiteral("-c"), QStringLiteral("lumora-nginx.conf"),
                          QStringLiteral("-e"), QStringLiteral("error.log")};
    if (::geteuid() == 0) {
        // As root nginx could write wherever the file forgot to point it; a user could not.
        const passwd *nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        for (const QString &owned : {p, p + QStringLiteral("/key.pem"), p + QStringLiteral("/cert.pem")})
            QCOMPARE(::chown(QFile::encodeName(owned).constData(), nobody->pw_uid, nobody->pw_gid), 0);
        arguments = QStringList{QStringLiteral("--reuid=%1").arg(nobody->pw_uid), QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                                QStringLiteral("--clear-groups"), kNginx} + arguments;
        program = QStringLiteral("/usr/bin/setpriv");
    }
    m_nginx.setProcessChannelMode(QProcess::MergedChannels);
    m_nginx.setWorkingDirectory(p);
    m_nginx.start(program, arguments);
    QVERIFY(m_nginx.waitForStarted(10000));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000) {
        if (m_nginx.state() != QProcess::Running)
            QFAIL(qPrintable(QStringLiteral("nginx stopped: %1 %2").arg(QString::fromUtf8(m_nginx.readAll()),
                                                                      QString::fromUtf8(readFile(p + QStringLiteral("/error.log"))))));
        if (CamServerProcess::rawGet(m_port, "/camlist.php", 2000).status == 200)
            return;
        m_nginx.waitForFinished(50); // also notices an nginx that stopped at once
    }
    QFAIL(qPrintable(QStringLiteral("nginx did not answer on its port: %1")
                         .arg(QString::fromUtf8(readFile(p + QStringLiteral("/error.log"))))));
}

void TestNginx::readmeQuotesTheConfiguration_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("locations") << kLocations;
    QTest::newRow("whole configuration") << kConfiguration;
}

void TestNginx::readmeQuotesTheConfiguration()
{
    QFETCH(QString, file);
    const QString readme = QString::fromUtf8(readFile(QStringLiteral(LUMORA_SOURCE_DIR "/README.md")));
    static const QRegularExpression block(QStringLiteral("```nginx\\n(.*?)```"), QRegularExpression::DotMatchesEverythingOption);
    const QString wanted = QString::fromUtf8(readFile(file));
    QVERIFY(!wanted.isEmpty());
    QStringList shown;
    for (auto it = block.globalMatch(readme); it.hasNext();)
        shown << it.next().captured(1);
    QVERIFY2(shown.contains(wanted), qPrintable(QStringLiteral("README.md has no ```nginx block that equals %1").arg(file)));
}

void TestNginx::documents_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QString>("file"); // the exported file the body must equal; empty: not checked

    const QByteArray text = "text/plain; charset=windows-1252";
    QTest::newRow("catalogue") << QByteArray("/camlist.php") << 200 << text << "camlist.txt";
    QTest::newRow("comments") << QByteArray("/comments.php?camid=1001") << 200 << text << "comments/1001.txt";
    QTest::newRow("cam without comments") << QByteArray("/comments.php?camid=1005") << 200 << text << "comments/1005.txt";
    QTest::newRow("other arguments too") << QByteArray("/comments.php?x=1&camid=1002") << 200 << text << "comments/1002.txt";
    QTest::newRow("picture") << QByteArray("/cams/1001.jpg") << 200 << QByteArray("image/jpeg") << "cams/1001.jpg";
    QTest::newRow("unknown cam") << QByteArray("/comments.php?camid=99999") << 404 << QByteArray() << "";
    QTest::newRow("no camid") << QByteArray("/comments.php") << 404 << QByteArray() << "";
    QTest::newRow("parent") << QByteArray("/comments.php?camid=../camlist") << 404 << QByteArray() << "";
    QTest::newRow("encoded parent") << QByteArray("/comments.php?camid=..%2Fcamlist") << 404 << QByteArray() << "";
    QTest::newRow("encoded dots") << QByteArray("/comments.php?camid=%2e%2e/%2e%2e/%2e%2e/etc/passwd") << 404 << QByteArray() << "";
    QTest::newRow("far up") << QByteArray("/comments.php?camid=../../../../../../etc/hostname") << 404 << QByteArray() << "";
    QTest::newRow("NUL") << QByteArray("/comments.php?camid=1001%00") << 404 << QByteArray() << "";
    QTest::newRow("very long") << "/comments.php?camid=" + QByteArray(3000, 'a') << 404 << QByteArray() << "";
}

void TestNginx::documents()
{
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    QFETCH(QByteArray, type);
    QFETCH(QString, file);
    const RawHttpReply reply = CamServerProcess::rawGet(m_port, target);
    QCOMPARE(reply.status, status);
    if (!type.isEmpty())
        QCOMPARE(reply.header("Content-Type"), type);
    if (!file.isEmpty())
        QCOMPARE(reply.body, readFile(m_site + QLatin1Char('/') + file));
}

void TestNginx::viewerGetsListPictureAndComments()
{
    QTemporaryDir work;
    QVERIFY(work.isValid());
    QVERIFY(writeFile(work.filePath(QStringLiteral("config.ini")), QStringLiteral("url=http://127.0.0.1:%1\r\n").arg(m_port).toLatin1()));
    QVERIFY(writeFile(accessLog(), QByteArray())); // only this viewer's requests from here on

    QProcess viewer;
    viewer.setWorkingDirectory(work.path());
    viewer.setProcessChannelMode(QProcess::MergedChannels);
    viewer.start(QStringLiteral(LUMORA_VIEWER_PATH), {QStringLiteral("--cam"), QStringLiteral("1001")});
    QVERIFY(viewer.waitForStarted(10000));

    static const QRegularExpression camlist(QStringLiteral("\"GET /camlist\\.php HTTP/1\\.1\" 200 "));
    static const QRegularExpression picture(QStringLiteral("\"GET /cams/1001\\.jpg HTTP/1\\.1\" 200 "));
    static const QRegularExpression comments(QStringLiteral("\"GET /comments\\.php\\?camid=1001 HTTP/1\\.1\" 200 "));
    QString log;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000 && viewer.state() == QProcess::Running) {
        log = QString::fromUtf8(readFile(accessLog()));
        if (log.contains(camlist) && log.contains(picture) && log.contains(comments))
            break;
        QThread::msleep(100);
    }
    const QByteArray output = viewer.readAll();
    viewer.kill();
    viewer.waitForFinished(5000);
    const QString why = QStringLiteral("access log:\n%1\nviewer:\n%2").arg(log, QString::fromUtf8(output));
    QVERIFY2(log.contains(camlist), qPrintable(why));
    QVERIFY2(log.contains(picture), qPrintable(why));
    QVERIFY2(log.contains(comments), qPrintable(why));
}

// Over TLS the viewer takes HTTP/2 where the server offers it, and keeps the connection for
// the next request.
void TestNginx::http2OverOneConnection()
{
    qputenv("SSL_CERT_FILE", QFile::encodeName(m_prefix.filePath(QStringLiteral("cert.pem"))));
    const auto restore = qScopeGuard([] { qunsetenv("SSL_CERT_FILE"); });
    Transfer transfer;
    const QString address = QStringLiteral("https://127.0.0.1:%1/comments.php?camid=1001").arg(m_tlsPort);
    for (int refresh = 0; refresh < 3; ++refresh) {
        QSignalSpy finished(transfer.start({address}), &DownloadHandler::finished);
        QVERIFY(finished.wait(10000));
        const auto result = finished.at(0).at(0).value<DownloadResult>();
        QVERIFY2(result.ok() && result.httpStatus == 200, qPrintable(result.errorText));
    }
    // nginx logs a request after its answer has gone out.
    const auto logged = [this] { return readFile(m_prefix.filePath(QStringLiteral("tls.log"))).trimmed().split('\n'); };
    QTRY_COMPARE(logged().size(), 3);
    const QList<QByteArray> lines = logged();
    for (const QByteArray &line : lines)
        QCOMPARE(line, lines.first().split(' ').first() + " HTTP/2.0 /comments.php?camid=1001");
}

void TestNginx::cleanupTestCase()
{
    if (m_nginx.state() == QProcess::Running) {
        m_nginx.terminate();
        if (!m_nginx.waitForFinished(5000)) {
            m_nginx.kill();
            m_nginx.waitForFinished(5000);
        }
    }
}

QTEST_GUILESS_MAIN(TestNginx)
#include "tst_nginx.moc"
