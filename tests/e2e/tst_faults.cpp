// The viewer against a server that answers badly: a real lumora-camserver on 127.0.0.1
// serves a catalogue, comments and pictures written by this test, or misbehaves on request.
// Every case states what the user sees (start-up message, picture areas, status panel 5,
// comment bar), that no working file stays behind, that the memory the case takes stays
// bounded, and that the viewer works again once the server behaves.
#include "apprun.h"
#include "core/state/texts.h"
#include "camserverprocess.h"
#include "core/catalogue/camrecord.h"
#include "core/rules/fetchrules.h"
#include "craftedpictures.h"
#include "gifwriter.h"
#include "loopwatch.h"
#include "memorywatch.h"
#include "rtspserverprocess.h"
#include "control/camimagefetch.h"
#include "control/camselection.h"
#include "control/commentrotation.h"
#include "control/heartbeat.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/statusbar.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/widgets/infobarpanel.h"
#include "ui/windows/mainwindow.h"
#include "ui/windows/wallwindow.h"
#include "ui/widgets/walltile.h"
#include "control/tilerefresh.h"
#include "control/wallrefresh.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <QUrlQuery>

#include <functional>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int TimeoutMs = 1500;
// Long enough for any honest picture up to the pixel limit, short enough for the test.
constexpr int DecodeBudgetMs = 3000;
// The longest the window thread may go without answering during a refresh.
constexpr qint64 WindowBlockMs = 300;
constexpr qint64 MiB = 1024 * 1024;

// ---- What the test serves --------------------------------------------------------------

QByteArray camLine(int id, const QByteArray &name, const QByteArray &picture)
{
    return QByteArray::number(id) + ';' + name + ";{base}/pics/" + picture + ";A test cam;;5;2;10;tester";
}

QByteArray goodCatalogue()
{
    return camLine(1, "Jpeg cam", "cam.jpg") + "\r\n" + camLine(2, "Png cam", "cam.png") + "\r\n"
        + camLine(3, "Gif cam", "cam.gif") + "\r\n";
}

const QByteArray GoodComments = "Ann;A fine view;01.02.2020\r\nBob;Nice light today;03.04.2021\r\n";

// Every byte from 0x80 to 0xFF once.
QByteArray highBytes()
{
    QByteArray bytes;
    for (int b = 0x80; b <= 0xFF; ++b)
        bytes.append(char(b));
    return bytes;
}

// The Windows-1252 code page; the five bytes it leaves undefined stay C1 controls.
QString windows1252(const QByteArray &bytes)
{
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    QString text;
    for (const char c : bytes) {
        const auto b = uchar(c);
        text.append(b >= 0x80 && b <= 0x9F ? QChar(high[b - 0x80]) : QChar(b));
    }
    return text;
}

QImage scene(QImage::Format format = QImage::Format_RGB32)
{
    QImage image(320, 240, format);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(40 + x / 2, 60 + y / 2, 200));
    return image;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray goodPicture(const QString &extension)
{
    if (extension == QLatin1String("gif"))
        return gifwriter::encode(scene(), false);
    return encoded(scene(), extension == QLatin1String("png") ? "PNG" : "JPEG");
}

// Left half transparent, right half white. The transparent palette entry is made green, so
// a loader that ignored the transparency would show green where black belongs.
QByteArray transparentGif()
{
    QImage image(64, 48, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(0, 0, 32, 48, QColor(0, 255, 0, 0));
    p.end();
    QByteArray gif = gifwriter::encode(image, true);
    const int transparentEntry = 13 + 255 * 3; // header, screen descriptor, then 256 RGB entries
    gif[transparentEntry] = 0;
    gif[transparentEntry + 1] = char(255);
    gif[transparentEntry + 2] = 0;
    return gif;
}

// A valid PNG header claiming 30000 x 30000 RGB pixels, followed by the first 1000 rows
// (all black, so they pack into a few kilobytes). A decoder that trusted the header would
// need 3.6 GB, and filling just these rows would touch over 100 MB.
QByteArray hugePng()
{
    const quint32 side = 30000;
    const QByteArray header = crafted::bigEndian32(side) + crafted::bigEndian32(side) + QByteArray("\x08\x02\x00\x00\x00", 5);
    const QByteArray rows(1000 * (1 + 3 * qsizetype(side)), '\0');
    const QByteArray zlib = qCompress(rows, 9).mid(4); // qCompress puts the length first
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + crafted::pngChunk("IHDR", header) + crafted::pngChunk("IDAT", zlib)
        + crafted::pngChunk("IEND", QByteArray());
}

// ---- What the user sees ----------------------------------------------------------------

using crafted::allBlack;

const QRegularExpression StatsText(
    QStringLiteral(R"(^(\d+[.,]\d\d) kb in (\d+[.,]\d\d) sec\. \((\d+[.,]\d\d) kb/sec\)$)"));

QString kilobytes(qint64 bytes)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(bytes / 1024.0, 'f', 2);
}

// One more tick of the comment rotation after any comment shown has been taken down:
// does a comment come up?
bool commentBarComesUp(Application &app)
{
    MainWindow &f = app.mainWindow();
    if (!f.commentBackground()->isHidden())
        app.comments().onTick();
    app.comments().onTick();
    app.comments().timer()->stop();
    return !f.commentBackground()->isHidden();
}

int camWith(const RunningState &s, const QString &picture)
{
    for (int i = 0; i < s.catalogue.camCount(); ++i)
        if (CamRecord::field(CamRecord::split(s.catalogue.camTable()[i]), CamRecord::ImageUrl).endsWith(picture))
            return i;
    return -1;
}

// Runs one step of the viewer and checks that it ended within reach of the time-out and
// grew the process's memory by less than memoryMiB. Returns how long it took.
qint64 boundedStep(const std::function<void()> &step, int memoryMiB)
{
    MemoryWatch memory;
    QElapsedTimer clock;
    clock.start();
    step();
    const qint64 elapsed = clock.elapsed();
    const qint64 growth = memory.growth();
    qInfo("%lld ms, memory grew by %.1f MiB", elapsed, growth / double(MiB));
    [&] {
        QVERIFY2(elapsed < TimeoutMs + 3000, qPrintable(QString::number(elapsed)));
        QVERIFY2(growth < memoryMiB * MiB, qPrintable(QStringLiteral("%1 MiB").arg(growth / double(MiB))));
    }();
    return elapsed;
}

enum class Shows { Black, Picture, TransparentBlack, LargeRamp };

constexpr int LargeSide = 8190; // 8190 x 8190 x 4 bytes: just under the 256 MiB limit

} // namespace

Q_DECLARE_METATYPE(Shows)

// Where a text sits in what the server sends.
enum class Field { CamName, Description, AddedBy, Views, CommentCount, CommentName, CommentText, CommentDate };
Q_DECLARE_METATYPE(Field)

// What takes a working file's name before the viewer starts.
enum class Squatter { LinkToOutside, Folder };
Q_DECLARE_METATYPE(Squatter)

namespace {

// Red pixels in what a widget shows: a local red picture or a red font let in by markup.
int redPixels(QWidget *widget)
{
    const QImage shot = widget->grab().toImage();
    int count = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb c = shot.pixel(x, y);
            count += qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
        }
    return count;
}

// A catalogue of one cam whose fields are given, and the comments of that cam.
QByteArray oneCam(const QByteArray &id, const QByteArray &name, const QByteArray &description = "A cam",
                  const QByteArray &views = "10", const QByteArray &addedBy = "tester", const QByteArray &comments = "2")
{
    return id + ';' + name + ";{base}/pics/cam.jpg;" + description + ";;4;" + comments + ';' + views + ';' + addedBy
        + "\r\n";
}

