// Drives a real lumora-camserver over loopback HTTP: documents, pictures, options and faults.

#include "camserverprocess.h"
#include "gunzip.h"
#include "securehttp.h"
#include "segmentframes.h"
#include "slowclients.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QImage>
#include <QImageReader>
#include <QLocale>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <thread>

namespace {

struct CatalogueLine {
    QByteArray raw;
    QList<QByteArray> fields;
};

// Splits strictly at CR LF; any other line break left inside a line is a format error
// the caller checks for.
QList<CatalogueLine> splitCatalogue(const QByteArray &doc)
{
    QList<CatalogueLine> lines;
    QByteArray rest = doc;
    while (!rest.isEmpty()) {
        const int end = rest.indexOf("\r\n");
        const QByteArray line = end < 0 ? rest : rest.left(end);
        lines.append({line, line.split(';')});
        rest = end < 0 ? QByteArray() : rest.mid(end + 2);
    }
    return lines;
}

QImage decode(const QByteArray &bytes, QByteArray *format = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (format)
        *format = reader.format();
    return reader.read();
}

QByteArray pathOf(const QByteArray &url, const QString &base)
{
    return url.mid(base.toLatin1().size());
}

// Average per-channel difference over the part of the picture that carries no clock,
// so two renderings taken a moment apart compare like for like.
double meanDifferenceOutsideClock(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    const int w = x.width(), h = x.height();
    const int clockBand = h * 15 / 100;
    const int dial = std::min(w, h) / 4;
    double sum = 0;
    qint64 n = 0;
    for (int row = 0; row < h - clockBand; ++row) {
        const QRgb *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const QRgb *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < w; ++col) {
            if (row < dial && col > w - dial)
                continue;
            sum += std::abs(qRed(p[col]) - qRed(q[col])) + std::abs(qGreen(p[col]) - qGreen(q[col]))
                + std::abs(qBlue(p[col]) - qBlue(q[col]));
            n += 3;
        }
    }
    return n ? sum / double(n) : 0;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// What a stream answer brought within a time, or up to a byte count: streams never end,
// and some faults send as fast as they are read.
struct StreamCapture {
    QByteArray head; // status line and fields, without the blank line
    QByteArray body;
    bool closedByServer = false;
    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : head.split('\n')) {
            const int colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }
};

StreamCapture readStream(quint16 port, const QByteArray &target, int ms, qint64 maxBytes = 8 << 20)
{
    StreamCapture capture;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket.waitForConnected(3000))
        return capture;
    socket.write("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray raw;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms && raw.size() < maxBytes) {
        if (socket.waitForReadyRead(int(std::max<qint64>(1, std::min<qint64>(100, ms - timer.elapsed()))))) {
            raw += socket.read(maxBytes - raw.size());
        } else if (socket.state() != QAbstractSocket::ConnectedState) {
            raw += socket.readAll();
            capture.closedByServer = true;
            break;
        }
    }
    const qsizetype end = raw.indexOf("\r\n\r\n");
    capture.head = raw.left(end);
    capture.body = end < 0 ? QByteArray() : raw.mid(end + 4);
    return capture;
}

// The well-formed parts at the start of a stream body, each "--lumoraframe CR LF", fields
// with a Content-Length, a blank line, that many bytes and CR LF; rest is what follows them.
QList<QByteArray> streamParts(const QByteArray &body, QByteArray *rest = nullptr)
{
    QList<QByteArray> parts;
    qsizetype at = 0;
    static const QRegularExpression length(QStringLiteral("\r\nContent-Length: (\\d+)\r\n"));
    while (body.mid(at).startsWith("--lumoraframe\r\nContent-Type: image/jpeg\r\n")) {
        const qsizetype fieldsEnd = body.indexOf("\r\n\r\n", at);
        const auto m = length.match(QString::fromLatin1(body.mid(at, fieldsEnd + 4 - at)));
        if (fieldsEnd < 0 || !m.hasMatch())
            break;
        const qsizetype size = m.captured(1).toLongLong();
        if (body.size() < fieldsEnd + 4 + size + 2 || body.mid(fieldsEnd + 4 + size, 2) != "\r\n")
            break;
        parts << body.mid(fieldsEnd + 4, size);
        at = fieldsEnd + 4 + size + 2;
    }
    if (rest)
        *rest = body.mid(at);
    return parts;
}

// Each part a JPEG picture of the size, and no two in a row alike in bytes or in pixels.
bool framesAreFreshPictures(const QList<QByteArray> &parts, QSize size)
{
    QImage previous;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QByteArray format;
        const QImage image = decode(parts.at(i), &format);
        if (format != "jpeg" || image.size() != size || (i > 0 && (parts.at(i) == parts.at(i - 1) || image == previous)))
            return false;
        previous = image;
    }
    return true;
}

// The segment numbers of a live media playlist: five one-second segments counted on from its
// media sequence, without an end; empty for anything else.
QList<qint64> liveSegments(const QByteArray &playlist)
{
    static const QRegularExpression form(QStringLiteral(
        "^#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:(\\d+)\n"
        "((?:#EXTINF:1\\.000,\nseg\\d+\\.ts\n){5})$"));
    const auto m = form.match(QString::fromLatin1(playlist));
    QList<qint64> numbers;
    if (!m.hasMatch())
        return numbers;
    static const QRegularExpression uri(QStringLiteral("seg(\\d+)\\.ts"));
    for (auto it = uri.globalMatch(m.captured(2)); it.hasNext();) {
        const qint64 n = it.next().captured(1).toLongLong();
        if (n != m.captured(1).toLongLong() + numbers.size())
            return {};
        numbers << n;
    }
    return numbers;
}

// Each variant of a master playlist: its BANDWIDTH, RESOLUTION, CODECS and URI.
QList<QMap<QString, QString>> masterVariants(const QByteArray &playlist)
{
    static const QRegularExpression entry(QStringLiteral(
        "#EXT-X-STREAM-INF:BANDWIDTH=(\\d+),RESOLUTION=(\\d+x\\d+),CODECS=\"(avc1\\.[0-9A-F]{6})\"\n([^\n]+)\n"));
    QList<QMap<QString, QString>> variants;
    for (auto it = entry.globalMatch(QString::fromLatin1(playlist)); it.hasNext();) {
        const auto m = it.next();
        variants.append({{QStringLiteral("BANDWIDTH"), m.captured(1)}, {QStringLiteral("RESOLUTION"), m.captured(2)},
                         {QStringLiteral("CODECS"), m.captured(3)}, {QStringLiteral("URI"), m.captured(4)}});
    }
    return variants;
}
} // namespace

class TstCamServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void demoCatalogueFormat();
    void demoCatalogueIsWindows1252();
    void pictureAddressesFollowHostHeader();
    void catalogueBase_data();
    void catalogueBase();
    void commentCountsMatchCommentsServed();
    void unknownCamHasNoComments();
    void documentCoding_data();
    void documentCoding();

    void pictureFormats_data();
    void pictureFormats();
    void everyCataloguePictureDecodes();
    void picturesChangeEverySecond();
    void liveStreams_data();
    void liveStreams();
    void liveSizesShareRenderers();
    void streamEndsWhenServerStops();
    void hlsStreams_data();
    void hlsStreams();
    void sceneIsStablePerCam();
    void gifMatchesRenderedScene_data();
    void gifMatchesRenderedScene();

    void catalogueFileWithBase();
    void commentsFolderOverridesDemo();
    void picturesFolder_data();
    void picturesFolder();

    void faults_data();
    void faults();
    void redirectLoopDefeatsRealClient();
    void faultsFromCommandLine();
    void badFaultRulesRejected_data();
    void badFaultRulesRejected();
    void stallIsCapped();
    void stopsPromptlyWhileStalled();
    void requestLog();
    void logOption();
    void requestLogIsBounded();
    void controlOnlyWhenAsked();
    void slowClientsStarveNoOne_data();
    void slowClientsStarveNoOne();

    void endlessBody();
    void redirectChain_data();
    void redirectChain();
    void longHeader_data();
    void longHeader();
    void helpListsEveryMode();
    void conditionalAnswers_data();
    void conditionalAnswers();
    void conditionalSwitchedOff();
    void pictureFileChangeIsSeen();
    void badTagFaults_data();
    void badTagFaults();
    void sceneTimeHoldsThePicture();
    void helpPrintsAndExits_data();
    void helpPrintsAndExits();
    void credentials_data();
    void credentials();
    void picturesOverTls();

private:
    CamServerProcess m_server;
    QByteArray m_catalogue;
};

void TstCamServer::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    const RawHttpReply reply = m_server.get("/camlist.php");
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.complete());
    m_catalogue = reply.body;
}

void TstCamServer::cleanup()
{
    QVERIFY(m_server.clearFaults());
    QVERIFY(m_server.resetLog());
}

void TstCamServer::demoCatalogueFormat()
{
    QVERIFY(m_catalogue.endsWith("\r\n"));
    const QList<CatalogueLine> lines = splitCatalogue(m_catalogue);
    QVERIFY2(lines.size() >= 30, qPrintable(QString::number(lines.size())));

    QSet<QByteArray> ids;
    QSet<QString> forms;
    for (const CatalogueLine &line : lines) {
        QVERIFY2(!line.raw.contains('\n') && !line.raw.contains('\r'), line.raw.constData());
        QCOMPARE(line.fields.size(), 9);
        const QByteArray &id = line.fields[0];
        QVERIFY(!id.isEmpty());
        QVERIFY2(!ids.contains(id), id.constData());
        ids.insert(id);
        QVERIFY(!line.fields[1].isEmpty());
        const QByteArray url = line.fields[2];
        QVERIFY2(url.startsWith(m_server.baseUrl().toLatin1() + '/'), url.constData());
        bool ok = false;
        const int rating = line.fields[5].toInt(&ok);
        QVERIFY(ok && rating >= 0 && rating <= 5);
        QVERIFY(line.fields[6].toInt(&ok) >= 0 && ok);
        QVERIFY(line.fields[7].toInt(&ok) >= 0 && ok);
        QVERIFY(!line.fields[8].isEmpty());

        const QByteArray path = pathOf(url, m_server.baseUrl());
        if (path.startsWith("/cam.php?id="))
            forms << QStringLiteral("script");
        else if (path.contains('?'))
            forms << QStringLiteral("query");
        else
            forms << QString::fromLatin1(path.mid(path.lastIndexOf('.') + 1));
    }
    for (const char *form : {"jpg", "png", "gif", "jpeg", "query", "script"})
        QVERIFY2(forms.contains(QLatin1String(form)), form);
    QVERIFY(m_catalogue.contains("<br>"));
}

