#include "craftedpictures.h"
#include "gifwriter.h"
#include "memorywatch.h"
#include "core/rules/pictureloaderrules.h"
#include "platform/picturedecoder.h"
#include "platform/picturememory.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <turbojpeg.h>

#include <atomic>
#include <functional>
#include <limits>
#include <memory>

using namespace picture_loader;

namespace {

enum class Outcome { NoPicture, Picture, EmptyPicture };

QByteArray encoded(const QImage &image, const char *format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot write %s: %s", format, qPrintable(writer.errorString()));
    return bytes;
}

// 40 x 30: red left half, blue right half; the top row of the right half is fully
// transparent and the top row of the left half half-transparent white.
QImage testPicture(bool withAlpha)
{
    QImage img(40, 30, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            QRgb c = x < 20 ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
            if (withAlpha && y == 0)
                c = x < 20 ? qRgba(255, 255, 255, 128) : qRgba(0, 255, 0, 0);
            img.setPixel(x, y, c);
        }
    }
    return img;
}

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const char *type, const QByteArray &payload)
{
    QByteArray body = QByteArray(type) + payload;
    QByteArray out;
    const quint32 len = quint32(payload.size());
    const quint32 crc = crc32(body);
    for (int s = 24; s >= 0; s -= 8)
        out.append(char((len >> s) & 0xff));
    out += body;
    for (int s = 24; s >= 0; s -= 8)
        out.append(char((crc >> s) & 0xff));
    return out;
}

// A PNG whose header claims 30000 x 30000 RGBA pixels (3.4 GiB); its data is a stub.
QByteArray hugePngHeader()
{
    QByteArray ihdr;
    for (quint32 v : {30000u, 30000u})
        for (int s = 24; s >= 0; s -= 8)
            ihdr.append(char((v >> s) & 0xff));
    ihdr.append(char(8)).append(char(6)).append(char(0)).append(char(0)).append(char(0));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IDAT", QByteArray(16, '\0'))
        + pngChunk("IEND", QByteArray());
}

QString decoderFailure(qint32 status)
{
    return BitmapFromFileFailedText + QStringLiteral("\r\n") + decoderStatusText(status);
}

// Every alpha value, each over a few colours, in rows of 256 pixels.
QImage alphaSweep(QImage::Format format)
{
    QImage img(256, 4, QImage::Format_ARGB32);
    const QRgb colours[] = {qRgb(255, 255, 255), qRgb(200, 100, 50), qRgb(0, 255, 0), qRgb(13, 77, 191)};
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, (colours[y] & 0xFFFFFF) | (uint(x) << 24));
    return img.convertToFormat(format);
}

// A palette picture whose entries run through transparency.
QImage paletteSweep()
{
    QImage img(64, 4, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i)
        table.append(qRgba(255 - i, i, (i * 3) % 256, i));
    img.setColorTable(table);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, uint(x * 4 + y));
    return img;
}

// What painting the decoded image onto black gives.
QImage paintedOverBlack(const QString &file)
{
    QImageReader reader(file);
    const QImage decoded = reader.read();
    QImage flat(decoded.size(), QImage::Format_RGB32);
    flat.fill(Qt::black);
    QPainter p(&flat);
    p.drawImage(0, 0, decoded);
    p.end();
    return flat;
}

// Colour running every way, and stripes that leave no 8 x 8 block plain.
QImage photo(QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb(x * 255 / size.width(), y * 255 / size.height(), (x + 2 * y) % 7 < 3 ? 230 : 40));
    return img;
}

// A JPEG of inks (the photo's bytes read as CMYK), which Qt's writer cannot make.
QByteArray cmykJpeg(QSize size)
{
    const QImage inks = photo(size);
    tjhandle handle = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long length = 0;
    tjCompress2(handle, inks.constBits(), size.width(), int(inks.bytesPerLine()), size.height(), TJPF_CMYK, &out,
                &length, TJSAMP_444, 90, 0);
    const QByteArray jpeg(reinterpret_cast<const char *>(out), qsizetype(length));
    tjFree(out);
    tjDestroy(handle);
    return jpeg;
}

