// Pictures on screens of more than one device pixel to a logical one. Run with
// QT_SCALE_FACTOR set (1, 1.5, 2): every picture area takes the screen's ratio, and a
// picture is drawn in device pixels, both on the area's surface and where it is painted.
#include "core/geometry/devicepixels.h"
#include "core/state/runningstate.h"
#include "platform/scaleddrawing.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"
#include "resampling.h"

#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QTest>
#include <QThread>

#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(ViewScaleMode)

namespace {

const QRgb Black = qRgb(0, 0, 0);

// The ratio this run was started with; the test refuses to run at another.
qreal startedRatio()
{
    bool ok = false;
    const qreal factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok ? factor : 1.0;
}

// The device pixels a logical rectangle covers at this ratio, each edge on the device
// pixel nearest to it (halves up), so that a picture made this size fits it exactly.
QRect onDevicePixels(const QRect &logical, qreal ratio)
{
    const auto edge = [ratio](int v) { return int(std::floor(v * ratio + 0.5)); };
    const int left = edge(logical.left());
    const int top = edge(logical.top());
    return QRect(left, top, edge(logical.left() + logical.width()) - left,
                 edge(logical.top() + logical.height()) - top);
}

// One-pixel stripes both ways: every row differs from its neighbours, every column too.
QImage stripes(const QSize &size)
{
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] = qRgb(x % 2 ? 230 : 20, y % 2 ? 210 : 40, 120);
    }
    return img;
}

QImage noise(const QSize &size)
{
    QImage img(size, QImage::Format_RGB32);
    quint32 seed = 4711;
    for (int y = 0; y < img.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            line[x] = 0xff000000u | (seed >> 8);
        }
    }
    return img;
}

// What an area of this device size shows with `picture` placed at `at` and black around.
QImage onBlack(const QSize &deviceSize, const QImage &picture, QPoint at)
{
    QImage img(deviceSize, QImage::Format_RGB32);
    img.fill(Black);
    QPainter p(&img);
    p.drawImage(at, picture);
    return img;
}

// The first place two pictures of the same size differ, or an empty text.
QString firstDifference(const QImage &got, const QImage &wanted)
{
    if (got.size() != wanted.size())
        return QStringLiteral("size %1 x %2, wanted %3 x %4")
            .arg(got.width())
            .arg(got.height())
            .arg(wanted.width())
            .arg(wanted.height());
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            if (got.pixel(x, y) != wanted.pixel(x, y))
                return QStringLiteral("pixel %1, %2 is %3, wanted %4")
                    .arg(x)
                    .arg(y)
                    .arg(got.pixel(x, y), 8, 16)
                    .arg(wanted.pixel(x, y), 8, 16);
    return QString();
}

// The smallest rectangle holding every pixel that is not black; empty when all are.
QRect litPixels(const QImage &img)
{
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xffffffu) != 0)
                box |= QRect(x, y, 1, 1);
    return box;
}

// What the screen shows of a widget, once what was drawn has been painted.
QImage shownOnScreen(QWidget &widget)
{
    QTest::qWait(50);
    const QPoint at = widget.mapTo(widget.window(), QPoint(0, 0));
    return QGuiApplication::primaryScreen()
        ->grabWindow(widget.window()->winId(), at.x(), at.y(), widget.width(), widget.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// Both windows' picture areas, drawn the way a refresh draws them.
struct Windows
{
    RunningState state;
    std::unique_ptr<MainWindow> main = std::make_unique<MainWindow>(state);
    std::unique_ptr<FullscreenWindow> full = std::make_unique<FullscreenWindow>(state);

    PictureArea &area(bool fullscreen) { return fullscreen ? *full->pictureArea() : *main->pictureArea(); }
    PictureView &view(bool fullscreen)
    {
        return fullscreen ? static_cast<PictureView &>(*full->pictureArea()) : static_cast<PictureView &>(*main->pictureArea());
    }
    // The fullscreen window lays its area out over the whole window at each resize; it
    // draws only while shown, here at the size asked for instead of the screen's.
    void draw(bool fullscreen, const QSize &size, const QImage &picture, ViewScaleMode mode)
    {
        if (fullscreen) {
            if (!full->isVisible()) {
                full->show();
                full->setWindowState(Qt::WindowNoState);
            }
            full->resize(size);
            QResizeEvent resized(size, QSize());
            QCoreApplication::sendEvent(full.get(), &resized);
        } else {
            area(fullscreen).resize(size);
        }
        QCOMPARE(area(fullscreen).size(), size);
        state.switches.setScaleMode(mode);
        view(fullscreen).showPicture(picture, state.switches.scaleMode());
    }
};

// The surface and what painting the area puts on a screen of its ratio both show `wanted`.
void checkShows(PictureArea &area, const QImage &wanted)
{
    const QImage surface = area.surface().convertToFormat(QImage::Format_RGB32);
    const QString onSurface = firstDifference(surface, wanted);
    QVERIFY2(onSurface.isEmpty(), qPrintable(QStringLiteral("surface: ") + onSurface));
    const QImage painted = area.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString onScreen = firstDifference(painted, wanted);
    QVERIFY2(onScreen.isEmpty(), qPrintable(QStringLiteral("painted: ") + onScreen));
}

} // namespace

class TestHiDpiDrawing : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void stripesStayStripes_data();
    void stripesStayStripes();
    void enlargedSmoothly_data();
    void enlargedSmoothly();
    void bulletsKeepTheirPlaceAndSize();
    void clearedWhileHiddenComesBackBlack();
    void partialRepaintsMatchAWholeOne();
    void preparedForDevicePixels_data();
    void preparedForDevicePixels();
};