// One row for each field of a cam and of its comment that the windows show.
void addFieldRows()
{
    QTest::addColumn<Field>("field");
    QTest::newRow("cam name") << Field::CamName;
    QTest::newRow("description") << Field::Description;
    QTest::newRow("added by") << Field::AddedBy;
    QTest::newRow("views") << Field::Views;
    QTest::newRow("comment count") << Field::CommentCount;
    QTest::newRow("comment name") << Field::CommentName;
    QTest::newRow("comment text") << Field::CommentText;
    QTest::newRow("comment date") << Field::CommentDate;
}

} // namespace


class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void catalogue_data();
    void catalogue();
    void comments_data();
    void comments();
    void pictures_data();
    void pictures();
    void markupShownAsText_data();
    void markupShownAsText();
    void workingFileLinks_data();
    void workingFileLinks();
    void oddCamIds();
    void hugeFields_data();
    void hugeFields();
    void liveStream_data();
    void liveStream();
    void answersInStep_data();
    void answersInStep();
    void wallFaults_data();
    void wallFaults();

private:
    bool restoreFiles() const;
    bool writeServed(const QString &name, const QByteArray &content) const;
    bool serveOneCamWith(Field field, const QByteArray &content) const;
    void startAt(AppRun &run, const QString &picture);
    void checkRefreshWorks(AppRun &run, const QString &picture);

    QTemporaryDir m_files;
    QString m_secretPng; // a picture on disk that only a file:// redirect could reach
    std::unique_ptr<CamServerProcess> m_server;
    std::unique_ptr<CamServerProcess> m_other; // the same files on another port, for redirect chains
};

bool TestFaults::writeServed(const QString &name, const QByteArray &content) const
{
    QFile f(QDir(m_files.path()).filePath(name));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

// Serves one cam with id 1, and one comment of it, with content in the given field.
bool TestFaults::serveOneCamWith(Field field, const QByteArray &content) const
{
    const auto pick = [&](Field f, const QByteArray &plain) { return field == f ? content : plain; };
    return writeServed(QStringLiteral("camlist.txt"),
                       oneCam("1", pick(Field::CamName, "One cam"), pick(Field::Description, "A cam"),
                              pick(Field::Views, "10"), pick(Field::AddedBy, "tester"), pick(Field::CommentCount, "2")))
        && writeServed(QStringLiteral("comments/1.txt"),
                       pick(Field::CommentName, "Ann") + ';' + pick(Field::CommentText, "A fine view") + ';'
                           + pick(Field::CommentDate, "01.02.2020") + "\r\n");
}

bool TestFaults::restoreFiles() const
{
    bool ok = writeServed(QStringLiteral("camlist.txt"), goodCatalogue());
    for (const char *ext : {"jpg", "png", "gif"})
        ok = ok && writeServed(QStringLiteral("pictures/pics/cam.%1").arg(QLatin1String(ext)), goodPicture(QLatin1String(ext)));
    for (const char *id : {"1", "2", "3"})
        ok = ok && writeServed(QStringLiteral("comments/%1.txt").arg(QLatin1String(id)), GoodComments);
    return ok;
}

void TestFaults::initTestCase()
{
    // main() also caps Qt's own image allocations; lifted here, so that it cannot stand in
    // for the loader's refusal of pictures too large to hold.
    QImageReader::setAllocationLimit(0);
    QVERIFY(m_files.isValid());
    QDir dir(m_files.path());
    QVERIFY(dir.mkpath(QStringLiteral("pictures/pics")));
    QVERIFY(dir.mkpath(QStringLiteral("comments")));
    QVERIFY(restoreFiles());
    m_secretPng = dir.filePath(QStringLiteral("secret.png"));
    QVERIFY(writeServed(QStringLiteral("secret.png"), goodPicture(QStringLiteral("png"))));

    const QStringList args{QStringLiteral("--catalogue"), dir.filePath(QStringLiteral("camlist.txt")),
                           QStringLiteral("--pictures"), dir.filePath(QStringLiteral("pictures")),
                           QStringLiteral("--comments"), dir.filePath(QStringLiteral("comments"))};
    m_server = std::make_unique<CamServerProcess>(args);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    m_other = std::make_unique<CamServerProcess>(args);
    QVERIFY2(m_other->start(), qPrintable(m_other->errorString()));
}

void TestFaults::init()
{
    QVERIFY(m_server->clearFaults());
    QVERIFY(m_other->clearFaults());
    QVERIFY(restoreFiles());
}

void TestFaults::startAt(AppRun &run, const QString &picture)
{
    QVERIFY(run.writeConfig(m_server->baseUrl()));
    QVERIFY(run.startAndWait());
    const int cam = camWith(run.app->state(), picture);
    QVERIFY(cam >= 0);
    run.app->selection().rowClicked(cam);
}

// A refresh with the server behaving: the picture, its size in the status panel, comments
// in the bar and nothing left in the working folder.
void TestFaults::checkRefreshWorks(AppRun &run, const QString &picture)
{
    MainWindow &f = run.app->mainWindow();
    QVERIFY(run.refresh());
    QVERIFY(!f.pictureArea()->picture().isNull());
    QVERIFY(!allBlack(f.pictureArea()->surface()));
    const auto stats = StatsText.match(f.camStatusBar()->panelText(5));
    QVERIFY2(stats.hasMatch(), qPrintable(f.camStatusBar()->panelText(5)));
    QFile served(QDir(m_files.path()).filePath(QStringLiteral("pictures/pics/") + picture));
    // A picture asked for again unchanged comes as a 304, its header section all there is.
    const QStringList asked = m_server->requests().filter(QStringLiteral("GET /pics/%1 ").arg(picture));
    if (!asked.isEmpty() && asked.last().startsWith(QStringLiteral("GET /pics/%1 304 ").arg(picture)))
        QVERIFY2(stats.captured(1).startsWith(QLatin1Char('0')), qPrintable(stats.captured(0)));
    else
        QCOMPARE(stats.captured(1), kilobytes(served.size()));
    QCOMPARE(run.app->state().selection.commentTable().size(), 3);
    QVERIFY(commentBarComesUp(*run.app));
    QCOMPARE(run.leftovers(), QStringList());
}

// ---- The catalogue at start-up ---------------------------------------------------------

void TestFaults::catalogue_data()
{
    QTest::addColumn<QString>("fault");       // on /camlist.php, or none
    QTest::addColumn<QByteArray>("document"); // the catalogue file served
    QTest::addColumn<QString>("message");     // the stop message; none when the viewer opens
    QTest::addColumn<int>("cams");
    QTest::addColumn<QString>("firstCam");    // {base} stands for the server's address
    QTest::addColumn<QString>("lastCam");
    QTest::addColumn<QString>("spare");       // the slot after the last cam
    QTest::addColumn<int>("memoryMiB");       // largest growth allowed while starting

    const QByteArray good = goodCatalogue();
    const QString none;

    QTest::newRow("empty answer") << "empty" << good << texts::ConnectionMessage << 0 << none << none << none << 16;
    QTest::newRow("html error page") << "status:500" << good << texts::EmptyCatalogueMessage << 0 << none << none
                                     << none << 16;

    // A LF alone ends no line: the whole document is one line, and one cam.
    const QByteArray lf = camLine(1, "Jpeg cam", "cam.jpg") + '\n' + camLine(2, "Png cam", "cam.png") + '\n';
    QTest::newRow("LF-only lines") << QString() << lf << none << 1 << QString::fromLatin1(lf)
                                   << QString::fromLatin1(lf) << none << 16;
    QTest::newRow("LF-only lines, too few fields") << QString() << QByteArray("1;a;b;c\n2;d;e;f\n")
                                                   << texts::EmptyCatalogueMessage << 0 << none << none << none << 16;

    const QByteArray shortLine = "4;Short;{base}/pics/cam.png;d;;1;0;0";
    QTest::newRow("9 fields, then 8 fields")
        << QString() << QByteArray(camLine(1, "Jpeg cam", "cam.jpg") + "\r\n" + shortLine + "\r\n" + camLine(2, "Png cam", "cam.png") + "\r\n")
        << none << 1 << QString::fromLatin1(camLine(1, "Jpeg cam", "cam.jpg"))
        << QString::fromLatin1(camLine(1, "Jpeg cam", "cam.jpg")) << QString::fromLatin1(shortLine) << 16;

    QByteArray many;
    for (int i = 1; i <= 40000; ++i)
        many += camLine(i, "Cam " + QByteArray::number(i), "cam.jpg") + "\r\n";
    QTest::newRow("40000 lines") << QString() << many << none << 32768
                                 << QString::fromLatin1(camLine(1, "Cam 1", "cam.jpg"))
                                 << QString::fromLatin1(camLine(32768, "Cam 32768", "cam.jpg")) << none << 64;

    const QByteArray high = camLine(1, highBytes(), "cam.jpg");
    QTest::newRow("bytes 0x80 to 0xFF") << QString() << QByteArray(high + "\r\n" + camLine(2, "Png cam", "cam.png") + "\r\n")
                                        << none << 2 << windows1252(high)
                                        << QString::fromLatin1(camLine(2, "Png cam", "cam.png")) << none << 16;

    const QByteArray nul = camLine(1, QByteArray("Nul", 3) + '\0' + "cam", "cam.jpg");
    QTest::newRow("NUL byte") << QString() << QByteArray(nul + "\r\n" + good) << none << 4 << QString::fromLatin1(nul)
                              << QString::fromLatin1(camLine(3, "Gif cam", "cam.gif")) << none << 16;

    QTest::newRow("20 MiB body") << "bytes:20971520" << good << texts::ConfigMessage << 0 << none << none << none << 8;
    QTest::newRow("connection closed half-way") << QStringLiteral("truncate:%1").arg(good.size() / 2) << good
                                                << texts::ConfigMessage << 0 << none << none << none << 16;
    QTest::newRow("stall longer than the time-out") << "stall" << good << texts::ConfigMessage << 0 << none << none
                                                    << none << 16;
    // Stopped at the 16 MiB cap, having held no more than twice that.
    QTest::newRow("endless chunked body") << "endless" << good << texts::ConfigMessage << 0 << none << none << none
                                          << 32;
}

void TestFaults::catalogue()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, document);
    QFETCH(QString, message);
    QFETCH(int, cams);
    QFETCH(QString, firstCam);
    QFETCH(QString, lastCam);
    QFETCH(QString, spare);
    QFETCH(int, memoryMiB);

    QVERIFY(writeServed(QStringLiteral("camlist.txt"), document));
    if (!fault.isEmpty())
        QVERIFY(m_server->setFault(QStringLiteral("/camlist.php"), fault));

    {
        AppRun run(TimeoutMs);
        QVERIFY(run.writeConfig(m_server->baseUrl()));
        bool started = false;
        const qint64 elapsed = boundedStep([&] { started = run.startAndWait(); }, memoryMiB);
        if (QTest::currentTestFailed())
            return;
        if (fault == QLatin1String("stall"))
            QVERIFY2(elapsed >= TimeoutMs - 100, "the time-out ended the wait");
        QCOMPARE(run.leftovers(), QStringList());

        if (!message.isEmpty()) {
            QVERIFY(!started);
            QCOMPARE(run.messages, QStringList{message});
            QVERIFY(!run.app->mainWindow().isVisible());
            QVERIFY(!run.app->heartbeat().timer()->isActive());
        } else {
            QVERIFY(started);
            QCOMPARE(run.messages, QStringList());
            const RunningState &s = run.app->state();
            const QString base = m_server->baseUrl();
            QCOMPARE(s.catalogue.camCount(), cams);
            QCOMPARE(s.catalogue.camTable().size(), cams + 1);
            QCOMPARE(s.catalogue.camTable().first(), QString(firstCam).replace(QLatin1String("{base}"), base));
            QCOMPARE(s.catalogue.camTable()[cams - 1], QString(lastCam).replace(QLatin1String("{base}"), base));
            QCOMPARE(s.catalogue.camTable().last(), QString(spare).replace(QLatin1String("{base}"), base));
            QVERIFY(run.app->mainWindow().isVisible());

            // The odd catalogue does not stop the viewer: the first cam's picture comes in.
            run.app->selection().rowClicked(0);
            checkRefreshWorks(run, QStringLiteral("cam.jpg"));
        }
    }

    // The server behaves again: the next start opens the viewer.
    QVERIFY(m_server->clearFaults());
    QVERIFY(restoreFiles());
    AppRun again(TimeoutMs);
    startAt(again, QStringLiteral("cam.png"));
    QCOMPARE(again.messages, QStringList());
    QCOMPARE(again.app->state().catalogue.camCount(), 3);
    checkRefreshWorks(again, QStringLiteral("cam.png"));
}