void TstCamServer::demoCatalogueIsWindows1252()
{
    const RawHttpReply reply = m_server.get("/camlist.php");
    QVERIFY(reply.header("Content-Type").contains("windows-1252"));
    // ö, é, ß and € as single bytes; their UTF-8 forms must not appear.
    for (const char *single : {"\xF6", "\xE9", "\xDF", "\x80"})
        QVERIFY2(m_catalogue.contains(single), single);
    for (const char *utf8 : {"\xC3\xB6", "\xC3\xA9", "\xC3\x9F", "\xE2\x82\xAC"})
        QVERIFY(!m_catalogue.contains(utf8));
    QStringDecoder strictUtf8(QStringDecoder::Utf8);
    const QString decoded = strictUtf8.decode(m_catalogue);
    QVERIFY(!decoded.isEmpty());
    QVERIFY(strictUtf8.hasError());
    QVERIFY(m_catalogue.contains("Brennerh\xF6he Pass"));
}

void TstCamServer::pictureAddressesFollowHostHeader()
{
    const QByteArray host = "localhost:" + QByteArray::number(m_server.port());
    const RawHttpReply reply = m_server.get("/camlist.php", 5000, {{"Host", host}});
    QCOMPARE(reply.status, 200);
    const QList<CatalogueLine> lines = splitCatalogue(reply.body);
    QVERIFY(!lines.isEmpty());
    for (const CatalogueLine &line : lines)
        QVERIFY2(line.fields.value(2).startsWith("http://" + host + "/"), line.fields.value(2).constData());
}

// {base} is never text a client chose beyond a well-formed host[:port]: a Host with a path,
// query or spaces gets the bound address, and --base wins over any Host.
void TstCamServer::catalogueBase_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QString>("expected"); // empty: this server's own address
    QTest::newRow("path and query in Host") << QStringList() << QByteArray("evil.example/steal?x=") << QString();
    QTest::newRow("space in Host") << QStringList() << QByteArray("evil.example x") << QString();
    QTest::newRow("--base wins") << QStringList {QStringLiteral("--base"), QStringLiteral("https://cams.example.org/")}
                                 << QByteArray("localhost") << QStringLiteral("https://cams.example.org");
}

void TstCamServer::catalogueBase()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, host);
    QFETCH(QString, expected);
    CamServerProcess own(args);
    CamServerProcess *server = &m_server;
    if (!args.isEmpty()) {
        QVERIFY2(own.start(), qPrintable(own.errorString()));
        server = &own;
    }
    const QByteArray base = (expected.isEmpty() ? server->baseUrl() : expected).toLatin1();
    const RawHttpReply reply = server->get("/camlist.php", 5000, {{"Host", host}});
    QCOMPARE(reply.status, 200);
    const QList<CatalogueLine> lines = splitCatalogue(reply.body);
    QVERIFY(!lines.isEmpty());
    for (const CatalogueLine &line : lines)
        QVERIFY2(line.fields.value(2).startsWith(base + "/"), line.fields.value(2).constData());
}

void TstCamServer::commentCountsMatchCommentsServed()
{
    int withoutComments = 0, withMarkup = 0, withDoubleBlanks = 0, longest = 0;
    for (const CatalogueLine &line : splitCatalogue(m_catalogue)) {
        const RawHttpReply reply = m_server.get("/comments.php?camid=" + line.fields[0]);
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.complete());
        const QList<CatalogueLine> comments = splitCatalogue(reply.body);
        QCOMPARE(QByteArray::number(comments.size()), line.fields[6]);
        if (comments.isEmpty()) {
            QVERIFY(reply.body.isEmpty());
            ++withoutComments;
            continue;
        }
        QVERIFY(reply.body.endsWith("\r\n"));
        for (const CatalogueLine &comment : comments) {
            QCOMPARE(comment.fields.size(), 3);
            QVERIFY(!comment.fields[0].isEmpty());
            QVERIFY(!comment.fields[2].isEmpty());
            withMarkup += comment.fields[1].contains("<br />");
            withDoubleBlanks += comment.fields[1].contains("  ");
            longest = std::max<int>(longest, comment.fields[1].split(' ').size());
        }
    }
    QVERIFY(withoutComments > 0);
    QVERIFY(withMarkup > 0);
    QVERIFY(withDoubleBlanks > 0);
    QVERIFY2(longest >= 30, qPrintable(QString::number(longest)));
}

void TstCamServer::unknownCamHasNoComments()
{
    for (const QByteArray &target : {QByteArray("/comments.php?camid=999999"), QByteArray("/comments.php"),
                                    QByteArray("/comments.php?camid=..%2F..%2Fetc%2Fpasswd")}) {
        const RawHttpReply reply = m_server.get(target);
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.complete());
        QVERIFY(reply.body.isEmpty());
    }
}

// The documents come gzip-compressed exactly when the request allows it, and inflate to the
// plain answer; pictures never do.
void TstCamServer::documentCoding_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("acceptEncoding"); // empty: no such field
    QTest::addColumn<bool>("gzipped");

    const QByteArray cat = "/camlist.php";
    const QByteArray comments = "/comments.php?camid=1001";
    QTest::newRow("catalogue, gzip") << cat << QByteArray("gzip") << true;
    QTest::newRow("catalogue, gzip at q=0") << cat << QByteArray("gzip;q=0, identity") << false;
    QTest::newRow("catalogue, any coding") << cat << QByteArray("br, *;q=0.5") << true;
    QTest::newRow("catalogue, gzip refused, any allowed") << cat << QByteArray("*, GZIP; q=0.000") << false;
    QTest::newRow("comments, gzip among others") << comments << QByteArray("deflate, x-gzip;q=0.8") << true;
    QTest::newRow("comments, no field") << comments << QByteArray() << false;
    QTest::newRow("picture") << QByteArray("/cams/1001.jpg?size=64x48") << QByteArray("gzip") << false;
    QTest::newRow("picture by script") << QByteArray("/cam.php?id=1001&size=64x48") << QByteArray("gzip, *") << false;
}

void TstCamServer::documentCoding()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, acceptEncoding);
    QFETCH(bool, gzipped);

    QList<QPair<QByteArray, QByteArray>> fields;
    if (!acceptEncoding.isEmpty())
        fields.append({"Accept-Encoding", acceptEncoding});
    const RawHttpReply reply = m_server.get(target, 5000, fields);
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.complete());
    QCOMPARE(reply.header("Content-Encoding"), gzipped ? QByteArray("gzip") : QByteArray());
    if (reply.header("Content-Type").startsWith("image/")) {
        QVERIFY(reply.body.startsWith("\xFF\xD8"));
        return;
    }
    QCOMPARE(reply.header("Vary"), QByteArray("Accept-Encoding"));
    bool whole = true;
    QCOMPARE(gzipped ? gunzip(reply.body, &whole) : reply.body, m_server.get(target).body);
    QVERIFY(whole);
}

void TstCamServer::pictureFormats_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("transparentCorner");

    QTest::newRow("jpg") << QByteArray("/cams/1001.jpg") << QByteArray("image/jpeg") << QByteArray("jpeg") << QSize(640, 480) << false;
    QTest::newRow("jpg full hd") << QByteArray("/cams/1006.jpg") << QByteArray("image/jpeg") << QByteArray("jpeg") << QSize(1920, 1080) << false;
    QTest::newRow("jpg small") << QByteArray("/cams/1005.jpg") << QByteArray("image/jpeg") << QByteArray("jpeg") << QSize(320, 240) << false;
    QTest::newRow("jpg portrait") << QByteArray("/cams/1018.jpg") << QByteArray("image/jpeg") << QByteArray("jpeg") << QSize(480, 640) << false;
    QTest::newRow("jpg with query") << QByteArray("/cams/1015.jpg?foo=0") << QByteArray("image/jpeg") << QByteArray("jpeg") << QSize(640, 480) << false;
    QTest::newRow("script") << QByteArray("/cam.php?id=1030") << QByteArray("image/jpeg") << QByteArray("jpeg") << QSize(640, 480) << false;
    QTest::newRow("jpeg") << QByteArray("/cams/1025.jpeg") << QByteArray("image/jpeg") << QByteArray("jpeg") << QSize(640, 480) << false;
    QTest::newRow("png") << QByteArray("/cams/1004.png") << QByteArray("image/png") << QByteArray("png") << QSize(640, 480) << false;
    QTest::newRow("png alpha") << QByteArray("/cams/1011.png") << QByteArray("image/png") << QByteArray("png") << QSize(800, 600) << true;
    QTest::newRow("gif") << QByteArray("/cams/1008.gif") << QByteArray("image/gif") << QByteArray("gif") << QSize(320, 240) << false;
    QTest::newRow("gif transparent") << QByteArray("/cams/1022.gif") << QByteArray("image/gif") << QByteArray("gif") << QSize(640, 480) << true;
    QTest::newRow("size override") << QByteArray("/cams/1001.png?size=200x100") << QByteArray("image/png") << QByteArray("png") << QSize(200, 100) << false;
    QTest::newRow("oversized request cut to full HD") << QByteArray("/cams/1001.png?size=9999x9999") << QByteArray("image/png") << QByteArray("png") << QSize(1920, 1080) << false;
    QTest::newRow("one side cut") << QByteArray("/cams/1001.png?size=4096x300") << QByteArray("image/png") << QByteArray("png") << QSize(1920, 300) << false;
}

void TstCamServer::pictureFormats()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(bool, transparentCorner);

    const RawHttpReply reply = m_server.get(target);
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.complete());
    QCOMPARE(reply.header("Content-Type"), contentType);
    QByteArray detected;
    const QImage image = decode(reply.body, &detected);
    QVERIFY(!image.isNull());
    QCOMPARE(detected, format);
    QCOMPARE(image.size(), size);
    // The corner is cut out on transparent cams and painted on all others.
    QCOMPARE(qAlpha(image.pixel(1, 1)) == 0, transparentCorner);
    QCOMPARE(qAlpha(image.pixel(size.width() / 2, size.height() / 2)), 255);
}

