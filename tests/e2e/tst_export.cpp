// The static export (file names from server text, the folder swap) and the catalogue cache,
// then lumora-camserver answering a 32768-cam catalogue file and exporting through its
// command line.
#include "cataloguecache.h"
#include "camserverprocess.h"
#include "export.h"
#include "gunzip.h"
#include "wholefiles.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sys/stat.h>

namespace {

QStringList filesBelow(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (!it.fileInfo().isDir())
            found << QDir(root).relativeFilePath(it.filePath());
    }
    found.sort();
    return found;
}

QByteArray camLine(const QByteArray &id, const QByteArray &picture)
{
    return id + ";Name;" + picture + ";Description;;3;1;10;someone\r\n";
}

exporter::Source sourceWith(const QByteArray &catalogue)
{
    exporter::Source s;
    s.catalogue = catalogue;
    s.commentsFor = [](const QString &id) { return QByteArray("Anna;comment on ") + id.toUtf8() + ";01.01.2006 10:00\r\n"; };
    s.pictureAt = [](const QString &path) -> std::optional<QByteArray> { return QByteArray("picture at ") + path.toUtf8(); };
    return s;
}

// A catalogue as large as the biggest real ones: 32768 cams, about 4 MB.
QByteArray largeCatalogue()
{
    QByteArray doc;
    doc.reserve(4500000);
    for (int i = 0; i < 32768; ++i) {
        const QByteArray n = QByteArray::number(100000 + i);
        doc += n + ";Cam " + n + " over the harbour;{base}/cams/" + n
            + ".jpg;Looking north over the harbour, the ferry at the full hour.;;3;0;" + QByteArray::number(i * 7)
            + ";user" + QByteArray::number(i % 97) + "\r\n";
    }
    return doc;
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT
private slots:
    void baseAddress_data();
    void baseAddress();
    void camIdAsFileName_data();
    void camIdAsFileName();
    void picturePath_data();
    void picturePath();
    void nothingLeavesTheFolder();
    void readableByTheWebServer();
    void targetFolder_data();
    void targetFolder();
    void cacheFollowsTheFile();
    void cacheKeepsEachBase();
    void serverAnswersLargeCatalogueFast();
    void commandLineExport();
};

void TestExport::baseAddress_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected"); // empty: refused
    QTest::newRow("plain") << "http://127.0.0.1:8080" << "http://127.0.0.1:8080";
    QTest::newRow("trailing slash dropped") << "https://cams.example.org/" << "https://cams.example.org";
    QTest::newRow("with a folder") << "https://example.org/cams" << "https://example.org/cams";
    QTest::newRow("no scheme") << "cams.example.org" << "";
    QTest::newRow("ftp") << "ftp://example.org" << "";
    QTest::newRow("field separator") << "http://example.org/a;b" << "";
    QTest::newRow("line break") << "http://example.org/\r\nx" << "";
    QTest::newRow("space") << "http://example.org/a b" << "";
    QTest::newRow("placeholder") << "http://example.org/{base}" << "";
    QTest::newRow("query") << "http://example.org/?x=1" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("international host") << "http://b\u00fccher.example/cams" << "http://xn--bcher-kva.example/cams";
    QTest::newRow("UTF-8 path") << "https://example.org/k\u00e4mera/" << "https://example.org/k%C3%A4mera";
}

void TestExport::baseAddress()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    QCOMPARE(exporter::normalisedBase(given).value_or(QString()), expected);
}

void TestExport::camIdAsFileName_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("safe");
    QTest::newRow("digits") << "1001" << true;
    QTest::newRow("letters, dash, underscore") << "harbour_north-2" << true;
    QTest::newRow("64 characters") << QString(64, QLatin1Char('a')) << true;
    QTest::newRow("65 characters") << QString(65, QLatin1Char('a')) << false;
    QTest::newRow("very long") << QString(5000, QLatin1Char('a')) << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("parent") << "../camlist" << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("absolute") << "/etc/passwd" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("NUL") << QStringLiteral("10") + QChar(0) + QStringLiteral("01") << false;
    QTest::newRow("percent") << "%2e%2e" << false;
    QTest::newRow("umlaut") << "M\u00fchle" << false;
    QTest::newRow("hidden") << ".hidden" << false;
}

void TestExport::camIdAsFileName()
{
    QFETCH(QString, id);
    QFETCH(bool, safe);
    QCOMPARE(exporter::isSafeCamId(id), safe);
}