// The JPEG with its frame header claiming another size; the data stays that of the old one.
QByteArray claimingSize(QByteArray jpeg, QSize size)
{
    const qsizetype frame = jpeg.indexOf("\xff\xc0") + 5;
    const QByteArray sides = crafted::bigEndian32(quint32(size.height()) << 16 | quint32(size.width()));
    return jpeg.replace(frame, 4, sides);
}

// The JPEG rewritten as a progressive one of 66 valid scans, one for each coefficient of
// the brightness (jpegtran writes 100 at most); empty where jpegtran is not installed.
QByteArray everyCoefficientAScan(const QByteArray &jpeg)
{
    QTemporaryDir dir;
    QFile scans(dir.filePath(QStringLiteral("scans.txt")));
    if (!scans.open(QIODevice::WriteOnly))
        return {};
    scans.write("0,1,2: 0-0, 0, 0 ;\n1: 1-63, 0, 0 ;\n2: 1-63, 0, 0 ;\n");
    for (int k = 1; k < 64; ++k)
        scans.write("0: " + QByteArray::number(k) + "-" + QByteArray::number(k) + ", 0, 0 ;\n");
    scans.close();
    QProcess jpegtran;
    jpegtran.start(QStringLiteral("jpegtran"), {QStringLiteral("-scans"), scans.fileName()});
    jpegtran.write(jpeg);
    jpegtran.closeWriteChannel();
    return jpegtran.waitForFinished(30000) && jpegtran.exitCode() == 0 ? jpegtran.readAllStandardOutput() : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TestPictureLoader : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void errorTable_data();
    void errorTable();
    void transparentAreasComeOutBlack_data();
    void transparentAreasComeOutBlack();
    void opaquePicturesKeepTheirPixels_data();
    void opaquePicturesKeepTheirPixels();
    void transparencyAsIfPaintedOverBlack_data();
    void transparencyAsIfPaintedOverBlack();
    void givenUpLoadEndsEarly_data();
    void givenUpLoadEndsEarly();
    void loadHoldsOnePicture();
    void framesReuseMemoryOnlyWhileLive();
    void jpegDecodedAsTheReaderDoes_data();
    void jpegDecodedAsTheReaderDoes();

private:
    void write(const QString &name, const QByteArray &content) const;
    QTemporaryDir m_dir;
    QString m_previousDir;
};

void TestPictureLoader::initTestCase()
{
    QImageReader::setAllocationLimit(256);
    QVERIFY(m_dir.isValid());
    // Relative names are looked up here, so the 4- and 5-character names can be tested.
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));

    const QByteArray png = encoded(testPicture(true), "png");
    write("a.png", png);
    write("archive.PNG", png);
    write(".hidden.png", png);
    write("nine.png", png.left(9));
    write("ten.png", png.left(10));
    write("ten.webp", png.left(10));
    write("photo.webp", png);
    write("empty.png", QByteArray());
    write("random.png", QByteArray("this is a letter, not any picture at all\r\n").repeated(4));
    QByteArray corrupt = png;
    for (int i = 40; i < corrupt.size() - 12; ++i)   // past the header, into the pixel data
        corrupt[i] = char(0x5a ^ i);
    write("corrupt.png", corrupt);
    write("truncated.png", png.left(png.size() / 2));
    write("huge.png", hugePngHeader());
    write("huge.bmp", hugePngHeader());
    write("photo.tif", encoded(testPicture(false), "tiff"));
    write("photo.TIFF", encoded(testPicture(false), "tiff"));
    write("photo.jpg", encoded(testPicture(false), "jpeg"));
    const QByteArray jpeg = encoded(photo(QSize(64, 48)), "jpeg");
    write("huge.jpg", claimingSize(jpeg, QSize(30000, 30000)));
    // 67 million pixels, 4 bytes each: a little over the limit in bytes, far under it in pixels.
    write("big.jpg", claimingSize(jpeg, QSize(8192, 8193)));
    write("photo.JPEG", encoded(testPicture(false), "jpeg"));
    write("jpeg-named.png", encoded(testPicture(false), "jpeg"));
    write("photo.gif", gifwriter::encode(testPicture(true), true));
    write("photo.bmp", encoded(testPicture(false), "bmp"));
    write("broken.bmp", QByteArray("BM") + QByteArray(60, '\x01'));
    write("bitmap-named.png", encoded(testPicture(false), "bmp"));
    write("broken-bitmap-named.png", QByteArray("BM") + QByteArray(60, '\x01'));
    write("photo.ico", encoded(testPicture(true).scaled(32, 32), "ico"));
    write("photo.emf", QByteArray(200, '\x01'));
    write("photo.wmf", QByteArray("\xd7\xcd\xc6\x9a", 4) + QByteArray(100, '\0'));
    QVERIFY(QDir(m_dir.path()).mkdir("folder.png"));
}