void TstCamServer::everyCataloguePictureDecodes()
{
    static const QList<QSize> sizes {{320, 240}, {640, 480}, {800, 600}, {1024, 768},
                                     {1280, 720}, {1920, 1080}, {480, 640}};
    QSet<int> widths;
    int streams = 0;
    for (const CatalogueLine &line : splitCatalogue(m_catalogue)) {
        const QByteArray path = pathOf(line.fields[2], m_server.baseUrl());
        QByteArray format;
        QImage image;
        if (path.startsWith("/live/")) {
            // A stream's first frame stands for its picture.
            const StreamCapture stream = readStream(m_server.port(), path, 500);
            QVERIFY(stream.head.startsWith("HTTP/1.1 200"));
            image = decode(streamParts(stream.body).value(0), &format);
            QCOMPARE(format, QByteArray("jpeg"));
            ++streams;
        } else if (path.startsWith("/hls/")) {
            // A video's first variant, the cam's own size, stands for its picture.
            const RawHttpReply master = m_server.get(path);
            QCOMPARE(master.status, 200);
            const auto variants = masterVariants(master.body);
            QVERIFY(!variants.isEmpty());
            const QByteArray folder = path.left(path.lastIndexOf('/') + 1);
            const QByteArray media = folder + variants[0][QStringLiteral("URI")].toLatin1();
            const QList<qint64> listed = liveSegments(m_server.get(media).body);
            QVERIFY(!listed.isEmpty());
            const QByteArray segment = media.left(media.lastIndexOf('/') + 1) + "seg" + QByteArray::number(listed.last()) + ".ts";
            const SegmentFrames frames = decodeSegment(m_server.get(segment).body);
            QVERIFY(frames.opened && !frames.luma.isEmpty());
            image = QImage(reinterpret_cast<const uchar *>(frames.luma[0].constData()), frames.size.width(),
                           frames.size.height(), frames.size.width(), QImage::Format_Grayscale8).copy();
            ++streams;
        } else {
            const RawHttpReply reply = m_server.get(path);
            QCOMPARE(reply.status, 200);
            image = decode(reply.body, &format);
            QCOMPARE(reply.header("Content-Type"), "image/" + format);
        }
        QVERIFY2(!image.isNull(), line.fields[2].constData());
        QVERIFY2(sizes.contains(image.size()), line.fields[2].constData());
        widths.insert(image.width());
    }
    QVERIFY(widths.size() >= 5);
    QVERIFY(streams > 0);
}

// Frames come paced by the server's clock, each a new JPEG picture in a well-formed part.
void TstCamServer::liveStreams_data()
{
    QTest::addColumn<QStringList>("args"); // empty: the shared server, at the default rate
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("fps");
    QTest::newRow("demo live cam") << QStringList() << QByteArray("/live/1037.mjpg") << QSize(640, 480) << 10;
    QTest::newRow("25 fps at 1280x720") << QStringList {QStringLiteral("--live-fps"), QStringLiteral("25")}
                                        << QByteArray("/live/1002.mjpg?size=1280x720") << QSize(1280, 720) << 25;
}

void TstCamServer::liveStreams()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, target);
    QFETCH(QSize, size);
    QFETCH(int, fps);
    CamServerProcess own(args);
    CamServerProcess *server = &m_server;
    if (!args.isEmpty()) {
        QVERIFY2(own.start(), qPrintable(own.errorString()));
        server = &own;
    }
    const StreamCapture stream = readStream(server->port(), target, 2000);
    QVERIFY2(stream.head.startsWith("HTTP/1.1 200"), stream.head.constData());
    QCOMPARE(stream.header("Content-Type"), QByteArray("multipart/x-mixed-replace;boundary=lumoraframe"));
    QCOMPARE(stream.header("Cache-Control"), QByteArray("no-cache"));
    for (const char *absent : {"Content-Length", "Transfer-Encoding", "ETag", "Last-Modified"})
        QVERIFY2(stream.header(absent).isEmpty(), absent);
    QVERIFY(!stream.closedByServer);
    const QList<QByteArray> parts = streamParts(stream.body);
    QVERIFY2(parts.size() >= fps && parts.size() <= 3 * fps, qPrintable(QString::number(parts.size())));
    QVERIFY(framesAreFreshPictures(parts, size));
    QVERIFY(server->requests().contains(QStringLiteral("GET %1 200").arg(QString::fromLatin1(target))));
}

// Viewers asking a live cam for many sizes share at most four renders of it: each gets
// fresh frames, of its own size or of a running one near it.
void TstCamServer::liveSizesShareRenderers()
{
    const QList<QSize> asked {{160, 120}, {176, 132}, {240, 180}, {320, 240}, {400, 300}, {480, 360}, {640, 480}};
    QList<StreamCapture> streams(asked.size());
    std::vector<std::thread> readers;
    for (qsizetype i = 0; i < asked.size(); ++i) {
        const QByteArray target = "/live/1003.mjpg?size=" + QByteArray::number(asked[i].width()) + 'x'
            + QByteArray::number(asked[i].height());
        readers.emplace_back([&, i, target] { streams[i] = readStream(m_server.port(), target, 2000); });
    }
    for (std::thread &reader : readers)
        reader.join();
    QList<QSize> drawn;
    for (const StreamCapture &stream : streams) {
        const QList<QByteArray> parts = streamParts(stream.body);
        QVERIFY2(parts.size() >= 10, qPrintable(QString::number(parts.size())));
        const QSize size = decode(parts.first()).size();
        QVERIFY(asked.contains(size));
        QVERIFY(framesAreFreshPictures(parts, size));
        if (!drawn.contains(size))
            drawn << size;
    }
    QVERIFY2(drawn.size() <= 4, qPrintable(QString::number(drawn.size())));
}

// A stopping server ends its streams with the closing delimiter, at once.
void TstCamServer::streamEndsWhenServerStops()
{
    CamServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QTcpSocket client;
    client.connectToHost(QHostAddress(QHostAddress::LocalHost), server.port());
    QVERIFY(client.waitForConnected(3000));
    client.write("GET /live/1037.mjpg?size=160x120 HTTP/1.0\r\n\r\n");
    QByteArray received;
    while (received.count("--lumoraframe\r\n") < 2 && client.waitForReadyRead(3000))
        received += client.readAll();
    QElapsedTimer timer;
    timer.start();
    server.stop();
    QVERIFY(!server.isRunning());
    QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
    while (client.waitForReadyRead(1000))
        received += client.readAll();
    received += client.readAll();
    QByteArray rest;
    QVERIFY(!streamParts(received.mid(received.indexOf("\r\n\r\n") + 4), &rest).isEmpty());
    QCOMPARE(rest, QByteArray("--lumoraframe--\r\n"));
}

enum class HlsCheck { Variants, Sliding, Frames, OutOfWindow, Stalled, Missing, Truncated, Endless, Garbage };
Q_DECLARE_METATYPE(HlsCheck)


// A demo cam's HLS stream: playlists a live client can follow, segments it can decode, and
// each HLS fault mode as a client meets it.
void TstCamServer::hlsStreams_data()
{
    QTest::addColumn<QString>("mode");       // a fault on /hls/*; empty: none
    QTest::addColumn<QByteArray>("variant"); // the media playlist's; empty: the master playlist
    QTest::addColumn<HlsCheck>("check");
    QTest::newRow("master lists both sizes") << QString() << QByteArray() << HlsCheck::Variants;
    QTest::newRow("playlist slides on the clock") << QString() << QByteArray("1920x1080") << HlsCheck::Sliding;
    QTest::newRow("full-size segments") << QString() << QByteArray("1920x1080") << HlsCheck::Frames;
    QTest::newRow("half-size segments") << QString() << QByteArray("960x540") << HlsCheck::Frames;
    QTest::newRow("segments outside the window") << QString() << QByteArray("960x540") << HlsCheck::OutOfWindow;
    QTest::newRow("stalled playlist") << "hls-stalled-playlist" << QByteArray("960x540") << HlsCheck::Stalled;
    QTest::newRow("missing segment") << "hls-missing-segment" << QByteArray("960x540") << HlsCheck::Missing;
    QTest::newRow("truncated segment") << "hls-truncated-segment" << QByteArray("960x540") << HlsCheck::Truncated;
    QTest::newRow("endless playlist") << "hls-endless-playlist" << QByteArray("960x540") << HlsCheck::Endless;
    QTest::newRow("garbage playlist") << "hls-garbage-playlist" << QByteArray() << HlsCheck::Garbage;
}

