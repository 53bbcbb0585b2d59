// When a cam's picture counts as unchanged, the note that says so, the test threshold's
// parsing, and the reason a refresh without a picture is shown with.
#include "core/rules/picturefreshness.h"

#include <QDateTime>
#include <QTest>

using namespace picture_freshness;

namespace {

constexpr qint64 Start = 1'700'000'000'000; // any moment; the rules only take differences
constexpr qint64 Second = 1000;

} // namespace

class TestPictureFreshness : public QObject
{
    Q_OBJECT
private slots:
    void unchangedSince_data();
    void unchangedSince();
    void camsAreKeptApart();
    void fingerprintTellsBodiesApart();
    void note_data();
    void note();
    void threshold_data();
    void threshold();
    void failure_data();
    void failure();
};

// Each row is a run of refreshes: "body@seconds" for a refresh that showed a picture with
// that body, at that many seconds after Start. The answer is read at the last refresh's
// moment plus readAfter seconds.
void TestPictureFreshness::unchangedSince_data()
{
    QTest::addColumn<QStringList>("refreshes");
    QTest::addColumn<qint64>("readAfter");
    QTest::addColumn<qint64>("thresholdMs");
    QTest::addColumn<int>("thresholdRefreshes");
    QTest::addColumn<qint64>("expectedSince"); // seconds after Start, -1: not unchanged

    QStringList sameEvery6s;
    for (int i = 0; i <= 10; ++i)
        sameEvery6s << QStringLiteral("a@%1").arg(i * 6);
    // Ten refreshes after the first, 60 s: both limits met exactly.
    QTest::newRow("11 same, 60 s") << sameEvery6s << qint64(0) << qint64(60000) << 10 << qint64(0);
    // One refresh short: 60 s passed but only nine refreshes since.
    QTest::newRow("10 same, 60 s") << sameEvery6s.mid(0, 10) << qint64(6) << qint64(60000) << 10 << qint64(-1);
    // Ten refreshes after the first, but only 59 s.
    QStringList fast;
    for (int i = 0; i <= 10; ++i)
        fast << QStringLiteral("a@%1").arg(i * 5);
    QTest::newRow("11 same, 50 s") << fast << qint64(9) << qint64(60000) << 10 << qint64(-1);
    QTest::newRow("11 same, 60 s later") << fast << qint64(10) << qint64(60000) << 10 << qint64(0);
    // A change restarts both the moment and the count.
    QStringList changed = sameEvery6s;
    changed[10] = QStringLiteral("b@60");
    QTest::newRow("changed at the last") << changed << qint64(0) << qint64(60000) << 10 << qint64(-1);
    QStringList changedEarly;
    changedEarly << QStringLiteral("a@0") << QStringLiteral("b@6");
    for (int i = 2; i <= 12; ++i)
        changedEarly << QStringLiteral("b@%1").arg(i * 6);
    QTest::newRow("changed, then 11 same") << changedEarly << qint64(0) << qint64(60000) << 10 << qint64(6);
    // Back to a picture shown before is a change too.
    QStringList back = changedEarly;
    back << QStringLiteral("a@78");
    QTest::newRow("back to an older picture") << back << qint64(0) << qint64(60000) << 10 << qint64(-1);
    // A clock that went back counts as no time passed.
    QTest::newRow("clock went back") << sameEvery6s << qint64(-120) << qint64(60000) << 10 << qint64(-1);
    // The test threshold: no time, two refreshes after the first.
    QTest::newRow("0 s, 2: first") << QStringList{QStringLiteral("a@0")} << qint64(0) << qint64(0) << 2 << qint64(-1);
    QTest::newRow("0 s, 2: second") << QStringList{QStringLiteral("a@0"), QStringLiteral("a@1")} << qint64(0)
                                    << qint64(0) << 2 << qint64(-1);
    QTest::newRow("0 s, 2: third") << QStringList{QStringLiteral("a@0"), QStringLiteral("a@1"), QStringLiteral("a@2")}
                                   << qint64(0) << qint64(0) << 2 << qint64(0);
    QTest::newRow("nothing shown") << QStringList() << qint64(0) << qint64(0) << 0 << qint64(-1);
}