void TestHiDpiDrawing::initTestCase()
{
    // Without the screen's ratio on the surfaces every other test here proves nothing.
    Windows w;
    QCOMPARE(w.area(false).surface().devicePixelRatio(), startedRatio());
    QCOMPARE(w.area(true).surface().devicePixelRatio(), startedRatio());
}

void TestHiDpiDrawing::stripesStayStripes_data()
{
    QTest::addColumn<bool>("fullscreen");
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QRect>("rect"); // where the picture lands, logical pixels
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("main, stretch") << false << ViewScaleMode::Stretch << QSize(400, 300) << QRect(0, 0, 400, 300)
                                   << QImage::Format_RGB32;
    QTest::newRow("main, inline") << false << ViewScaleMode::ScaleInline << QSize(400, 300) << QRect(0, 0, 400, 300)
                                  << QImage::Format_RGB32;
    QTest::newRow("main, outline") << false << ViewScaleMode::ScaleOutline << QSize(400, 300)
                                   << QRect(0, 0, 400, 300) << QImage::Format_RGB32;
    QTest::newRow("main, inline with bars") << false << ViewScaleMode::ScaleInline << QSize(500, 300)
                                            << QRect(50, 0, 400, 300) << QImage::Format_RGB32;
    QTest::newRow("main, outline cut") << false << ViewScaleMode::ScaleOutline << QSize(400, 200)
                                       << QRect(0, -50, 400, 300) << QImage::Format_RGB32;
    QTest::newRow("main, stretch, odd sides") << false << ViewScaleMode::Stretch << QSize(401, 301)
                                              << QRect(0, 0, 401, 301) << QImage::Format_RGB32;
    QTest::newRow("fullscreen, stretch") << true << ViewScaleMode::Stretch << QSize(640, 480)
                                         << QRect(0, 0, 640, 480) << QImage::Format_RGB32;
    QTest::newRow("fullscreen, inline with bars") << true << ViewScaleMode::ScaleInline << QSize(700, 480)
                                                  << QRect(30, 0, 640, 480) << QImage::Format_RGB32;
    QTest::newRow("fullscreen, outline cut") << true << ViewScaleMode::ScaleOutline << QSize(640, 400)
                                             << QRect(0, -40, 640, 480) << QImage::Format_RGB32;
    // A picture with an alpha channel is painted, not copied.
    QTest::newRow("main, inline with bars, alpha") << false << ViewScaleMode::ScaleInline << QSize(500, 300)
                                                   << QRect(50, 0, 400, 300) << QImage::Format_ARGB32;
}

// A picture exactly as large as the device pixels it lands on is copied to them unchanged.
void TestHiDpiDrawing::stripesStayStripes()
{
    QFETCH(bool, fullscreen);
    QFETCH(ViewScaleMode, mode);
    QFETCH(QSize, area);
    QFETCH(QRect, rect);
    QFETCH(QImage::Format, format);
    const qreal ratio = startedRatio();
    const QRect device = onDevicePixels(rect, ratio);
    const QImage picture = stripes(device.size()).convertToFormat(format);

    Windows w;
    w.draw(fullscreen, area, picture, mode);
    if (QTest::currentTestFailed())
        return;
    const QSize deviceArea = onDevicePixels(QRect(QPoint(0, 0), area), ratio).size();
    checkShows(w.area(fullscreen), onBlack(deviceArea, picture, device.topLeft()));
}