void TstCamServer::hlsStreams()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, variant);
    QFETCH(HlsCheck, check);
    const QByteArray cam = "/hls/1006/"; // a 1920x1080 demo cam
    const QByteArray folder = variant.isEmpty() ? cam : cam + variant + '/';
    const QByteArray playlist = folder + "index.m3u8";
    if (!mode.isEmpty())
        QVERIFY(m_server.setFault(QStringLiteral("/hls/*"), mode));
    if (check == HlsCheck::Endless) {
        const StreamCapture stream = readStream(m_server.port(), playlist, 3000, 1 << 20);
        QVERIFY(!stream.closedByServer);
        QVERIFY2(stream.body.size() > 512 * 1024, qPrintable(QString::number(stream.body.size())));
        QVERIFY(stream.body.startsWith("#EXTM3U\n"));
        QVERIFY(!stream.body.contains("#EXT-X-ENDLIST"));
        return;
    }
    const RawHttpReply first = m_server.get(playlist);
    QCOMPARE(first.status, 200);
    QCOMPARE(first.header("Content-Type"), QByteArray("application/vnd.apple.mpegurl"));
    if (check == HlsCheck::Garbage) {
        QVERIFY(!first.body.isEmpty());
        QVERIFY(!first.body.startsWith("#EXTM3U"));
        return;
    }
    if (check == HlsCheck::Variants) {
        const auto variants = masterVariants(first.body);
        QCOMPARE(variants.size(), 2);
        QCOMPARE(variants[0][QStringLiteral("RESOLUTION")], QStringLiteral("1920x1080"));
        QCOMPARE(variants[1][QStringLiteral("RESOLUTION")], QStringLiteral("960x540"));
        for (const auto &v : variants) {
            QCOMPARE(v[QStringLiteral("URI")], v[QStringLiteral("RESOLUTION")] + QStringLiteral("/index.m3u8"));
            QVERIFY(!liveSegments(m_server.get(folder + v[QStringLiteral("URI")].toLatin1()).body).isEmpty());
        }
        return;
    }
    const QList<qint64> listed = liveSegments(first.body);
    QVERIFY2(!listed.isEmpty(), first.body.constData());
    const QByteArray newest = folder + "seg" + QByteArray::number(listed.last()) + ".ts";
    switch (check) {
    case HlsCheck::Sliding:
    case HlsCheck::Stalled: {
        // The newest listed is the last second complete.
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QVERIFY2(listed.last() >= now - 2 && listed.last() < now, qPrintable(QString::number(now - listed.last())));
        QThread::msleep(1500);
        const QList<qint64> later = liveSegments(m_server.get(playlist).body);
        QVERIFY(!later.isEmpty());
        if (check == HlsCheck::Stalled)
            QCOMPARE(later, listed);
        else
            QVERIFY2(later.first() - listed.first() >= 1 && later.first() - listed.first() <= 2,
                     qPrintable(QString::number(later.first() - listed.first())));
        break;
    }
    case HlsCheck::Frames: {
        // The last two segments, as a client reads them: one stream across the seam.
        QByteArray stream;
        for (const qint64 n : {listed[3], listed[4]}) {
            const RawHttpReply segment = m_server.get(folder + "seg" + QByteArray::number(n) + ".ts");
            QCOMPARE(segment.status, 200);
            QCOMPARE(segment.header("Content-Type"), QByteArray("video/mp2t"));
            stream += segment.body;
        }
        const SegmentFrames frames = decodeSegment(stream);
        QVERIFY(frames.opened);
        QCOMPARE(frames.luma.size(), 50);
        QCOMPARE(QByteArray::number(frames.size.width()) + 'x' + QByteArray::number(frames.size.height()), variant);
        QCOMPARE(frames.keyFrames.count(true), 2);
        QVERIFY(frames.keyFrames[0] && frames.keyFrames[25]);
        QCOMPARE(frames.corruptPackets, 0);
        for (qsizetype i = 1; i < frames.luma.size(); ++i) {
            QVERIFY2(frames.luma[i] != frames.luma[i - 1], qPrintable(QString::number(i)));
            QCOMPARE(frames.times[i] - frames.times[i - 1], frames.times[1] - frames.times[0]);
        }
        // What the master playlist announces for the variant is what the segments hold.
        for (const auto &v : masterVariants(m_server.get(cam + "index.m3u8").body)) {
            if (v[QStringLiteral("RESOLUTION")].toLatin1() != variant)
                continue;
            QCOMPARE(v[QStringLiteral("CODECS")].toLatin1(), "avc1." + frames.profileLevel.toHex().toUpper());
            QVERIFY(stream.size() * 8 <= 2 * v[QStringLiteral("BANDWIDTH")].toLongLong());
        }
        break;
    }
    case HlsCheck::OutOfWindow:
        QCOMPARE(m_server.get(newest).status, 200);
        QCOMPARE(m_server.get(folder + "seg" + QByteArray::number(listed.first() - 1) + ".ts").status, 404);
        QCOMPARE(m_server.get(folder + "seg" + QByteArray::number(listed.last() + 2) + ".ts").status, 404);
        break;
    case HlsCheck::Missing:
        QCOMPARE(m_server.get(newest).status, 404);
        break;
    case HlsCheck::Truncated: {
        const RawHttpReply segment = m_server.get(newest);
        QCOMPARE(segment.status, 200);
        QVERIFY(segment.closedByServer);
        QVERIFY(!segment.body.isEmpty());
        QVERIFY2(segment.body.size() < segment.contentLength(), qPrintable(QString::number(segment.body.size())));
        break;
    }
    default:
        QFAIL("no such check");
    }
}

void TstCamServer::picturesChangeEverySecond()
{
    const RawHttpReply first = m_server.get("/cams/1001.jpg");
    QThread::msleep(1100);
    const RawHttpReply second = m_server.get("/cams/1001.jpg");
    QCOMPARE(first.status, 200);
    QCOMPARE(second.status, 200);
    QVERIFY(first.body != second.body);
    const QImage a = decode(first.body), b = decode(second.body);
    QCOMPARE(a.size(), b.size());
    // The change is in the clock band, not just in encoder noise elsewhere.
    const QRect band(0, a.height() * 85 / 100, a.width(), a.height() * 15 / 100);
    QVERIFY(a.copy(band) != b.copy(band));
}

void TstCamServer::sceneIsStablePerCam()
{
    // The same in another run of the server, too.
    CamServerProcess again;
    QVERIFY2(again.start(), qPrintable(again.errorString()));
    const QImage a = decode(m_server.get("/cams/1001.png").body);
    const QImage b = decode(again.get("/cams/1001.png").body);
    const QImage other = decode(m_server.get("/cams/1003.png?size=640x480").body);
    QVERIFY(!a.isNull() && !b.isNull() && !other.isNull());
    QCOMPARE(meanDifferenceOutsideClock(a, b), 0.0);
    QVERIFY(meanDifferenceOutsideClock(a, other) > 5.0);
}

void TstCamServer::gifMatchesRenderedScene_data()
{
    QTest::addColumn<QByteArray>("cam");
    QTest::newRow("small") << QByteArray("1008");
    QTest::newRow("transparent") << QByteArray("1022");
    // Large enough that the encoder must restart its code table many times.
    QTest::newRow("full hd") << QByteArray("1006");
}

void TstCamServer::gifMatchesRenderedScene()
{
    QFETCH(QByteArray, cam);
    // The scene moves with the clock: a pair fetched across the turn of a second differs in
    // its second hand, so the closest of a few pairs is compared. A broken encoder fails
    // every pair alike.
    double diff = -1;
    double lastRowsDiff = -1;
    for (int attempt = 0; attempt < 3 && (diff < 0 || diff >= 20.0); ++attempt) {
        const RawHttpReply gif = m_server.get("/cams/" + cam + ".gif");
        const RawHttpReply png = m_server.get("/cams/" + cam + ".png");
        QCOMPARE(gif.status, 200);
        QCOMPARE(png.status, 200);
        QVERIFY(gif.body.startsWith("GIF89a"));
        QVERIFY(gif.body.endsWith(";"));
        const QImage fromGif = decode(gif.body);
        const QImage fromPng = decode(png.body);
        QVERIFY(!fromGif.isNull());
        QCOMPARE(fromGif.size(), fromPng.size());
        // A 252-colour dithered copy stays close to the original; a broken code stream
        // would scramble or cut off the picture.
        diff = meanDifferenceOutsideClock(fromGif, fromPng);
        const QImage last = fromGif.copy(0, fromGif.height() - 2, fromGif.width(), 2);
        const QImage lastPng = fromPng.copy(0, fromPng.height() - 2, fromPng.width(), 2);
        lastRowsDiff = meanDifferenceOutsideClock(last, lastPng);
    }
    QVERIFY2(diff < 20.0, qPrintable(QString::number(diff)));
    QVERIFY2(lastRowsDiff < 40.0, qPrintable(QString::number(lastRowsDiff)));
}

void TstCamServer::catalogueFileWithBase()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("cams.txt"));
    const QByteArray text = "7;Caf\xE9 {base};{base}/cams/1001.jpg;x;;1;0;5;me\r\n"
                            "8;Plain;http://127.0.0.1:1/none.jpg;y;;2;0;6;you\r\n";
    QVERIFY(writeFile(file, text));
    CamServerProcess server({QStringLiteral("--catalogue"), file});
    QVERIFY2(server.start(), qPrintable(server.errorString()));

    const RawHttpReply reply = server.get("/camlist.php");
    QCOMPARE(reply.status, 200);
    QByteArray expected = text;
    expected.replace("{base}", server.baseUrl().toLatin1());
    QCOMPARE(reply.body, expected);

    const RawHttpReply picture = server.get("/cams/1001.jpg");
    QCOMPARE(picture.status, 200);
    QVERIFY(!decode(picture.body).isNull());

    // Read per request, so a test may swap the catalogue while the server runs.
    QVERIFY(writeFile(file, "9;New;{base}/x.jpg;;;0;0;0;z\r\n"));
    QCOMPARE(server.get("/camlist.php").body, "9;New;" + server.baseUrl().toLatin1() + "/x.jpg;;;0;0;0;z\r\n");
}

void TstCamServer::commentsFolderOverridesDemo()
{
    QTemporaryDir dir;
    const QByteArray comments = "Ann;First  one<br />second line;01.02.2003 04:05\r\nBo;K\xFChl;02.02.2003 00:00\r\n";
    QVERIFY(writeFile(dir.filePath(QStringLiteral("1001.txt")), comments));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("1005.txt")), QByteArray()));
    CamServerProcess server({QStringLiteral("--comments"), dir.path()});
    QVERIFY2(server.start(), qPrintable(server.errorString()));

    QCOMPARE(server.get("/comments.php?camid=1001").body, comments);
    QVERIFY(server.get("/comments.php?camid=1005").body.isEmpty());
    // Cams without a file keep their demo comments.
    QCOMPARE(server.get("/comments.php?camid=1002").body, m_server.get("/comments.php?camid=1002").body);

    for (const CatalogueLine &line : splitCatalogue(server.get("/camlist.php").body)) {
        if (line.fields[0] == "1001")
            QCOMPARE(line.fields[6], QByteArray("2"));
        if (line.fields[0] == "1005")
            QCOMPARE(line.fields[6], QByteArray("0"));
    }
}

void TstCamServer::picturesFolder_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");

    QTest::newRow("file") << QByteArray("/shots/a.png") << 200 << QByteArray("not really a png") << QByteArray("image/png");
    QTest::newRow("query ignored") << QByteArray("/shots/a.png?t=5") << 200 << QByteArray("not really a png") << QByteArray("image/png");
    QTest::newRow("text") << QByteArray("/notes.txt") << 200 << QByteArray("hello") << QByteArray("text/plain");
    QTest::newRow("unknown cam id") << QByteArray("/cams/4242.jpg") << 200 << QByteArray("jpeg bytes") << QByteArray("image/jpeg");
    QTest::newRow("missing") << QByteArray("/shots/b.png") << 404 << QByteArray() << QByteArray();
    QTest::newRow("folder") << QByteArray("/shots") << 404 << QByteArray() << QByteArray();
    QTest::newRow("parent") << QByteArray("/../secret.txt") << 404 << QByteArray() << QByteArray();
    QTest::newRow("nested parent") << QByteArray("/shots/../../secret.txt") << 404 << QByteArray() << QByteArray();
    QTest::newRow("encoded parent") << QByteArray("/%2e%2e/secret.txt") << 404 << QByteArray() << QByteArray();
    QTest::newRow("link out") << QByteArray("/escape/secret.txt") << 404 << QByteArray() << QByteArray();
}

