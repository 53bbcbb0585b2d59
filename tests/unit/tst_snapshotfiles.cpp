#include "core/files/pathelision.h"
#include "core/files/snapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray bytes(const char *data, int size, int padTo = 64)
{
    QByteArray b(data, size);
    if (b.size() < padTo)
        b.append(QByteArray(padTo - b.size(), '\x11'));
    return b;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestSnapshotFiles : public QObject
{
    Q_OBJECT
private slots:
    void cleanName_data();
    void cleanName();
    void cleanNameFitsAFileSystem_data();
    void cleanNameFitsAFileSystem();
    void sniffExtension_data();
    void sniffExtension();
    void fileName_data();
    void fileName();
    void numbered_data();
    void numbered();
    void saveNew_data();
    void saveNew();
    void saveNewRespectsUmask();
    void saveNewFailsCleanly();
    void elideFolder_data();
    void elideFolder();
};

void TestSnapshotFiles::cleanName_data()
{
    QTest::addColumn<QString>("camName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("Harbour of Kessvik") << QStringLiteral("Harbour of Kessvik");
    QTest::newRow("accents kept") << QStringLiteral("Straße am Mühlbach") << QStringLiteral("Straße am Mühlbach");
    QTest::newRow("slash") << QStringLiteral("AC/DC Stage") << QStringLiteral("AC DC Stage");
    QTest::newRow("backslash") << QStringLiteral("C:\\cams\\one") << QStringLiteral("C cams one");
    QTest::newRow("refused elsewhere") << QStringLiteral("Pier: \"North\" <live>?*|") << QStringLiteral("Pier North live");
    QTest::newRow("parent path") << QStringLiteral("../../etc/passwd") << QStringLiteral("etc passwd");
    QTest::newRow("dot dot alone") << QStringLiteral("..") << snapshot::EmptyName;
    QTest::newRow("leading dots") << QStringLiteral("...hidden cam") << QStringLiteral("hidden cam");
    QTest::newRow("leading dot after space") << QStringLiteral(" . .x") << QStringLiteral("x");
    QTest::newRow("trailing dots") << QStringLiteral("Cam. . ") << QStringLiteral("Cam");
    QTest::newRow("inner dots kept") << QStringLiteral("St. Aldric..Tower") << QStringLiteral("St. Aldric..Tower");
    QTest::newRow("control chars") << QStringLiteral("Cam\x01One\tTwo\nThree\x7F")
                                   << QStringLiteral("Cam One Two Three");
    QTest::newRow("nul") << QString(QStringLiteral("A") + QChar(0) + QStringLiteral("B")) << QStringLiteral("A B");
    QTest::newRow("C1 control") << QStringLiteral("A\u0085B") << QStringLiteral("A B");
    QTest::newRow("bidi override") << QStringLiteral("gpj.\u202Eexe") << QStringLiteral("gpj. exe");
    QTest::newRow("line separator") << QStringLiteral("A\u2028B") << QStringLiteral("A B");
    QTest::newRow("empty") << QString() << snapshot::EmptyName;
    QTest::newRow("spaces only") << QStringLiteral("   ") << snapshot::EmptyName;
    QTest::newRow("separators only") << QStringLiteral("//\\/") << snapshot::EmptyName;
    QTest::newRow("300 ascii") << QString(300, QLatin1Char('a')) << QString(snapshot::NameLimitBytes, QLatin1Char('a'));
    QTest::newRow("300 two-byte") << QString(300, QChar(0xFC)) << QString(snapshot::NameLimitBytes / 2, QChar(0xFC));
    // 53 three-byte characters are 159 bytes; the 54th would pass the limit.
    QTest::newRow("300 three-byte") << QString(300, QChar(0x20AC)) << QString(snapshot::NameLimitBytes / 3, QChar(0x20AC));
    // Four-byte characters are never cut in half: 40 of them fill 160 bytes exactly.
    QTest::newRow("300 emoji") << QString::fromUcs4(std::u32string(300, U'\U0001F30A').data(), 300)
                               << QString::fromUcs4(std::u32string(40, U'\U0001F30A').data(), 40);
    QTest::newRow("cut leaves trailing space")
        << QString(snapshot::NameLimitBytes - 1, QLatin1Char('b')) + QStringLiteral(" tail")
        << QString(snapshot::NameLimitBytes - 1, QLatin1Char('b'));
}

void TestSnapshotFiles::cleanName()
{
    QFETCH(QString, camName);
    QFETCH(QString, expected);
    QCOMPARE(snapshot::cleanName(camName), expected);
}

void TestSnapshotFiles::cleanNameFitsAFileSystem_data()
{
    QTest::addColumn<QString>("camName");
    QTest::newRow("300 ascii") << QString(300, QLatin1Char('a'));
    QTest::newRow("300 three-byte") << QString(300, QChar(0x20AC));
    QTest::newRow("300 emoji") << QString::fromUcs4(std::u32string(300, U'\U0001F30A').data(), 300);
    QTest::newRow("300 mixed") << QString(100, QChar(0xFC)) + QString(100, QLatin1Char('/')) + QString(100, QChar(0x20AC));
}

// The longest name a save can make, with the highest number and the longest extension,
// must be a name every usual file system takes.
void TestSnapshotFiles::cleanNameFitsAFileSystem()
{
    QFETCH(QString, camName);
    const QString name = snapshot::numbered(
        snapshot::fileName(camName, QDateTime(QDate(2026, 12, 8), QTime(14, 2, 11)), QStringLiteral("webp")),
        snapshot::MaxNumber);
    QVERIFY2(name.toUtf8().size() <= 255, qPrintable(QString::number(name.toUtf8().size())));
    QTemporaryDir dir;
    QVERIFY(snapshot::saveNew(QDir(dir.path()), name, "x").has_value());
}

void TestSnapshotFiles::sniffExtension_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expected"); // empty: nothing
    QTest::newRow("jpeg") << bytes("\xFF\xD8\xFF\xE0\0\x10JFIF", 11) << QStringLiteral("jpg");
    QTest::newRow("jpeg exif") << bytes("\xFF\xD8\xFF\xE1\0\x10""Exif", 11) << QStringLiteral("jpg");
    QTest::newRow("png") << bytes("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16) << QStringLiteral("png");
    QTest::newRow("gif87") << bytes("GIF87a", 6) << QStringLiteral("gif");
    QTest::newRow("gif89") << bytes("GIF89a", 6) << QStringLiteral("gif");
    QTest::newRow("bmp") << bytes("BM", 2) << QStringLiteral("bmp");
    QTest::newRow("tiff little") << bytes("II*\0", 4) << QStringLiteral("tif");
    QTest::newRow("tiff big") << bytes("MM\0*", 4) << QStringLiteral("tif");
    QTest::newRow("webp") << bytes("RIFF\x24\0\0\0WEBPVP8 ", 16) << QStringLiteral("webp");
    QTest::newRow("riff wave") << bytes("RIFF\x24\0\0\0WAVEfmt ", 16) << QString();
    QTest::newRow("ico") << bytes("\0\0\1\0\1\0", 6) << QStringLiteral("ico");
    QTest::newRow("cur") << bytes("\0\0\2\0\1\0", 6) << QStringLiteral("cur");
    QTest::newRow("ico without images") << bytes("\0\0\1\0\0\0", 6) << QString();
    QByteArray emf = bytes("\1\0\0\0", 4);
    emf.replace(40, 4, " EMF");
    QTest::newRow("emf") << emf << QStringLiteral("emf");
    QTest::newRow("wmf") << bytes("\xD7\xCD\xC6\x9A", 4) << QStringLiteral("wmf");
    QTest::newRow("html") << QByteArray("<html><body>Not found</body></html>") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("jpeg cut short") << QByteArray("\xFF\xD8", 2) << QString();
    QTest::newRow("png cut short") << QByteArray("\x89PNG", 4) << QString();
    QTest::newRow("text named like png") << QByteArray("PNG image") << QString();
    QTest::newRow("svg") << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\"/>") << QStringLiteral("svg");
    QTest::newRow("svg after prolog")
        << QByteArray("\xEF\xBB\xBF <?xml version=\"1.0\"?>\n<!-- made <here> -->\n<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" "
                      "\"x.dtd\" [<!ENTITY a \"b\">]>\r\n<svg width=\"4\">")
        << QStringLiteral("svg");
    QTest::newRow("xhtml") << QByteArray("<?xml version=\"1.0\"?><html/>") << QString();
    QTest::newRow("svg inside html") << QByteArray("<html><svg></svg></html>") << QString();
    QTest::newRow("svgz") << bytes("\x1F\x8B\x08\0", 4) << QStringLiteral("svgz");
    QTest::newRow("pbm") << QByteArray("P1\n2 2\n0 1 1 0\n") << QStringLiteral("pbm");
    QTest::newRow("pgm raw") << bytes("P5 2 2 255\n", 11) << QStringLiteral("pgm");
    QTest::newRow("ppm") << QByteArray("P6\n1 1\n255\nabc") << QStringLiteral("ppm");
    QTest::newRow("xpm") << QByteArray("/* XPM */\nstatic char *x[] = {") << QStringLiteral("xpm");
    QTest::newRow("xbm") << QByteArray("#define cam_width 8\n#define cam_height 1\n") << QStringLiteral("xbm");
}

void TestSnapshotFiles::sniffExtension()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, expected);
    QCOMPARE(snapshot::sniffExtension(data).value_or(QString()), expected);
}

