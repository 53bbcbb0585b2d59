// The reader of live picture streams: parts found whatever the pieces the body comes in,
// the forms cameras send tolerated, and the stream failed for good on what is not a stream.
#include "core/http/multipartstream.h"

#include <QTest>

namespace {

constexpr qint64 Cap = 64;
const QByteArray Type = "multipart/x-mixed-replace;boundary=frame";

} // namespace

class TestMultipartStream : public QObject
{
    Q_OBJECT
private slots:
    void contentType_data();
    void contentType();
    void reader_data();
    void reader();
};

void TestMultipartStream::contentType_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<bool>("stream");
    QTest::addColumn<QByteArray>("boundary"); // empty: none

    QTest::newRow("plain") << Type << true << QByteArray("frame");
    QTest::newRow("any case, blanks, quoted") << QByteArray("Multipart/X-Mixed-Replace ; q=\"x;y\"; BOUNDARY = \"a;b\"")
                                              << true << QByteArray("a;b");
    QTest::newRow("no parameters") << QByteArray("multipart/x-mixed-replace") << true << QByteArray();
    QTest::newRow("empty boundary") << QByteArray("multipart/x-mixed-replace; boundary=\"\"") << true << QByteArray();
    QTest::newRow("other parameter") << QByteArray("multipart/x-mixed-replace; xboundary=y") << true << QByteArray();
    QTest::newRow("longer type") << QByteArray("multipart/x-mixed-replacement; boundary=x") << false << QByteArray("x");
    QTest::newRow("picture") << QByteArray("image/jpeg") << false << QByteArray();
}

void TestMultipartStream::contentType()
{
    QFETCH(QByteArray, contentType);
    QFETCH(bool, stream);
    QFETCH(QByteArray, boundary);
    QCOMPARE(multipart::isStream(contentType), stream);
    const std::optional<QByteArray> found = multipart::boundaryOf(contentType);
    QCOMPARE(found.has_value(), !boundary.isEmpty());
    QCOMPARE(found.value_or(QByteArray()), boundary);
}

void TestMultipartStream::reader_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("chunk"); // 0: the whole body at once
    QTest::addColumn<QByteArrayList>("parts"); // every part completed, in order
    QTest::addColumn<QString>("reason"); // a fragment; empty: no failure
    QTest::addColumn<bool>("ended");

    // Each stream fed a byte at a time, then at once: the same parts, and at once only the
    // newest of them is held.
    const auto row = [](const char *name, const QByteArray &type, const QByteArray &body,
                        const QByteArrayList &parts, const QString &reason = QString(), bool ended = false) {
        for (const int chunk : {1, 0})
            QTest::addRow("%s, %s", name, chunk ? "bytewise" : "whole") << type << body << chunk << parts << reason << ended;
    };
    const QByteArray withBreaks = "a\r\n--frame\r\nb";
    row("CRLF with Content-Length", Type,
        "--frame\r\nContent-Type: image/jpeg\r\ncontent-LENGTH: " + QByteArray::number(withBreaks.size()) + "\r\n\r\n"
            + withBreaks + "\r\n\r\n--frame \t\r\nContent-Length: 0\r\n\r\n\r\n--frame\r\nContent-Length: 1x\r\n\r\nxyz\r\n--frame\r\n",
        {withBreaks, "", "xyz"});
    row("LF without Content-Length", Type,
        "preamble\n\n--frame\nContent-Type: image/jpeg\n\nab\n--framed\ncd\n--frame\n\nxyz\n--frame\n",
        {"ab\n--framed\ncd", "xyz"});
    row("no leading dashes", Type, "frame\r\nContent-Length: 2\r\n\r\nab\r\nframe\r\n\r\nc\r\nframe\r\n", {"ab", "c"});
    row("quoted boundary", "multipart/x-mixed-replace; boundary=\"--my frame\"",
        "--my frame\n\nab\n----my frame\n\ncd\n--my frame\n", {"ab", "cd"});
    row("part at cap", Type, "--frame\r\n\r\n" + QByteArray(Cap, 'x') + "\r\n--frame\r\n", {QByteArray(Cap, 'x')});
    row("announced part at cap", Type,
        "--frame\r\nContent-Length: 64\r\n\r\n" + QByteArray(Cap, 'x') + "\r\n--frame\r\n", {QByteArray(Cap, 'x')});
    row("part over cap", Type, "--frame\r\nContent-Length: 2\r\n\r\nab\r\n--frame\r\nContent-Length: 65\r\n\r\nx",
        {"ab"}, "larger than 64 bytes");
    row("part over cap without Content-Length", Type, "--frame\r\n\r\n" + QByteArray(Cap + 1, 'x') + "\r\n--frame\r\n",
        {}, "larger than 64 bytes");
    row("header section over cap", Type, "--frame\r\nX-Pad: " + QByteArray(16400, 'h') + "\r\n\r\nab\r\n--frame\r\n",
        {}, "header section is larger than 16384 bytes");
    row("no delimiter within cap", Type, QByteArray(Cap + 1, 'x') + "\n--frame\r\n\r\nab\r\n--frame\r\n",
        {}, "holds no part boundary");
    row("no boundary named", "multipart/x-mixed-replace", "--frame\r\n\r\nab\r\n--frame\r\n", {}, "holds no part boundary");
    row("garbage between parts", Type,
        "--frame\r\nContent-Length: 2\r\n\r\nab\r\nzz\r\n--frame\r\nContent-Length: 1\r\n\r\nc", {"ab"},
        "data between its parts");
    // One dash after the boundary is no closing delimiter: in a part without a length, a line of its data.
    row("boundary and one dash", Type, "--frame\r\n\r\nab\r\n--frame-2\r\ncd\r\n--frame\r\n\r\ne\r\n--frame\r\n",
        {"ab\r\n--frame-2\r\ncd", "e"});
    row("closing delimiter", Type,
        "--frame\r\nContent-Length: 2\r\n\r\nab\r\n--frame--\r\n--frame\r\nContent-Length: 1\r\n\r\nc", {"ab"},
        QString(), true);
}

void TestMultipartStream::reader()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(int, chunk);
    QFETCH(QByteArrayList, parts);
    QFETCH(QString, reason);
    QFETCH(bool, ended);

    multipart::PartReader reader(multipart::boundaryOf(contentType).value_or(QByteArray()), Cap);
    const qsizetype step = chunk > 0 ? chunk : body.size();
    QByteArrayList taken;
    for (qsizetype at = 0; at < body.size(); at += step) {
        reader.feed(QByteArrayView(body).sliced(at, qMin(step, body.size() - at)));
        if (std::optional<QByteArray> part = reader.takeNewest())
            taken << *part;
    }
    QCOMPARE(reader.completedParts(), parts.size());
    QCOMPARE(taken, chunk == 1 ? parts : parts.mid(qMax<qsizetype>(0, parts.size() - 1)));
    QVERIFY2(reader.reason().contains(reason), qPrintable(reader.reason()));
    QCOMPARE(reader.failed(), !reason.isEmpty());
    QCOMPARE(reader.ended(), ended);
    QCOMPARE(reader.feed("\r\n"), !reader.failed() && !ended);
}

QTEST_APPLESS_MAIN(TestMultipartStream)
#include "tst_multipartstream.moc"
