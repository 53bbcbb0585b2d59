// The reader of HTTP answers: framing, limits and failures, whatever pieces the bytes
// arrive in.
#include "core/http/httpresponse.h"

#include <QTest>

using Error = HttpResponseReader::Error;
Q_DECLARE_METATYPE(HttpResponseReader::Error)

namespace {

struct Outcome {
    Error error = Error::None;
    bool complete = false;
    int status = 0;
    QByteArray body;
    qint64 taken = 0;
};

// Feeds the bytes in pieces of `piece` bytes (0: all at once), each piece until the reader
// takes no more of it, then ends the stream if asked.
Outcome run(const QByteArray &bytes, qsizetype piece, bool endOfStream, qint64 maxHeader, qint64 maxBody)
{
    HttpResponseReader reader(maxHeader, maxBody);
    Outcome out;
    const qsizetype step = piece > 0 ? piece : qMax<qsizetype>(1, bytes.size());
    for (qsizetype at = 0; at < bytes.size() && !reader.failed() && !reader.complete(); at += step) {
        QByteArrayView rest = QByteArrayView(bytes).sliced(at, qMin(step, bytes.size() - at));
        while (!rest.isEmpty()) {
            const qsizetype n = reader.feed(rest);
            out.taken += n;
            if (n == 0)
                break;
            rest = rest.sliced(n);
        }
    }
    if (endOfStream)
        reader.endOfStream();
    out.error = reader.error();
    out.complete = reader.complete();
    out.status = reader.statusCode();
    out.body = reader.body();
    return out;
}

QByteArray head(const QByteArray &fields, const QByteArray &status = "HTTP/1.1 200 OK")
{
    return status + "\r\n" + fields + "\r\n";
}

} // namespace

class TestHttpResponse : public QObject
{
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void stopsAfterHeaders();
    void headerFields();
    void reasonPhrase_data();
    void reasonPhrase();
    void limitsHoldWhileBytesArrive_data();
    void limitsHoldWhileBytesArrive();
};