void TstCamServer::picturesFolder()
{
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);

    QTemporaryDir outer;
    QVERIFY(writeFile(outer.filePath(QStringLiteral("secret.txt")), "secret"));
    const QString root = outer.filePath(QStringLiteral("root"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/shots")));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/cams")));
    QVERIFY(writeFile(root + QStringLiteral("/shots/a.png"), "not really a png"));
    QVERIFY(writeFile(root + QStringLiteral("/notes.txt"), "hello"));
    QVERIFY(writeFile(root + QStringLiteral("/cams/4242.jpg"), "jpeg bytes"));
    QVERIFY(QFile::link(outer.path(), root + QStringLiteral("/escape")));

    CamServerProcess server({QStringLiteral("--pictures"), root});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const RawHttpReply reply = server.get(target);
    QCOMPARE(reply.status, status);
    QVERIFY(reply.complete());
    QVERIFY(!reply.body.contains("secret"));
    if (status == 200) {
        QCOMPARE(reply.body, body);
        QVERIFY(reply.header("Content-Type").startsWith(contentType));
    }
}

enum class BodyCheck { Normal, Empty, Html, NormalPrefix, Size, Inflated, None };
Q_DECLARE_METATYPE(BodyCheck)

void TstCamServer::faults_data()
{
    QTest::addColumn<QString>("rulePath");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("status");        // -1: no answer at all
    QTest::addColumn<BodyCheck>("bodyCheck");
    QTest::addColumn<qint64>("bodySize");   // for NormalPrefix and Size
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("timedOut");
    QTest::addColumn<qint64>("minElapsedMs");
    QTest::addColumn<QByteArray>("location"); // appended to the base address; empty: none

    const QByteArray cat = "/camlist.php";
    QTest::newRow("empty") << "/camlist.php" << "empty" << cat << 5000 << 200 << BodyCheck::Empty << qint64(0) << true << false << qint64(0) << QByteArray();
    QTest::newRow("status 404") << "/camlist.php" << "status:404" << cat << 5000 << 404 << BodyCheck::Html << qint64(0) << true << false << qint64(0) << QByteArray();
    QTest::newRow("status 503") << "/camlist.php" << "status:503" << cat << 5000 << 503 << BodyCheck::Html << qint64(0) << true << false << qint64(0) << QByteArray();
    QTest::newRow("html") << "/camlist.php" << "html" << cat << 5000 << 200 << BodyCheck::Html << qint64(0) << true << false << qint64(0) << QByteArray();
    QTest::newRow("truncate") << "/camlist.php" << "truncate:100" << cat << 5000 << 200 << BodyCheck::NormalPrefix << qint64(100) << false << false << qint64(0) << QByteArray();
    QTest::newRow("truncate to nothing") << "/camlist.php" << "truncate:0" << cat << 5000 << 200 << BodyCheck::NormalPrefix << qint64(0) << false << false << qint64(0) << QByteArray();
    QTest::newRow("reset") << "/camlist.php" << "reset" << cat << 5000 << -1 << BodyCheck::None << qint64(0) << false << false << qint64(0) << QByteArray();
    QTest::newRow("redirect") << "/camlist.php" << "redirect:{base}/cams/1001.jpg" << cat << 5000 << 302 << BodyCheck::None << qint64(0) << true << false << qint64(0) << QByteArray("/cams/1001.jpg");
    QTest::newRow("redirect loop") << "/camlist.php" << "redirect-loop" << QByteArray("/camlist.php?x=1") << 5000 << 302 << BodyCheck::None << qint64(0) << true << false << qint64(0) << QByteArray("/camlist.php?x=1");
    QTest::newRow("delay") << "/camlist.php" << "delay:700" << cat << 5000 << 200 << BodyCheck::Normal << qint64(0) << true << false << qint64(680) << QByteArray();
    QTest::newRow("slow") << "/camlist.php" << "slow:20000" << cat << 5000 << 200 << BodyCheck::Normal << qint64(0) << true << false << qint64(180) << QByteArray();
    QTest::newRow("bytes") << "/camlist.php" << "bytes:5000000" << cat << 10000 << 200 << BodyCheck::Size << qint64(5000000) << true << false << qint64(0) << QByteArray();
    // 20 MiB and a bit: the repeated piece of the compressed zeros and the rest after it.
    QTest::newRow("gzip bomb") << "/camlist.php" << "gzip-bomb:20983065" << cat << 5000 << 200 << BodyCheck::Inflated << qint64(20983065) << true << false << qint64(0) << QByteArray();
    // "*" also covers the control paths' neighbours; cleanup() proves control still answers.
    QTest::newRow("stall everything") << "*" << "stall" << cat << 1200 << -1 << BodyCheck::None << qint64(0) << false << true << qint64(1150) << QByteArray();
    QTest::newRow("prefix rule") << "/cams/*" << "status:404" << QByteArray("/cams/1001.jpg") << 5000 << 404 << BodyCheck::Html << qint64(0) << true << false << qint64(0) << QByteArray();
    QTest::newRow("exact rule ignores query") << "/comments.php" << "empty" << QByteArray("/comments.php?camid=1002") << 5000 << 200 << BodyCheck::Empty << qint64(0) << true << false << qint64(0) << QByteArray();
    QTest::newRow("other path untouched") << "/comments.php" << "status:500" << cat << 5000 << 200 << BodyCheck::Normal << qint64(0) << true << false << qint64(0) << QByteArray();
    QTest::newRow("live fault, no stream") << "/camlist.php" << "live-close:0" << cat << 5000 << 200 << BodyCheck::Normal << qint64(0) << true << false << qint64(0) << QByteArray();
}

void TstCamServer::faults()
{
    QFETCH(QString, rulePath);
    QFETCH(QString, mode);
    QFETCH(QByteArray, target);
    QFETCH(int, timeoutMs);
    QFETCH(int, status);
    QFETCH(BodyCheck, bodyCheck);
    QFETCH(qint64, bodySize);
    QFETCH(bool, complete);
    QFETCH(bool, timedOut);
    QFETCH(qint64, minElapsedMs);
    QFETCH(QByteArray, location);

    const RawHttpReply normal = m_server.get(target);
    QCOMPARE(normal.status, 200);
    QVERIFY(normal.complete());

    QVERIFY(m_server.setFault(rulePath, mode));
    QVERIFY(m_server.resetLog());
    const RawHttpReply reply = m_server.get(target, timeoutMs);

    QVERIFY(reply.connected);
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.complete(), complete);
    QCOMPARE(reply.timedOut, timedOut);
    QVERIFY2(reply.elapsedMs >= minElapsedMs, qPrintable(QString::number(reply.elapsedMs)));
    if (status < 0)
        QVERIFY(reply.raw.isEmpty());
    switch (bodyCheck) {
    case BodyCheck::Normal:
        QCOMPARE(reply.body, normal.body);
        break;
    case BodyCheck::Empty:
        QVERIFY(reply.body.isEmpty());
        QCOMPARE(reply.contentLength(), qint64(0));
        break;
    case BodyCheck::Html:
        QVERIFY(reply.header("Content-Type").startsWith("text/html"));
        QVERIFY(reply.body.contains("<html>"));
        break;
    case BodyCheck::NormalPrefix:
        // The headers promise the whole document, the connection ends early.
        QCOMPARE(reply.contentLength(), qint64(normal.body.size()));
        QVERIFY(reply.closedByServer);
        QCOMPARE(reply.body, normal.body.left(int(bodySize)));
        break;
    case BodyCheck::Size:
        QCOMPARE(qint64(reply.body.size()), bodySize);
        break;
    case BodyCheck::Inflated: {
        QCOMPARE(reply.header("Content-Encoding"), QByteArray("gzip"));
        QVERIFY2(reply.body.size() < bodySize / 500, qPrintable(QString::number(reply.body.size())));
        bool whole = false;
        const QByteArray inflated = gunzip(reply.body, &whole);
        QVERIFY(whole);
        QCOMPARE(qint64(inflated.size()), bodySize);
        QCOMPARE(qint64(inflated.count('\0')), bodySize);
        break;
    }
    case BodyCheck::None:
        break;
    }
    if (!location.isEmpty())
        QCOMPARE(reply.header("Location"), m_server.baseUrl().toLatin1() + location);

    const QString logged = QStringLiteral("GET %1 %2").arg(QString::fromLatin1(target)).arg(status < 0 ? 0 : status);
    QVERIFY2(m_server.requests().contains(logged), qPrintable(m_server.requests().join(QLatin1Char('|'))));

    QVERIFY(m_server.clearFaults());
    const RawHttpReply restored = m_server.get(target);
    QCOMPARE(restored.status, 200);
    QVERIFY(restored.complete());
    if (!target.startsWith("/cams/"))
        QCOMPARE(restored.body, normal.body);
}

void TstCamServer::redirectLoopDefeatsRealClient()
{
    QVERIFY(m_server.setFault(QStringLiteral("/camlist.php"), QStringLiteral("redirect-loop")));
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(m_server.baseUrl() + QStringLiteral("/camlist.php")));
    request.setMaximumRedirectsAllowed(5);
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    QVERIFY(reply->isFinished());
    QCOMPARE(reply->error(), QNetworkReply::TooManyRedirectsError);
    delete reply;
    // The client followed the loop before giving up.
    QVERIFY(m_server.requests().count(QStringLiteral("GET /camlist.php 302")) >= 5);
}

void TstCamServer::faultsFromCommandLine()
{
    CamServerProcess server({QStringLiteral("--fault"), QStringLiteral("/camlist.php=status:500"),
                             QStringLiteral("--fault"), QStringLiteral("*=empty")});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QCOMPARE(server.get("/camlist.php").status, 500); // first matching rule wins
    const RawHttpReply comments = server.get("/comments.php?camid=1002");
    QCOMPARE(comments.status, 200);
    QVERIFY(comments.body.isEmpty());
    QVERIFY(server.clearFaults());
    QCOMPARE(server.get("/camlist.php").status, 200);
    QVERIFY(!server.get("/comments.php?camid=1002").body.isEmpty());

    CamServerProcess broken({QStringLiteral("--fault"), QStringLiteral("/camlist.php=sometimes")});
    QVERIFY(!broken.start(5000));
}

