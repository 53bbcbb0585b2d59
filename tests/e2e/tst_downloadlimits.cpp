// What a download holds to against answers without end: redirect chains, bodies and header sections past their caps or their time.
#include "camserverprocess.h"
#include "downloadwait.h"
#include "memorywatch.h"
#include "platform/transfer.h"

#include <QElapsedTimer>
#include <QTest>

using Error = DownloadResult::Error;

namespace {

constexpr qint64 MiB = 1024 * 1024;

enum class Via { SameServer, OtherHostName, OtherPort };

} // namespace

Q_DECLARE_METATYPE(Via)

class TestDownloadLimits : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void redirectHops_data();
    void redirectHops();
    void refusedHopInAChain();
    void endlessBodyMemory_data();
    void endlessBodyMemory();
    void headerPhase_data();
    void headerPhase();
    void nextTransferAfterLongHeader_data();
    void nextTransferAfterLongHeader();

private:
    CamServerProcess m_server;
    CamServerProcess m_other; // the far end of chains across ports
};

void TestDownloadLimits::initTestCase()
{
    QVERIFY(m_server.start());
    QVERIFY(m_other.start());
}
// Each hop of a chain is asked for exactly once, whichever server, port or host name it
// leads to, and the chain's end is the answer; an eleventh hop is one too many.
void TestDownloadLimits::redirectHops_data()
{
    QTest::addColumn<int>("hops");
    QTest::addColumn<Via>("via");
    QTest::addColumn<int>("error");

    for (const int hops : {1, 2, 5, 10}) {
        QTest::addRow("%d on one server", hops) << hops << Via::SameServer << int(Error::None);
        QTest::addRow("%d across ports", hops) << hops << Via::OtherPort << int(Error::None);
    }
    QTest::newRow("3 across host names") << 3 << Via::OtherHostName << int(Error::None);
    QTest::newRow("10 across host names") << 10 << Via::OtherHostName << int(Error::None);
    QTest::newRow("11 on one server") << 11 << Via::SameServer << int(Error::TooManyRedirects);
    QTest::newRow("11 across ports") << 11 << Via::OtherPort << int(Error::TooManyRedirects);
}
void TestDownloadLimits::redirectHops()
{
    QFETCH(int, hops);
    QFETCH(Via, via);
    QFETCH(int, error);

    const QString path = QStringLiteral("/comments.php");
    const QByteArray target = "/comments.php?camid=1001";
    const QByteArray direct = m_server.get(target).body;
    QVERIFY(!direct.isEmpty());

    QString mode = QStringLiteral("redirect-chain:%1").arg(hops);
    for (CamServerProcess *server : {&m_server, &m_other}) {
        QVERIFY(server->clearFaults());
        QVERIFY(server->resetLog());
    }
    if (via == Via::OtherHostName) {
        QVERIFY(m_server.setFault(path, mode + QStringLiteral(":http://localhost:%1").arg(m_server.port())));
    } else if (via == Via::OtherPort) {
        QVERIFY(m_server.setFault(path, mode + QLatin1Char(':') + m_other.baseUrl()));
        QVERIFY(m_other.setFault(path, mode + QLatin1Char(':') + m_server.baseUrl()));
    } else {
        QVERIFY(m_server.setFault(path, mode));
    }

    Transfer transfer;
    QList<int> codes;
    connect(&transfer, &Transfer::stateChanged, this, [&](int c) { codes.append(c); });
    DownloadRequest request{m_server.baseUrl() + QString::fromLatin1(target), CatalogueMaxBytes, 5000};
    const DownloadResult r = download(transfer, request);
    QCOMPARE(int(r.error), error);
    if (error == int(Error::None)) {
        QCOMPARE(r.httpStatus, 200);
        QCOMPARE(r.body, direct);
    }
    for (int i = 1; i < codes.size(); ++i)
        QVERIFY2(codes[i] > codes[i - 1], "state codes rise across the hops");

    // Every hop that was followed went out once; none beyond the tenth.
    const QStringList seen = m_server.requests() + m_other.requests();
    const int followed = qMin(hops, 10);
    for (int hop = 0; hop <= followed; ++hop) {
        const QString asked = QStringLiteral("GET ") + QString::fromLatin1(target)
            + (hop > 0 ? QStringLiteral("&_hop=%1").arg(hop) : QString()) + QLatin1Char(' ');
        int count = 0;
        for (const QString &line : seen)
            count += line.startsWith(asked);
        QVERIFY2(count == 1, qPrintable(asked + QStringLiteral(": %1 times; ").arg(count) + seen.join(QLatin1Char('|'))));
    }
    QCOMPARE(int(seen.size()), followed + 1);
    if (via == Via::OtherPort && hops > 1)
        QVERIFY(!m_other.requests().isEmpty());

    for (CamServerProcess *server : {&m_server, &m_other})
        QVERIFY(server->clearFaults());
}
// The scheme policy holds for every hop, not just the first.
void TestDownloadLimits::refusedHopInAChain()
{
    QVERIFY(m_server.clearFaults());
    QVERIFY(m_server.resetLog());
    QVERIFY(m_server.setFault(QStringLiteral("/first"), QStringLiteral("redirect:/second")));
    QVERIFY(m_server.setFault(QStringLiteral("/second"), QStringLiteral("redirect:{base}/third")));
    QVERIFY(m_server.setFault(QStringLiteral("/third"), QStringLiteral("redirect:data:text/plain,hello")));
    Transfer transfer;
    const DownloadResult r = download(transfer, {m_server.baseUrl() + QStringLiteral("/first")});
    QCOMPARE(r.error, Error::RefusedRedirect);
    QVERIFY(r.body.isEmpty());
    QCOMPARE(m_server.requests(), (QStringList{QStringLiteral("GET /first 302"), QStringLiteral("GET /second 302"),
                                               QStringLiteral("GET /third 302")}));
    QVERIFY(m_server.clearFaults());
}
// An answer without end as fast as loopback carries it, or one that inflates far past the
// cap: the transfer stops at the cap, and what the process holds meanwhile stays within
// one and a half times the cap (growing by copies left about twice).
void TestDownloadLimits::endlessBodyMemory_data()
{
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("compressed");
    QTest::newRow("catalogue cap") << CatalogueMaxBytes << "endless" << false;
    QTest::newRow("picture cap") << PictureMaxBytes << "endless" << false;
    QTest::newRow("gzip bomb, catalogue cap") << CatalogueMaxBytes << "gzip-bomb:268435456" << true;
}
void TestDownloadLimits::endlessBodyMemory()
{
    QFETCH(qint64, cap);
    QFETCH(QString, mode);
    QFETCH(bool, compressed);
    QVERIFY(m_server.setFault(QStringLiteral("/camlist.php"), mode));
    Transfer transfer;
    DownloadRequest request{m_server.baseUrl() + QStringLiteral("/camlist.php"), cap, 5000};
    request.compressed = compressed;
    MemoryWatch memory;
    QElapsedTimer clock;
    clock.start();
    const DownloadResult r = download(transfer, request);
    const qint64 growth = memory.growth();
    QCOMPARE(r.error, Error::TooLarge);
    QVERIFY(r.body.isEmpty());
    QVERIFY2(growth < cap + cap / 2, qPrintable(QStringLiteral("%1 MiB").arg(growth / double(MiB))));
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(m_server.clearFaults());
}
// The time-outs and the size limit cover the header section as they do the body.
void TestDownloadLimits::headerPhase_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("deadlineMs");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");   // how the error text begins
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    QTest::newRow("100 MB line at full speed") << "long-header:100000000" << 3000 << 300000 << int(Error::TooLarge)
                                               << "The answer's header section" << 0 << 1500;
    QTest::newRow("endless line at full speed") << "long-header:1000000000000" << 3000 << 300000
                                                << int(Error::TooLarge) << "The answer's header section" << 0 << 1500;
    // 200 kB/s: past 64 KiB in a third of a second, long before any time-out.
    QTest::newRow("trickled past 64 KiB") << "long-header:1000000:200000" << 3000 << 300000 << int(Error::TooLarge)
                                          << "The answer's header section" << 200 << 2500;
    // A byte a second: the gaps outlast the time-out, and so does the section.
    QTest::newRow("a byte a second") << "long-header:100000:1" << 500 << 300000 << int(Error::Timeout)
                                     << "No " << 400 << 2000;
    // Steady bytes, yet the section is not whole within the time-out.
    QTest::newRow("2 kB/s for longer than the time-out") << "long-header:100000:2000" << 800 << 300000
                                                         << int(Error::Timeout) << "No complete header section"
                                                         << 700 << 2300;
    QTest::newRow("2 kB/s past the deadline") << "long-header:100000:2000" << 3000 << 600 << int(Error::Timeout)
                                              << "The transfer took longer" << 500 << 2100;
}
void TestDownloadLimits::headerPhase()
{
    QFETCH(QString, mode);
    QFETCH(int, timeoutMs);
    QFETCH(int, deadlineMs);
    QFETCH(int, error);
    QFETCH(QString, text);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    QVERIFY(m_server.setFault(QStringLiteral("/camlist.php"), mode));
    Transfer transfer;
    DownloadRequest request{m_server.baseUrl() + QStringLiteral("/camlist.php"), CatalogueMaxBytes, timeoutMs};
    request.deadlineMs = deadlineMs;
    QElapsedTimer clock;
    clock.start();
    const DownloadResult r = download(transfer, request);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(int(r.error), error);
    QVERIFY2(r.errorText.startsWith(text), qPrintable(r.errorText));
    QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
    QVERIFY(!transfer.hasRunning());
    QVERIFY(m_server.clearFaults());
}
// A header that was given up on keeps nothing busy: the next transfer goes out at once.
void TestDownloadLimits::nextTransferAfterLongHeader_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("100 MB line") << "long-header:100000000";
    QTest::newRow("endless line") << "long-header:1000000000000";
}
void TestDownloadLimits::nextTransferAfterLongHeader()
{
    QFETCH(QString, mode);
    QVERIFY(m_server.setFault(QStringLiteral("/cams/*"), mode));
    Transfer transfer;
    DownloadRequest picture{m_server.baseUrl() + QStringLiteral("/cams/1001.jpg"), PictureMaxBytes, 1500};
    QVERIFY(!download(transfer, picture).ok());

    QElapsedTimer clock;
    clock.start();
    DownloadRequest comments{m_server.baseUrl() + QStringLiteral("/comments.php?camid=1001"), CatalogueMaxBytes, 5000};
    const DownloadResult r = download(transfer, comments);
    QVERIFY2(r.ok(), qPrintable(r.errorText));
    QVERIFY(!r.body.isEmpty());
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(m_server.clearFaults());
}

QTEST_GUILESS_MAIN(TestDownloadLimits)
#include "tst_downloadlimits.moc"