void TestHttpResponse::answers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("endOfStream");
    QTest::addColumn<qint64>("maxHeader");
    QTest::addColumn<qint64>("maxBody");
    QTest::addColumn<Error>("error");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    const qint64 H = 1024, B = 100;
    QTest::newRow("length") << head("Content-Length: 5\r\n") + "hello" << false << H << B << Error::None << true << 200
                            << QByteArray("hello");
    QTest::newRow("bytes after the body are not taken")
        << head("Content-Length: 5\r\n") + "helloEXTRA" << false << H << B << Error::None << true << 200
        << QByteArray("hello");
    QTest::newRow("LF-only lines") << QByteArray("HTTP/1.0 404 Not Found\nContent-Length: 3\n\nabc") << false << H << B
                                   << Error::None << true << 404 << QByteArray("abc");
    QTest::newRow("no reason phrase") << QByteArray("HTTP/1.1 200\r\nContent-Length: 1\r\n\r\nx") << false << H << B
                                      << Error::None << true << 200 << QByteArray("x");
    QTest::newRow("blank line before the status") << "\r\n" + head("Content-Length: 1\r\n") + "x" << false << H << B
                                                  << Error::None << true << 200 << QByteArray("x");
    QTest::newRow("until the close") << head("") + "all of it" << true << H << B << Error::None << true << 200
                                     << QByteArray("all of it");
    QTest::newRow("until the close, still open") << head("") + "so far" << false << H << B << Error::None << false
                                                 << 200 << QByteArray("so far");
    QTest::newRow("empty body by length") << head("Content-Length: 0\r\n") << false << H << B << Error::None << true
                                          << 200 << QByteArray();
    QTest::newRow("204 has no body") << head("", "HTTP/1.1 204 No Content") + "junk" << false << H << B << Error::None
                                     << true << 204 << QByteArray();
    QTest::newRow("interim answers first")
        << head("", "HTTP/1.1 100 Continue") + head("X: y\r\n", "HTTP/1.1 103 Early Hints")
            + head("Content-Length: 2\r\n") + "ok"
        << false << H << B << Error::None << true << 200 << QByteArray("ok");
    QTest::newRow("chunked") << head("Transfer-Encoding: chunked\r\n") + "5\r\nhello\r\n6;ext=1\r\n world\r\n0\r\n\r\n"
                             << false << H << B << Error::None << true << 200 << QByteArray("hello world");
    QTest::newRow("chunked with trailers")
        << head("Transfer-Encoding: gzip, chunked\r\n") + "A\r\n0123456789\r\n0\r\nX-Sum: 1\r\n\r\n" << false << H << B
        << Error::None << true << 200 << QByteArray("0123456789");
    QTest::newRow("chunked wins over length")
        << head("Content-Length: 999\r\nTransfer-Encoding: chunked\r\n") + "2\r\nab\r\n0\r\n\r\n" << false << H << B
        << Error::None << true << 200 << QByteArray("ab");
    QTest::newRow("other coding runs to the close") << head("Transfer-Encoding: gzip\r\n") + "zzz" << true << H << B
                                                    << Error::None << true << 200 << QByteArray("zzz");
    QTest::newRow("repeated equal lengths") << head("Content-Length: 2\r\nContent-Length: 2, 2\r\n") + "ab" << false
                                            << H << B << Error::None << true << 200 << QByteArray("ab");

    // Failures.
    QTest::newRow("nothing at all") << QByteArray() << true << H << B << Error::CutShort << false << 0 << QByteArray();
    QTest::newRow("cut in the headers") << QByteArray("HTTP/1.1 200 OK\r\nContent-") << true << H << B
                                        << Error::CutShort << false << 200 << QByteArray();
    QTest::newRow("cut in the body") << head("Content-Length: 10\r\n") + "12345" << true << H << B << Error::CutShort
                                     << false << 200 << QByteArray();
    QTest::newRow("cut in a chunk") << head("Transfer-Encoding: chunked\r\n") + "5\r\nhel" << true << H << B
                                    << Error::CutShort << false << 200 << QByteArray();
    QTest::newRow("cut before the last chunk") << head("Transfer-Encoding: chunked\r\n") + "2\r\nab\r\n" << true << H
                                               << B << Error::CutShort << false << 200 << QByteArray();
    QTest::newRow("not HTTP") << QByteArray("ICY 200 OK\r\n\r\n") << false << H << B << Error::Malformed << false << 0
                              << QByteArray();
    QTest::newRow("HTTP/2 status line") << QByteArray("HTTP/2 200\r\n\r\n") << false << H << B << Error::Malformed
                                        << false << 0 << QByteArray();
    QTest::newRow("four-digit status") << QByteArray("HTTP/1.1 2000 OK\r\n\r\n") << false << H << B << Error::Malformed
                                       << false << 0 << QByteArray();
    QTest::newRow("status 600") << QByteArray("HTTP/1.1 600 X\r\n\r\n") << false << H << B << Error::Malformed << false
                                << 0 << QByteArray();
    QTest::newRow("switching protocols") << head("", "HTTP/1.1 101 Switching Protocols") << false << H << B
                                         << Error::Malformed << false << 0 << QByteArray();
    QTest::newRow("lengths disagree") << head("Content-Length: 2\r\nContent-Length: 3\r\n") + "abc" << false << H << B
                                      << Error::Malformed << false << 200 << QByteArray();
    QTest::newRow("length not a number") << head("Content-Length: -1\r\n") << false << H << B << Error::Malformed
                                         << false << 200 << QByteArray();
    QTest::newRow("chunk size not hex") << head("Transfer-Encoding: chunked\r\n") + "zz\r\n" << false << H << B
                                        << Error::Malformed << false << 200 << QByteArray();
    QTest::newRow("chunk size with a sign") << head("Transfer-Encoding: chunked\r\n") + "+5\r\nhello\r\n0\r\n\r\n"
                                            << false << H << B << Error::Malformed << false << 200 << QByteArray();
    QTest::newRow("chunk without its line end")
        << head("Transfer-Encoding: chunked\r\n") + "2\r\nabXY\r\n0\r\n\r\n" << false << H << B << Error::Malformed
        << false << 200 << QByteArray();
    QTest::newRow("endless chunk-size line")
        << head("Transfer-Encoding: chunked\r\n") + QByteArray(HttpResponseReader::ChunkLineMaxBytes + 1, '1') << false
        << H << B << Error::Malformed << false << 200 << QByteArray();

    // Limits, exactly at and one past them.
    const QByteArray status = "HTTP/1.1 200 OK\r\n";
    const QByteArray fieldStart = "X-Filler: ";
    const QByteArray atLimit = status + fieldStart + QByteArray(int(H - status.size() - fieldStart.size() - 4), 'a')
        + "\r\n\r\n";
    QTest::newRow("header section at its limit") << atLimit + "body" << true << H << B << Error::None << true << 200
                                                 << QByteArray("body");
    QTest::newRow("header section one byte over")
        << status + fieldStart + QByteArray(int(H - status.size() - fieldStart.size() - 3), 'a') + "\r\n\r\n" << true
        << H << B << Error::HeaderTooLarge << false << 200 << QByteArray();
    QTest::newRow("one endless header line") << status + fieldStart + QByteArray(100000, 'a') << false << H << B
                                             << Error::HeaderTooLarge << false << 200 << QByteArray();
    QTest::newRow("interim answers count too")
        << head(QByteArray(600, 'x') + ": 1\r\n", "HTTP/1.1 100 Continue") + head(QByteArray(600, 'y') + ": 1\r\n")
        << false << H << B << Error::HeaderTooLarge << false << 200 << QByteArray();
    QTest::newRow("trailers over the limit")
        << head("Transfer-Encoding: chunked\r\n") + "1\r\na\r\n0\r\nX: " + QByteArray(int(H), 'b') + "\r\n\r\n" << false
        << H << B << Error::HeaderTooLarge << false << 200 << QByteArray();
    QTest::newRow("body at the cap") << head("Content-Length: 100\r\n") + QByteArray(100, 'b') << false << H << B
                                     << Error::None << true << 200 << QByteArray(100, 'b');
    QTest::newRow("body by length over the cap") << head("Content-Length: 101\r\n") + QByteArray(101, 'b') << false
                                                 << H << B << Error::BodyTooLarge << false << 200 << QByteArray();
    QTest::newRow("body to the close over the cap") << head("") + QByteArray(101, 'b') << true << H << B
                                                    << Error::BodyTooLarge << false << 200 << QByteArray();
    QTest::newRow("chunks over the cap")
        << head("Transfer-Encoding: chunked\r\n") + "32\r\n" + QByteArray(50, 'c') + "\r\n33\r\n" << false << H << B
        << Error::BodyTooLarge << false << 200 << QByteArray();
}