void TestSnapshotFiles::fileName_data()
{
    QTest::addColumn<QString>("camName");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("expected");
    QTest::newRow("example") << QStringLiteral("Harbour of Kessvik") << QDateTime(QDate(2026, 12, 8), QTime(14, 2, 11))
                             << QStringLiteral("jpg") << QStringLiteral("Harbour of Kessvik 2026-12-08 14-02-11.jpg");
    QTest::newRow("morning, padded") << QStringLiteral("Lake Orrin Jetty") << QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5))
                                     << QStringLiteral("png") << QStringLiteral("Lake Orrin Jetty 2027-01-02 03-04-05.png");
    QTest::newRow("server text") << QStringLiteral("../x/y") << QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59))
                                 << QStringLiteral("gif") << QStringLiteral("x y 2026-12-08 23-59-59.gif");
    QTest::newRow("no name") << QString() << QDateTime(QDate(2026, 12, 8), QTime(0, 0))
                             << QStringLiteral("jpg") << QStringLiteral("Snapshot 2026-12-08 00-00-00.jpg");
}

void TestSnapshotFiles::fileName()
{
    QFETCH(QString, camName);
    QFETCH(QDateTime, time);
    QFETCH(QString, extension);
    QFETCH(QString, expected);
    QCOMPARE(snapshot::fileName(camName, time, extension), expected);
}

