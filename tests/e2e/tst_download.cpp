#include "camserverprocess.h"
#include "platform/download.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using Error = DownloadResult::Error;

class TestDownload : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void answers_data();
    void answers();
    void refusesAddresses_data();
    void refusesAddresses();
    void refusedConnection();
    void statesRise();
    void timeOuts();
    void cancelAndBusy();
    void keepsHandlingEvents();

private:
    CamServerProcess m_server;
};

void TestDownload::initTestCase()
{
    QVERIFY(m_server.start());
}

void TestDownload::answers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("bodyStart");

    QTest::newRow("normal") << QString() << int(Error::None) << 200 << QByteArray();
    QTest::newRow("http error keeps its page") << "status:404" << int(Error::None) << 404 << QByteArray("<");
    QTest::newRow("empty body") << "empty" << int(Error::None) << 200 << QByteArray();
    QTest::newRow("html page") << "html" << int(Error::None) << 200 << QByteArray("<");
    QTest::newRow("cut short") << "truncate:100" << int(Error::Network) << 200 << QByteArray();
    QTest::newRow("connection reset") << "reset" << int(Error::Network) << 0 << QByteArray();
    QTest::newRow("redirect followed") << "redirect:/comments.php?camid=none" << int(Error::None) << 200 << QByteArray();
    QTest::newRow("redirect loop") << "redirect-loop" << int(Error::TooManyRedirects) << 0 << QByteArray();
    QTest::newRow("redirect to a file") << "redirect:file:///etc/passwd" << int(Error::RefusedRedirect) << 0 << QByteArray();
    QTest::newRow("over the cap") << "bytes:20971520" << int(Error::TooLarge) << 0 << QByteArray();
}

void TestDownload::answers()
{
    QFETCH(QString, fault);
    QFETCH(int, error);
    QFETCH(int, status);
    QFETCH(QByteArray, bodyStart);

    const QString path = QStringLiteral("/camlist.php");
    QVERIFY(m_server.clearFaults());
    if (!fault.isEmpty())
        QVERIFY(m_server.setFault(path, fault));

    Transfer transfer;
    DownloadRequest request;
    request.address = m_server.baseUrl() + path;
    request.maxBytes = CatalogueMaxBytes;
    request.timeoutMs = 5000;
    const DownloadResult r = transfer.download(request);
    QCOMPARE(int(r.error), error);
    QVERIFY(!transfer.isBusy());
    if (error != int(Error::None)) {
        QVERIFY(r.body.isEmpty());
        QVERIFY(!r.errorText.isEmpty());
        return;
    }
    QCOMPARE(r.httpStatus, status);
    QVERIFY(r.body.startsWith(bodyStart));
    if (fault.isEmpty())
        QVERIFY(r.body.contains(";"));
    if (fault == QLatin1String("empty"))
        QVERIFY(r.body.isEmpty());
    QVERIFY(m_server.clearFaults());
}

void TestDownload::refusesAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("error");
    QTest::newRow("path alone") << "/camlist.php" << int(Error::InvalidAddress);
    QTest::newRow("empty") << "" << int(Error::InvalidAddress);
    QTest::newRow("no host") << "http:///camlist.php" << int(Error::InvalidAddress);
    QTest::newRow("file") << "file:///etc/passwd" << int(Error::UnsupportedScheme);
    QTest::newRow("ftp") << "ftp://127.0.0.1/x" << int(Error::UnsupportedScheme);
    QTest::newRow("data") << "data:text/plain,hello" << int(Error::UnsupportedScheme);
}

void TestDownload::refusesAddresses()
{
    QFETCH(QString, address);
    QFETCH(int, error);
    Transfer transfer;
    const DownloadResult r = transfer.download({address});
    QCOMPARE(int(r.error), error);
    QVERIFY(r.body.isEmpty());
}

void TestDownload::refusedConnection()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    Transfer transfer;
    const DownloadResult r = transfer.download({QStringLiteral("http://127.0.0.1:%1/camlist.php").arg(port)});
    QCOMPARE(r.error, Error::Network);
}