// ---- The comments of a refresh ---------------------------------------------------------

void TestFaults::comments_data()
{
    QTest::addColumn<QString>("fault");        // on /comments.php, or none
    QTest::addColumn<QByteArray>("document");  // the comments file served
    QTest::addColumn<int>("entries");          // commentTable's size, the spare slot included
    QTest::addColumn<QString>("first");        // how commentTable[0] begins
    QTest::addColumn<QString>("name");         // the name in the bar; none: the bar stays down
    QTest::addColumn<int>("memoryMiB");

    const QString none;
    QTest::newRow("empty answer") << "empty" << GoodComments << 2 << none << none << 16;
    // An error page is one line (its lines end in LF alone) without fields: no comment to show.
    QTest::newRow("html error page") << "status:500" << GoodComments << 2 << "<!DOCTYPE html>" << none << 16;

    const QByteArray lf = "Ann;A fine view;01.02.2020\nBob;Nice;03.04.2021\n";
    QTest::newRow("LF-only lines") << QString() << lf << 2 << QString::fromLatin1(lf) << "Ann" << 16;

    QTest::newRow("9 fields, then 8 fields")
        << QString() << QByteArray("Ann;one;01.02.2020;x;x;x;x;x;x\r\nAnn;two;03.04.2021;x;x;x;x;x\r\n") << 3
        << "Ann;one;01.02.2020;x;x;x;x;x;x" << "Ann" << 16;

    QByteArray many;
    for (int i = 1; i <= 40000; ++i)
        many += "Ann;comment " + QByteArray::number(i) + ";01.02.2020\r\n";
    QTest::newRow("40000 lines") << QString() << many << 40001 << "Ann;comment 1;01.02.2020" << "Ann" << 64;

    const QByteArray high = highBytes() + ";Text;01.02.2020";
    QTest::newRow("bytes 0x80 to 0xFF") << QString() << QByteArray(high + "\r\n") << 2 << windows1252(high)
                                        << windows1252(highBytes()) << 16;

    const QByteArray nulName = QByteArray("Ann", 3) + '\0' + "Lee";
    QTest::newRow("NUL byte") << QString() << QByteArray(nulName + ";Text;01.02.2020\r\n") << 2
                              << QString::fromLatin1(nulName + ";Text;01.02.2020") << QString::fromLatin1(nulName) << 16;

    QTest::newRow("20 MiB body") << "bytes:20971520" << GoodComments << 2 << none << none << 8;
    QTest::newRow("connection closed half-way") << QStringLiteral("truncate:%1").arg(GoodComments.size() / 2)
                                                << GoodComments << 2 << none << none << 16;
    QTest::newRow("stall longer than the time-out") << "stall" << GoodComments << 2 << none << none << 16;
}