void TestHiDpiDrawing::enlargedSmoothly_data()
{
    QTest::addColumn<bool>("fullscreen");
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("main, stretch") << false << ViewScaleMode::Stretch << QSize(400, 300) << QSize(300, 200)
                                   << QRect(0, 0, 400, 300);
    QTest::newRow("main, stretch, odd sides") << false << ViewScaleMode::Stretch << QSize(401, 301) << QSize(401, 301)
                                              << QRect(0, 0, 401, 301);
    QTest::newRow("main, inline") << false << ViewScaleMode::ScaleInline << QSize(500, 300) << QSize(320, 240)
                                  << QRect(50, 0, 400, 300);
    QTest::newRow("fullscreen, outline") << true << ViewScaleMode::ScaleOutline << QSize(640, 400)
                                         << QSize(320, 240) << QRect(0, -40, 640, 480);
}

// A picture enlarged beyond the device rectangle is smoothly scaled to that rectangle,
// never to the logical one and then enlarged again, which repeats pixels unevenly at a
// ratio that is not whole.
void TestHiDpiDrawing::enlargedSmoothly()
{
    QFETCH(bool, fullscreen);
    QFETCH(ViewScaleMode, mode);
    QFETCH(QSize, area);
    QFETCH(QSize, picture);
    QFETCH(QRect, rect);
    const qreal ratio = startedRatio();
    const QRect device = onDevicePixels(rect, ratio);
    const QImage img = resampling::softPicture(picture);

    Windows w;
    w.draw(fullscreen, area, img, mode);
    if (QTest::currentTestFailed())
        return;
    const QSize deviceArea = onDevicePixels(QRect(QPoint(0, 0), area), ratio).size();
    const QImage wanted = resampling::referenceDrawing(deviceArea, img, device);
    const resampling::Difference onSurface = resampling::difference(w.area(fullscreen).surface(), wanted);
    QVERIFY2(onSurface.withinTolerance(), qPrintable(QStringLiteral("surface: ") + onSurface.text()));
    const resampling::Difference painted = resampling::difference(w.area(fullscreen).grab().toImage(), wanted);
    QVERIFY2(painted.withinTolerance(), qPrintable(QStringLiteral("painted: ") + painted.text()));
}

// The transfer bullets sit where they do at one device pixel to a logical one, at the same
// logical size, only drawn with more device pixels.
void TestHiDpiDrawing::bulletsKeepTheirPlaceAndSize()
{
    const qreal ratio = startedRatio();
    const QString bullets = QStringLiteral("\u2022 \u2022 \u2022 \u2022");
    Windows w;
    PictureArea &area = w.area(false);
    area.resize(300, 100);
    area.clear();
    w.main->showTransferState(bullets);
    const QRect drawn = litPixels(area.surface());

    // The same text on a logical surface.
    QImage logical(300, 100, QImage::Format_RGB32);
    logical.fill(Black);
    {
        QPainter p(&logical);
        p.setFont(area.font());
        p.setPen(Qt::white);
        p.drawText(QRect(8, 4, 1000, 1000), Qt::AlignLeft | Qt::AlignTop, bullets);
    }
    const QRect wanted = litPixels(logical);
    QVERIFY(!wanted.isEmpty());
    QVERIFY(!drawn.isEmpty());
    const QRectF back(drawn.left() / ratio, drawn.top() / ratio, drawn.width() / ratio, drawn.height() / ratio);
    const QString text = QStringLiteral("drawn %1,%2 %3 x %4 device pixels, wanted about %5,%6 %7 x %8 logical")
                             .arg(drawn.left())
                             .arg(drawn.top())
                             .arg(drawn.width())
                             .arg(drawn.height())
                             .arg(wanted.left())
                             .arg(wanted.top())
                             .arg(wanted.width())
                             .arg(wanted.height());
    // Glyphs are hinted for their device size and the shadow adds a pixel: a little leeway.
    QVERIFY2(qAbs(back.left() - wanted.left()) <= 1.5, qPrintable(text));
    QVERIFY2(qAbs(back.top() - wanted.top()) <= 1.5, qPrintable(text));
    QVERIFY2(qAbs(back.width() - wanted.width()) <= 2.5, qPrintable(text));
    QVERIFY2(qAbs(back.height() - wanted.height()) <= 2.5, qPrintable(text));

}