void TestDownload::statesRise()
{
    QVERIFY(m_server.clearFaults());
    Transfer transfer;
    QList<int> codes;
    connect(&transfer, &Transfer::stateChanged, this, [&](int c) { codes.append(c); });
    QVERIFY(transfer.download({m_server.baseUrl() + QStringLiteral("/camlist.php")}).ok());
    QVERIFY(codes.size() >= 3);
    for (int i = 1; i < codes.size(); ++i)
        QVERIFY2(codes[i] > codes[i - 1], "state codes rise");
    QCOMPARE(codes.last(), int(Transfer::ResponseCompleted));

    // A second transfer starts from the bottom again; a failure ends in the error code.
    codes.clear();
    QVERIFY(m_server.setFault(QStringLiteral("/camlist.php"), QStringLiteral("reset")));
    QVERIFY(!transfer.download({m_server.baseUrl() + QStringLiteral("/camlist.php")}).ok());
    QCOMPARE(codes.first(), int(Transfer::ResolvingHost));
    QCOMPARE(codes.last(), int(Transfer::Failed));
    QVERIFY(m_server.clearFaults());
}

void TestDownload::timeOuts()
{
    const QString path = QStringLiteral("/comments.php");
    Transfer transfer;
    QElapsedTimer clock;

    // Nothing at all arrives: the inactivity time-out.
    QVERIFY(m_server.setFault(path, QStringLiteral("stall")));
    DownloadRequest stalled{m_server.baseUrl() + path + QStringLiteral("?camid=1")};
    stalled.timeoutMs = 400;
    clock.start();
    DownloadResult r = transfer.download(stalled);
    QCOMPARE(r.error, Error::Timeout);
    QVERIFY2(clock.elapsed() < 5000, "the time-out ends the wait");

    // A trickle keeps the transfer alive but the deadline still ends it.
    QVERIFY(m_server.clearFaults());
    QVERIFY(m_server.setFault(QStringLiteral("/camlist.php"), QStringLiteral("slow:50")));
    DownloadRequest slow{m_server.baseUrl() + QStringLiteral("/camlist.php")};
    slow.timeoutMs = 3000;
    slow.deadlineMs = 700;
    clock.restart();
    r = transfer.download(slow);
    QCOMPARE(r.error, Error::Timeout);
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(m_server.clearFaults());
}

void TestDownload::cancelAndBusy()
{
    const QString path = QStringLiteral("/camlist.php");
    QVERIFY(m_server.setFault(path, QStringLiteral("stall")));
    Transfer transfer;
    DownloadResult nested;
    bool nestedRan = false;
    QTimer::singleShot(150, this, [&] {
        QVERIFY(transfer.isBusy());
        nested = transfer.download({m_server.baseUrl() + path});
        nestedRan = true;
        transfer.cancel();
    });
    QElapsedTimer clock;
    clock.start();
    const DownloadResult r = transfer.download({m_server.baseUrl() + path});
    QVERIFY(nestedRan);
    QCOMPARE(nested.error, Error::Busy);
    QCOMPARE(r.error, Error::Cancelled);
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(!transfer.isBusy());
    QVERIFY(m_server.clearFaults());

    // After a cancel the next transfer works again.
    QVERIFY(transfer.download({m_server.baseUrl() + path}).ok());
}

void TestDownload::keepsHandlingEvents()
{
    const QString path = QStringLiteral("/camlist.php");
    QVERIFY(m_server.setFault(path, QStringLiteral("delay:1200")));
    Transfer transfer;
    int handled = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++handled; });
    ticker.start(50);
    bool posted = false;
    QMetaObject::invokeMethod(this, [&] { posted = true; }, Qt::QueuedConnection);
    const DownloadResult r = transfer.download({m_server.baseUrl() + path});
    QVERIFY(r.ok());
    QVERIFY2(posted, "a queued event runs while the download waits");
    QVERIFY2(handled >= 5, "timers keep firing while the download waits");
    QVERIFY(m_server.clearFaults());
}

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