void TestFaults::comments()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, document);
    QFETCH(int, entries);
    QFETCH(QString, first);
    QFETCH(QString, name);
    QFETCH(int, memoryMiB);

    AppRun run(TimeoutMs);
    startAt(run, QStringLiteral("cam.jpg"));
    MainWindow &f = run.app->mainWindow();
    const RunningState &s = run.app->state();
    // A comment of the last refresh is up when the bad answer comes.
    checkRefreshWorks(run, QStringLiteral("cam.jpg"));

    QVERIFY(writeServed(QStringLiteral("comments/1.txt"), document));
    if (!fault.isEmpty())
        QVERIFY(m_server->setFault(QStringLiteral("/comments.php"), fault));

    boundedStep([&] { QVERIFY(run.refresh()); }, memoryMiB);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(run.leftovers(), QStringList());
    QVERIFY(!run.app->fetch().isRunning());
    QVERIFY(run.app->heartbeat().timer()->isActive());

    // The comments never take the picture with them.
    QVERIFY(!f.pictureArea()->picture().isNull());
    QVERIFY(!allBlack(f.pictureArea()->surface()));
    QVERIFY2(StatsText.match(f.camStatusBar()->panelText(5)).hasMatch(), qPrintable(f.camStatusBar()->panelText(5)));

    QCOMPARE(s.selection.commentTable().size(), entries);
    QVERIFY2(s.selection.commentTable().first().startsWith(first), qPrintable(s.selection.commentTable().first().left(80)));
    if (first.isEmpty())
        QCOMPARE(s.selection.commentTable().first(), QString());
    QCOMPARE(s.selection.commentTable().last(), QString());

    const bool up = commentBarComesUp(*run.app);
    QCOMPARE(up, !name.isEmpty());
    if (up) {
        QCOMPARE(f.commentLabels()[0]->text(), name);
        QCOMPARE(run.app->fullscreenWindow().commentBar().labels[0]->text(), name);
    }

    // The server behaves again.
    QVERIFY(m_server->clearFaults());
    QVERIFY(restoreFiles());
    checkRefreshWorks(run, QStringLiteral("cam.jpg"));
    QCOMPARE(s.selection.commentTable(), (QStringList{QStringLiteral("Ann;A fine view;01.02.2020"),
                                          QStringLiteral("Bob;Nice light today;03.04.2021"), QString()}));
}

// ---- The picture of a refresh ----------------------------------------------------------

void TestFaults::pictures_data()
{
    QTest::addColumn<QString>("picture");     // the cam's picture, under /pics/
    QTest::addColumn<QString>("fault");       // on that address, or none
    QTest::addColumn<bool>("replaced");       // serve `content` instead of the good picture
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("bodyKept");       // the status gives the answer's size; else 0.00 kb
    QTest::addColumn<Shows>("shows");
    QTest::addColumn<int>("memoryMiB");

    const QByteArray jpeg = goodPicture(QStringLiteral("jpg"));
    const QByteArray none;

    // Whole as an answer, cut short as a picture: the refresh fails, its connection stays in step.
    QTest::newRow("JPEG file cut short") << "cam.jpg" << QString() << true << jpeg.left(jpeg.size() / 2) << false
                                         << Shows::Black << 16;
    QTest::newRow("Content-Length 1000 bytes short") << "cam.jpg" << "short-length:1000" << false << none << false
                                                     << Shows::Black << 16;
    QTest::newRow("JPEG transfer cut half-way") << "cam.jpg" << QStringLiteral("truncate:%1").arg(jpeg.size() / 2)
                                                << false << none << false << Shows::Black << 16;
    QTest::newRow("JPEG without length, reset half-way") << "cam.jpg" << QStringLiteral("reset-after:%1").arg(jpeg.size() / 2)
                                                         << false << none << false << Shows::Black << 16;
    QTest::newRow("PNG claiming 30000 x 30000") << "cam.png" << QString() << true << hugePng() << true << Shows::Black
                                                << 32;
    QTest::newRow("zero bytes") << "cam.jpg" << QString() << true << QByteArray("") << true << Shows::Black << 16;
    QTest::newRow("9 bytes") << "cam.jpg" << QString() << true << jpeg.left(9) << false << Shows::Black << 16;
    QTest::newRow("HTML page at a .jpg address") << "cam.jpg" << "html" << false << none << true << Shows::Black << 16;
    QTest::newRow("GIF with transparency") << "cam.gif" << QString() << true << transparentGif() << true
                                           << Shows::TransparentBlack << 16;
    QTest::newRow("redirect loop") << "cam.jpg" << "redirect-loop" << false << none << false << Shows::Black << 16;
    QTest::newRow("redirect to a file:// address") << "cam.png" << "redirect:file://" + m_secretPng << false << none
                                                   << false << Shows::Black << 16;
    QTest::newRow("404 page") << "cam.jpg" << "status:404" << false << none << true << Shows::Black << 16;
    QTest::newRow("over the 32 MiB cap") << "cam.jpg" << "bytes:40000000" << false << none << false << Shows::Black
                                         << 8;
    QTest::newRow("stall longer than the time-out") << "cam.jpg" << "stall" << false << none << false << Shows::Black
                                                    << 16;
    QTest::newRow("endless chunked body") << "cam.jpg" << "endless" << false << none << false << Shows::Black << 64;

    // Chains whose hops alternate between this server and a second one on another port;
    // the chain's end serves the picture as it is.
    const QString other = m_other->baseUrl();
    for (const int hops : {2, 5, 10})
        QTest::addRow("redirect chain of %d hops across ports", hops)
            << "cam.jpg" << QStringLiteral("redirect-chain:%1:%2").arg(hops).arg(other) << true << jpeg << true
            << Shows::Picture << 16;
    QTest::newRow("redirect chain of 11 hops") << "cam.jpg" << "redirect-chain:11:" + other << false << none << false
                                               << Shows::Black << 16;

    QTest::newRow("100 MB header line") << "cam.jpg" << "long-header:100000000" << false << none << false
                                        << Shows::Black << 16;
    QTest::newRow("header trickled at 2 kB/s") << "cam.jpg" << "long-header:100000:2000" << false << none << false
                                               << Shows::Black << 16;
    // A minute of decoding in under a megabyte: given up at the decode budget.
    QTest::newRow("progressive JPEG, luma scan 20000 times")
        << "cam.jpg" << QString() << true << crafted::jpegScanBomb(4096, 20000) << true << Shows::Black << 160;
    // 256 MiB of pixels: the refresh may hold about one and a half pictures' worth.
    QTest::newRow("8190 x 8190 RGBA PNG") << "cam.png" << QString() << true
                                          << crafted::rgbaPng(crafted::rampRow(LargeSide), LargeSide) << true
                                          << Shows::LargeRamp << 384;
}

