// A JPEG decoded smaller than its full size: the JPEG library's own scaled decode, and
// drawn into an area it looks as the full picture drawn there does.
#include "core/geometry/decodereduction.h"
#include "platform/picturedecoder.h"
#include "platform/scaleddrawing.h"
#include "resampling.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

Q_DECLARE_METATYPE(ViewScaleMode)

namespace {

// Detail at every scale: soft light, blocks of colour, and lines and dots one and two
// pixels wide, which blur at once when a picture is drawn from too small a copy.
QImage detailed(const QSize &size)
{
    QImage img(size, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient light(0, 0, size.width(), size.height());
    light.setColorAt(0, QColor(40, 70, 140));
    light.setColorAt(1, QColor(220, 190, 120));
    p.fillRect(img.rect(), light);
    QRandomGenerator rng(11);
    for (int i = 0; i < 400; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromHsv(rng.bounded(360), 60 + rng.bounded(190), 40 + rng.bounded(210)));
        p.drawRect(rng.bounded(size.width()), rng.bounded(size.height()), 4 + rng.bounded(size.width() / 10),
                   4 + rng.bounded(size.height() / 10));
    }
    for (int i = 0; i < 3000; ++i) {
        p.setPen(QPen(QColor::fromHsv(rng.bounded(360), 200, rng.bounded(2) ? 250 : 20), 1 + rng.bounded(2)));
        const QPoint a(rng.bounded(size.width()), rng.bounded(size.height()));
        p.drawLine(a, a + QPoint(rng.bounded(81) - 40, rng.bounded(81) - 40));
    }
    return img;
}

QByteArray jpeg(const QImage &image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image))
        qFatal("cannot write a JPEG: %s", qPrintable(writer.errorString()));
    return bytes;
}

// The picture decoded at this factor.
QImage decodedAt(const QByteArray &bytes, int factor)
{
    Reduction reduction;
    reduction.rule = [factor](const QSize &) { return factor; };
    QString error;
    const Picture picture = decodePictureBytes(bytes, error, nullptr, &reduction);
    if (!picture || reduction.used != factor)
        return QImage();
    return *picture;
}

// An area's surface with the picture drawn on it.
QImage drawn(const QImage &picture, const DrawingArea &area, ViewScaleMode mode)
{
    QImage surface(deviceSize(area.size, area.pixelRatio), QImage::Format_RGB32);
    surface.setDevicePixelRatio(area.pixelRatio);
    surface.fill(Qt::white);
    (void)drawScaledPicture(surface, area.size, picture, mode);
    return surface;
}

constexpr int FarApart = 24;

// What the JPEG library's scaling and the resampler's halving may differ by, drawn. The
// pictures here are all one- and two-pixel lines, so both drawings are compared with each
// other rather than with an exact area average: the resampler's last step, two pixels
// weighted by distance, strays from that on such lines (a mean of up to 2.6 levels) on its
// own, decoded smaller or not.
constexpr double MeanTolerance = 2.0;
constexpr double FarTolerance = 0.004;

resampling::Difference difference(const QImage &a, const QImage &b)
{
    return resampling::difference(a, b, FarApart);
}

} // namespace

class TestReducedDecode : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void drawnAsTheFullPicture_data();
    void drawnAsTheFullPicture();
    void theLibraryScales_data();
    void theLibraryScales();
    void onlyExactReductions_data();
    void onlyExactReductions();

private:
    QByteArray m_2160p;
    QByteArray m_1080p;
};

void TestReducedDecode::initTestCase()
{
    QImageReader::setAllocationLimit(256);
    m_2160p = jpeg(detailed(QSize(3840, 2160)), 90);
    m_1080p = jpeg(detailed(QSize(1920, 1080)), 90);
}

void TestReducedDecode::drawnAsTheFullPicture_data()
{
    QTest::addColumn<bool>("big");
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("factor");

    const auto S = ViewScaleMode::Stretch;
    const auto I = ViewScaleMode::ScaleInline;
    const auto O = ViewScaleMode::ScaleOutline;
    // The main area of a maximised window on a 1920 x 1080 screen.
    QTest::newRow("2160p stretch") << true << S << QSize(1672, 910) << 1.0 << 2;
    QTest::newRow("2160p inline") << true << I << QSize(1672, 910) << 1.0 << 2;
    QTest::newRow("2160p outline") << true << O << QSize(1672, 910) << 1.0 << 2;
    QTest::newRow("2160p inline, small area") << true << I << QSize(900, 500) << 1.0 << 4;
    QTest::newRow("2160p inline, small area, ratio 1.5") << true << I << QSize(900, 500) << 1.5 << 2;
    QTest::newRow("1080p stretch, ratio 2") << false << S << QSize(240, 135) << 2.0 << 4;
    QTest::newRow("1080p inline, wide area") << false << I << QSize(500, 100) << 1.0 << 8;
    QTest::newRow("1080p outline, wide area") << false << O << QSize(500, 100) << 1.0 << 2;
    QTest::newRow("1080p outline, square area") << false << O << QSize(400, 400) << 1.0 << 2;
    QTest::newRow("1080p inline, square area") << false << I << QSize(400, 400) << 1.0 << 4;
}

