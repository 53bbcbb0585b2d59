// Answers, refusals, states, time-outs, cancels and events of a download, against lumora-camserver on 127.0.0.1.
#include "camserverprocess.h"
#include "downloadwait.h"
#include "platform/transfer.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
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
    void statusLineAndType_data();
    void statusLineAndType();
    void statesRise();
    void timeOuts();
    void cancelAndSideBySide();
    void finishedOnce_data();
    void finishedOnce();
    void keepsHandlingEvents();

private:
    CamServerProcess m_server;
    CamServerProcess m_other; // the far end of chains across ports
};

void TestDownload::initTestCase()
{
    QVERIFY(m_server.start());
    QVERIFY(m_other.start());
}
void TestDownload::answers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("bodyStart");
    QTest::addColumn<bool>("compressed"); // asked for as a document, gzip accepted

    QTest::newRow("normal") << QString() << int(Error::None) << 200 << QByteArray() << false;
    QTest::newRow("http error keeps its page") << "status:404" << int(Error::None) << 404 << QByteArray("<") << false;
    QTest::newRow("empty body") << "empty" << int(Error::None) << 200 << QByteArray() << false;
    QTest::newRow("html page") << "html" << int(Error::None) << 200 << QByteArray("<") << false;
    QTest::newRow("cut short") << "truncate:100" << int(Error::Network) << 200 << QByteArray() << false;
    QTest::newRow("connection reset") << "reset" << int(Error::Network) << 0 << QByteArray() << false;
    QTest::newRow("body to the close, reset") << "reset-after:100" << int(Error::Network) << 0 << QByteArray() << false;
    QTest::newRow("redirect followed") << "redirect:/comments.php?camid=none" << int(Error::None) << 200 << QByteArray() << false;
    QTest::newRow("redirect loop") << "redirect-loop" << int(Error::TooManyRedirects) << 0 << QByteArray() << false;
    QTest::newRow("redirect to a file") << "redirect:file:///etc/passwd" << int(Error::RefusedRedirect) << 0 << QByteArray() << false;
    // {listener}: a port on 127.0.0.1 that nothing may connect to.
    QTest::newRow("redirect to ftp") << "redirect:ftp://127.0.0.1:{listener}/x" << int(Error::RefusedRedirect) << 0
                                     << QByteArray() << false;
    QTest::newRow("over the cap") << "bytes:20971520" << int(Error::TooLarge) << 0 << QByteArray() << false;
    QTest::newRow("exactly the cap") << QStringLiteral("bytes:%1").arg(CatalogueMaxBytes) << int(Error::None) << 200
                                     << QByteArray() << false;
    QTest::newRow("a byte over the cap") << QStringLiteral("bytes:%1").arg(CatalogueMaxBytes + 1) << int(Error::TooLarge)
                                         << 0 << QByteArray() << false;
    QTest::newRow("endless chunked body") << "endless" << int(Error::TooLarge) << 0 << QByteArray() << false;
    QTest::newRow("redirect chain of 10") << "redirect-chain:10" << int(Error::None) << 200 << QByteArray() << false;
    QTest::newRow("redirect chain of 11") << "redirect-chain:11" << int(Error::TooManyRedirects) << 0 << QByteArray() << false;
    QTest::newRow("header section under 64 KiB") << "long-header:65000" << int(Error::None) << 200 << QByteArray() << false;
    QTest::newRow("header section over 64 KiB") << "long-header:65537" << int(Error::TooLarge) << 0 << QByteArray() << false;
    QTest::newRow("100 MB header line") << "long-header:100000000" << int(Error::TooLarge) << 0 << QByteArray() << false;
    QTest::newRow("gzip-compressed catalogue") << QString() << int(Error::None) << 200 << QByteArray() << true;
    // 256 MiB of zeros in 256 KiB.
    QTest::newRow("gzip bomb over the cap") << "gzip-bomb:268435456" << int(Error::TooLarge) << 0 << QByteArray() << true;
    QTest::newRow("gzip unasked, kept as sent") << "gzip-bomb:268435456" << int(Error::None) << 200 << QByteArray("\x1f\x8b") << false;
}
void TestDownload::answers()
{
    QFETCH(QString, fault);
    QFETCH(int, error);
    QFETCH(int, status);
    QFETCH(QByteArray, bodyStart);
    QFETCH(bool, compressed);

    const QString path = QStringLiteral("/camlist.php");
    QVERIFY(m_server.clearFaults());
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost));
    fault.replace(QLatin1String("{listener}"), QString::number(listener.serverPort()));
    if (!fault.isEmpty())
        QVERIFY(m_server.setFault(path, fault));

    Transfer transfer;
    DownloadRequest request;
    request.address = m_server.baseUrl() + path;
    request.maxBytes = CatalogueMaxBytes;
    request.timeoutMs = 5000;
    request.compressed = compressed;
    const DownloadResult r = download(transfer, request);
    QCOMPARE(int(r.error), error);
    QVERIFY(!transfer.hasRunning());
    QVERIFY2(!listener.waitForNewConnection(0), "nothing connects where a refused redirect points");
    if (error != int(Error::None)) {
        QVERIFY(r.body.isEmpty());
        QVERIFY(!r.errorText.isEmpty());
        return;
    }
    QCOMPARE(r.httpStatus, status);
    QVERIFY(r.body.startsWith(bodyStart));
    if (fault.isEmpty() || fault.startsWith(QLatin1String("redirect-chain")) || fault.startsWith(QLatin1String("long-header")))
        QVERIFY(r.body.contains(";"));
    if (fault == QLatin1String("empty"))
        QVERIFY(r.body.isEmpty());
    if (fault.startsWith(QLatin1String("bytes:")))
        QCOMPARE(r.body.size(), fault.mid(6).toLongLong());
    if (compressed && fault.isEmpty()) {
        QCOMPARE(r.body, m_server.get(path.toLatin1()).body);
        QVERIFY2(r.receivedBytes < r.body.size(), "it came compressed");
    }
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
    const DownloadResult r = download(transfer, {address});
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
    const DownloadResult r = download(transfer, {QStringLiteral("http://127.0.0.1:%1/camlist.php").arg(port)});
    QCOMPARE(r.error, Error::Network);
    QCOMPARE(r.errorText, QStringLiteral("Connection refused"));
}
// What an answer says about itself, for the reason a picture is not shown.
void TestDownload::statusLineAndType_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("phrase");
    QTest::addColumn<QByteArray>("type");
    QTest::newRow("picture") << QString() << 200 << QByteArray("OK") << QByteArray("image/jpeg");
    QTest::newRow("404") << "status:404" << 404 << QByteArray("Not Found") << QByteArray("text/html; charset=utf-8");
    QTest::newRow("503") << "status:503" << 503 << QByteArray("Service Unavailable")
                         << QByteArray("text/html; charset=utf-8");
    QTest::newRow("html") << "html" << 200 << QByteArray("OK") << QByteArray("text/html; charset=utf-8");
}
void TestDownload::statusLineAndType()
{
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(QByteArray, phrase);
    QFETCH(QByteArray, type);
    const QString path = QStringLiteral("/cams/1001.jpg");
    QVERIFY(m_server.clearFaults());
    if (!fault.isEmpty())
        QVERIFY(m_server.setFault(path, fault));
    Transfer transfer;
    const DownloadResult r = download(transfer, {m_server.baseUrl() + path});
    QVERIFY(m_server.clearFaults());
    QCOMPARE(r.error, Error::None);
    QCOMPARE(r.httpStatus, status);
    QCOMPARE(r.reasonPhrase, phrase);
    QCOMPARE(r.contentType, type);
}
void TestDownload::statesRise()
{
    QVERIFY(m_server.clearFaults());
    Transfer transfer;
    QList<int> codes;
    connect(&transfer, &Transfer::stateChanged, this, [&](int c) { codes.append(c); });
    QVERIFY(download(transfer, {m_server.baseUrl() + QStringLiteral("/camlist.php")}).ok());
    QVERIFY(codes.size() >= 3);
    for (int i = 1; i < codes.size(); ++i)
        QVERIFY2(codes[i] > codes[i - 1], "state codes rise");
    QCOMPARE(codes.last(), int(Transfer::ResponseCompleted));

    // A second transfer starts from the bottom again; a failure ends in the error code.
    codes.clear();
    QVERIFY(m_server.setFault(QStringLiteral("/camlist.php"), QStringLiteral("reset")));
    QVERIFY(!download(transfer, {m_server.baseUrl() + QStringLiteral("/camlist.php")}).ok());
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
    DownloadResult r = download(transfer, stalled);
    QCOMPARE(r.error, Error::Timeout);
    QVERIFY2(clock.elapsed() < 5000, "the time-out ends the wait");

    // A trickle keeps the transfer alive but the deadline still ends it.
    QVERIFY(m_server.clearFaults());
    QVERIFY(m_server.setFault(QStringLiteral("/camlist.php"), QStringLiteral("slow:50")));
    DownloadRequest slow{m_server.baseUrl() + QStringLiteral("/camlist.php")};
    slow.timeoutMs = 3000;
    slow.deadlineMs = 700;
    clock.restart();
    r = download(transfer, slow);
    QCOMPARE(r.error, Error::Timeout);
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(m_server.clearFaults());
}
// Transfers run side by side; a cancel ends them all at once, and a transfer started after
// it runs as if nothing had been.
void TestDownload::cancelAndSideBySide()
{
    const QString path = QStringLiteral("/camlist.php");
    QVERIFY(m_server.setFault(path, QStringLiteral("stall")));
    Transfer transfer;
    DownloadResult beside;
    bool besideRan = false;
    QList<int> afterCancel;
    QPointer<DownloadHandler> second;
    QPointer<DownloadHandler> next;
    QTimer::singleShot(150, this, [&] {
        QVERIFY(transfer.hasRunning());
        beside = download(transfer, {m_server.baseUrl() + QStringLiteral("/comments.php?camid=none")});
        besideRan = true;
        second = transfer.start({m_server.baseUrl() + path});
        transfer.cancel();
        QVERIFY(!transfer.hasRunning());
        connect(&transfer, &Transfer::stateChanged, this, [&](int c) { afterCancel.append(c); });
        next = transfer.start({m_server.baseUrl() + QStringLiteral("/comments.php?camid=none")});
    });
    QElapsedTimer clock;
    clock.start();
    const DownloadResult r = download(transfer, {m_server.baseUrl() + path});
    QVERIFY(besideRan);
    QVERIFY2(beside.ok(), qPrintable(beside.errorText));
    QCOMPARE(r.error, Error::Cancelled);
    QVERIFY(clock.elapsed() < 5000);

    // The transfer's states after the cancel are the next transfer's alone.
    QTRY_VERIFY(!next && !second);
    QVERIFY(!transfer.hasRunning());
    QVERIFY(!afterCancel.isEmpty());
    QCOMPARE(afterCancel.first(), int(Transfer::ResolvingHost));
    QCOMPARE(afterCancel.last(), int(Transfer::ResponseCompleted));
    QVERIFY(m_server.clearFaults());
    QVERIFY(download(transfer, {m_server.baseUrl() + path}).ok());
}
// Whatever happens to a handler, finished() comes once, from the event loop, and the
// handler goes after it.
void TestDownload::finishedOnce_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("cancelAt"); // "", "start", "request sent", "finished"
    QTest::addColumn<int>("error");

    QTest::newRow("answer") << QString() << QString() << int(Error::None);
    QTest::newRow("failure") << "reset" << QString() << int(Error::Network);
    QTest::newRow("refused address") << "invalid" << QString() << int(Error::UnsupportedScheme);
    QTest::newRow("cancel before connecting") << "stall" << "start" << int(Error::Cancelled);
    QTest::newRow("cancel while waiting") << "stall" << "request sent" << int(Error::Cancelled);
    QTest::newRow("cancel after finishing") << QString() << "finished" << int(Error::None);
}
void TestDownload::finishedOnce()
{
    QFETCH(QString, fault);
    QFETCH(QString, cancelAt);
    QFETCH(int, error);

    const QString path = QStringLiteral("/camlist.php");
    QVERIFY(m_server.clearFaults());
    if (fault != QLatin1String("invalid") && !fault.isEmpty())
        QVERIFY(m_server.setFault(path, fault));
    const QString address = fault == QLatin1String("invalid") ? QStringLiteral("ftp://127.0.0.1/x")
                                                               : m_server.baseUrl() + path;
    const int requestsBefore = m_server.requests().size();

    Transfer transfer;
    QPointer<DownloadHandler> handler = transfer.start({address});
    QVERIFY(handler);
    QSignalSpy finished(handler.data(), &DownloadHandler::finished);
    QList<int> codes;
    connect(handler, &DownloadHandler::stateChanged, this, [&](int code) {
        codes.append(code);
        if (code == Transfer::RequestSent && cancelAt == QLatin1String("request sent"))
            handler->cancel();
    });
    connect(handler, &DownloadHandler::finished, this, [&] {
        if (cancelAt == QLatin1String("finished"))
            handler->cancel();
    });
    if (cancelAt == QLatin1String("start"))
        handler->cancel();
    QCOMPARE(finished.count(), 0); // nothing from within start() or cancel()

    QVERIFY(finished.wait(5000));
    QTest::qWait(200);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(int(finished.at(0).at(0).value<DownloadResult>().error), error);
    QVERIFY2(!handler, "the handler deletes itself after finishing");
    QVERIFY(!transfer.hasRunning());
    if (cancelAt == QLatin1String("start")) {
        QVERIFY(codes.isEmpty());
        QCOMPARE(m_server.requests().size(), requestsBefore);
    }
    if (cancelAt == QLatin1String("request sent"))
        QCOMPARE(codes.last(), int(Transfer::Failed));
    QVERIFY(m_server.clearFaults());
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
    const DownloadResult r = download(transfer, {m_server.baseUrl() + path});
    QVERIFY(r.ok());
    QVERIFY2(posted, "a queued event runs while the download waits");
    QVERIFY2(handled >= 5, "timers keep firing while the download waits");
    QVERIFY(m_server.clearFaults());
}

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