void TestPictureFreshness::unchangedSince()
{
    QFETCH(QStringList, refreshes);
    QFETCH(qint64, readAfter);
    QFETCH(qint64, thresholdMs);
    QFETCH(int, thresholdRefreshes);
    QFETCH(qint64, expectedSince);

    UnchangedPictures pictures(UnchangedThreshold{thresholdMs, thresholdRefreshes});
    qint64 last = Start;
    for (const QString &r : refreshes) {
        const QStringList parts = r.split(QLatin1Char('@'));
        last = Start + parts[1].toLongLong() * Second;
        pictures.pictureShown(QStringLiteral("cam"), fingerprint(parts[0].toUtf8()), last);
    }
    const std::optional<qint64> since = pictures.unchangedSince(QStringLiteral("cam"), last + readAfter * Second);
    if (expectedSince < 0)
        QVERIFY2(!since, qPrintable(QString::number(since.value_or(0))));
    else
        QCOMPARE(since, std::optional<qint64>(Start + expectedSince * Second));
}

void TestPictureFreshness::camsAreKeptApart()
{
    UnchangedPictures pictures(UnchangedThreshold{0, 1});
    const PictureFingerprint a = fingerprint("same bytes");
    pictures.pictureShown(QStringLiteral("one"), a, Start);
    pictures.pictureShown(QStringLiteral("two"), a, Start + Second);
    QVERIFY(!pictures.unchangedSince(QStringLiteral("one"), Start + 2 * Second));
    QVERIFY(!pictures.unchangedSince(QStringLiteral("two"), Start + 2 * Second));
    // Back on cam one, later: its record is still there.
    pictures.pictureShown(QStringLiteral("one"), a, Start + 3 * Second);
    QCOMPARE(pictures.unchangedSince(QStringLiteral("one"), Start + 3 * Second), std::optional<qint64>(Start));
    QVERIFY(!pictures.unchangedSince(QStringLiteral("two"), Start + 3 * Second));
    QCOMPARE(pictures.lastShown(QStringLiteral("two")), std::optional<PictureFingerprint>(a));
    QVERIFY(!pictures.lastShown(QStringLiteral("three")));
}

void TestPictureFreshness::fingerprintTellsBodiesApart()
{
    QByteArray picture(200000, '\0');
    for (int i = 0; i < picture.size(); ++i)
        picture[i] = char((i * 7919) >> 3);
    QByteArray oneBit = picture;
    oneBit[123456] = char(oneBit[123456] ^ 0x01);
    QCOMPARE(fingerprint(picture), fingerprint(QByteArray(picture)));
    QVERIFY(fingerprint(picture) != fingerprint(oneBit));
    QVERIFY(fingerprint(picture) != fingerprint(picture.left(picture.size() - 1)));
    QVERIFY(fingerprint(QByteArray()) != fingerprint(QByteArray(1, '\0')));
}

void TestPictureFreshness::note_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("expected");
    QTest::newRow("afternoon") << QTime(14, 2, 59) << QStringLiteral("unchanged since 14:02");
    QTest::newRow("morning") << QTime(7, 5, 0) << QStringLiteral("unchanged since 07:05");
    QTest::newRow("midnight") << QTime(0, 0, 0) << QStringLiteral("unchanged since 00:00");
    QTest::newRow("last minute") << QTime(23, 59, 30) << QStringLiteral("unchanged since 23:59");
}

void TestPictureFreshness::note()
{
    QFETCH(QTime, time);
    QFETCH(QString, expected);
    // Local time, as the user reads the clock.
    const QDateTime local(QDate(2026, 3, 29), time, Qt::LocalTime);
    QCOMPARE(unchangedNote(local.toMSecsSinceEpoch()), expected);
}

void TestPictureFreshness::threshold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<int>("refreshes");
    QTest::newRow("short") << QStringLiteral("2,3") << true << qint64(2000) << 3;
    QTest::newRow("zero") << QStringLiteral("0,0") << true << qint64(0) << 0;
    QTest::newRow("blanks") << QStringLiteral(" 60 , 10 ") << true << qint64(60000) << 10;
    QTest::newRow("empty") << QString() << false << qint64(0) << 0;
    QTest::newRow("one number") << QStringLiteral("60") << false << qint64(0) << 0;
    QTest::newRow("three numbers") << QStringLiteral("1,2,3") << false << qint64(0) << 0;
    QTest::newRow("negative") << QStringLiteral("-1,2") << false << qint64(0) << 0;
    QTest::newRow("plus") << QStringLiteral("+1,2") << false << qint64(0) << 0;
    QTest::newRow("fraction") << QStringLiteral("1.5,2") << false << qint64(0) << 0;
    QTest::newRow("letters") << QStringLiteral("a,b") << false << qint64(0) << 0;
    QTest::newRow("overflow") << QStringLiteral("9223372036854775807,1") << false << qint64(0) << 0;
}

