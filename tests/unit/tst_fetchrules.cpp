#include "core/catalogue/servertext.h"
#include <QUrl>
#include <QUrlQuery>
#include "core/rules/countdown.h"
#include "core/rules/fetchrules.h"
#include "core/rules/liverules.h"
#include "core/rules/pictureextension.h"

#include <QTest>

class TestFetchRules : public QObject
{
    Q_OBJECT
private slots:
    void extension_data();
    void extension();
    void statistics_data();
    void statistics();
    void framePacing_data();
    void framePacing();
    void commentTable_data();
    void commentTable();
    void bullets();
    void commentsAddress_data();
    void commentsAddress();
    void shownText_data();
    void shownText();
    void intervals_data();
    void intervals();
    void countingAndFill();
    void keyFilter();
};

void TestFetchRules::extension_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("extension");
    QTest::newRow("jpg with ?foo=0") << "http://h/cam.jpg?foo=0" << "jpg";
    QTest::newRow("upper-case JPEG") << "http://h/cam.JPEG" << "jpeg";
    QTest::newRow("php query") << "http://h/cam.php?id=7" << "JPG";
    QTest::newRow("bmp is not taken") << "http://h/cam.bmp" << "JPG";
    QTest::newRow("ends in a dot") << "http://h/cam." << "JPG";
    QTest::newRow("no dot at all") << "camjpg" << "JPG";
    QTest::newRow("?FOO=0 is not removed") << "http://h/cam.jpg?FOO=0" << "JPG";
    QTest::newRow("?foo=0 twice") << "http://h/cam.png?foo=0?foo=0" << "png";
    QTest::newRow("dot in the host only") << "http://cams.example/live" << "JPG";
    QTest::newRow("jfif") << "http://h/a.jfif" << "jfif";
    QTest::newRow("tif and tiff") << "http://h/a.TIFF" << "tiff";
    QTest::newRow("ico") << "http://h/favicon.ico" << "ico";
    QTest::newRow("empty address") << "" << "JPG";
}

void TestFetchRules::extension()
{
    QFETCH(QString, address);
    QFETCH(QString, extension);
    QCOMPARE(picture_extension::ImageExtension(address), extension);
}

void TestFetchRules::statistics_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<float>("seconds");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("12288 bytes in 0.5 s") << qint64(12288) << 0.5f << "C" << "12.00 kb in 0.50 sec. (24.00 kb/sec)";
    QTest::newRow("1000 bytes in 0.25 s") << qint64(1000) << 0.25f << "C" << "0.98 kb in 0.25 sec. (3.91 kb/sec)";
    QTest::newRow("failed download") << qint64(0) << 1.5f << "C" << "0.00 kb in 1.50 sec. (0.00 kb/sec)";
    QTest::newRow("German separator") << qint64(12288) << 0.5f << "de_DE" << "12,00 kb in 0,50 sec. (24,00 kb/sec)";
    QTest::newRow("no group separator") << qint64(2048000) << 1.0f << "en_US" << "2000.00 kb in 1.00 sec. (2000.00 kb/sec)";
}

void TestFetchRules::statistics()
{
    QFETCH(qint64, bytes);
    QFETCH(float, seconds);
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QCOMPARE(fetch_rules::transferStatusText(bytes, seconds, QLocale(locale)).value_or(QString()), text);
}

// Frames arriving at these gaps (repeated), against a cap of 10 a second over 2 s.
void TestFetchRules::framePacing_data()
{
    QTest::addColumn<QList<int>>("gapsMs");
    QTest::addColumn<int>("taken");
    QTest::newRow("25 sent") << QList<int>{40} << 20;
    QTest::newRow("5 sent, all shown") << QList<int>{200} << 10;
    QTest::newRow("10 sent unevenly, all shown") << QList<int>{90, 110} << 20;
    QTest::newRow("after a pause, a burst is not made up for") << QList<int>{1000, 1, 1, 1, 1, 1, 1, 1, 1, 1} << 2;
}

void TestFetchRules::framePacing()
{
    QFETCH(QList<int>, gapsMs);
    QFETCH(int, taken);
    live_rules::FramePacer pacer(10);
    int n = 0;
    qint64 now = 0;
    for (int i = 0; now < 2000; now += gapsMs[i++ % gapsMs.size()])
        n += pacer.take(now);
    QCOMPARE(n, taken);
}

void TestFetchRules::commentTable_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("table");
    QTest::newRow("two lines and a blank one") << QByteArray("a;b;c\r\n\r\nd;e;f\r\n") << QStringList{"a;b;c", "d;e;f", ""};
    QTest::newRow("empty answer") << QByteArray() << QStringList{"", ""};
    QTest::newRow("single line") << QByteArray("x;y;z") << QStringList{"x;y;z", ""};
    QTest::newRow("lf alone stays inside") << QByteArray("a;b;c\nd;e;f\n") << QStringList{"a;b;c\nd;e;f\n", ""};
    QTest::newRow("cr alone") << QByteArray("a\rb\r") << QStringList{"a", "b", ""};
    QTest::newRow("windows-1252") << QByteArray("J\xFCrgen;sch\xF6n;1.1.2020") << QStringList{QString::fromUtf8("Jürgen;schön;1.1.2020"), ""};
}

void TestFetchRules::commentTable()
{
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, table);
    QCOMPARE(fetch_rules::buildCommentTable(answer), table);
}

