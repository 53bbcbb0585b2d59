// Which transfers may start, and which pictures arrived cut short.
#include "core/http/connectionshare.h"
#include "core/http/picturecompleteness.h"

#include <QTest>

using connection_share::Running;
using connection_share::Waiting;

class TestTransferRules : public QObject
{
    Q_OBJECT
private slots:
    void mayStart_data();
    void mayStart();
    void shareFreedWhenAStillOutgrowsItsTimeout();
    void cutShort_data();
    void cutShort();
};

namespace {

const QString A = QStringLiteral("http://a.test:80");
const QString B = QStringLiteral("http://b.test:80");

QList<Running> stills(const QString &host, int count, qint64 startedMs = 0)
{
    return QList<Running>(count, Running{host, false, startedMs, 30000});
}

} // namespace

void TestTransferRules::mayStart_data()
{
    QTest::addColumn<QList<Running>>("running");
    QTest::addColumn<QList<Waiting>>("waiting");
    QTest::addColumn<qint64>("nowMs");
    QTest::addColumn<QList<int>>("starting");

    const QList<Waiting> threeOfA(3, Waiting{A, false});
    QTest::newRow("room for one more still") << stills(A, 5) << threeOfA << qint64(1000) << QList<int>{0};
    QTest::newRow("another host is not held up") << stills(A, 6) << QList<Waiting>{{A, false}, {B, false}}
                                                 << qint64(1000) << QList<int>{1};
    QTest::newRow("stills past their time-out hold no share") << stills(A, 6) << threeOfA << qint64(30000)
                                                              << QList<int>{0, 1, 2};
    QTest::newRow("streams beside a host's full stills")
        << stills(A, 6) << QList<Waiting>{{A, false}, {A, true}} << qint64(1000) << QList<int>{1};
    QTest::newRow("a host's streams up to their own limit")
        << QList<Running>(connection_share::StreamsPerHost - 1, Running{A, true, 0, 30000})
        << QList<Waiting>{{A, true}, {A, true}} << qint64(1000) << QList<int>{0};
    QTest::newRow("all transfers together bounded")
        << QList<Running>(connection_share::TransfersAtOnce - 1, Running{B, false, 0, 1}) << threeOfA << qint64(1000)
        << QList<int>{0};
}

void TestTransferRules::mayStart()
{
    QFETCH(QList<Running>, running);
    QFETCH(QList<Waiting>, waiting);
    QFETCH(qint64, nowMs);
    QFETCH(QList<int>, starting);
    QCOMPARE(connection_share::mayStart(running, waiting, nowMs), starting);
}

void TestTransferRules::shareFreedWhenAStillOutgrowsItsTimeout()
{
    QList<Running> running = stills(A, 6, 5000);
    running.append(Running{A, false, 1000, 30000});
    running.append(Running{B, false, 0, 30000});
    QCOMPARE(connection_share::nextShareFreedMs(running, {{A, false}}, 2000), qint64(31000));
    QCOMPARE(connection_share::nextShareFreedMs(running, {{A, true}}, 2000), qint64(-1));
}

void TestTransferRules::cutShort_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("cut");

    const QByteArray jpeg = QByteArray::fromHex("ffd8ffe000104a464946") + QByteArray(100, 'x') + QByteArray::fromHex("ffd9");
    QTest::newRow("JPEG whole") << jpeg << false;
    QTest::newRow("JPEG with padding after its end") << jpeg + QByteArray("\r\n\0\0", 4) << false;
    QTest::newRow("JPEG without its end") << jpeg.chopped(2) << true;
    const QByteArray chunk = QByteArray::fromHex("0000000449444154") + "abcd" + QByteArray(4, '\0');
    const QByteArray iend = QByteArray::fromHex("0000000049454e44ae426082");
    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n") + chunk + iend;
    QTest::newRow("PNG whole") << png << false;
    QTest::newRow("PNG without its closing chunk") << png.chopped(iend.size()) << true;
    QTest::newRow("PNG chunk running past the end") << png.left(20) << true;
    QTest::newRow("GIF without its trailer") << QByteArray("GIF89a\x01\x00\x01\x00", 10) << true;
    QTest::newRow("not a picture") << QByteArray("<html>") << false;
}

void TestTransferRules::cutShort()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, cut);
    QCOMPARE(picture_completeness::cutShort(bytes), cut);
}

QTEST_APPLESS_MAIN(TestTransferRules)
#include "tst_transferrules.moc"
