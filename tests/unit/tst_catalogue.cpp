#include "core/catalogue/ansitext.h"
#include "core/catalogue/camrecord.h"
#include "core/catalogue/catalogue.h"

#include <QTest>

namespace {

QByteArray cam(int i, const QByteArray &extra = {})
{
    const QByteArray n = QByteArray::number(i);
    return n + ";Cam " + n + ";http://h/" + n + ".jpg;Desc " + n + ";;3;1;20;user" + extra;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void decodesWindows1252();
    void fieldsAreNotTrimmed();
    void keepsFirst32768Cams();
    void splitLines_data();
    void splitLines();
};

void TestCatalogue::parse_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<int>("camCount");
    QTest::addColumn<QStringList>("table");

    const QString c0 = QString::fromLatin1(cam(0));
    const QString c1 = QString::fromLatin1(cam(1));
    const QString c2 = QString::fromLatin1(cam(2));

    QTest::newRow("two cams crlf") << (cam(0) + "\r\n" + cam(1) + "\r\n") << 2 << QStringList{c0, c1, {}};
    QTest::newRow("cr alone") << (cam(0) + "\r" + cam(1) + "\r") << 2 << QStringList{c0, c1, {}};
    QTest::newRow("no final line end") << (cam(0) + "\r\n" + cam(1)) << 2 << QStringList{c0, c1, {}};
    QTest::newRow("blank lines skipped without an index")
        << ("\r\n" + cam(0) + "\r\n\r\n\r" + cam(1) + "\r\n\r\n") << 2 << QStringList{c0, c1, {}};
    QTest::newRow("empty fields and a tenth field")
        << QByteArray("7;Empty;http://h/e.jpg;;;0;0;0;someone\r\n8;Ten;http://h/t.jpg;d;r;1;2;3;u;extra\r\n")
        << 2
        << QStringList{"7;Empty;http://h/e.jpg;;;0;0;0;someone", "8;Ten;http://h/t.jpg;d;r;1;2;3;u;extra", {}};
    QTest::newRow("eight fields third ends the list in the spare slot")
        << (cam(0) + "\r\n" + cam(1) + "\r\na;b;c;d;e;f;g;h\r\n" + cam(2) + "\r\n")
        << 2 << QStringList{c0, c1, "a;b;c;d;e;f;g;h"};
    QTest::newRow("error page gives no cam")
        << QByteArray("<html><body>Not Found</body></html>\r\n" + cam(0)) << 0
        << QStringList{"<html><body>Not Found</body></html>"};
    QTest::newRow("only blank lines") << QByteArray("\r\n\r\n") << 0 << QStringList{{}};
    QTest::newRow("spaces are not a blank line")
        << (cam(0) + "\r\n   \r\n" + cam(1)) << 1 << QStringList{c0, "   "};
    QTest::newRow("lf alone stays inside one cam")
        << (cam(0) + "\n" + cam(1) + "\n" + cam(2)) << 1
        << QStringList{c0 + "\n" + c1 + "\n" + c2, {}};
    QTest::newRow("lf alone with too few separators")
        << QByteArray("a;b;c\nd;e;f\ng;h") << 0 << QStringList{"a;b;c\nd;e;f\ng;h"};
    QTest::newRow("nul byte is kept")
        << (QByteArray("1;N") + '\0' + "ul;http://h/1.jpg;d;;2;0;0;u\r\n") << 1
        << QStringList{QStringLiteral("1;N") + QChar(0) + QStringLiteral("ul;http://h/1.jpg;d;;2;0;0;u"), {}};
}

void TestCatalogue::parse()
{
    QFETCH(QByteArray, document);
    QFETCH(int, camCount);
    QFETCH(QStringList, table);

    const Catalogue c = parseCatalogue(document);
    QCOMPARE(c.camCount, camCount);
    QCOMPARE(c.camTable, table);
    // Always exactly one slot more than there are cams.
    QCOMPARE(c.camTable.size(), c.camCount + 1);
}

void TestCatalogue::decodesWindows1252()
{
    const QByteArray line("1;Z\xFCrich \x80 \x93quoted\x94;http://h/1.jpg;Stra\xDF" "e<br>zwei;;5;0;0;\x8A\x81\x9D\r\n");
    const Catalogue c = parseCatalogue(line);
    QCOMPARE(c.camCount, 1);
    const QStringList f = CamRecord::split(c.camTable[0]);
    QCOMPARE(CamRecord::field(f, CamRecord::CamName), QString::fromUtf8("Zürich € “quoted”"));
    QCOMPARE(CamRecord::field(f, CamRecord::Description), QString::fromUtf8("Straße<br>zwei"));
    QCOMPARE(CamRecord::field(f, CamRecord::AddedBy), QString::fromUtf8("Š\u0081\u009D"));

    // Every byte survives the round trip through the code page.
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all.append(char(b));
    QCOMPARE(ansi::encode(ansi::decode(all)), all);
}

void TestCatalogue::fieldsAreNotTrimmed()
{
    const Catalogue c = parseCatalogue(" 12 ; A cam ;http://h/x.jpg; d ;;1;2;3; me \r\n");
    QCOMPARE(c.camCount, 1);
    const QStringList f = CamRecord::split(c.camTable[0]);
    QCOMPARE(f.value(CamRecord::CamId), QStringLiteral(" 12 "));
    QCOMPARE(f.value(CamRecord::CamName), QStringLiteral(" A cam "));
    QCOMPARE(f.value(CamRecord::AddedBy), QStringLiteral(" me "));
    QCOMPARE(CamRecord::field(f, CamRecord::Field(20)), QString());
}

void TestCatalogue::keepsFirst32768Cams()
{
    QByteArray doc;
    const int total = MaxCams + 5;
    doc.reserve(total * 40);
    for (int i = 0; i < total; ++i)
        doc += cam(i) + "\r\n";
    const Catalogue c = parseCatalogue(doc);
    QCOMPARE(c.camCount, MaxCams);
    QCOMPARE(c.camTable.size(), MaxCams + 1);
    QCOMPARE(c.camTable[MaxCams - 1], QString::fromLatin1(cam(MaxCams - 1)));
    QCOMPARE(c.camTable[MaxCams], QString());
}

void TestCatalogue::splitLines_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QList<QByteArray>>("lines");

    QTest::newRow("empty document") << QByteArray() << QList<QByteArray>{};
    QTest::newRow("one line end") << QByteArray("\r\n") << QList<QByteArray>{""};
    QTest::newRow("cr then crlf") << QByteArray("a\r\r\nb") << QList<QByteArray>{"a", "", "b"};
    QTest::newRow("lf then cr") << QByteArray("a\n\rb") << QList<QByteArray>{"a\n", "b"};
    QTest::newRow("final cr") << QByteArray("a\rb\r") << QList<QByteArray>{"a", "b"};
}

void TestCatalogue::splitLines()
{
    QFETCH(QByteArray, document);
    QFETCH(QList<QByteArray>, lines);
    QList<QByteArray> got;
    for (const QByteArrayView v : ansi::splitLines(document))
        got.append(v.toByteArray());
    QCOMPARE(got, lines);
}

QTEST_APPLESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