void TestFetchRules::commentsAddress_data()
{
    QTest::addColumn<QString>("camId");
    QTest::addColumn<QString>("address");

    const QString base = QStringLiteral("http://127.0.0.1:8080/comments.php?camid=");
    QTest::newRow("number") << "17" << base + "17";
    QTest::newRow("a second parameter") << "1&admin=1" << base + "1%26admin%3D1";
    QTest::newRow("a fragment") << "2#frag" << base + "2%23frag";
    QTest::newRow("blank and plus") << "a b+c" << base + "a%20b%2Bc";
    QTest::newRow("percent sign") << "50%" << base + "50%25";
    QTest::newRow("path") << "../x?y" << base + "..%2Fx%3Fy";
    QTest::newRow("umlaut, as UTF-8") << QString::fromUtf8("K\xC3\xB6ln") << base + "K%C3%B6ln";
    QTest::newRow("empty") << QString() << base;
}

void TestFetchRules::commentsAddress()
{
    QFETCH(QString, camId);
    QFETCH(QString, address);
    const QString got = fetch_rules::commentsAddress(QStringLiteral("http://127.0.0.1:8080"), camId);
    QCOMPARE(got, address);
    // The address as it goes out carries the id as one query value, exactly.
    const QUrl url(got, QUrl::TolerantMode);
    QCOMPARE(url.fragment(), QString());
    QCOMPARE(QUrlQuery(url).queryItems(QUrl::FullyDecoded),
             (QList<QPair<QString, QString>>{{QStringLiteral("camid"), camId}}));
}

void TestFetchRules::shownText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("shown");

    const QString ellipsis(QChar(0x2026));
    QTest::newRow("short") << "Harbour" << 10 << "Harbour";
    QTest::newRow("exactly the limit") << "0123456789" << 10 << "0123456789";
    QTest::newRow("one over") << "0123456789A" << 10 << "0123456789" + ellipsis;
    QTest::newRow("empty") << QString() << 10 << QString();
    // A character outside the basic plane is never cut in half.
    QTest::newRow("surrogate pair at the cut") << QString::fromUtf8("abc\xF0\x9F\x93\xB7xyz") << 4 << "abc" + ellipsis;
    QTest::newRow("surrogate pair before the cut") << QString::fromUtf8("abc\xF0\x9F\x93\xB7xyz") << 5
                                                   << QString::fromUtf8("abc\xF0\x9F\x93\xB7") + ellipsis;
}

void TestFetchRules::shownText()
{
    QFETCH(QString, text);
    QFETCH(int, limit);
    QFETCH(QString, shown);
    QCOMPARE(server_text::shown(text, limit), shown);
}

void TestFetchRules::bullets()
{
    QCOMPARE(fetch_rules::stateBullets(0), QString());
    QCOMPARE(fetch_rules::stateBullets(-3), QString());
    QCOMPARE(fetch_rules::stateBullets(3), QString::fromUtf8("• • • "));
    // Nothing to show without a time.
    QVERIFY(!fetch_rules::transferStatusText(1000, 0.0f));
    QVERIFY(!fetch_rules::transferStatusText(1000, -0.5f));
}

void TestFetchRules::intervals_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("seconds");
    QTest::newRow("digits") << "60" << 60;
    QTest::newRow("leading zero") << "07" << 7;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("blanks around") << " 15 " << 15;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("letters") << "abc" << -1;
    QTest::newRow("fraction") << "1.5" << -1;
    QTest::newRow("negative") << "-3" << -1;
    QTest::newRow("a day") << "86400" << 86400;
    QTest::newRow("longest") << "99999999" << 99999999;
    QTest::newRow("too large") << "1000000000" << -1;
}

void TestFetchRules::intervals()
{
    QFETCH(QString, box);
    QFETCH(int, seconds);
    QCOMPARE(countdown::intervalSeconds(box).value_or(-1), seconds);

    QString last = QStringLiteral("5");
    const QString loaded = countdown::readInterval(box, last);
    QCOMPARE(loaded, seconds >= 0 ? box : QStringLiteral("5"));
    QCOMPARE(last, loaded);
}

void TestFetchRules::countingAndFill()
{
    countdown::Countdown c = countdown::Countdown::loadedFrom(QStringLiteral("07"));
    QCOMPARE(c.text(), QStringLiteral("07"));
    QCOMPARE(c.value(), 7);
    c = c.counted();
    QCOMPARE(c.text(), QStringLiteral("6"));
    for (int i = 0; i < 7; ++i)
        c = c.counted();
    QCOMPARE(c.value(), -1);
    QCOMPARE(c.text(), QStringLiteral("-1"));

    QCOMPARE(countdown::fillFraction(60, 60), 0.0);
    QCOMPARE(countdown::fillFraction(60, 30), 0.5);
    QCOMPARE(countdown::fillFraction(60, 0), 1.0);
    QCOMPARE(countdown::fillFraction(10, 50), 0.0); // interval shortened under a running countdown
    QCOMPARE(countdown::fillFraction(0, 3), 1.0);
}

void TestFetchRules::keyFilter()
{
    for (int code = 0; code < 256; ++code) {
        const bool digit = code >= '0' && code <= '9';
        QCOMPARE(countdown::intervalKeyAllowed(code), digit || code == 8);
    }
}

QTEST_APPLESS_MAIN(TestFetchRules)
#include "tst_fetchrules.moc"
