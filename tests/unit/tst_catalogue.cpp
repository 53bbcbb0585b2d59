#include "core/catalogue/ansitext.h"
#include "core/catalogue/camrecord.h"
#include "core/catalogue/catalogue.h"
#include "core/catalogue/camsearch.h"
#include "core/catalogue/owncams.h"

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
    void camIndexById();
    void ownCams_data();
    void ownCams();
    void search_data();
    void search();
    void searchNarrowsAndWidens();
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

void TestCatalogue::camIndexById()
{
    const Catalogue c = parseCatalogue(cam(10) + "\r\n" + cam(11) + "\r\n" + cam(11) + "\r\n");
    QCOMPARE(::camIndexById(c.camTable, c.camCount, QStringLiteral("11")), std::optional<int>(1));
    QCOMPARE(::camIndexById(c.camTable, c.camCount, QStringLiteral("10")), std::optional<int>(0));
    QCOMPARE(::camIndexById(c.camTable, c.camCount, QStringLiteral("1")), std::nullopt);
    QCOMPARE(::camIndexById(c.camTable, c.camCount, QString()), std::nullopt);
}

void TestCatalogue::ownCams_data()
{
    QTest::addColumn<QByteArray>("catalogue");
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QStringList>("warnings");

    const QByteArray server = cam(0) + "\r\n" + cam(1) + "\r\nshort;line\r\n";
    const QString c0 = QString::fromLatin1(cam(0));
    const QString c1 = QString::fromLatin1(cam(1));
    const QString mine = QStringLiteral("m1;My balcony;http://h/m.jpg;Mine;;4;0;0;me");
    QTest::newRow("clash, short line, good line")
        << server << QByteArray("1;Not mine;http://h/x.jpg;d;;1;0;0;me\nm0;Too short;http://h/y.jpg\n\n" + mine.toLatin1() + "\n")
        << QStringList{c0, c1, mine, "short;line"}
        << QStringList{"cams.txt, line 1: the cam id '1' is taken; line skipped",
                       "cams.txt, line 2: fewer than 9 fields; line skipped"};
    QTest::newRow("the same id twice, crlf")
        << server << QByteArray(mine.toLatin1() + "\r\n" + mine.toLatin1() + "\r\n")
        << QStringList{c0, c1, mine, "short;line"}
        << QStringList{"cams.txt, line 2: the cam id 'm1' is taken; line skipped"};
}

void TestCatalogue::ownCams()
{
    QFETCH(QByteArray, catalogue);
    QFETCH(QByteArray, document);
    QFETCH(QStringList, table);
    QFETCH(QStringList, warnings);
    Catalogue c = parseCatalogue(catalogue);
    const own_cams::Added added = own_cams::append(c.camTable, c.camCount, document, QStringLiteral("cams.txt"));
    QCOMPARE(c.camTable, table);
    QCOMPARE(c.camCount, table.size() - 1);
    QCOMPARE(added.warnings, warnings);
    QCOMPARE(added.ids, QSet<QString>{QStringLiteral("m1")});
}

void TestCatalogue::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QList<int>>("found");
    // 0 Gänsemarkt, 1 Café Linde, 2 Straße am Mühlbach, 3 HARBOUR, 4 Ørsted Plads (description: œuvre)
    QTest::newRow("accents aside") << QStringLiteral("gansemarkt") << QList<int>{0};
    QTest::newRow("accent typed") << QStringLiteral("GÄNSE") << QList<int>{0};
    QTest::newRow("café as cafe") << QStringLiteral("cafe") << QList<int>{1};
    QTest::newRow("ß as ss") << QStringLiteral("strasse") << QList<int>{2};
    QTest::newRow("ß typed") << QStringLiteral("straße") << QList<int>{2};
    QTest::newRow("case") << QStringLiteral("harbour") << QList<int>{3};
    QTest::newRow("in the description") << QStringLiteral("quay") << QList<int>{3};
    QTest::newRow("a letter in many") << QStringLiteral("a") << QList<int>{0, 1, 2, 3, 4};
    QTest::newRow("across the line break is no match") << QStringLiteral("linde the") << QList<int>{};
    QTest::newRow("nothing") << QStringLiteral("zebra") << QList<int>{};
    QTest::newRow("empty: all") << QString() << QList<int>{0, 1, 2, 3, 4};
    QTest::newRow("markup of a line break is no word") << QStringLiteral("br") << QList<int>{};
}

void TestCatalogue::search()
{
    QFETCH(QString, query);
    QFETCH(QList<int>, found);
    const QByteArray doc = "0;Crossroads G\xE4nsemarkt;u;Busy crossing;;3;1;2;x\r\n"
                           "1;Caf\xE9 Linde;u;The garden;;3;1;2;x\r\n"
                           "2;Stra\xDF" "e am M\xFChlbach;u;Mill;;3;1;2;x\r\n"
                           "3;HARBOUR;u;Boats at the<br>quay;;3;1;2;x\r\n"
                           "4;\xD8rsted Plads;u;\x9Cuvre;;3;1;2;x\r\n";
    const Catalogue c = parseCatalogue(doc);
    QCOMPARE(c.camCount, 5);
    cam_search::Index index;
    index.build(c.camTable, c.camCount);
    const std::vector<int> &matches = index.matches(query);
    QCOMPARE(QList<int>(matches.begin(), matches.end()), found);
}

// Typing on narrows among the last matches; deleting or changing the text looks at every
// cam again.
void TestCatalogue::searchNarrowsAndWidens()
{
    QByteArray doc;
    for (int i = 0; i < 300; ++i)
        doc += cam(i) + "\r\n";
    const Catalogue c = parseCatalogue(doc);
    cam_search::Index index;
    index.build(c.camTable, c.camCount);
    QCOMPARE(index.size(), 300);
    QCOMPARE(index.matches(QStringLiteral("cam 1")).size(), std::size_t(111)); // 1, 10-19, 100-199
    QCOMPARE(index.matches(QStringLiteral("cam 12")).size(), std::size_t(11)); // 12, 120-129
    QCOMPARE(index.matches(QStringLiteral("cam 123")).size(), std::size_t(1));
    QCOMPARE(index.matches(QStringLiteral("cam 2")).size(), std::size_t(111));
    QCOMPARE(index.matches(QStringLiteral("desc 29")).size(), std::size_t(11));
    QCOMPARE(index.matches(QStringLiteral("cam")).size(), std::size_t(300));
}

QTEST_APPLESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