void TestFaults::pictures()
{
    QFETCH(QString, picture);
    QFETCH(QString, fault);
    QFETCH(bool, replaced);
    QFETCH(QByteArray, content);
    QFETCH(bool, bodyKept);
    QFETCH(Shows, shows);
    QFETCH(int, memoryMiB);

    AppRun run(TimeoutMs, DecodeBudgetMs);
    startAt(run, picture);
    MainWindow &f = run.app->mainWindow();
    PictureArea &fullscreen = *run.app->fullscreenWindow().pictureArea();
    // Shown, so that the fullscreen area is drawn at each refresh as the main one is.
    run.app->fullscreenWindow().show();
    // The last refresh left a picture in both areas.
    checkRefreshWorks(run, picture);
    QVERIFY(!allBlack(fullscreen.surface()));

    const QString path = QStringLiteral("/pics/") + picture;
    if (replaced)
        QVERIFY(writeServed(QStringLiteral("pictures") + path, content));
    if (!fault.isEmpty())
        QVERIFY(m_server->setFault(path, fault));
    // A chain across ports: the second server sends each hop back here.
    if (fault.contains(m_other->baseUrl()))
        QVERIFY(m_other->setFault(path, QString(fault).replace(m_other->baseUrl(), m_server->baseUrl())));
    qint64 expectedBytes = 0;
    if (bodyKept)
        expectedBytes = replaced ? content.size() : m_server->get(path.toLatin1()).body.size();
    QVERIFY(m_server->resetLog());
    QVERIFY(m_other->resetLog());

    LoopGapWatch window;
    const qint64 elapsed = boundedStep([&] { QVERIFY(run.refresh()); }, memoryMiB);
    if (QTest::currentTestFailed())
        return;
    qInfo("longest window block %lld ms", window.longest());
    QVERIFY2(window.longest() < WindowBlockMs, qPrintable(QStringLiteral("%1 ms").arg(window.longest())));
    // A header trickled in waits out the time-out as a stall does; one too long at once
    // fails without waiting.
    const bool waitsOut = fault == QLatin1String("stall") || (fault.startsWith(QLatin1String("long-header:")) && fault.count(QLatin1Char(':')) == 2);
    if (waitsOut)
        QVERIFY2(elapsed >= TimeoutMs - 100, qPrintable(QString::number(elapsed)));
    if (fault.startsWith(QLatin1String("long-header:")) && !waitsOut)
        QVERIFY2(elapsed < TimeoutMs, qPrintable(QString::number(elapsed)));

    // Each hop of a chain was asked for exactly once in this refresh, none past the tenth.
    const auto chain = QRegularExpression(QStringLiteral("^redirect-chain:(\\d+)")).match(fault);
    if (chain.hasMatch()) {
        const int followed = qMin(chain.captured(1).toInt(), 10);
        const QStringList seen = m_server->requests() + m_other->requests();
        const QStringList asked = seen.filter(QRegularExpression(QStringLiteral("^GET /pics/")));
        for (int hop = 0; hop <= followed; ++hop) {
            const QString line = QStringLiteral("GET ") + path + (hop > 0 ? QStringLiteral("?_hop=%1").arg(hop) : QString())
                + QLatin1Char(' ');
            QVERIFY2(asked.filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(line))).size() == 1,
                     qPrintable(line + QLatin1Char('|') + seen.join(QLatin1Char('|'))));
        }
        QCOMPARE(int(asked.size()), followed + 1);
    }
    QCOMPARE(run.leftovers(), QStringList());
    QVERIFY(!run.app->fetch().isRunning());
    QVERIFY(run.app->heartbeat().timer()->isActive());

    // Status panel 5: what arrived, in how long.
    const auto stats = StatsText.match(f.camStatusBar()->panelText(5));
    QVERIFY2(stats.hasMatch(), qPrintable(f.camStatusBar()->panelText(5)));
    QCOMPARE(stats.captured(1), kilobytes(expectedBytes));
    if (expectedBytes == 0)
        QCOMPARE(stats.captured(3), kilobytes(0));
    if (waitsOut)
        QVERIFY2(QLocale().toDouble(stats.captured(2)) >= (TimeoutMs - 100) / 1000.0, qPrintable(stats.captured(2)));

    const QImage &original = f.pictureArea()->picture();
    switch (shows) {
    case Shows::Black:
        QVERIFY(original.isNull());
        QVERIFY(allBlack(f.pictureArea()->surface()));
        QVERIFY(allBlack(fullscreen.surface()));
        break;
    case Shows::Picture: {
        QVERIFY(!original.isNull());
        QCOMPARE(original.size(), scene().size());
        // At least the top of the picture arrived and is shown as sent.
        const QRgb got = original.pixel(160, 8);
        const QRgb sent = scene().pixel(160, 8);
        QVERIFY2(qAbs(qRed(got) - qRed(sent)) + qAbs(qGreen(got) - qGreen(sent)) + qAbs(qBlue(got) - qBlue(sent)) < 24,
                 qPrintable(QString::number(got, 16)));
        QVERIFY(!allBlack(f.pictureArea()->surface()));
        QVERIFY(!allBlack(fullscreen.surface()));
        break;
    }
    case Shows::TransparentBlack:
        QCOMPARE(original.size(), QSize(64, 48));
        for (int y = 0; y < original.height(); ++y) {
            for (int x = 0; x < original.width(); ++x) {
                const QRgb want = x < 32 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
                QVERIFY2((original.pixel(x, y) & 0xFFFFFF) == (want & 0xFFFFFF),
                         qPrintable(QStringLiteral("(%1, %2): %3").arg(x).arg(y).arg(original.pixel(x, y), 8, 16)));
            }
        }
        QVERIFY(!allBlack(f.pictureArea()->surface()));
        break;
    case Shows::LargeRamp: {
        QCOMPARE(original.size(), QSize(LargeSide, LargeSide));
        const QList<QRgb> row = crafted::rampRow(LargeSide);
        for (const int x : {0, 1, 128, 255, 256, 4000, LargeSide - 1}) {
            for (const int y : {0, LargeSide / 2, LargeSide - 1}) {
                const QRgb want = qPremultiply(row[x]) | 0xff000000u;
                QVERIFY2(original.pixel(x, y) == want,
                         qPrintable(QStringLiteral("(%1, %2): %3, want %4").arg(x).arg(y).arg(original.pixel(x, y), 8, 16).arg(want, 8, 16)));
            }
        }
        QVERIFY(!allBlack(f.pictureArea()->surface()));
        QVERIFY(!allBlack(fullscreen.surface()));
        break;
    }
    }

    // The comments came in as usual.
    QCOMPARE(run.app->state().selection.commentTable().size(), 3);
    QVERIFY(commentBarComesUp(*run.app));

    // The server behaves again.
    QVERIFY(m_server->clearFaults());
    QVERIFY(m_other->clearFaults());
    QVERIFY(restoreFiles());
    checkRefreshWorks(run, picture);
    QVERIFY(!allBlack(fullscreen.surface()));
}

// ---- Text from the server -------------------------------------------------------------


void TestFaults::markupShownAsText_data()
{
    addFieldRows();
}