void TstCamServer::badFaultRulesRejected_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("mode");
    QTest::newRow("unknown mode") << "/camlist.php" << "sometimes";
    QTest::newRow("delay without time") << "/camlist.php" << "delay:";
    QTest::newRow("delay not a number") << "/camlist.php" << "delay:soon";
    QTest::newRow("status out of range") << "/camlist.php" << "status:99";
    QTest::newRow("negative truncate") << "/camlist.php" << "truncate:-1";
    QTest::newRow("redirect without target") << "/camlist.php" << "redirect:";
    QTest::newRow("argument on plain mode") << "/camlist.php" << "stall:5";
    QTest::newRow("argument on endless") << "/camlist.php" << "endless:5";
    QTest::newRow("chain of no hops") << "/camlist.php" << "redirect-chain:0";
    QTest::newRow("chain without a number") << "/camlist.php" << "redirect-chain:x";
    QTest::newRow("chain with an empty base") << "/camlist.php" << "redirect-chain:3:";
    QTest::newRow("chain to a file base") << "/camlist.php" << "redirect-chain:3:file:///tmp";
    QTest::newRow("long header without size") << "/camlist.php" << "long-header:";
    QTest::newRow("long header at no speed") << "/camlist.php" << "long-header:5000:0";
    QTest::newRow("live part over 64 MiB") << "/live/*" << "live-big-part:67108865";
    QTest::newRow("argument on live-lf") << "/live/*" << "live-lf:1";
    QTest::newRow("unasked without time") << "/camlist.php" << "unasked:";
    QTest::newRow("length short by nothing") << "/camlist.php" << "short-length:0";
    QTest::newRow("relative path") << "camlist.php" << "empty";
}

void TstCamServer::badFaultRulesRejected()
{
    QFETCH(QString, path);
    QFETCH(QString, mode);
    QVERIFY(!m_server.setFault(path, mode));
    QCOMPARE(m_server.get("/camlist.php").body, m_catalogue);
}

void TstCamServer::stallIsCapped()
{
    CamServerProcess server({QStringLiteral("--stall-max"), QStringLiteral("1")});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.setFault(QStringLiteral("/camlist.php"), QStringLiteral("stall")));
    const RawHttpReply reply = server.get("/camlist.php", 5000);
    QVERIFY(reply.closedByServer);
    QVERIFY(reply.raw.isEmpty());
    QVERIFY2(reply.elapsedMs >= 900 && reply.elapsedMs < 4000, qPrintable(QString::number(reply.elapsedMs)));
}

void TstCamServer::stopsPromptlyWhileStalled()
{
    CamServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.setFault(QStringLiteral("*"), QStringLiteral("stall")));
    QTcpSocket client;
    client.connectToHost(QHostAddress(QHostAddress::LocalHost), server.port());
    QVERIFY(client.waitForConnected(3000));
    client.write("GET /camlist.php HTTP/1.0\r\n\r\n");
    QVERIFY(client.waitForBytesWritten(3000));
    QTRY_VERIFY(server.requests().contains(QStringLiteral("GET /camlist.php 0")));

    QElapsedTimer timer;
    timer.start();
    server.stop();
    QVERIFY(!server.isRunning());
    QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
}

void TstCamServer::requestLog()
{
    m_server.get("/comments.php?camid=1001");
    m_server.get("/cams/1001.png?size=64x48");
    m_server.get("/no/such/thing");
    const QStringList lines = m_server.requests();
    QCOMPARE(lines, (QStringList {QStringLiteral("GET /comments.php?camid=1001 200"),
                                  QStringLiteral("GET /cams/1001.png?size=64x48 200"),
                                  QStringLiteral("GET /no/such/thing 404")}));
    QVERIFY(m_server.resetLog());
    QVERIFY(m_server.requests().isEmpty());
}

void TstCamServer::logOption()
{
    CamServerProcess server({QStringLiteral("--log")});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QCOMPARE(server.get("/camlist.php").status, 200);
    QCOMPARE(server.get("/cams/1001.jpg?foo=0").status, 200);
    // Each raw request comes on a connection of its own.
    static const QRegularExpression opened(QStringLiteral("connection from 127\\.0\\.0\\.1:\\d+\n"));
    const QString expected = QString::number(server.port()) + QStringLiteral("\nX\nGET /camlist.php 200\nX\nGET /cams/1001.jpg?foo=0 200\n");
    QTRY_COMPARE(QString::fromLatin1(server.output()).replace(opened, QStringLiteral("X\n")), expected);
}

// The log keeps the latest 10000 lines, each at most 512 bytes, however much comes in.
void TstCamServer::requestLogIsBounded()
{
    CamServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const int count = 10050;
    QByteArray pipelined = "GET /long/" + QByteArray(2000, 'x') + " HTTP/1.1\r\nHost: a\r\n\r\n";
    for (int i = 0; i < count; ++i)
        pipelined += "GET /n/" + QByteArray::number(i) + " HTTP/1.1\r\nHost: a\r\n\r\n";
    QTcpSocket client;
    client.connectToHost(QHostAddress(QHostAddress::LocalHost), server.port());
    QVERIFY(client.waitForConnected(3000));
    client.write(pipelined);
    QByteArray answers;
    QElapsedTimer timer;
    timer.start();
    while (answers.count("HTTP/1.1 404") < count + 1 && timer.elapsed() < 60000 && client.waitForReadyRead(5000))
        answers += client.readAll();
    QCOMPARE(answers.count("HTTP/1.1 404"), count + 1);
    const QStringList lines = server.requests();
    QCOMPARE(lines.size(), 10000);
    QCOMPARE(lines.first(), QStringLiteral("GET /n/%1 404").arg(count - 10000));
    QCOMPARE(lines.last(), QStringLiteral("GET /n/%1 404").arg(count - 1));
    QVERIFY(server.resetLog());
    QVERIFY(server.get("/long/" + QByteArray(2000, 'x')).status == 404);
    const QStringList cut = server.requests();
    QCOMPARE(cut.size(), 1);
    QCOMPARE(cut.first().size(), 512);
}

// Without --control nobody sets faults or reads others' requests.
void TstCamServer::controlOnlyWhenAsked()
{
    QProcess server;
    server.start(QStringLiteral(LUMORA_CAMSERVER_PATH), {QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY(server.waitForReadyRead(10000));
    const quint16 port = quint16(server.readLine().trimmed().toUInt());
    QVERIFY(port > 0);
    QCOMPARE(CamServerProcess::rawGet(port, "/_control/fault?path=%2Fcamlist.php&mode=status%3A500").status, 404);
    QCOMPARE(CamServerProcess::rawGet(port, "/camlist.php").status, 200);
    const RawHttpReply log = CamServerProcess::rawGet(port, "/_control/requests");
    QCOMPARE(log.status, 404);
    QVERIFY(!log.body.contains("camlist"));
    server.terminate();
    QVERIFY(server.waitForFinished(5000));
}

// Clients that trickle a request header hold a socket each, never a thread: another client
// is answered at once while they wait. Over the per-address cap they are not even held.
void TstCamServer::slowClientsStarveNoOne_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<int>("held");
    QTest::newRow("200 held") << QStringList {QStringLiteral("--max-per-address"), QStringLiteral("500")} << QByteArray("127.0.0.1") << 200;
    QTest::newRow("capped per address") << QStringList() << QByteArray("127.0.0.2") << 32;
}

void TstCamServer::slowClientsStarveNoOne()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, from);
    QFETCH(int, held);
    CamServerProcess server(args);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    SlowClients slow;
    QCOMPARE(slow.open(200, server.port(), from.constData()), 200);
    QThread::msleep(300);
    slow.trickle();
    const RawHttpReply reply = server.get("/camlist.php", 5000);
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.complete());
    QVERIFY2(reply.elapsedMs < 1000, qPrintable(QString::number(reply.elapsedMs)));
    QCOMPARE(slow.stillOpen(), held);
}