void TestSnapshotFiles::numbered_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first") << QStringLiteral("Cam 2026-12-08 14-02-11.jpg") << 1 << QStringLiteral("Cam 2026-12-08 14-02-11.jpg");
    QTest::newRow("second") << QStringLiteral("Cam 2026-12-08 14-02-11.jpg") << 2 << QStringLiteral("Cam 2026-12-08 14-02-11 (2).jpg");
    QTest::newRow("tenth") << QStringLiteral("St. Aldric 2026-12-08 14-02-11.png") << 10
                           << QStringLiteral("St. Aldric 2026-12-08 14-02-11 (10).png");
    QTest::newRow("no extension") << QStringLiteral("Cam") << 3 << QStringLiteral("Cam (3)");
}

void TestSnapshotFiles::numbered()
{
    QFETCH(QString, name);
    QFETCH(int, number);
    QFETCH(QString, expected);
    QCOMPARE(snapshot::numbered(name, number), expected);
}

void TestSnapshotFiles::saveNew_data()
{
    QTest::addColumn<QString>("inTheWay"); // what already has the name: nothing, file, link, dangling, folder
    QTest::addColumn<QString>("expectedName");
    QTest::newRow("free name") << QString() << QStringLiteral("Cam 2026-12-08 14-02-11.jpg");
    QTest::newRow("a file") << QStringLiteral("file") << QStringLiteral("Cam 2026-12-08 14-02-11 (2).jpg");
    QTest::newRow("two files") << QStringLiteral("file,file2") << QStringLiteral("Cam 2026-12-08 14-02-11 (3).jpg");
    QTest::newRow("a link to a file") << QStringLiteral("link") << QStringLiteral("Cam 2026-12-08 14-02-11 (2).jpg");
    QTest::newRow("a dangling link") << QStringLiteral("dangling") << QStringLiteral("Cam 2026-12-08 14-02-11 (2).jpg");
    QTest::newRow("a folder") << QStringLiteral("folder") << QStringLiteral("Cam 2026-12-08 14-02-11 (2).jpg");
}