void TestHttpResponse::answers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, endOfStream);
    QFETCH(qint64, maxHeader);
    QFETCH(qint64, maxBody);
    QFETCH(Error, error);
    QFETCH(bool, complete);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    // Any split of the bytes gives the same answer.
    for (const qsizetype piece : {qsizetype(0), qsizetype(1), qsizetype(2), qsizetype(7), qsizetype(64)}) {
        const Outcome out = run(bytes, piece, endOfStream, maxHeader, maxBody);
        const QByteArray where = "pieces of " + QByteArray::number(piece);
        QVERIFY2(out.error == error, where + ": error " + QByteArray::number(int(out.error)));
        QVERIFY2(out.complete == complete, where);
        QVERIFY2(out.status == status, where + ": status " + QByteArray::number(out.status));
        QVERIFY2(out.body == body, where + ": body " + out.body.left(40));
        QVERIFY2(out.taken <= bytes.size(), where);
    }
}

void TestHttpResponse::stopsAfterHeaders()
{
    const QByteArray fields = head("Content-Length: 4\r\nLocation: /next\r\n", "HTTP/1.1 302 Found");
    HttpResponseReader reader(1024, 100);
    const QByteArray all = fields + "page";
    QCOMPARE(reader.feed(all), fields.size());
    QVERIFY(reader.headersComplete());
    QVERIFY(!reader.complete());
    QVERIFY(reader.body().isEmpty());
    QCOMPARE(reader.feed(QByteArrayView(all).sliced(fields.size())), qsizetype(4));
    QVERIFY(reader.complete());
    QCOMPARE(reader.body(), QByteArray("page"));
    // A complete or failed reader takes nothing more.
    QCOMPARE(reader.feed("more"), qsizetype(0));
}