// An answer without end: chunked, the document first, then filler for as long as the
// client reads, as fast as it reads.
void TstCamServer::endlessBody()
{
    const QByteArray normal = m_server.get("/camlist.php").body;
    QVERIFY(m_server.setFault(QStringLiteral("/camlist.php"), QStringLiteral("endless")));
    QTcpSocket client;
    client.connectToHost(QHostAddress(QHostAddress::LocalHost), m_server.port());
    QVERIFY(client.waitForConnected(3000));
    client.write("GET /camlist.php HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_server.port()) + "\r\n\r\n");
    QVERIFY(client.waitForBytesWritten(3000));

    // Read 64 MiB, keeping only the first 1 MiB.
    const qint64 wanted = 64 * 1024 * 1024;
    QByteArray start;
    qint64 received = 0;
    QElapsedTimer timer;
    timer.start();
    while (received < wanted && timer.elapsed() < 20000) {
        if (!client.bytesAvailable() && !client.waitForReadyRead(3000))
            break;
        const QByteArray piece = client.read(1024 * 1024);
        received += piece.size();
        if (start.size() < 1024 * 1024)
            start += piece.left(1024 * 1024 - start.size());
    }
    QVERIFY2(received >= wanted, qPrintable(QString::number(received)));
    QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
    client.abort();

    const int headerEnd = start.indexOf("\r\n\r\n");
    QVERIFY(headerEnd > 0);
    const QByteArray head = start.left(headerEnd).toLower();
    QVERIFY(head.startsWith("http/1.1 200"));
    QVERIFY(head.contains("\r\ntransfer-encoding: chunked"));
    QVERIFY(!head.contains("content-length"));
    // The chunks, decoded: the document, then filler.
    QByteArray decoded;
    for (qsizetype at = headerEnd + 4; at < start.size();) {
        const qsizetype lineEnd = start.indexOf("\r\n", at);
        if (lineEnd < 0)
            break;
        bool ok = false;
        const qint64 size = start.mid(at, lineEnd - at).toLongLong(&ok, 16);
        QVERIFY(ok && size > 0);
        if (lineEnd + 2 + size + 2 > start.size())
            break;
        decoded += start.mid(lineEnd + 2, size);
        QCOMPARE(start.mid(lineEnd + 2 + size, 2), QByteArray("\r\n"));
        at = lineEnd + 2 + size + 2;
    }
    QVERIFY(decoded.size() > normal.size());
    QVERIFY(decoded.startsWith(normal));
    QVERIFY(decoded.mid(normal.size()).startsWith("lumora filler"));

    // The client has gone; the server answers others as before.
    QVERIFY(m_server.requests().contains(QStringLiteral("GET /camlist.php 200")));
    QVERIFY(m_server.clearFaults());
    timer.restart();
    QCOMPARE(m_server.get("/camlist.php").body, normal);
    QVERIFY(timer.elapsed() < 2000);
}

enum class ChainVia { Itself, HostName, OtherServer };
Q_DECLARE_METATYPE(ChainVia)

// A chain of N hops: each a 302 to the next hop's address (the same path, the query kept,
// _hop counting up), the document after the last; with a base, the hops alternate
// between the two ends.
void TstCamServer::redirectChain_data()
{
    QTest::addColumn<int>("hops");
    QTest::addColumn<ChainVia>("via");
    QTest::newRow("1 hop") << 1 << ChainVia::Itself;
    QTest::newRow("3 hops") << 3 << ChainVia::Itself;
    QTest::newRow("4 hops, alternating host names") << 4 << ChainVia::HostName;
    QTest::newRow("5 hops, alternating servers") << 5 << ChainVia::OtherServer;
}

void TstCamServer::redirectChain()
{
    QFETCH(int, hops);
    QFETCH(ChainVia, via);

    CamServerProcess other;
    const QByteArray target = "/comments.php?camid=1001&x=%2F";
    const QByteArray normal = m_server.get(target).body;
    QVERIFY(!normal.isEmpty());
    QVERIFY(m_server.resetLog());
    const QString mode = QStringLiteral("redirect-chain:%1").arg(hops);
    const QString selfByName = QStringLiteral("http://localhost:%1").arg(m_server.port());
    if (via == ChainVia::Itself) {
        QVERIFY(m_server.setFault(QStringLiteral("/comments.php"), mode));
    } else if (via == ChainVia::HostName) {
        QVERIFY(m_server.setFault(QStringLiteral("/comments.php"), mode + QLatin1Char(':') + selfByName));
    } else {
        QVERIFY2(other.start(), qPrintable(other.errorString()));
        QVERIFY(m_server.setFault(QStringLiteral("/comments.php"), mode + QLatin1Char(':') + other.baseUrl()));
        QVERIFY(other.setFault(QStringLiteral("/comments.php"), mode + QLatin1Char(':') + m_server.baseUrl()));
    }

    QUrl at(m_server.baseUrl() + QString::fromLatin1(target));
    for (int hop = 0; hop <= hops; ++hop) {
        const QByteArray authority = at.authority().toLatin1();
        const RawHttpReply reply = CamServerProcess::rawGet(quint16(at.port()), at.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority),
                                                            5000, {{"Host", authority}});
        if (hop == hops) {
            QCOMPARE(reply.status, 200);
            QCOMPARE(reply.body, normal);
            break;
        }
        QCOMPARE(reply.status, 302);
        const QUrl next(QString::fromLatin1(reply.header("Location")));
        QVERIFY2(next.isValid(), reply.header("Location").constData());
        QCOMPARE(next.path(), QStringLiteral("/comments.php"));
        QCOMPARE(next.query(QUrl::FullyEncoded), QStringLiteral("camid=1001&x=%2F&_hop=%1").arg(hop + 1));
        // Where the hop leads.
        quint16 port = m_server.port();
        QString host = QStringLiteral("127.0.0.1");
        if (via == ChainVia::HostName && hop % 2 == 0)
            host = QStringLiteral("localhost");
        if (via == ChainVia::OtherServer && hop % 2 == 0)
            port = other.port();
        QCOMPARE(next.host(), host);
        QCOMPARE(next.port(), int(port));
        at = next;
    }

    // One log line per hop on the server that answered it.
    const QStringList lines = m_server.requests() + other.requests();
    QVERIFY2(lines.size() == hops + 1, qPrintable(lines.join(QLatin1Char('|'))));
    QVERIFY(lines.contains(QStringLiteral("GET ") + QString::fromLatin1(target) + QStringLiteral(" 302")));
    QVERIFY(lines.contains(QStringLiteral("GET ") + QString::fromLatin1(target) + QStringLiteral("&_hop=%1 200").arg(hops)));
}

// A header section of the given size in all, nearly all of it one line, then the document.
void TstCamServer::longHeader_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<qint64>("headerBytes"); // -1: just the fixed fields
    QTest::addColumn<qint64>("minElapsedMs");
    QTest::newRow("70000 bytes") << "long-header:70000" << qint64(70000) << qint64(0);
    QTest::newRow("4 MB") << "long-header:4000000" << qint64(4000000) << qint64(0);
    QTest::newRow("smaller than its fixed fields") << "long-header:10" << qint64(-1) << qint64(0);
    QTest::newRow("3000 bytes at 10 kB/s") << "long-header:3000:10000" << qint64(3000) << qint64(250);
}

void TstCamServer::longHeader()
{
    QFETCH(QString, mode);
    QFETCH(qint64, headerBytes);
    QFETCH(qint64, minElapsedMs);

    const QByteArray normal = m_server.get("/camlist.php").body;
    QVERIFY(m_server.setFault(QStringLiteral("/camlist.php"), mode));
    const RawHttpReply reply = m_server.get("/camlist.php", 10000);
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.complete());
    QVERIFY(reply.closedByServer);
    QCOMPARE(reply.body, normal);
    QCOMPARE(reply.contentLength(), qint64(normal.size()));
    const qint64 section = reply.raw.indexOf("\r\n\r\n") + 4;
    if (headerBytes >= 0)
        QCOMPARE(section, headerBytes);
    else
        QVERIFY(section < 200);
    QVERIFY(reply.raw.contains("\r\nX-Filler: "));
    QVERIFY2(reply.elapsedMs >= minElapsedMs, qPrintable(QString::number(reply.elapsedMs)));
    QVERIFY(m_server.requests().contains(QStringLiteral("GET /camlist.php 200")));
}

void TstCamServer::helpListsEveryMode()
{
    QProcess help;
    help.start(QStringLiteral(LUMORA_CAMSERVER_PATH), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(10000));
    QCOMPARE(help.exitCode(), 0);
    const QString text = QString::fromUtf8(help.readAllStandardOutput());
    for (const char *mode : {"delay:MS", "stall", "empty", "truncate:N", "reset", "status:CODE", "html", "bytes:N",
                             "redirect:URL", "redirect-loop", "redirect-chain:N[:BASE]", "slow:RATE", "endless",
                             "long-header:BYTES[:RATE]", "bad-etag:N", "not-modified", "gzip-bomb:N",
                             "live-no-boundary", "live-big-part:N", "live-endless-part", "live-stall-part", "live-trickle-part",
                             "live-garbage", "live-close:N", "live-lf", "unasked:MS", "short-length:N",
                             "hls-stalled-playlist", "hls-missing-segment", "hls-truncated-segment",
                             "hls-endless-playlist", "hls-garbage-playlist"})
        QVERIFY2(text.contains(QStringLiteral("\n  %1 ").arg(QLatin1String(mode)))
                     || text.contains(QStringLiteral("\n  %1\n").arg(QLatin1String(mode))),
                 mode);
    for (const QString &line : text.split(QLatin1Char('\n')))
        QVERIFY2(line.size() <= 80, qPrintable(line));
}

void TstCamServer::conditionalAnswers_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QString>("ifNoneMatch"); // "{tag}" is the tag of the first answer
    QTest::addColumn<QString>("ifModifiedSince"); // "{date}" is its Last-Modified, "{later}" a day on
    QTest::addColumn<int>("status");

    const QByteArray cam = "/cams/1001.jpg?size=64x48";
    QTest::newRow("no conditions") << cam << QString() << QString() << 200;
    QTest::newRow("tag matches") << cam << QStringLiteral("{tag}") << QString() << 304;
    QTest::newRow("weak form of the tag") << cam << QStringLiteral("W/{tag}") << QString() << 304;
    QTest::newRow("tag in a list") << cam << QStringLiteral("\"zz\", {tag}") << QString() << 304;
    QTest::newRow("any tag") << cam << QStringLiteral("*") << QString() << 304;
    QTest::newRow("other tag") << cam << QStringLiteral("\"0000\"") << QString() << 200;
    QTest::newRow("other tag wins over the date") << cam << QStringLiteral("\"0000\"") << QStringLiteral("{later}") << 200;
    QTest::newRow("same date") << cam << QString() << QStringLiteral("{date}") << 304;
    QTest::newRow("later date") << cam << QString() << QStringLiteral("{later}") << 304;
    QTest::newRow("earlier date") << cam << QString() << QStringLiteral("Mon, 01 Jan 2001 00:00:00 GMT") << 200;
    QTest::newRow("not a date") << cam << QString() << QStringLiteral("yesterday") << 200;
    QTest::newRow("png cam") << QByteArray("/cams/1001.png?size=64x48") << QStringLiteral("{tag}") << QString() << 304;
}