void TestPictureLoader::cleanupTestCase()
{
    QDir::setCurrent(m_previousDir);
}

void TestPictureLoader::write(const QString &name, const QByteArray &content) const
{
    QFile f(QDir(m_dir.path()).filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(content), content.size());
}

void TestPictureLoader::errorTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("error");

    const auto none = Outcome::NoPicture;
    const auto pic = Outcome::Picture;

    QTest::newRow("blank name") << "    " << Outcome::EmptyPicture << QString();
    QTest::newRow("nothing at all") << "" << Outcome::EmptyPicture << QString();
    QTest::newRow("4 characters") << "a.jp" << none << BadFileNameText;
    QTest::newRow("4 characters after trimming") << "  a.jp  " << none << BadFileNameText;
    QTest::newRow("5 characters pass") << "a.png" << pic << QString();
    QTest::newRow("trimmed before lookup") << "  a.png " << pic << QString();
    QTest::newRow("missing") << "missing.png" << none << FileMissingText;
    QTest::newRow("folder is no file") << "folder.png" << none << FileMissingText;
    QTest::newRow("hidden file accepted") << ".hidden.png" << pic << QString();
    QTest::newRow("0 bytes") << "empty.png" << none << EmptyFileText;
    QTest::newRow("9 bytes") << "nine.png" << none << EmptyFileText;
    QTest::newRow("10 bytes go on to the extension") << "ten.webp" << none << UnsupportedFormatText;
    QTest::newRow("10 bytes go on to the decoder") << "ten.png" << none << decoderFailure(2);
    QTest::newRow("unknown extension") << "photo.webp" << none << UnsupportedFormatText;
    QTest::newRow("unknown content") << "random.png" << none << decoderFailure(13);
    QTest::newRow("corrupt png") << "corrupt.png" << none << decoderFailure(2);
    QTest::newRow("truncated png") << "truncated.png" << none << decoderFailure(2);
    QTest::newRow("too many pixels refused") << "huge.png" << none << decoderFailure(3);
    QTest::newRow("too many pixels, platform loader") << "huge.bmp" << none << PlatformLoadFailedText;
    QTest::newRow("too many pixels, jpeg") << "huge.jpg" << none << decoderFailure(3);
    QTest::newRow("pixels' bytes over the limit, jpeg") << "big.jpg" << none << decoderFailure(3);
    QTest::newRow("upper-case extension") << "archive.PNG" << pic << QString();
    QTest::newRow("tif") << "photo.tif" << pic << QString();
    QTest::newRow("TIFF by ext5") << "photo.TIFF" << pic << QString();
    QTest::newRow("jpg") << "photo.jpg" << pic << QString();
    QTest::newRow("JPEG by ext5") << "photo.JPEG" << pic << QString();
    QTest::newRow("content decides the decoder") << "jpeg-named.png" << pic << QString();
    QTest::newRow("gif") << "photo.gif" << pic << QString();
    QTest::newRow("bmp by the platform loader") << "photo.bmp" << pic << QString();
    QTest::newRow("broken bmp, platform loader") << "broken.bmp" << none << PlatformLoadFailedText;
    QTest::newRow("bitmap content, decoder by name") << "bitmap-named.png" << pic << QString();
    QTest::newRow("broken bitmap content, decoder by name") << "broken-bitmap-named.png" << none << decoderFailure(2);
    QTest::newRow("icon") << "photo.ico" << pic << QString();
    QTest::newRow("enhanced metafile") << "photo.emf" << none << PlatformLoadFailedText;
    QTest::newRow("metafile") << "photo.wmf" << none << PlatformLoadFailedText;
}