void TestPictureFreshness::threshold()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qint64, ms);
    QFETCH(int, refreshes);
    const auto t = parseThreshold(text);
    QCOMPARE(bool(t), valid);
    if (valid) {
        QCOMPARE(t->ms, ms);
        QCOMPARE(t->refreshes, refreshes);
    }
}

void TestPictureFreshness::failure_data()
{
    QTest::addColumn<QString>("transportError");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reasonPhrase");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("expected");

    QTest::newRow("refused") << QStringLiteral("Connection refused") << 0 << QByteArray() << QByteArray()
                             << QStringLiteral("Connection refused");
    QTest::newRow("time-out") << QStringLiteral("No answer for 30 seconds") << 0 << QByteArray() << QByteArray()
                              << QStringLiteral("No answer for 30 seconds");
    QTest::newRow("404") << QString() << 404 << QByteArray("Not Found") << QByteArray("text/html; charset=utf-8")
                         << QStringLiteral("HTTP 404 Not Found");
    QTest::newRow("503 picture") << QString() << 503 << QByteArray("Service Unavailable") << QByteArray("image/jpeg")
                                 << QStringLiteral("HTTP 503 Service Unavailable");
    QTest::newRow("no reason phrase") << QString() << 500 << QByteArray() << QByteArray()
                                      << QStringLiteral("HTTP 500");
    QTest::newRow("own reason phrase") << QString() << 404 << QByteArray("Kamera\tweg\r\n  heute")
                                       << QByteArray() << QStringLiteral("HTTP 404 Kamera weg heute");
    QTest::newRow("Latin-1 reason phrase") << QString() << 404 << QByteArray("Nicht gefunden \xe4") << QByteArray()
                                           << QStringLiteral("HTTP 404 Nicht gefunden \u00e4");
    QTest::newRow("long reason phrase") << QString() << 404 << QByteArray(200, 'x') << QByteArray()
                                        << QStringLiteral("HTTP 404 ") + QString(60, QLatin1Char('x'))
            + QChar(0x2026);
    QTest::newRow("3xx") << QString() << 302 << QByteArray("Found") << QByteArray() << QStringLiteral("HTTP 302 Found");
    QTest::newRow("html") << QString() << 200 << QByteArray("OK") << QByteArray("text/html; charset=utf-8")
                          << QStringLiteral("Not a picture (text/html)");
    QTest::newRow("type in capitals") << QString() << 200 << QByteArray("OK") << QByteArray("Text/Plain")
                                      << QStringLiteral("Not a picture (text/plain)");
    QTest::newRow("json") << QString() << 200 << QByteArray("OK") << QByteArray("application/json")
                          << QStringLiteral("Not a picture (application/json)");
    QTest::newRow("broken jpeg") << QString() << 200 << QByteArray("OK") << QByteArray("image/jpeg")
                                 << CouldNotDecode;
    QTest::newRow("octet-stream") << QString() << 200 << QByteArray("OK") << QByteArray("application/octet-stream")
                                  << CouldNotDecode;
    QTest::newRow("no type") << QString() << 200 << QByteArray("OK") << QByteArray() << CouldNotDecode;
    QTest::newRow("no status known") << QString() << 0 << QByteArray() << QByteArray() << CouldNotDecode;
}

void TestPictureFreshness::failure()
{
    QFETCH(QString, transportError);
    QFETCH(int, status);
    QFETCH(QByteArray, reasonPhrase);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, expected);
    QCOMPARE(failureReason(PictureAnswer{transportError, status, reasonPhrase, contentType}), expected);
}

QTEST_APPLESS_MAIN(TestPictureFreshness)
#include "tst_picturefreshness.moc"