// The demo pictures show the time to the second, so each pair of requests is made within
// one second, tried again if the second turns between them.
void TstCamServer::conditionalAnswers()
{
    QFETCH(QByteArray, target);
    QFETCH(QString, ifNoneMatch);
    QFETCH(QString, ifModifiedSince);
    QFETCH(int, status);

    RawHttpReply first, second;
    for (int attempt = 0; attempt < 5; ++attempt) {
        first = m_server.get(target);
        QCOMPARE(first.status, 200);
        const QByteArray tag = first.header("ETag");
        const QByteArray date = first.header("Last-Modified");
        QVERIFY2(QRegularExpression(QStringLiteral("^\"[0-9a-f]{32}\"$")).match(QString::fromLatin1(tag)).hasMatch(), tag);
        const QDateTime when = QLocale::c().toDateTime(QString::fromLatin1(date), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
        QVERIFY2(when.isValid(), date);
        QList<QPair<QByteArray, QByteArray>> fields;
        if (!ifNoneMatch.isEmpty())
            fields.append({"If-None-Match", ifNoneMatch.toLatin1().replace("{tag}", tag)});
        if (!ifModifiedSince.isEmpty()) {
            const QByteArray later = QLocale::c().toString(when.addDays(1), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'")).toLatin1();
            fields.append({"If-Modified-Since", ifModifiedSince.toLatin1().replace("{date}", date).replace("{later}", later)});
        }
        second = m_server.get(target, 5000, fields);
        if (second.header("ETag") == tag)
            break;
    }
    QCOMPARE(second.status, status);
    QVERIFY(second.complete());
    QCOMPARE(second.header("ETag"), first.header("ETag"));
    QCOMPARE(second.header("Last-Modified"), first.header("Last-Modified"));
    if (status == 304)
        QVERIFY(second.body.isEmpty());
    else
        QCOMPARE(second.body, first.body);

    // The log names the conditions with the status they earned.
    const QStringList log = m_server.requests();
    QVERIFY(!log.isEmpty());
    const QString last = log.last();
    QVERIFY2(last.startsWith(QStringLiteral("GET %1 %2").arg(QString::fromLatin1(target)).arg(status)), qPrintable(last));
    QCOMPARE(last.contains(QLatin1String(" If-None-Match: ")), !ifNoneMatch.isEmpty());
    QCOMPARE(last.contains(QLatin1String(" If-Modified-Since: ")), !ifModifiedSince.isEmpty());
}

void TstCamServer::conditionalSwitchedOff()
{
    QTemporaryDir root;
    QVERIFY(writeFile(root.filePath(QStringLiteral("still.jpg")), "the same bytes every time"));
    CamServerProcess server({QStringLiteral("--pictures"), root.path(), QStringLiteral("--no-conditional")});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const RawHttpReply first = server.get("/still.jpg");
    QCOMPARE(first.status, 200);
    QVERIFY(first.header("ETag").isEmpty());
    QVERIFY(first.header("Last-Modified").isEmpty());
    const RawHttpReply second = server.get("/still.jpg", 5000, {{"If-None-Match", "*"}, {"If-Modified-Since", "Fri, 31 Dec 2100 00:00:00 GMT"}});
    QCOMPARE(second.status, 200);
    QCOMPARE(second.body, first.body);
}

// A file rewritten between two requests is a new picture, even within the same second.
void TstCamServer::pictureFileChangeIsSeen()
{
    QTemporaryDir root;
    const QString file = root.filePath(QStringLiteral("cam.jpg"));
    QVERIFY(writeFile(file, "first picture"));
    CamServerProcess server({QStringLiteral("--pictures"), root.path()});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const RawHttpReply first = server.get("/cam.jpg");
    const QList<QPair<QByteArray, QByteArray>> ask{{"If-None-Match", first.header("ETag")},
                                                   {"If-Modified-Since", first.header("Last-Modified")}};
    QCOMPARE(server.get("/cam.jpg", 5000, ask).status, 304);
    QVERIFY(writeFile(file, "second picture"));
    const RawHttpReply changed = server.get("/cam.jpg", 5000, ask);
    QCOMPARE(changed.status, 200);
    QCOMPARE(changed.body, QByteArray("second picture"));
    QVERIFY(changed.header("ETag") != first.header("ETag"));
    // Only pictures are answered conditionally.
    QVERIFY(server.get("/camlist.php").header("ETag").isEmpty());
}

void TstCamServer::badTagFaults_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("tag");

    QTest::newRow("bare CR") << QStringLiteral("bad-etag:0") << 200 << QByteArray("\"bad\rtag\"");
    QTest::newRow("10 kB") << QStringLiteral("bad-etag:10240") << 200 << "\"" + QByteArray(10238, 'e') + "\"";
    QTest::newRow("304 unasked") << QStringLiteral("not-modified") << 304 << QByteArray("\"never-sent\"");
}

void TstCamServer::badTagFaults()
{
    QFETCH(QString, mode);
    QFETCH(int, status);
    QFETCH(QByteArray, tag);

    QVERIFY(m_server.setFault(QStringLiteral("/cams/*"), mode));
    const RawHttpReply reply = m_server.get("/cams/1001.jpg?size=64x48");
    QCOMPARE(reply.status, status);
    QVERIFY(reply.complete());
    const int at = int(reply.raw.indexOf("\r\nETag: "));
    QVERIFY(at > 0);
    QCOMPARE(reply.raw.mid(at + 8, tag.size() + 2), tag + "\r\n");
    QCOMPARE(reply.body.isEmpty(), status == 304);
}

// A benchmark's pictures stay the same over a run when the scene's time is fixed; a clock
// read past the option would change the caption every second.
void TstCamServer::sceneTimeHoldsThePicture()
{
    CamServerProcess server({QStringLiteral("--scene-time"), QStringLiteral("12:00:00")});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QByteArray first = server.get("/cams/1001.jpg?size=64x48").body;
    QTest::qWait(1100);
    QVERIFY(!first.isEmpty());
    QCOMPARE(server.get("/cams/1001.jpg?size=64x48").body, first);
}

void TstCamServer::helpPrintsAndExits_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("--help") << QStringLiteral("--help");
    QTest::newRow("-h") << QStringLiteral("-h");
    QTest::newRow("--help-all") << QStringLiteral("--help-all");
}

// A help option must never start serving: the program prints and ends at once.
void TstCamServer::helpPrintsAndExits()
{
    QFETCH(QString, option);
    QProcess help;
    QElapsedTimer clock;
    clock.start();
    help.start(QStringLiteral(LUMORA_CAMSERVER_PATH), {option});
    QVERIFY(help.waitForStarted(5000));
    const bool finished = help.waitForFinished(5000);
    if (!finished) {
        help.kill();
        help.waitForFinished(5000);
    }
    const QByteArray out = help.readAllStandardOutput();
    QVERIFY2(finished, qPrintable(QStringLiteral("still running after 5 s; stdout: ") + QString::fromUtf8(out)));
    QCOMPARE(help.exitStatus(), QProcess::NormalExit);
    QCOMPARE(help.exitCode(), 0);
    QVERIFY2(out.startsWith("Usage: "), out.constData());
    QVERIFY(out.contains("--port <N>"));
    QVERIFY(out.contains("Fault modes"));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
}

void TstCamServer::credentials_data()
{
    QTest::addColumn<QString>("auth");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("password"); // sent after the challenge; empty: none sent
    QTest::addColumn<int>("status");
    const QString digest = QStringLiteral("digest:cam-user:s3cret:x");
    const QString basic = QStringLiteral("basic:cam-user:s3cret:x");
    const QByteArray picture = "/cams/1001.jpg?size=64x48";
    QTest::newRow("digest, none") << digest << picture << QByteArray() << 401;
    QTest::newRow("digest, right") << digest << picture << QByteArray("s3cret:x") << 200;
    QTest::newRow("digest, wrong password") << digest << picture << QByteArray("s3cret") << 401;
    QTest::newRow("digest sha-256, right") << QStringLiteral("digest-sha256:cam-user:s3cret:x") << picture << QByteArray("s3cret:x") << 200;
    QTest::newRow("basic, none") << basic << QByteArray("/cam.php?id=1002") << QByteArray() << 401;
    QTest::newRow("basic, right") << basic << picture << QByteArray("s3cret:x") << 200;
    QTest::newRow("basic, wrong password") << basic << picture << QByteArray("s3cret") << 401;
    QTest::newRow("catalogue open") << digest << QByteArray("/camlist.php") << QByteArray() << 200;
    QTest::newRow("comments open") << basic << QByteArray("/comments.php?camid=1002") << QByteArray() << 200;
}

void TstCamServer::credentials()
{
    QFETCH(QString, auth);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, password);
    QFETCH(int, status);
    CamServerProcess server({QStringLiteral("--auth"), auth});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const bool basic = auth.startsWith(QLatin1String("basic:"));
    const QByteArray basicSecret = QByteArray("cam-user:" + password).toBase64();
    QList<QPair<QByteArray, QByteArray>> headers;
    if (!password.isEmpty()) {
        const RawHttpReply challenge = server.get(target);
        QCOMPARE(challenge.status, 401);
        headers.append({"Authorization", basic ? "Basic " + basicSecret
                                               : digestAuthorization(challenge.header("WWW-Authenticate"), "cam-user", password, target)});
    }
    const RawHttpReply reply = server.get(target, 5000, headers);
    QCOMPARE(reply.status, status);
    if (status == 401)
        QVERIFY(reply.header("WWW-Authenticate").startsWith(basic ? "Basic realm=" : "Digest realm="));
    else if (target.startsWith("/cams/"))
        QCOMPARE(decode(reply.body).size(), QSize(64, 48));
    // The log names the scheme, never the secret.
    const QString log = server.requests().join(QLatin1Char('\n'));
    QVERIFY2(!log.contains(QLatin1String("s3cret")) && !log.contains(QLatin1String(basicSecret)), qPrintable(log));
    if (!password.isEmpty())
        QVERIFY2(log.contains(basic ? QLatin1String(" Authorization: Basic") : QLatin1String(" Authorization: Digest")), qPrintable(log));
}

void TstCamServer::picturesOverTls()
{
    QTemporaryDir dir;
    QString error;
    QVERIFY2(makeSelfSignedCertificate(dir.path(), &error), qPrintable(error));
    const QString cert = dir.filePath(QStringLiteral("cert.pem"));
    const QStringList tls {QStringLiteral("--tls-cert"), cert, QStringLiteral("--tls-key"), dir.filePath(QStringLiteral("key.pem"))};
    CamServerProcess server(tls);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QString base = QStringLiteral("https://127.0.0.1:%1").arg(server.port());
    const HttpsReply picture = httpsGet(QUrl(base + QStringLiteral("/cams/1001.jpg")), cert);
    QVERIFY2(picture.status == 200, qPrintable(picture.error));
    QCOMPARE(decode(picture.body).size(), QSize(640, 480));
    QVERIFY(httpsGet(QUrl(base + QStringLiteral("/camlist.php")), cert).body.contains((base + QStringLiteral("/cams/1001.jpg;")).toLatin1()));
    // Faults that write their own bytes onto the socket would go round the encryption.
    const QString fault = base + QStringLiteral("/_control/fault?path=/camlist.php&mode=");
    QCOMPARE(httpsGet(QUrl(fault + QStringLiteral("truncate:10")), cert).status, 400);
    QCOMPARE(httpsGet(QUrl(fault + QStringLiteral("status:503")), cert).status, 200);
    CamServerProcess refused(tls + QStringList {QStringLiteral("--fault"), QStringLiteral("/camlist.php=slow:100")});
    QVERIFY(!refused.start(5000));
    QVERIFY2(refused.errorString().contains(QLatin1String("TLS")), qPrintable(refused.errorString()));
}

QTEST_GUILESS_MAIN(TstCamServer)
#include "tst_camserver.moc"