void TestPictureLoader::errorTable()
{
    QFETCH(QString, name);
    QFETCH(Outcome, outcome);
    QFETCH(QString, error);

    // Where there is a file, its bytes held in memory load as it does.
    QFile file(name.trimmed());
    const bool hasBytes = QFileInfo(file).isFile() && file.open(QIODevice::ReadOnly);
    for (const bool fromBytes : {false, true}) {
        if (fromBytes && !hasBytes)
            break;
        QString text = QStringLiteral("left over from before");
        const Picture picture = fromBytes ? loadPictureBytes(name, file.readAll(), text) : loadPictureFile(name, text);
        QCOMPARE(text.toUtf8(), error.toUtf8());
        switch (outcome) {
        case Outcome::NoPicture:
            QVERIFY(!picture.has_value());
            break;
        case Outcome::EmptyPicture:
            QVERIFY(picture.has_value());
            QVERIFY(picture->isNull());
            break;
        case Outcome::Picture:
            QVERIFY(picture.has_value());
            QVERIFY(!picture->isNull());
            QCOMPARE(picture->format(), QImage::Format_RGB32);
            break;
        }
    }
}

void TestPictureLoader::transparentAreasComeOutBlack_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("halfAlpha");
    QTest::newRow("png") << "a.png" << true;
    QTest::newRow("gif") << "photo.gif" << false;   // GIF knows only on and off
}

void TestPictureLoader::transparentAreasComeOutBlack()
{
    QFETCH(QString, name);
    QFETCH(bool, halfAlpha);
    QString text;
    const Picture picture = loadPictureFile(name, text);
    QVERIFY2(picture && !picture->isNull(), qPrintable(text));
    QCOMPARE(picture->size(), QSize(40, 30));
    // The fully transparent strip is black, not the green hidden under it.
    QCOMPARE(picture->pixel(30, 0), qRgb(0, 0, 0));
    QCOMPARE(picture->pixel(39, 0), qRgb(0, 0, 0));
    // Opaque parts keep their colour.
    QCOMPARE(picture->pixel(5, 10), qRgb(255, 0, 0));
    QCOMPARE(picture->pixel(30, 10), qRgb(0, 0, 255));
    if (halfAlpha) {
        // Half-transparent white over black is a middle grey.
        const QColor grey = QColor::fromRgb(picture->pixel(5, 0));
        QVERIFY2(qAbs(grey.red() - 128) <= 2 && grey.red() == grey.green() && grey.green() == grey.blue(),
                 qPrintable(grey.name()));
    }
}

void TestPictureLoader::opaquePicturesKeepTheirPixels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("tolerance");
    QTest::newRow("tiff") << "photo.tif" << 0;
    QTest::newRow("bmp") << "photo.bmp" << 0;
    QTest::newRow("bitmap content, decoder by name") << "bitmap-named.png" << 0;
    QTest::newRow("jpeg") << "photo.jpg" << 24;
}