void TestExport::picturePath_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected"); // empty: no file
    QTest::newRow("demo picture") << "{base}/cams/1001.jpg" << "cams/1001.jpg";
    QTest::newRow("top level") << "{base}/still.png" << "still.png";
    QTest::newRow("another server") << "http://elsewhere.example/x.jpg" << "";
    QTest::newRow("parent") << "{base}/../x.jpg" << "";
    QTest::newRow("parent inside") << "{base}/cams/../../x.jpg" << "";
    QTest::newRow("dot segment") << "{base}/./x.jpg" << "";
    QTest::newRow("double slash") << "{base}//etc/passwd" << "";
    QTest::newRow("query ignored") << "{base}/cams/1015.jpg?foo=0" << "cams/1015.jpg";
    QTest::newRow("fragment ignored") << "{base}/a.jpg#x" << "a.jpg";
    QTest::newRow("query with a parent") << "{base}/../a.jpg?x=1" << "";
    QTest::newRow("only a query") << "{base}/?x=1" << "";
    QTest::newRow("encoded") << "{base}/cams/%2e%2e/x.jpg" << "";
    QTest::newRow("NUL") << QStringLiteral("{base}/a") + QChar(0) + QStringLiteral(".jpg") << "";
    QTest::newRow("the catalogue") << "{base}/camlist.txt" << "";
    QTest::newRow("a comments file") << "{base}/comments/1001.txt" << "";
    QTest::newRow("hidden") << "{base}/.htaccess" << "";
    QTest::newRow("trailing slash") << "{base}/cams/" << "";
    QTest::newRow("very long") << "{base}/" + QString(300, QLatin1Char('a')) + ".jpg" << "";
}

void TestExport::picturePath()
{
    QFETCH(QString, url);
    QFETCH(QString, expected);
    QCOMPARE(exporter::localPicturePath(url).value_or(QString()), expected);
}

void TestExport::nothingLeavesTheFolder()
{
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(QDir(scratch.path()).mkpath(QStringLiteral("parent")));
    const QString parent = scratch.filePath(QStringLiteral("parent"));
    QByteArray doc;
    doc += camLine("1001", "{base}/cams/1001.jpg");
    doc += camLine("../escaped", "{base}/../escaped.jpg");
    doc += camLine("/absolute", "{base}/cams/../../../absolute.jpg");
    doc += camLine(QByteArray("nul\0id", 6), "{base}/camlist.txt");
    doc += camLine(QByteArray(4000, 'x'), "{base}/comments/1001.txt");
    doc += camLine("1002", "http://elsewhere.example/1002.jpg");
    const exporter::Result r = exporter::exportTo(sourceWith(doc), QStringLiteral("http://127.0.0.1:9"),
                                                  parent + QStringLiteral("/site"));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(filesBelow(scratch.path()), (QStringList {
                                             QStringLiteral("parent/site/camlist.txt"),
                                             QStringLiteral("parent/site/cams/1001.jpg"),
                                             QStringLiteral("parent/site/comments/1001.txt"),
                                             QStringLiteral("parent/site/comments/1002.txt"),
                                         }));
    QCOMPARE(r.warnings.size(), 8); // four unsafe ids, four picture addresses that cannot be files
    QVERIFY2(r.warnings.first().startsWith(QStringLiteral("cam ..%2Fescaped: ")), qPrintable(r.warnings.first()));
    const QByteArray catalogue = readFile(parent + QStringLiteral("/site/camlist.txt"));
    QVERIFY(!catalogue.contains("{base}"));
    QVERIFY(catalogue.startsWith("1001;Name;http://127.0.0.1:9/cams/1001.jpg;"));
    QCOMPARE(readFile(parent + QStringLiteral("/site/cams/1001.jpg")), QByteArray("picture at /cams/1001.jpg"));
    QCOMPARE(readFile(parent + QStringLiteral("/site/comments/1001.txt")),
             QByteArray("Anna;comment on 1001;01.01.2006 10:00\r\n"));
}

void TestExport::readableByTheWebServer()
{
    // A web server runs as another user; a private umask must not hide the export from it.
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const mode_t previous = ::umask(077);
    const exporter::Result r = exporter::exportTo(sourceWith(camLine("1001", "{base}/cams/deep/1001.jpg")),
                                                  QStringLiteral("http://127.0.0.1:9"), scratch.filePath(QStringLiteral("site")));
    ::umask(previous);
    QVERIFY2(r.ok, qPrintable(r.error));
    for (const QString &folder : {QStringLiteral("site"), QStringLiteral("site/comments"), QStringLiteral("site/cams"),
                                  QStringLiteral("site/cams/deep")}) {
        const auto p = QFileInfo(scratch.filePath(folder)).permissions();
        QVERIFY2((p & QFileDevice::ReadOther) && (p & QFileDevice::ExeOther), qPrintable(folder));
    }
    for (const QString &file : filesBelow(scratch.path()))
        QVERIFY2(QFileInfo(scratch.filePath(file)).permissions() & QFileDevice::ReadOther, qPrintable(file));
    QCOMPARE(filesBelow(scratch.path()).size(), 3);
}