// The factor the rule picks draws what the full picture draws, within what the JPEG
// library's scaling and the resampler's halving differ by; one factor more would not.
void TestReducedDecode::drawnAsTheFullPicture()
{
    QFETCH(bool, big);
    QFETCH(ViewScaleMode, mode);
    QFETCH(QSize, area);
    QFETCH(qreal, ratio);
    QFETCH(int, factor);
    const QByteArray &bytes = big ? m_2160p : m_1080p;
    const DrawingArea where{area, ratio};

    const QImage full = decodedAt(bytes, 1);
    QVERIFY(!full.isNull());
    QCOMPARE(decode_reduction::factorFor(mode, full.size(), {where}), factor);
    const QImage reduced = decodedAt(bytes, factor);
    QCOMPARE(reduced.size(), full.size() / factor);

    const QImage wanted = drawn(full, where, mode);
    const resampling::Difference d = difference(drawn(reduced, where, mode), wanted);
    const QString text = QStringLiteral("factor %1: mean difference %2, %3 % far apart")
                             .arg(factor)
                             .arg(d.mean, 0, 'f', 2)
                             .arg(d.far * 100, 0, 'f', 3);
    QVERIFY2(d.mean <= MeanTolerance && d.far <= FarTolerance, qPrintable(text));

    // The tolerance tells a blurred drawing: from the next smaller decode the lines and dots
    // come out washed.
    if (factor < decode_reduction::MaxFactor) {
        const resampling::Difference blurred = difference(drawn(decodedAt(bytes, factor * 2), where, mode), wanted);
        QVERIFY2(blurred.far > 2 * FarTolerance, qPrintable(QStringLiteral("factor %1: %2 % far apart")
                                                                 .arg(factor * 2)
                                                                 .arg(blurred.far * 100, 0, 'f', 3)));
    }
}

void TestReducedDecode::theLibraryScales_data()
{
    QTest::addColumn<int>("factor");
    QTest::newRow("half") << 2;
    QTest::newRow("quarter") << 4;
    QTest::newRow("eighth") << 8;
}

// The reduced picture is the JPEG library's scaled decode itself, pixel for pixel what
// djpeg's scaled decode gives, and not a full decode shrunk afterwards.
void TestReducedDecode::theLibraryScales()
{
    QFETCH(int, factor);
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty())
        QSKIP("djpeg not installed (package libjpeg-turbo-progs)");
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.jpg"));
    const QString out = dir.filePath(QStringLiteral("out.ppm"));
    QFile file(in);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(m_1080p) == m_1080p.size());
    file.close();
    QProcess proc;
    proc.start(djpeg, {QStringLiteral("-scale"), QStringLiteral("1/%1").arg(factor), QStringLiteral("-outfile"), out, in});
    QVERIFY(proc.waitForFinished(30000) && proc.exitCode() == 0);
    const QImage reference = QImage(out).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(reference.size(), QSize(1920, 1080) / factor);

    const QImage reduced = decodedAt(m_1080p, factor);
    QCOMPARE(reduced.size(), reference.size());
    QCOMPARE(difference(reduced, reference).largest, 0);
    // Shrinking the full picture gives other pixels.
    const QImage shrunk = decodedAt(m_1080p, 1).scaled(reference.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QVERIFY(difference(shrunk, reference).largest > 0);
}

void TestReducedDecode::onlyExactReductions_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("used");
    QTest::newRow("halves") << QSize(1918, 1080) << 2 << 2;
    QTest::newRow("does not quarter") << QSize(1918, 1080) << 4 << 1;
    QTest::newRow("odd width") << QSize(1921, 1080) << 2 << 1;
    QTest::newRow("odd height") << QSize(1920, 1081) << 2 << 1;
    QTest::newRow("not a power of two") << QSize(1920, 1080) << 3 << 1;
    QTest::newRow("eighth") << QSize(1920, 1080) << 8 << 8;
}

// A factor that does not divide both sides would round a side and shift the picture's
// edges when drawn: such a JPEG is decoded whole.
void TestReducedDecode::onlyExactReductions()
{
    QFETCH(QSize, picture);
    QFETCH(int, asked);
    QFETCH(int, used);
    const QByteArray bytes = jpeg(detailed(picture), 85);
    Reduction reduction;
    QSize seen;
    reduction.rule = [&](const QSize &full) {
        seen = full;
        return asked;
    };
    QString error;
    const Picture decoded = decodePictureBytes(bytes, error, nullptr, &reduction);
    QVERIFY2(decoded.has_value(), qPrintable(error));
    QCOMPARE(seen, picture);
    QCOMPARE(reduction.used, used);
    QCOMPARE(decoded->size(), picture / used);
}

QTEST_MAIN(TestReducedDecode)
#include "tst_reduceddecode.moc"