void TestPictureLoader::opaquePicturesKeepTheirPixels()
{
    QFETCH(QString, name);
    QFETCH(int, tolerance);
    QString text;
    const Picture picture = loadPictureFile(name, text);
    QVERIFY2(picture && !picture->isNull(), qPrintable(text));
    QCOMPARE(picture->size(), QSize(40, 30));
    for (const QPoint &at : {QPoint(0, 0), QPoint(5, 15), QPoint(35, 15), QPoint(39, 29)}) {
        const QColor want = at.x() < 20 ? QColor(255, 0, 0) : QColor(0, 0, 255);
        const QColor got = QColor::fromRgb(picture->pixel(at));
        QVERIFY2(qAbs(got.red() - want.red()) <= tolerance && qAbs(got.green() - want.green()) <= tolerance
                     && qAbs(got.blue() - want.blue()) <= tolerance,
                 qPrintable(got.name()));
    }
}

void TestPictureLoader::transparencyAsIfPaintedOverBlack_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("tolerance");
    QTest::newRow("RGBA PNG") << "sweep.png" << encoded(alphaSweep(QImage::Format_ARGB32), "png") << 0;
    QTest::newRow("premultiplied RGBA PNG")
        << "sweep-pm.png" << encoded(alphaSweep(QImage::Format_ARGB32_Premultiplied), "png") << 0;
    QTest::newRow("palette PNG with transparency") << "palette.png" << encoded(paletteSweep(), "png") << 0;
    QTest::newRow("16-bit RGBA PNG") << "sweep16.png" << encoded(alphaSweep(QImage::Format_RGBA64), "png") << 1;
    QTest::newRow("GIF") << "sweep.gif" << gifwriter::encode(testPicture(true), true) << 0;
    QTest::newRow("opaque PNG") << "opaque.png" << encoded(testPicture(false), "png") << 0;
}

// The loader lays transparency over black in the decoded image itself, not by painting it
// into a second one; the pixels come out the same.
void TestPictureLoader::transparencyAsIfPaintedOverBlack()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, tolerance);
    write(name, content);
    QString text;
    const Picture picture = loadPictureFile(name, text);
    QVERIFY2(picture && !picture->isNull(), qPrintable(text));
    QCOMPARE(picture->format(), QImage::Format_RGB32);
    const QImage want = paintedOverBlack(name);
    QCOMPARE(picture->size(), want.size());
    for (int y = 0; y < want.height(); ++y) {
        for (int x = 0; x < want.width(); ++x) {
            const QRgb got = picture->pixel(x, y);
            const QRgb w = want.pixel(x, y);
            QVERIFY2(qAlpha(got) == 255 && qAbs(qRed(got) - qRed(w)) <= tolerance
                         && qAbs(qGreen(got) - qGreen(w)) <= tolerance && qAbs(qBlue(got) - qBlue(w)) <= tolerance,
                     qPrintable(QStringLiteral("(%1, %2): %3, painted %4").arg(x).arg(y).arg(got, 8, 16).arg(w, 8, 16)));
        }
    }
}

void TestPictureLoader::givenUpLoadEndsEarly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QImage gif(3072, 3072, QImage::Format_RGB32);
    for (int y = 0; y < gif.height(); ++y)
        for (int x = 0; x < gif.width(); ++x)
            gif.setPixel(x, y, qRgb((x * 5) & 255, (y * 3) & 255, (x ^ y) & 255));
    QTest::newRow("progressive JPEG, a scan repeated") << "slow.jpg" << crafted::jpegScanBomb(2048, 400);
    QTest::newRow("PNG") << "slow.png" << crafted::rgbaPng(crafted::rampRow(4096), 4096);
    QTest::newRow("GIF") << "slow.gif" << gifwriter::encode(gif, false);
}