void TestHttpResponse::headerFields()
{
    HttpResponseReader reader(1024, 100);
    const QByteArray bytes = "HTTP/1.1 200 OK\r\nLOCATION:  /a b \r\nX-Long: one\r\n\ttwo\r\nno colon here\r\n"
                             "location: /second\r\nContent-Length: 0\r\n\r\n";
    QCOMPARE(reader.feed(bytes), bytes.size());
    QVERIFY(reader.complete());
    QCOMPARE(reader.header("Location"), QByteArray("/a b"));
    QCOMPARE(reader.header("x-long"), QByteArray("one two"));
    QVERIFY(reader.hasHeader("content-length"));
    QVERIFY(!reader.hasHeader("no colon here"));
    QCOMPARE(reader.contentLength(), qint64(0));
    QCOMPARE(reader.headerBytes(), qint64(bytes.size()));
}

void TestHttpResponse::reasonPhrase_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("phrase");
    QTest::newRow("usual") << QByteArray("HTTP/1.1 404 Not Found\r\n\r\n") << QByteArray("Not Found");
    QTest::newRow("none") << QByteArray("HTTP/1.1 404\r\n\r\n") << QByteArray();
    QTest::newRow("blank only") << QByteArray("HTTP/1.1 404 \r\n\r\n") << QByteArray();
    QTest::newRow("own words") << QByteArray("HTTP/1.0 503 Kamera  schl\xe4ft\n\n") << QByteArray("Kamera  schl\xe4ft");
    QTest::newRow("after an interim answer")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")
        << QByteArray("OK");
}

void TestHttpResponse::reasonPhrase()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, phrase);
    HttpResponseReader reader(1024, 100);
    reader.feed(bytes);
    reader.endOfStream();
    QVERIFY(reader.complete());
    QCOMPARE(reader.reasonPhrase(), phrase);
}

void TestHttpResponse::limitsHoldWhileBytesArrive_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("filler");
    QTest::addColumn<Error>("error");
    QTest::newRow("endless header line") << QByteArray("HTTP/1.1 200 OK\r\nX: ") << QByteArray(65536, 'a')
                                         << Error::HeaderTooLarge;
    QTest::newRow("endless header fields") << QByteArray("HTTP/1.1 200 OK\r\n") << QByteArray("X: a\r\n").repeated(8000)
                                           << Error::HeaderTooLarge;
    QTest::newRow("endless body") << head("") << QByteArray(65536, 'b') << Error::BodyTooLarge;
    QTest::newRow("endless chunks") << head("Transfer-Encoding: chunked\r\n")
                                    << QByteArray("400\r\n" + QByteArray(1024, 'c') + "\r\n").repeated(60)
                                    << Error::BodyTooLarge;
}

// An endless stream fails once the limit is passed, having held no more than the limit.
void TestHttpResponse::limitsHoldWhileBytesArrive()
{
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, filler);
    QFETCH(Error, error);
    const qint64 maxHeader = 64 * 1024, maxBody = 1024 * 1024;
    HttpResponseReader reader(maxHeader, maxBody);
    qint64 fed = 0;
    QByteArrayView rest = start;
    for (int round = 0; round < 1000 && !reader.failed(); ++round) {
        while (!rest.isEmpty() && !reader.failed()) {
            const qsizetype n = reader.feed(rest);
            fed += n;
            if (n == 0)
                break;
            rest = rest.sliced(n);
        }
        rest = filler;
    }
    QCOMPARE(reader.error(), error);
    QVERIFY(reader.headerBytes() <= maxHeader);
    QVERIFY(reader.body().size() <= maxBody);
    QVERIFY2(fed <= maxHeader + maxBody + 2 * filler.size(), qPrintable(QString::number(fed)));
}

QTEST_APPLESS_MAIN(TestHttpResponse)
#include "tst_httpresponse.moc"