void TestSnapshotFiles::saveNew()
{
    QFETCH(QString, inTheWay);
    QFETCH(QString, expectedName);
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const QString name = QStringLiteral("Cam 2026-12-08 14-02-11.jpg");
    const QString path = QDir(dir.path()).filePath(name);
    const QString victim = QDir(elsewhere.path()).filePath(QStringLiteral("victim"));
    const QString missing = QDir(elsewhere.path()).filePath(QStringLiteral("missing"));
    QFile v(victim);
    QVERIFY(v.open(QIODevice::WriteOnly));
    v.write("precious");
    v.close();
    const QStringList ways = inTheWay.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &way : ways) {
        if (way == QLatin1String("file") || way == QLatin1String("file2")) {
            QFile f(way == QLatin1String("file") ? path : QDir(dir.path()).filePath(snapshot::numbered(name, 2)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("mine");
        } else if (way == QLatin1String("link")) {
            QVERIFY(QFile::link(victim, path));
        } else if (way == QLatin1String("dangling")) {
            QVERIFY(QFile::link(missing, path));
        } else if (way == QLatin1String("folder")) {
            QVERIFY(QDir(dir.path()).mkdir(name));
        }
    }
    const QByteArray picture("\xFF\xD8\xFF picture bytes \0\1\2", 22);
    const std::optional<QString> saved = snapshot::saveNew(QDir(dir.path()), name, picture);
    QVERIFY(saved);
    QCOMPARE(QFileInfo(*saved).fileName(), expectedName);
    QVERIFY(!QFileInfo(*saved).isSymLink());
    QCOMPARE(readAll(*saved), picture);
    // Nothing in the way changed, nothing was created through a link.
    QCOMPARE(readAll(victim), QByteArray("precious"));
    QVERIFY(!QFileInfo::exists(missing));
    if (ways.contains(QLatin1String("file")))
        QCOMPARE(readAll(path), QByteArray("mine"));
    if (ways.contains(QLatin1String("link")) || ways.contains(QLatin1String("dangling")))
        QVERIFY(QFileInfo(path).isSymLink());
    // No private file left behind.
    const QStringList entries = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QCOMPARE(entries.size(), qsizetype(ways.size() + 1));
}

void TestSnapshotFiles::saveNewRespectsUmask()
{
    QTemporaryDir dir;
    const mode_t old = ::umask(022);
    const std::optional<QString> saved = snapshot::saveNew(QDir(dir.path()), QStringLiteral("a.png"), "x");
    ::umask(old);
    QVERIFY(saved);
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(*saved).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0644);
}

void TestSnapshotFiles::saveNewFailsCleanly()
{
    QTemporaryDir dir;
    const QString missing = QDir(dir.path()).filePath(QStringLiteral("not-there"));
    QVERIFY(!snapshot::saveNew(QDir(missing), QStringLiteral("a.jpg"), "x"));
    QVERIFY(!QFileInfo::exists(missing));
}

void TestSnapshotFiles::elideFolder_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("available"); // characters
    QTest::addColumn<QString>("expected");
    const QString saved = QStringLiteral("Saved to /home/anna/Pictures/Harbour 2026-12-08.jpg");
    QTest::newRow("fits") << saved << 60 << saved;
    QTest::newRow("folder cut in its middle") << saved << 40 << QStringLiteral("Saved to /hom\u2026res/Harbour 2026-12-08.jpg");
    QTest::newRow("one character too long") << saved << 50 << QStringLiteral("Saved to /home/ann\u2026Pictures/Harbour 2026-12-08.jpg");
    QTest::newRow("no room: the file name stays whole") << saved << 10 << QStringLiteral("Saved to /\u2026/Harbour 2026-12-08.jpg");
    QTest::newRow("no folder") << QStringLiteral("Saved to /x.jpg") << 5 << QStringLiteral("Saved to /x.jpg");
    QTest::newRow("no path") << QStringLiteral("Picture copied") << 5 << QStringLiteral("Picture copied");
}

void TestSnapshotFiles::elideFolder()
{
    QFETCH(QString, message);
    QFETCH(int, available);
    const auto characters = [](const QString &text) { return int(text.size()); };
    QTEST(path_elision::elideFolder(message, available, characters), "expected");
}

QTEST_GUILESS_MAIN(TestSnapshotFiles)
#include "tst_snapshotfiles.moc"