// A load given up from another thread stops reading its file, and each decoder then ends
// long before the whole picture would have been done: no picture, "Abbruch der Operation".
void TestPictureLoader::givenUpLoadEndsEarly()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QVERIFY(!content.isEmpty());
    write(name, content);

    // Each time is the shortest of a few runs: the machine's other work only adds to it.
    const auto shortest = [](const std::function<void()> &run) {
        qint64 best = std::numeric_limits<qint64>::max();
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer clock;
            clock.start();
            run();
            best = qMin(best, clock.elapsed());
        }
        return best;
    };
    QString text;
    bool wholeLoaded = true;
    const qint64 wholeMs = shortest([&] { wholeLoaded = wholeLoaded && loadPictureFile(name, text); });
    QVERIFY2(wholeLoaded, qPrintable(text));
    // The fixed costs, which depend on how dear fresh memory is on this machine: a load of the
    // file's first twentieth.
    write(QStringLiteral("short-") + name, content.left(content.size() / 20));
    const qint64 fixedMs = shortest([&] { (void)loadPictureFile(QStringLiteral("short-") + name, text); });

    bool allCut = true;
    QString cutText;
    const qint64 cutMs = shortest([&] {
        std::atomic<bool> cancel{false};
        Picture cut;
        std::unique_ptr<QThread> worker(QThread::create([&] { cut = loadPictureFile(name, cutText, &cancel); }));
        worker->start();
        QThread::msleep(qMax<qint64>(5, wholeMs / 10));
        cancel = true;
        allCut = worker->wait(30000) && !cut && allCut;
    });
    QVERIFY(allCut);
    QCOMPARE(cutText, decoderFailure(9));
    qInfo("the whole load took %lld ms (%lld ms fixed), the one given up ended after %lld ms", wholeMs, fixedMs, cutMs);
    // Without the flag it would take the whole load's time; a decoder that stops has only
    // its fixed costs left (the JPEG reader's last pass, filling the GIF's canvas).
    QVERIFY2(cutMs < fixedMs + (wholeMs - fixedMs) * 2 / 3,
             qPrintable(QStringLiteral("given up after %1 ms of a %2 ms load").arg(cutMs).arg(wholeMs)));
}

// A load near the pixel limit may not hold a second full-size copy of the picture.
void TestPictureLoader::loadHoldsOnePicture()
{
    const int side = 4096;
    write("big.png", crafted::rgbaPng(crafted::rampRow(side), side));
    const qint64 pictureBytes = qint64(side) * side * 4;
    QString text;
    MemoryWatch memory;
    Picture picture = loadPictureFile(QStringLiteral("big.png"), text);
    const qint64 growth = memory.growth();
    QVERIFY2(picture && picture->size() == QSize(side, side), qPrintable(text));
    QVERIFY2(growth < pictureBytes * 13 / 10,
             qPrintable(QStringLiteral("%1 MiB for a %2 MiB picture").arg(growth >> 20).arg(pictureBytes >> 20)));
}

// While a stream runs, a frame's memory goes to the next frame of its size; after it, the
// memory goes back to the system.
void TestPictureLoader::framesReuseMemoryOnlyWhileLive()
{
    const QSize frame(1920, 1080);
    {
        PictureRecycling live;
        const auto first = quintptr(newPicture(frame, QImage::Format_RGB32).constBits());
        QCOMPARE(quintptr(newPicture(frame, QImage::Format_RGB32).constBits()), first);
        QCOMPARE(PictureRecycling::storedBlocks(), 1);
    }
    QCOMPARE(PictureRecycling::storedBlocks(), 0);
    QImage kept = newPicture(frame, QImage::Format_RGB32);
    kept = QImage();
    QCOMPARE(PictureRecycling::storedBlocks(), 0);

    // Huge pictures are not kept beyond a few 4K frames' worth: 50 MiB each, two at most.
    PictureRecycling stills;
    for (int i = 0; i < 4; ++i)
        (void)newPicture(QSize(5000, 2621), QImage::Format_RGB32);
    QCOMPARE(PictureRecycling::storedBlocks(), 1);
    {
        const QImage a = newPicture(QSize(5000, 2621), QImage::Format_RGB32);
        const QImage b = newPicture(QSize(5000, 2621), QImage::Format_RGB32);
        const QImage c = newPicture(QSize(5000, 2621), QImage::Format_RGB32);
    }
    QCOMPARE(PictureRecycling::storedBlocks(), 2);
}

