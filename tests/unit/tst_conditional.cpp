// Which conditional fields a picture request sends back, and which values of an answer's
// ETag and Last-Modified are fit to be sent back at all.
#include "core/http/conditional.h"

#include <QTest>

class TestConditional : public QObject
{
    Q_OBJECT
private slots:
    void validators_data();
    void validators();
};

void TestConditional::validators_data()
{
    QTest::addColumn<QByteArray>("etag");
    QTest::addColumn<QByteArray>("lastModified");
    QTest::addColumn<QByteArray>("lines");

    const QByteArray date = "Tue, 08 Dec 2026 21:00:00 GMT";
    QTest::newRow("neither") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("entity tag") << QByteArray("\"a1b2\"") << QByteArray() << QByteArray("If-None-Match: \"a1b2\"\r\n");
    QTest::newRow("date") << QByteArray() << date << "If-Modified-Since: " + date + "\r\n";
    QTest::newRow("both, tag first") << QByteArray("\"x\"") << date
                                     << "If-None-Match: \"x\"\r\nIf-Modified-Since: " + date + "\r\n";
    QTest::newRow("weak tag as it came") << QByteArray("W/\"0815\"") << QByteArray()
                                         << QByteArray("If-None-Match: W/\"0815\"\r\n");
    QTest::newRow("unquoted tag as it came") << QByteArray("abc def") << QByteArray()
                                             << QByteArray("If-None-Match: abc def\r\n");
    QTest::newRow("tab inside") << QByteArray("\"a\tb\"") << QByteArray() << QByteArray("If-None-Match: \"a\tb\"\r\n");
    QTest::newRow("bytes above ASCII") << QByteArray("\"\xc3\xa9\"") << QByteArray()
                                       << QByteArray("If-None-Match: \"\xc3\xa9\"\r\n");
    QTest::newRow("CR in tag") << QByteArray("\"a\rb\"") << date << "If-Modified-Since: " + date + "\r\n";
    QTest::newRow("LF in tag") << QByteArray("\"a\nb\"") << QByteArray() << QByteArray();
    QTest::newRow("CR LF in date") << QByteArray("\"t\"") << QByteArray("Tue\r\nX-Evil: 1")
                                   << QByteArray("If-None-Match: \"t\"\r\n");
    QTest::newRow("NUL in tag") << QByteArray("\"a\0b\"", 5) << QByteArray() << QByteArray();
    QTest::newRow("DEL in tag") << QByteArray("\"a\x7f\"") << QByteArray() << QByteArray();
    QTest::newRow("tag of 10 kB") << "\"" + QByteArray(10 * 1024, 'e') + "\"" << date
                                  << "If-Modified-Since: " + date + "\r\n";
    const QByteArray longest(ValidatorMaxBytes, 'e');
    QTest::newRow("tag at the limit") << longest << QByteArray() << "If-None-Match: " + longest + "\r\n";
    QTest::newRow("tag one over") << longest + 'e' << QByteArray() << QByteArray();
    QTest::newRow("date of 10 kB") << QByteArray() << QByteArray(10 * 1024, 'd') << QByteArray();
}

void TestConditional::validators()
{
    QFETCH(QByteArray, etag);
    QFETCH(QByteArray, lastModified);
    QFETCH(QByteArray, lines);

    // Read from an answer, then written into the next request.
    const PictureValidators kept = validatorsFrom(etag, lastModified);
    QCOMPARE(conditionalHeaderLines(kept), lines);
    QCOMPARE(kept.isEmpty(), lines.isEmpty());
    // Even validators that never went through the check make no line of their own.
    const QByteArray unchecked = conditionalHeaderLines(PictureValidators{etag, lastModified});
    QCOMPARE(unchecked, lines);
}

QTEST_APPLESS_MAIN(TestConditional)
#include "tst_conditional.moc"
