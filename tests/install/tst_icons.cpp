// The icon the install puts into the hicolor theme, and the one the windows carry: each
// bitmap has its exact size, shows the drawing (not an empty or flat square) and is the
// drawing as the program renders it, so an out-of-date or misplaced file shows up.

#include "ui/pictures/appicon.h"

#include <QImageReader>
#include <QSvgRenderer>
#include <QTest>

namespace {

// Pixels that are covered, and how many colours they take.
struct Coverage {
    int opaque = 0;
    int colours = 0;
};

Coverage coverage(const QImage &image)
{
    Coverage result;
    QSet<QRgb> colours;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb pixel = argb.pixel(x, y);
            if (qAlpha(pixel) == 255) {
                ++result.opaque;
                colours.insert(pixel);
            }
        }
    }
    result.colours = colours.size();
    return result;
}

} // namespace

class TestIcons : public QObject
{
    Q_OBJECT

private slots:
    void installedBitmap_data();
    void installedBitmap();
    void installedDrawing();
    void windowIcon_data();
    void windowIcon();
};

void TestIcons::installedBitmap_data()
{
    QTest::addColumn<int>("size");
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        QTest::addRow("%dx%d", size, size) << size;
}

void TestIcons::installedBitmap()
{
    QFETCH(int, size);
    const QString file = QStringLiteral(LUMORA_INSTALL_ROOT "/usr/share/icons/hicolor/%1x%1/apps/io.lumora.Viewer.png")
                             .arg(size);
    QImageReader reader(file);
    QCOMPARE(reader.format(), QByteArray("png"));
    QCOMPARE(reader.size(), QSize(size, size));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    // Outside the tile's rounded corners the square stays clear; most of it is covered, in
    // many colours.
    const int in = size * 8 / 256;
    for (const QPoint corner : {QPoint(in, in), QPoint(size - 1 - in, in), QPoint(in, size - 1 - in),
                                QPoint(size - 1 - in, size - 1 - in)})
        QVERIFY2(qAlpha(image.pixel(corner)) == 0, qPrintable(QStringLiteral("corner %1,%2 covered")
                                                                  .arg(corner.x()).arg(corner.y())));
    const Coverage covered = coverage(image);
    QVERIFY2(covered.opaque > size * size / 2, qPrintable(QString::number(covered.opaque)));
    QVERIFY2(covered.colours >= 5, qPrintable(QString::number(covered.colours)));
    QCOMPARE(image.convertToFormat(QImage::Format_ARGB32),
             appicon::render(size).convertToFormat(QImage::Format_ARGB32));
}

void TestIcons::installedDrawing()
{
    QSvgRenderer renderer(QStringLiteral(LUMORA_INSTALL_ROOT "/usr/share/icons/hicolor/scalable/apps/io.lumora.Viewer.svg"));
    QVERIFY(renderer.isValid());
    QCOMPARE(renderer.defaultSize(), QSize(256, 256));
}

void TestIcons::windowIcon_data()
{
    installedBitmap_data();
}

void TestIcons::windowIcon()
{
    QFETCH(int, size);
    const QIcon icon = appicon::icon();
    QVERIFY(icon.availableSizes().contains(QSize(size, size)));
    const QImage image = icon.pixmap(QSize(size, size)).toImage();
    QCOMPARE(image.size(), QSize(size, size));
    const Coverage covered = coverage(image);
    QVERIFY2(covered.opaque > size * size / 2, qPrintable(QString::number(covered.opaque)));
    QVERIFY2(covered.colours >= 5, qPrintable(QString::number(covered.colours)));
}

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