void TestPictureLoader::jpegDecodedAsTheReaderDoes_data()
{
    QTest::addColumn<QByteArray>("jpeg");
    QTest::addColumn<int>("factor");
    QTest::addColumn<bool>("direct"); // decoded by TurboJPEG, not left to the reader

    const QImage odd = photo(QSize(61, 45));
    const QByteArray colour = encoded(odd, "jpeg");
    const QByteArray even = encoded(photo(QSize(96, 64)), "jpeg");
    QByteArray damaged = even;
    damaged.replace(damaged.size() / 2, 40, QByteArray("\x5a\xff\x2c").repeated(13).left(40));
    QTest::newRow("colour, odd size") << colour << 1 << true;
    QTest::newRow("progressive") << encoded(odd, "jpeg", true) << 1 << true;
    QTest::newRow("grey") << encoded(odd.convertToFormat(QImage::Format_Grayscale8), "jpeg") << 1 << true;
    QTest::newRow("half") << even << 2 << true;
    QTest::newRow("quarter") << even << 4 << true;
    QTest::newRow("eighth") << even << 8 << true;
    // The reader keeps what is there; TurboJPEG cannot tell that from a failure after a warning.
    QTest::newRow("truncated") << colour.left(colour.size() * 2 / 3) << 1 << false;
    QTest::newRow("damaged, refused by the reader") << damaged << 1 << false;
    QTest::newRow("cmyk") << cmykJpeg(QSize(61, 45)) << 1 << false;
    QTest::newRow("a scan repeated") << crafted::jpegScanBomb(64, 40) << 1 << false;
    QTest::newRow("a scan for every coefficient of the brightness") << everyCoefficientAScan(even) << 1 << false;
    QTest::newRow("header cut short") << colour.left(60) << 1 << false;
}

// A JPEG held in memory is decoded by TurboJPEG where it can be, and every JPEG ends as
// Qt's reader ends it: the same outcome, and the same pixels at the same reduced size.
void TestPictureLoader::jpegDecodedAsTheReaderDoes()
{
    QFETCH(QByteArray, jpeg);
    QFETCH(int, factor);
    QFETCH(bool, direct);
    if (jpeg.isEmpty())
        QSKIP("jpegtran not installed (package libjpeg-turbo-progs)");
    QBuffer buffer(&jpeg);
    QImageReader reader(&buffer, "jpeg");
    reader.setScaledSize(reader.size() / factor);
    const QImage want = reader.read().convertToFormat(QImage::Format_RGB32);

    Reduction reduction;
    reduction.rule = [factor](const QSize &) { return factor; };
    QString text;
    const Picture got = decodePictureBytes(jpeg, text, nullptr, &reduction);
    QCOMPARE(got.has_value(), !want.isNull());
    QCOMPARE(text, want.isNull() ? decoderFailure(2) : QString());
    QCOMPARE(decodeJpegDirectly(jpeg, nullptr, &reduction).taken, direct);
    if (want.isNull())
        return;
    QCOMPARE(reduction.used, factor);
    QCOMPARE(got->size(), want.size());
    for (int y = 0; y < want.height(); ++y) {
        // The byte Format_RGB32 leaves unused holds 0xff.
        const QRgb *line = reinterpret_cast<const QRgb *>(got->constScanLine(y));
        for (int x = 0; x < want.width(); ++x)
            QVERIFY2(line[x] == want.pixel(x, y), qPrintable(QStringLiteral("(%1, %2): %3 for %4").arg(x).arg(y)
                                                                  .arg(line[x], 8, 16).arg(want.pixel(x, y), 8, 16)));
    }
}

QTEST_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"