void TestExport::targetFolder_data()
{
    QTest::addColumn<QString>("existing"); // "", "empty folder", "file in folder", "plain file"
    QTest::addColumn<bool>("ok");
    QTest::newRow("new") << "" << true;
    QTest::newRow("empty folder") << "empty folder" << true;
    QTest::newRow("folder with a file") << "file in folder" << false;
    QTest::newRow("a file") << "plain file" << false;
}

void TestExport::targetFolder()
{
    QFETCH(QString, existing);
    QFETCH(bool, ok);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString dir = scratch.filePath(QStringLiteral("site"));
    if (existing == QLatin1String("empty folder") || existing == QLatin1String("file in folder"))
        QVERIFY(QDir().mkdir(dir));
    if (existing == QLatin1String("file in folder"))
        QVERIFY(writeFile(dir + QStringLiteral("/keep.txt"), "mine"));
    if (existing == QLatin1String("plain file"))
        QVERIFY(writeFile(dir, "mine"));
    const QStringList before = filesBelow(scratch.path());

    const exporter::Result r = exporter::exportTo(sourceWith(camLine("1001", "{base}/a.jpg")),
                                                  QStringLiteral("http://127.0.0.1:9"), dir);
    QCOMPARE(r.ok, ok);
    if (ok) {
        QCOMPARE(filesBelow(scratch.path()), (QStringList {QStringLiteral("site/a.jpg"), QStringLiteral("site/camlist.txt"),
                                                           QStringLiteral("site/comments/1001.txt")}));
    } else {
        QVERIFY(!r.error.isEmpty());
        // Untouched, and no half-built folder left beside it.
        QCOMPARE(filesBelow(scratch.path()), before);
        QCOMPARE(QDir(scratch.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList {QStringLiteral("site")});
    }
}

void TestExport::cacheFollowsTheFile()
{
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString file = scratch.filePath(QStringLiteral("cams.txt"));
    QVERIFY(writeFile(file, "1;a;{base}/1.jpg\r\n"));
    // Timestamps trusted at once, so a second answer comes from the cache.
    CatalogueCache trusting(file, std::chrono::milliseconds(0));
    QCOMPARE(*trusting.resolved("http://h:1"), std::string("1;a;http://h:1/1.jpg\r\n"));
    QCOMPARE(*trusting.resolved("http://h:1"), std::string("1;a;http://h:1/1.jpg\r\n"));
    QCOMPARE(trusting.rebuilds(), 1);
    const auto gzipped = [&trusting] { return gunzip(QByteArray::fromStdString(*trusting.resolved("http://h:1", true))); };
    QCOMPARE(gzipped(), QByteArray("1;a;http://h:1/1.jpg\r\n"));

    // A rewrite of another length is seen even when the timestamps are trusted.
    QVERIFY(writeFile(file, "2;bb;{base}/2.jpg\r\n"));
    QCOMPARE(*trusting.resolved("http://h:1"), std::string("2;bb;http://h:1/2.jpg\r\n"));
    QCOMPARE(gzipped(), QByteArray("2;bb;http://h:1/2.jpg\r\n"));

    // With the usual distrust of young timestamps, a same-length rewrite right after the last
    // one is read again however coarse the file system's clock.
    CatalogueCache cautious(file);
    QCOMPARE(*cautious.resolved("http://h:1"), std::string("2;bb;http://h:1/2.jpg\r\n"));
    QVERIFY(writeFile(file, "3;cc;{base}/3.jpg\r\n"));
    QCOMPARE(*cautious.resolved("http://h:1"), std::string("3;cc;http://h:1/3.jpg\r\n"));

    // Replaced by renaming another file onto it.
    QVERIFY(writeFile(file + QStringLiteral(".new"), "4;d;{base}/4.jpg\r\n"));
    QVERIFY(::rename(QFile::encodeName(file + QStringLiteral(".new")).constData(), QFile::encodeName(file).constData()) == 0);
    QCOMPARE(*trusting.resolved("http://h:1"), std::string("4;d;http://h:1/4.jpg\r\n"));

    QVERIFY(QFile::remove(file));
    QVERIFY(!trusting.resolved("http://h:1"));
}

void TestExport::cacheKeepsEachBase()
{
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString file = scratch.filePath(QStringLiteral("cams.txt"));
    QVERIFY(writeFile(file, "1;a;{base}/1.jpg;{base}\r\n"));
    CatalogueCache cache(file, std::chrono::milliseconds(0));
    QCOMPARE(*cache.resolved("http://a:1"), std::string("1;a;http://a:1/1.jpg;http://a:1\r\n"));
    QCOMPARE(*cache.resolved("http://b:2"), std::string("1;a;http://b:2/1.jpg;http://b:2\r\n"));
    QCOMPARE(*cache.resolved("http://a:1"), std::string("1;a;http://a:1/1.jpg;http://a:1\r\n"));
    QCOMPARE(cache.rebuilds(), 2);
}

void TestExport::serverAnswersLargeCatalogueFast()
{
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString file = scratch.filePath(QStringLiteral("cams.txt"));
    const QByteArray doc = largeCatalogue();
    QVERIFY(writeFile(file, doc));
    CamServerProcess server({QStringLiteral("--catalogue"), file});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QByteArray expected = QByteArray(doc).replace("{base}", server.baseUrl().toLatin1());

    QList<qint64> times;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer clock;
        clock.start();
        const RawHttpReply reply = server.get("/camlist.php", 20000);
        times << clock.elapsed();
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.body == expected);
    }
    std::sort(times.begin(), times.end());
    // About 10 ms here; the bound is generous for a busy machine and still far below the
    // seconds a per-request re-read and resolve took.
    QVERIFY2(times.at(times.size() / 2) < 150, qPrintable(QStringLiteral("median %1 ms").arg(times.at(times.size() / 2))));

    // A rewrite is served at once.
    const QByteArray changed = camLine("7", "{base}/7.jpg");
    QVERIFY(writeFile(file, changed));
    QCOMPARE(server.get("/camlist.php").body, QByteArray(changed).replace("{base}", server.baseUrl().toLatin1()));
}