// Markup from the server is shown as the characters it is made of: no picture named in it
// is opened, no font or colour it asks for is used.
void TestFaults::markupShownAsText()
{
    QFETCH(Field, field);

    QImage red(40, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    const QString redFile = QDir(m_files.path()).filePath(QStringLiteral("red.png"));
    QVERIFY(red.save(redFile));
    const QByteArray markup = "<img src=\"" + redFile.toUtf8() + "\" width=80 height=40><b>bold</b>"
                              "<font color=\"#ff0000\">red words</font>";
    QVERIFY(serveOneCamWith(field, markup));

    AppRun run(TimeoutMs);
    QVERIFY(run.writeConfig(m_server->baseUrl()));
    QVERIFY(run.startAndWait());
    MainWindow &f = run.app->mainWindow();
    InfoBarPanel &overlay = run.app->infoBarPanel();
    run.app->heartbeat().onTick(); // shows the cam's information and refreshes
    QVERIFY(run.waitForRefresh());
    QVERIFY(!f.pictureArea()->picture().isNull());
    QVERIFY(commentBarComesUp(*run.app));

    const QString text = QString::fromUtf8(markup);
    switch (field) {
    case Field::CamName:
        QCOMPARE(f.camList()->rowCaption(0), text);
        QCOMPARE(f.windowTitle(), text + QStringLiteral(" - lumora viewer 5"));
        QVERIFY(f.descriptionBox()->toPlainText().startsWith(text + QLatin1Char('\n')));
        QVERIFY(overlay.descriptionBox()->toPlainText().startsWith(text + QLatin1Char('\n')));
        break;
    case Field::Description:
        QVERIFY(f.descriptionBox()->toPlainText().endsWith(QLatin1Char('\n') + text));
        QVERIFY(overlay.descriptionBox()->toPlainText().endsWith(QLatin1Char('\n') + text));
        break;
    case Field::AddedBy:
        QCOMPARE(f.camStatusBar()->panelText(1), QStringLiteral("Cam added by: ") + text);
        QVERIFY(overlay.figuresLabel()->text().endsWith(QStringLiteral("Cam added by: ") + text));
        break;
    case Field::Views:
        QCOMPARE(f.camStatusBar()->panelText(2), text);
        QVERIFY(overlay.figuresLabel()->text().startsWith(QStringLiteral("Views: ") + text));
        break;
    case Field::CommentCount:
        QCOMPARE(f.camStatusBar()->panelText(3), text);
        QVERIFY(overlay.figuresLabel()->text().contains(QStringLiteral("Comments: ") + text));
        break;
    case Field::CommentName:
    case Field::CommentText:
    case Field::CommentDate: {
        const int i = field == Field::CommentName ? 0 : field == Field::CommentText ? 1 : 2;
        // A long comment text is broken into lines; what the lines hold is the text itself.
        const auto unbroken = [](QString shownText) { return shownText.remove(QLatin1Char('\n')).remove(QLatin1Char(' ')); };
        QCOMPARE(unbroken(f.commentLabels()[i]->text()), unbroken(text));
        QCOMPARE(unbroken(run.app->fullscreenWindow().commentBar().labels[i]->text()), unbroken(text));
        break;
    }
    }

    // What the windows show: the markup's own characters, nothing red anywhere. The comment
    // labels and the overlay's figures are looked at one by one, so a red picture laid over
    // by a sibling still counts.
    QList<QWidget *> shown{&f, &overlay, overlay.figuresLabel()};
    for (QLabel *label : f.commentLabels())
        shown.append(label);
    for (QLabel *label : run.app->fullscreenWindow().commentBar().labels)
        shown.append(label);
    // The comment bar's background and tab and the random-cam button's dice are red by
    // design and show no server text; at the window's minimum size, which the grab's
    // adjustSize() gives, they are in sight, so they are hidden for the window's grab.
    f.commentBackground()->hide();
    f.commentTab()->hide();
    f.toolbar()->hide();
    for (QWidget *w : shown) {
        w->adjustSize();
        QVERIFY2(redPixels(w) == 0, qPrintable(w->objectName()));
    }
}

void TestFaults::workingFileLinks_data()
{
    QTest::addColumn<QString>("name");     // the working file's name, taken before the viewer starts
    QTest::addColumn<Squatter>("squatter");

    QTest::newRow("catalogue and comments through a link") << "temp.tmp" << Squatter::LinkToOutside;
    QTest::newRow("picture through a link") << "temp.jpg" << Squatter::LinkToOutside;
    QTest::newRow("a folder of the picture's name") << "temp.jpg" << Squatter::Folder;
}

// Working files are never written through an entry already there: a link is replaced, not
// followed, a folder makes that name unwritable, and nothing outside the folder changes.
void TestFaults::workingFileLinks()
{
    QFETCH(QString, name);
    QFETCH(Squatter, squatter);

    QTemporaryDir outside;
    QVERIFY(outside.isValid());
    const QString victim = QDir(outside.path()).filePath(QStringLiteral("victim.txt"));
    const QByteArray victimContent = "somebody else's file, not to be overwritten";
    {
        QFile v(victim);
        QVERIFY(v.open(QIODevice::WriteOnly) && v.write(victimContent) == victimContent.size());
    }

    AppRun run(TimeoutMs);
    const QDir work(run.dir.path());
    if (squatter == Squatter::LinkToOutside)
        QVERIFY(QFile::link(victim, work.filePath(name)));
    else
        QVERIFY(work.mkdir(name));

    startAt(run, QStringLiteral("cam.jpg"));
    QCOMPARE(run.messages, QStringList());
    checkRefreshWorks(run, QStringLiteral("cam.jpg"));
    checkRefreshWorks(run, QStringLiteral("cam.jpg"));

    QFile v(victim);
    QVERIFY(v.open(QIODevice::ReadOnly));
    QCOMPARE(v.readAll(), victimContent);
    QCOMPARE(QDir(outside.path()).entryList(QDir::Files), QStringList{QStringLiteral("victim.txt")});
    if (squatter == Squatter::Folder)
        QVERIFY(QFileInfo(work.filePath(name)).isDir());

    // The end of the program deletes the working files, and a link only as a link.
    if (squatter == Squatter::LinkToOutside)
        QVERIFY(QFile::link(victim, work.filePath(name)));
    run.app->shutdown();
    QCOMPARE(run.leftovers(), QStringList());
    QVERIFY(QFileInfo::exists(victim));
}

// A cam id reaches the server as that id, one query value, whatever characters it holds.
void TestFaults::oddCamIds()
{
    const QList<QByteArray> ids{"1&admin=1", "2#frag", "a b+c", "50%", "x;y"};
    QByteArray catalogue;
    for (const QByteArray &id : ids) {
        if (!id.contains(';'))
            catalogue += oneCam(id, "Cam " + id);
    }
    QVERIFY(writeServed(QStringLiteral("camlist.txt"), catalogue));

    AppRun run(TimeoutMs);
    QVERIFY(run.writeConfig(m_server->baseUrl()));
    QVERIFY(run.startAndWait());
    QCOMPARE(run.app->state().catalogue.camCount(), 4);
    for (int cam = 0; cam < 4; ++cam) {
        QVERIFY(m_server->resetLog());
        run.app->selection().rowClicked(cam);
        QVERIFY(run.refresh());
        QStringList asked;
        for (const QString &line : m_server->requests())
            if (line.startsWith(QStringLiteral("GET /comments.php")))
                asked.append(line.split(QLatin1Char(' ')).value(1));
        QCOMPARE(asked.size(), 1);
        const QUrlQuery query(QUrl(asked.first()).query(QUrl::FullyEncoded));
        QCOMPARE(query.queryItems(QUrl::FullyDecoded),
                 (QList<QPair<QString, QString>>{{QStringLiteral("camid"), QString::fromUtf8(ids[cam])}}));
    }
}

void TestFaults::hugeFields_data()
{
    addFieldRows();
}

// One field of 15 MB, just under the answer caps: the viewer starts, shows the cam and its
// comment in little time and memory, and keeps the whole field where the rules read it.
void TestFaults::hugeFields()
{
    QFETCH(Field, field);

    QByteArray huge;
    huge.reserve(15'000'000);
    while (huge.size() < 15'000'000)
        huge += "Huge field words ";
    QVERIFY(serveOneCamWith(field, huge));

    AppRun run(TimeoutMs);
    QVERIFY(run.writeConfig(m_server->baseUrl()));
    MainWindow &f = run.app->mainWindow();
    MemoryWatch memory;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(run.startAndWait());
    run.app->heartbeat().onTick();
    QVERIFY(run.waitForRefresh());
    QVERIFY(commentBarComesUp(*run.app));
    (void)f.grab();
    (void)run.app->infoBarPanel().grab();
    const qint64 elapsed = clock.elapsed();
    const qint64 growth = memory.growth();
    qInfo("15 MB %s: %lld ms, %.0f MiB", QTest::currentDataTag(), elapsed, growth / double(MiB));
    QVERIFY2(elapsed < 6000, qPrintable(QString::number(elapsed)));
    QVERIFY2(growth < 400 * MiB, qPrintable(QStringLiteral("%1 MiB").arg(growth / double(MiB))));

    // The rules still read the whole field.
    const RunningState &s = run.app->state();
    const bool inComment = field == Field::CommentName || field == Field::CommentText || field == Field::CommentDate;
    QVERIFY((inComment ? s.selection.commentTable().first() : s.catalogue.camTable().first()).contains(QString::fromLatin1(huge)));
    QCOMPARE(run.leftovers(), QStringList());
}


// ---- A live cam's stream -----------------------------------------------------------------

void TestFaults::liveStream_data()
{
    QTest::addColumn<QString>("stream"); // the cam's address on the server
    QTest::addColumn<QString>("fault");  // on the stream's addresses
    QTest::addColumn<QString>("reason"); // how the reason shown begins; none: frames go on
    const QString mjpeg = QStringLiteral("/live/1001.mjpg");
    QTest::newRow("LF lines, delimiters without --, no lengths") << mjpeg << "live-lf" << QString();
    QTest::newRow("boundary missing") << mjpeg << "live-no-boundary" << "The live stream names no boundary";
    QTest::newRow("part over the cap") << mjpeg << "live-big-part:40000000" << "A part of the live stream is larger than";
    QTest::newRow("endless part") << mjpeg << "live-endless-part" << "A part of the live stream is larger than";
    QTest::newRow("stalled mid-part") << mjpeg << "live-stall-part" << "No answer for";
    QTest::newRow("part trickled, never whole") << mjpeg << "live-trickle-part" << "No picture for";
    QTest::newRow("garbage between parts") << mjpeg << "live-garbage" << "The live stream holds data between its parts";
    QTest::newRow("server closes after 5 frames") << mjpeg << "live-close:5" << "The live stream ended after 5 pictures";
    const QString hls = QStringLiteral("/hls/1003/index.m3u8");
    QTest::newRow("video: playlist stops advancing") << hls << "hls-stalled-playlist" << "No new video for 3 seconds";
    QTest::newRow("video: segments missing") << hls << "hls-missing-segment" << "HTTP 404 Not Found";
    QTest::newRow("video: segments cut short") << hls << "hls-truncated-segment" << "The server sent no complete answer";
    QTest::newRow("video: endless playlist") << hls << "hls-endless-playlist" << "The answer is larger than 1048576 bytes";
    QTest::newRow("video: not a playlist") << hls << "hls-garbage-playlist" << "Not a playlist";
    // Faults of an RTSP server of our own; gone, it serves the same port as it should.
    const QString rtsp = QStringLiteral("/cam");
    QTest::newRow("rtsp: connection refused") << rtsp << "rtsp-refused" << "Connection refused";
    QTest::newRow("rtsp: wrong password") << rtsp << "rtsp-wrong-password" << "The cam refused the credentials";
    QTest::newRow("rtsp: server ends the session") << rtsp << "rtsp-teardown:2" << "The cam's server ended the session";
}

// Frames move on the picture area; a stream that fails shows why, and once the server
// behaves the cam's next refresh, backed off, is live again.
void TestFaults::liveStream()
{
    QFETCH(QString, stream);
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    const bool rtsp = fault.startsWith(QLatin1String("rtsp-"));
    RtspServerProcess rtspServer;
    RtspServerProcess::Options healthy;
    QByteArray address = "{base}" + stream.toLatin1();
    if (rtsp) {
        healthy.port = RtspServerProcess::unusedPort();
        RtspServerProcess::Options faulty = healthy;
        if (fault == QLatin1String("rtsp-wrong-password")) {
            faulty.user = healthy.user = QStringLiteral("viewer");
            faulty.password = QStringLiteral("right");
            healthy.password = QStringLiteral("wrong"); // what the address says
        }
        if (fault.startsWith(QLatin1String("rtsp-teardown:")))
            faulty.endAfterSeconds = fault.section(QLatin1Char(':'), 1).toInt();
        if (fault != QLatin1String("rtsp-refused"))
            QVERIFY2(rtspServer.start(faulty), qPrintable(rtspServer.errorString()));
        address = RtspServerProcess::address(healthy.port, healthy.user, healthy.password).toLatin1();
    } else {
        // A video's playlists and segments all take the fault.
        QVERIFY(m_server->setFault(stream.startsWith(QLatin1String("/hls/")) ? QStringLiteral("/hls/*") : stream, fault));
    }
    QVERIFY(writeServed(QStringLiteral("camlist.txt"),
                        goodCatalogue() + "4;Live cam;" + address + ";A live cam;;5;2;10;tester\r\n"));
    AppRun run(TimeoutMs, DecodeBudgetMs);
    MainWindow &f = run.app->mainWindow();
    const auto framesGoOn = [&] {
        const qint64 before = run.app->fetch().framesShown();
        QTRY_VERIFY_WITH_TIMEOUT(run.app->fetch().isLive() && run.app->fetch().framesShown() >= before + 5, 10000);
        QVERIFY(f.pictureArea()->failureReason().isEmpty());
        QVERIFY(!allBlack(f.pictureArea()->surface()));
    };
    MemoryWatch memory;
    startAt(run, stream);
    f.refreshIntervalEdit()->setText(QStringLiteral("1"));
    if (reason.isEmpty()) {
        framesGoOn();
        return;
    }
    QTRY_VERIFY2_WITH_TIMEOUT(f.pictureArea()->failureReason().startsWith(reason),
                              qPrintable(f.pictureArea()->failureReason()), TimeoutMs + 10000);
    QVERIFY(f.pictureArea()->failureReason().contains(QStringLiteral("(next try in ")));
    QVERIFY(!run.app->fetch().isLive());
    QVERIFY2(memory.growth() < 64 * MiB, qPrintable(QString::number(memory.growth() / double(MiB))));
    // The next try may already be under way; between refreshes nothing is left.
    QTRY_VERIFY_WITH_TIMEOUT(!run.app->fetch().isRunning(), TimeoutMs);
    QCOMPARE(run.leftovers(), QStringList());

    if (rtsp)
        QVERIFY2(rtspServer.start(healthy), qPrintable(rtspServer.errorString()));
    else
        QVERIFY(m_server->clearFaults());
    framesGoOn();
}

// ---- Answers on kept connections -------------------------------------------------------

void TestFaults::answersInStep_data()
{
    QTest::addColumn<QString>("path"); // whose answers are followed by one nobody asked for
    QTest::newRow("unasked answer after the picture") << "/pics/cam.jpg";
    QTest::newRow("unasked answer after the comments") << "/comments.php";
}

// Each answer belongs to the request that asked for it: a host that sends one unasked may
// spoil the refresh under way when it comes, never the ones after.
void TestFaults::answersInStep()
{
    QFETCH(QString, path);
    AppRun run(TimeoutMs);
    startAt(run, QStringLiteral("cam.jpg"));
    checkRefreshWorks(run, QStringLiteral("cam.jpg"));
    QVERIFY(m_server->setFault(path, QStringLiteral("unasked:300")));
    const QStringList good{QStringLiteral("Ann;A fine view;01.02.2020"), QStringLiteral("Bob;Nice light today;03.04.2021"),
                           QString()};
    MainWindow &f = run.app->mainWindow();
    QStringList spoiled;
    bool lastRight = false;
    for (int round = 0; round < 4; ++round) {
        QVERIFY(run.refresh());
        lastRight = !f.pictureArea()->picture().isNull() && f.pictureArea()->failureReason().isEmpty()
            && run.app->state().selection.commentTable() == good;
        if (!lastRight)
            spoiled << f.pictureArea()->failureReason() + QLatin1String(" | ") + run.app->state().selection.commentTable().join(QLatin1Char('/'));
        // The unasked answer arrives while the connection is idle.
        QTest::qWait(600);
    }
    QVERIFY2(spoiled.size() <= 1 && lastRight, qPrintable(spoiled.join(QLatin1Char('\n'))));
}

// ---- The wall ----------------------------------------------------------------------------

void TestFaults::wallFaults_data()
{
    QTest::addColumn<QString>("fault");  // on the first faulty tiles' pictures
    QTest::addColumn<int>("tiles");
    QTest::addColumn<int>("faulty");     // the others must show their pictures and no failure
    QTest::addColumn<bool>("live");      // the tiles' cams are live streams of one server
    QTest::addColumn<int>("memoryMiB");  // the most the process may grow while the tiles refresh once
    // The longest the window thread may go without a turn meanwhile: well under what a tile's
    // picture took before its reads were paced (500 ms and more), with room for a busy machine.
    QTest::addColumn<int>("blockMs");
    QTest::addColumn<QString>("reason"); // how every tile's reason begins

    QTest::newRow("25 pictures just under the cap") << "bytes:33554000" << 25 << 25 << false << 192 << 150
                                                    << "The answer is larger than";
    QTest::newRow("25 endless bodies") << "endless" << 25 << 25 << false << 192 << 150 << "The answer is larger than";
    // Each tile's share is the whole cap: 32 MiB of each arriving as fast as it is taken.
    QTest::newRow("4 endless bodies") << "endless" << 4 << 4 << false << 192 << 150
                                      << "The answer is larger than 33554432 bytes";
    // More than the host's share of connections stall: the others wait their turn, unharmed.
    QTest::newRow("6 of 25 cams of one host stall") << "stall" << 25 << 6 << false << 192 << 150 << "No answer for";
    QTest::newRow("25 live cams of one host") << QString() << 25 << 0 << true << 192 << 150 << QString();
}

// The wall's tiles all sent the worst at once: the wall's memory stays within its budget,
// the windows keep answering, every tile says why, and the selected cam's refresh still
// takes a picture up to its own cap.
void TestFaults::wallFaults()
{
    QFETCH(QString, fault);
    QFETCH(int, tiles);
    QFETCH(int, faulty);
    QFETCH(bool, live);
    QFETCH(int, memoryMiB);
    QFETCH(int, blockMs);
    QFETCH(QString, reason);

    QByteArray catalogue;
    const QByteArray jpeg = goodPicture(QStringLiteral("jpg"));
    QVERIFY(QDir(m_files.path()).mkpath(QStringLiteral("pictures/tiles")));
    for (int i = 0; i < tiles; ++i) {
        const QByteArray name = (i < faulty ? "bad" : "good") + QByteArray::number(i) + ".jpg";
        QVERIFY(writeServed(QStringLiteral("pictures/tiles/") + QLatin1String(name), jpeg));
        const QByteArray address = live ? "/live/" + QByteArray::number(1001 + i) + ".mjpg?size=160x120" : "/tiles/" + name;
        catalogue += QByteArray::number(101 + i) + ";Tile " + QByteArray::number(i) + ";{base}" + address
            + ";A tile;;5;2;10;tester\r\n";
    }
    QVERIFY(writeServed(QStringLiteral("camlist.txt"), catalogue + goodCatalogue()));
    if (!fault.isEmpty())
        QVERIFY(m_server->setFault(QStringLiteral("/tiles/bad*"), fault));
    qputenv("XDG_CONFIG_HOME", QDir(m_files.path()).filePath(QStringLiteral("config")).toLocal8Bit());

    AppRun run(TimeoutMs, DecodeBudgetMs, StartOptions{false, QStringLiteral("1"), {}, {}, {}, {}});
    QVERIFY(run.writeConfig(m_server->baseUrl()));
    QVERIFY(run.startAndWait());
    QVERIFY(run.waitForRefresh());
    run.app->mainWindow().refreshIntervalEdit()->setText(QStringLiteral("60"));
    // The tiles' cams are the favourites, so the wall shows them alone.
    for (int i = 0; i < tiles; ++i)
        run.app->state().catalogue.setFavourite(QString::number(101 + i), true);

    WallWindow &wall = run.app->wallWindow();
    QList<bool> ended(tiles, false);
    qint64 growth = 0;
    qint64 block = 0;
    {
        MemoryWatch memory;
        LoopGapWatch window;
        run.app->openWall();
        QCOMPARE(run.app->wallRefresh().tiles().size(), tiles);
        for (int i = 0; i < tiles; ++i)
            connect(run.app->wallRefresh().tiles().at(i), &TileRefresh::refreshEnded, &wall,
                    [&ended, i] { ended[i] = true; });
        // A stream's frames end no refresh: every tile shows one.
        const auto allShow = [&] {
            return std::none_of(wall.tiles().begin(), wall.tiles().end(),
                                [](WallTile *t) { return allBlack(t->pictureArea()->surface()); });
        };
        // A tile behind the stalled ones says it waits, and is no failure.
        if (faulty > 0 && faulty < tiles)
            QTRY_COMPARE_WITH_TIMEOUT(wall.tiles().at(faulty)->pictureArea()->unchangedBadge(),
                                      fetch_rules::WaitingForConnectionText, TimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(live ? allShow() : !ended.contains(false), TimeoutMs + 30000);
        growth = memory.growth();
        block = window.longest();
    }
    qInfo("memory grew by %.1f MiB, longest window block %lld ms; the first tile shows \"%s\"", growth / double(MiB),
          block, qPrintable(wall.tiles().first()->pictureArea()->failureReason()));
    QVERIFY2(growth < memoryMiB * MiB, qPrintable(QStringLiteral("%1 MiB").arg(growth / double(MiB))));
    QVERIFY2(block <= blockMs, qPrintable(QStringLiteral("%1 ms").arg(block)));
    for (int i = 0; i < tiles; ++i) {
        WallTile *tile = wall.tiles().at(i);
        const QString shown = tile->pictureArea()->failureReason();
        if (i < faulty) {
            QVERIFY2(shown.startsWith(reason) && shown.contains(QStringLiteral("(next try in ")), qPrintable(shown));
            QVERIFY(allBlack(tile->pictureArea()->surface()));
        } else {
            // Never failed, so not marked failing in the list either.
            QVERIFY2(shown.isEmpty(), qPrintable(QStringLiteral("tile %1: %2").arg(i).arg(shown)));
            QVERIFY(!allBlack(tile->pictureArea()->surface()));
            QCOMPARE(run.app->state().health.of(QString::number(101 + i)).failuresInARow, 0);
        }
    }
    wall.close();
    // The selected cam's own refresh may have waited its turn behind the tiles.
    QTRY_VERIFY_WITH_TIMEOUT(!run.app->fetch().isRunning(), TimeoutMs + 5000);
    QCOMPARE(run.leftovers(), QStringList());

    // The selected cam's refresh takes a picture over the wall's share of its budget.
    QVERIFY(writeServed(QStringLiteral("pictures/pics/cam.jpg"), jpeg + QByteArray(12 * MiB, '\0')));
    QVERIFY(run.refresh());
    QVERIFY2(run.app->mainWindow().pictureArea()->failureReason().isEmpty(),
             qPrintable(run.app->mainWindow().pictureArea()->failureReason()));
    QCOMPARE(run.app->mainWindow().pictureArea()->picture().size(), scene().size());
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