// What the window shows of the area after the bullets came and went, the badge over the
// picture all the while, painted in parts only, is what painting it whole shows.
void TestHiDpiDrawing::partialRepaintsMatchAWholeOne()
{
    Windows w;
    PictureArea &area = w.area(false);
    w.main->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.main.get()));
    w.draw(false, QSize(200, 120), noise(deviceSize(QSize(200, 120), startedRatio())), ViewScaleMode::Stretch);
    w.main->pictureArea()->showUnchangedNote(QStringLiteral("unchanged since 14:02"));
    const auto shown = [&] { return shownOnScreen(area); };
    const auto whole = [&] { return area.grab().toImage().convertToFormat(QImage::Format_RGB32); };
    QImage before = shown();
    for (int n : {2, 5, 8}) {
        w.main->showTransferState(QStringLiteral("\u2022 ").repeated(n));
        const QImage now = shown();
        QVERIFY2(now != before, "the bullets reach the screen");
        const QString difference = firstDifference(now, whole());
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("%1 bullets: %2").arg(n).arg(difference)));
        before = now;
    }
    w.main->clearTransferState();
    const QString difference = firstDifference(shown(), whole());
    QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("wiped: ") + difference));
}

// An area cleared while its window is hidden lets its surface go; shown again it is black
// over its whole size, on its surface, where it is painted and on the screen.
void TestHiDpiDrawing::clearedWhileHiddenComesBackBlack()
{
    Windows w;
    PictureArea &area = w.area(false);
    w.main->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.main.get()));
    QImage white(deviceSize(area.size(), startedRatio()), QImage::Format_RGB32);
    white.fill(Qt::white);
    w.draw(false, area.size(), white, ViewScaleMode::Stretch);
    QTest::qWait(50);
    w.main->hide();
    area.clear();
    w.main->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.main.get()));
    const QImage screen = shownOnScreen(area);
    QVERIFY(!screen.isNull());
    QCOMPARE(litPixels(screen), QRect());
    checkShows(area, onBlack(deviceSize(area.size(), startedRatio()), QImage(), QPoint()));
}

void TestHiDpiDrawing::preparedForDevicePixels_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<QSize>("main");
    QTest::addColumn<QSize>("fullscreen");
    QTest::newRow("inline") << QSize(4096, 3072) << ViewScaleMode::ScaleInline << QSize(500, 380)
                            << QSize(1024, 768);
    QTest::newRow("outline") << QSize(4096, 2048) << ViewScaleMode::ScaleOutline << QSize(500, 300)
                             << QSize(1024, 768);
    QTest::newRow("stretch") << QSize(2048, 2048) << ViewScaleMode::Stretch << QSize(260, 260) << QSize(640, 480);
}

// Surfaces the decode worker makes for both areas at their device pixels are what the
// windows draw themselves, and showing them takes the window thread no resampling.
void TestHiDpiDrawing::preparedForDevicePixels()
{
    QFETCH(QSize, picture);
    QFETCH(ViewScaleMode, mode);
    QFETCH(QSize, main);
    QFETCH(QSize, fullscreen);
    const QImage img = noise(picture);

    Windows w;
    w.draw(false, main, img, mode);
    w.draw(true, fullscreen, img, mode);
    if (QTest::currentTestFailed())
        return;
    const QImage mainDirect = w.area(false).surface().copy();
    const QImage fullDirect = w.area(true).surface().copy();

    QImage preparedMain;
    QImage preparedFull;
    const DrawingArea mainArea{w.main->pictureArea()->pictureAreaSize(), w.main->pictureArea()->pictureAreaPixelRatio()};
    const DrawingArea fullArea{w.full->pictureArea()->pictureAreaSize(), w.full->pictureArea()->pictureAreaPixelRatio()};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        preparedMain = framedInArea(img, mainArea, mode);
        preparedFull = framedInArea(img, fullArea, mode);
    }));
    worker->start();
    QVERIFY(worker->wait(20000));
    w.area(false).clear();
    w.area(true).clear();
    const quint64 before = resamplingsOnThisThread();
    w.view(true).showPicture(img, mode, preparedFull);
    w.view(false).showPicture(img, mode, preparedMain);
    QCOMPARE(resamplingsOnThisThread(), before);
    QCOMPARE(w.area(false).surface(), mainDirect);
    QCOMPARE(w.area(true).surface(), fullDirect);
}

QTEST_MAIN(TestHiDpiDrawing)
#include "tst_hidpidrawing.moc"