void TestExport::commandLineExport()
{
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString dir = scratch.filePath(QStringLiteral("site"));
    QProcess p;
    p.start(QStringLiteral(LUMORA_CAMSERVER_PATH),
            {QStringLiteral("--export"), dir, QStringLiteral("--export-base"), QStringLiteral("http://127.0.0.1:8/")});
    QVERIFY(p.waitForFinished(60000));
    const QString stderrText = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(p.exitCode() == 0, qPrintable(stderrText));
    const QByteArray catalogue = readFile(dir + QStringLiteral("/camlist.txt"));
    QVERIFY(catalogue.startsWith("1001;Harbour of Kessvik;http://127.0.0.1:8/cams/1001.jpg;"));
    QVERIFY(QImage(dir + QStringLiteral("/cams/1001.jpg")).width() > 0);
    QVERIFY(!readFile(dir + QStringLiteral("/comments/1001.txt")).isEmpty());
    // Each catalogue cam has its comments file, and its comment count matches it.
    int cams = 0;
    for (const QByteArray &line : catalogue.split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(';');
        if (f.size() < 9)
            continue;
        ++cams;
        const QByteArray comments = readFile(dir + QStringLiteral("/comments/") + QString::fromLatin1(f.at(0)) + QStringLiteral(".txt"));
        QCOMPARE(comments.count("\r\n"), f.at(6).toInt());
        const QString picture = QString::fromLatin1(f.at(2)).mid(QStringLiteral("http://127.0.0.1:8/").size()).section(QLatin1Char('?'), 0, 0);
        // A picture script's answer depends on the query, which static files cannot follow;
        // a live stream never ends.
        if (picture == QLatin1String("cam.php") || picture.startsWith(QLatin1String("live/"))) {
            QVERIFY2(stderrText.contains(QStringLiteral("no local picture at /") + picture), qPrintable(stderrText));
            continue;
        }
        QVERIFY2(QFileInfo(dir + QLatin1Char('/') + picture).size() > 0, qPrintable(picture));
    }
    QVERIFY(cams >= 10);

    // A second export onto the same folder is refused and leaves it as it is.
    QProcess again;
    again.start(QStringLiteral(LUMORA_CAMSERVER_PATH),
                {QStringLiteral("--export"), dir, QStringLiteral("--export-base"), QStringLiteral("http://other:9")});
    QVERIFY(again.waitForFinished(60000));
    QCOMPARE(again.exitCode(), 1);
    QCOMPARE(readFile(dir + QStringLiteral("/camlist.txt")), catalogue);

    QProcess noBase;
    noBase.start(QStringLiteral(LUMORA_CAMSERVER_PATH), {QStringLiteral("--export"), scratch.filePath(QStringLiteral("x"))});
    QVERIFY(noBase.waitForFinished(60000));
    QCOMPARE(noBase.exitCode(), 2);
    QVERIFY(!QFileInfo::exists(scratch.filePath(QStringLiteral("x"))));
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
