#include "core/geometry/scalemodes.h"
#include "core/state/runningstate.h"
#include "platform/picturedecoder.h"
#include "platform/scaleddrawing.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/mainwindow.h"
#include "resampling.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QMenu>
#include <QPainter>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include <memory>
#include <vector>

Q_DECLARE_METATYPE(ViewScaleMode)

namespace {

const QRgb Body = qRgb(200, 120, 40);
const QRgb Band = qRgb(40, 200, 90);
const QRgb Black = qRgb(0, 0, 0);

// 640 x 480: a body colour inside a 100-pixel band of another colour, so an edge of the
// drawing tells whether the picture's own edge or its cropped middle lies there.
QImage bandedPicture()
{
    QImage img(640, 480, QImage::Format_RGB32);
    img.fill(Band);
    QPainter p(&img);
    p.fillRect(QRect(100, 100, 440, 280), QColor(Body));
    return img;
}

bool near(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) <= 2 && qAbs(qGreen(a) - qGreen(b)) <= 2 && qAbs(qBlue(a) - qBlue(b)) <= 2;
}

// Every pixel along the inside of the rectangle's four edges (clipped to the area) has
// the colour expected there, and every pixel along the outside of them is black.
void checkEdges(const QImage &area, const QRect &r, QRgb edgeColour)
{
    const QRect inside = r & area.rect();
    QVERIFY(!inside.isEmpty());
    for (int x = inside.left(); x <= inside.right(); ++x) {
        for (int y : {inside.top(), inside.bottom()}) {
            QVERIFY2(near(area.pixel(x, y), edgeColour), qPrintable(QStringLiteral("inside at %1,%2").arg(x).arg(y)));
        }
        for (int y : {r.top() - 1, r.bottom() + 1}) {
            if (area.rect().contains(x, y))
                QVERIFY2(area.pixel(x, y) == Black, qPrintable(QStringLiteral("outside at %1,%2").arg(x).arg(y)));
        }
    }
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x : {inside.left(), inside.right()}) {
            QVERIFY2(near(area.pixel(x, y), edgeColour), qPrintable(QStringLiteral("inside at %1,%2").arg(x).arg(y)));
        }
        for (int x : {r.left() - 1, r.right() + 1}) {
            if (area.rect().contains(x, y))
                QVERIFY2(area.pixel(x, y) == Black, qPrintable(QStringLiteral("outside at %1,%2").arg(x).arg(y)));
        }
    }
}

} // namespace

class TestScaledDrawing : public QObject
{
    Q_OBJECT
private slots:
    void renderedRectangle_data();
    void renderedRectangle();
    void errorsLeaveTheAreaCleared_data();
    void errorsLeaveTheAreaCleared();
    void redrawWipesTextAndSurvivesResize();
    void toolbarCycle();
    void menuChoosesMode();
    void randomCamLeavesTheMode();
    void modeSwitchReusesTheDecodedPicture();
    void preparedSurfaceShownAsItIs_data();
    void preparedSurfaceShownAsItIs();
    void oneColourStaysThatColour_data();
    void oneColourStaysThatColour();
};

void TestScaledDrawing::renderedRectangle_data()
{
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<bool>("edgeIsBand");
    QTest::newRow("stretch wide") << ViewScaleMode::Stretch << QSize(1000, 600) << QRect(0, 0, 1000, 600) << true;
    QTest::newRow("inline wide") << ViewScaleMode::ScaleInline << QSize(1000, 600) << QRect(100, 0, 800, 600) << true;
    QTest::newRow("outline wide") << ViewScaleMode::ScaleOutline << QSize(1000, 600) << QRect(0, -75, 1000, 750)
                                  << true;
    QTest::newRow("stretch tall") << ViewScaleMode::Stretch << QSize(400, 600) << QRect(0, 0, 400, 600) << true;
    QTest::newRow("inline tall") << ViewScaleMode::ScaleInline << QSize(400, 600) << QRect(0, 150, 400, 300) << true;
    // 200 pixels cut off at each side: the area's left and right edges show the middle.
    QTest::newRow("outline tall") << ViewScaleMode::ScaleOutline << QSize(400, 600) << QRect(-200, 0, 800, 600)
                                  << false;
    // Half differences of 22.5 and 37.5 twips: to the even 22 (pixel 1) and 38 (pixel 3).
    QTest::newRow("inline, 3 pixels spare") << ViewScaleMode::ScaleInline << QSize(643, 480) << QRect(1, 0, 640, 480)
                                            << true;
    QTest::newRow("inline, 5 pixels spare") << ViewScaleMode::ScaleInline << QSize(645, 480) << QRect(3, 0, 640, 480)
                                            << true;
}

void TestScaledDrawing::renderedRectangle()
{
    QFETCH(ViewScaleMode, mode);
    QFETCH(QSize, area);
    QFETCH(QRect, rect);
    QFETCH(bool, edgeIsBand);

    PictureArea target;
    target.resize(area);
    QCOMPARE(drawScaledPicture(target, bandedPicture(), mode), ScaleError::None);
    const QImage &s = target.surface();
    QCOMPARE(s.size(), area);

    if (edgeIsBand) {
        checkEdges(s, rect, Band);
    } else {
        // Top and bottom edges still run through the band; left and right through the body.
        QVERIFY(near(s.pixel(0, 300), Body));
        QVERIFY(near(s.pixel(399, 300), Body));
        QVERIFY(near(s.pixel(200, 0), Band));
        QVERIFY(near(s.pixel(200, 599), Band));
    }
    // The middle of the drawn rectangle is the picture's middle.
    const QPoint centre = (rect & s.rect()).center();
    QVERIFY(near(s.pixel(centre), Body));
}

void TestScaledDrawing::errorsLeaveTheAreaCleared_data()
{
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<ScaleError>("error");
    QTest::newRow("very wide picture, outline") << ViewScaleMode::ScaleOutline << QSize(1000, 600) << QSize(10000, 10)
                                                << ScaleError::Overflow;
    QTest::newRow("area without height, inline") << ViewScaleMode::ScaleInline << QSize(1000, 0) << QSize(64, 48)
                                                 << ScaleError::DivisionByZero;
    QTest::newRow("no picture") << ViewScaleMode::ScaleInline << QSize(1000, 600) << QSize() << ScaleError::None;
}

void TestScaledDrawing::errorsLeaveTheAreaCleared()
{
    QFETCH(ViewScaleMode, mode);
    QFETCH(QSize, area);
    QFETCH(QSize, picture);
    QFETCH(ScaleError, error);
    PictureArea target;
    target.resize(area);
    // Something from before that must not survive.
    target.surface().fill(Qt::white);
    QImage img;
    if (picture.isValid()) {
        img = QImage(picture, QImage::Format_RGB32);
        img.fill(Body);
    }
    QCOMPARE(drawScaledPicture(target, img, mode), error);
    const QImage &s = target.surface();
    for (int y = 0; y < s.height(); y += 7)
        for (int x = 0; x < s.width(); x += 7)
            QCOMPARE(s.pixel(x, y), Black);
}

void TestScaledDrawing::redrawWipesTextAndSurvivesResize()
{
    RunningState state;
    MainWindow form{state};
    form.pictureArea()->showPicture(bandedPicture(), form.scaleMode());
    form.pictureArea()->resize(1000, 600);
    QCOMPARE(form.pictureArea()->redrawPicture(form.scaleMode()), ScaleError::None);
    {
        QPainter p(&form.pictureArea()->surface());
        p.fillRect(QRect(0, 0, 60, 20), Qt::white);   // as transfer bullets would be
    }
    QCOMPARE(form.pictureArea()->redrawPicture(form.scaleMode()), ScaleError::None);
    QCOMPARE(form.pictureArea()->surface().pixel(5, 5), Black);

    // A resize followed by the layout's redraw places the picture for the new size.
    form.pictureArea()->resize(400, 600);
    QCOMPARE(form.pictureArea()->redrawPicture(form.scaleMode()), ScaleError::None);
    checkEdges(form.pictureArea()->surface(), QRect(0, 150, 400, 300), Band);
}

void TestScaledDrawing::toolbarCycle()
{
    RunningState state;
    MainWindow form{state};
    QObject::connect(&form, &MainWindow::scaleModeChosen, &state.switches, &ViewerSwitches::setScaleMode);
    form.pictureArea()->showPicture(bandedPicture(), form.scaleMode());
    form.pictureArea()->resize(1000, 600);
    QSignalSpy modeChanges(&state.switches, &ViewerSwitches::scaleModeChanged);
    QSignalSpy random(&form, &MainWindow::randomCamRequested);

    QCOMPARE(form.scaleModeButton()->text(), scale_modes::ScaleInline);
    QVERIFY(form.scaleModeOptions()[1]->isChecked());
    QCOMPARE(form.scaleMode(), ViewScaleMode::ScaleInline);

    struct Step
    {
        QString caption;
        int option;
        QRgb atLeftEdge; // pixel (50, 300): black bar in inline, picture otherwise
    };
    const QList<Step> steps = {
        {scale_modes::ScaleOutline, 2, Band},
        {scale_modes::Stretch, 0, Band},
        {scale_modes::ScaleInline, 1, Black},
    };
    int n = 0;
    for (const Step &step : steps) {
        if (n++ % 2)
            form.cycleScaleMode();
        else
            form.scaleModeButton()->click();   // the button itself, not its menu arrow
        QCOMPARE(form.scaleModeButton()->text(), step.caption);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(form.scaleModeOptions()[i]->isChecked(), i == step.option);
        QCOMPARE(modeChanges.count(), n);
        QVERIFY(near(form.pictureArea()->surface().pixel(50, 300), step.atLeftEdge));
    }
    QCOMPARE(random.count(), 0);
}

void TestScaledDrawing::menuChoosesMode()
{
    RunningState state;
    MainWindow form{state};
    QObject::connect(&form, &MainWindow::scaleModeChosen, &state.switches, &ViewerSwitches::setScaleMode);
    form.pictureArea()->showPicture(bandedPicture(), form.scaleMode());
    form.pictureArea()->resize(1000, 600);
    const QList<QAction *> items = form.scaleModeMenu()->actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items.at(0)->text(), scale_modes::Stretch);
    QCOMPARE(items.at(1)->text(), scale_modes::ScaleInline);
    QCOMPARE(items.at(2)->text(), scale_modes::ScaleOutline);

    items.at(0)->trigger();
    QCOMPARE(form.scaleModeButton()->text(), scale_modes::Stretch);
    QCOMPARE(form.scaleMode(), ViewScaleMode::Stretch);
    const QImage stretched = form.pictureArea()->surface().copy();
    checkEdges(stretched, QRect(0, 0, 1000, 600), Band);

    // The mode already shown: same caption, same picture.
    items.at(0)->trigger();
    QCOMPARE(form.scaleModeButton()->text(), scale_modes::Stretch);
    QCOMPARE(form.pictureArea()->surface(), stretched);

    items.at(2)->trigger();
    QCOMPARE(form.scaleMode(), ViewScaleMode::ScaleOutline);
    QCOMPARE(form.scaleModeButton()->text(), scale_modes::ScaleOutline);
}

void TestScaledDrawing::randomCamLeavesTheMode()
{
    RunningState state;
    MainWindow form{state};
    QObject::connect(&form, &MainWindow::scaleModeChosen, &state.switches, &ViewerSwitches::setScaleMode);
    QSignalSpy random(&form, &MainWindow::randomCamRequested);
    QSignalSpy modeChanges(&state.switches, &ViewerSwitches::scaleModeChanged);
    QCOMPARE(form.randomCamButton()->text(), scale_modes::RandomCam);
    form.randomCamButton()->click();
    QCOMPARE(random.count(), 1);
    QCOMPARE(modeChanges.count(), 0);
    QCOMPARE(form.scaleModeButton()->text(), scale_modes::ScaleInline);
    QCOMPARE(form.scaleMode(), ViewScaleMode::ScaleInline);
}

void TestScaledDrawing::modeSwitchReusesTheDecodedPicture()
{
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath(QStringLiteral("temp.png"));
    QImageWriter writer(file, "png");
    QVERIFY(writer.write(bandedPicture()));

    RunningState state;
    MainWindow form{state};
    QObject::connect(&form, &MainWindow::scaleModeChosen, &state.switches, &ViewerSwitches::setScaleMode);
    form.pictureArea()->resize(1000, 600);
    QString text;
    const Picture picture = loadPictureFile(file, text);
    QVERIFY2(picture, qPrintable(text));
    form.pictureArea()->showPicture(*picture, form.scaleMode());
    QVERIFY(QFile::remove(file));

    // The working file is gone, as after a fetch; every mode still draws the picture.
    for (int i = 0; i < 3; ++i) {
        form.cycleScaleMode();
        QVERIFY(near(form.pictureArea()->surface().pixel(500, 300), Body));
    }
}

void TestScaledDrawing::preparedSurfaceShownAsItIs_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QSize>("madeFor"); // the area the worker made the surface for
    QTest::addColumn<QRect>("rect");    // where the picture lands in the area
    QTest::addColumn<QString>("from");  // "picture", or a JPEG's planes: "colour" or "grey"
    const auto I = ViewScaleMode::ScaleInline;
    const QString P = QStringLiteral("picture");
    // A 1080p picture in a maximised main window's area.
    QTest::newRow("inline, shrunk") << QSize(1920, 1080) << I << QSize(1672, 910) << QSize(1672, 910)
                                    << QRect(27, 0, 1618, 910) << P;
    QTest::newRow("inline, shrunk past a half") << QSize(2048, 1536) << I << QSize(552, 430) << QSize(552, 430)
                                                << QRect(0, 8, 552, 414) << P;
    QTest::newRow("outline, cut") << QSize(1280, 720) << ViewScaleMode::ScaleOutline << QSize(640, 480)
                                  << QSize(640, 480) << QRect(-107, 0, 853, 480) << P;
    // Narrowed and heightened at once: averaged across, interpolated down.
    QTest::newRow("stretch, one side shrinking") << QSize(1280, 720) << ViewScaleMode::Stretch << QSize(900, 1000)
                                                 << QSize(900, 1000) << QRect(0, 0, 900, 1000) << P;
    QTest::newRow("inline, enlarged") << QSize(320, 240) << I << QSize(1000, 600) << QSize(1000, 600)
                                      << QRect(100, 0, 800, 600) << P;
    // Resized while the worker drew: the area draws the picture for its new size itself.
    QTest::newRow("area resized since") << QSize(1920, 1080) << I << QSize(1000, 600) << QSize(1672, 910)
                                        << QRect(0, 19, 1000, 563) << P;
    // Scaled plane by plane and converted once, against the JPEG decoded to RGB.
    QTest::newRow("planes, inline, shrunk") << QSize(1920, 1080) << I << QSize(1672, 910) << QSize(1672, 910)
                                            << QRect(27, 0, 1618, 910) << QStringLiteral("colour");
    QTest::newRow("planes, stretch, odd sides") << QSize(1281, 721) << ViewScaleMode::Stretch << QSize(901, 505)
                                                << QSize(901, 505) << QRect(0, 0, 901, 505) << QStringLiteral("colour");
    QTest::newRow("planes, a wall tile") << QSize(1920, 1080) << I << QSize(320, 180) << QSize(320, 180)
                                         << QRect(0, 0, 320, 180) << QStringLiteral("colour");
    QTest::newRow("planes, grey, past a half") << QSize(2048, 1536) << I << QSize(552, 430) << QSize(552, 430)
                                               << QRect(0, 8, 552, 414) << QStringLiteral("grey");
}

// A surface the worker made is what drawing the picture there gives, area-averaged within
// the tolerance, and the area takes it as its own surface: the window thread neither
// scales nor copies it. One made for another size is not shown; the area draws instead.
void TestScaledDrawing::preparedSurfaceShownAsItIs()
{
    QFETCH(QSize, picture);
    QFETCH(ViewScaleMode, mode);
    QFETCH(QSize, area);
    QFETCH(QSize, madeFor);
    QFETCH(QRect, rect);
    QFETCH(QString, from);
    QImage img = resampling::softPicture(picture);
    YuvPlanes planes;
    if (from != QLatin1String("picture")) {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY((from == QLatin1String("grey") ? img.convertToFormat(QImage::Format_Grayscale8) : img)
                    .save(&buffer, "JPG", 95));
        QString text;
        planes = loadPictureOrPlanes(QString(), jpeg, text).planes;
        QCOMPARE(planes.size, picture);
        QCOMPARE(planes.colour == YuvPlanes::Colour::Grey, from == QLatin1String("grey"));
        // The reference is the JPEG as it decodes to RGB.
        img = decodePictureBytes(jpeg, text).value_or(QImage());
        QCOMPARE(img.size(), picture);
    }

    RunningState state;
    state.switches.setScaleMode(mode);
    MainWindow form{state};
    form.pictureArea()->resize(area);
    QImage prepared;
    const DrawingArea target{madeFor, form.pictureArea()->pictureAreaPixelRatio()};
    std::unique_ptr<QThread> worker(QThread::create(
        [&] { prepared = planes.isNull() ? framedInArea(img, target, mode) : framedInArea(planes, target, mode); }));
    worker->start();
    QVERIFY(worker->wait(20000));

    const bool fits = madeFor == area;
    const quint64 before = resamplingsOnThisThread();
    form.pictureArea()->showPicture(img, mode, prepared);
    QCOMPARE(resamplingsOnThisThread() - before, fits ? 0u : 1u);
    const QImage &shown = form.pictureArea()->surface();
    QCOMPARE(shown.constBits() == prepared.constBits(), fits);

    const resampling::Difference d =
        resampling::difference(shown, resampling::referenceDrawing(area, img, rect));
    QVERIFY2(d.withinTolerance(), qPrintable(d.text()));
}

void TestScaledDrawing::oneColourStaysThatColour_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("area"); // stretched over the whole area
    QTest::newRow("shrunk a little") << QSize(1920, 1080) << QSize(1618, 910);
    QTest::newRow("shrunk past a half, odd sides") << QSize(1921, 1081) << QSize(500, 300);
    QTest::newRow("halved exactly") << QSize(1920, 1080) << QSize(960, 540);
    QTest::newRow("halved across only") << QSize(1920, 1080) << QSize(960, 1080);
    QTest::newRow("narrowed and heightened") << QSize(1280, 720) << QSize(900, 1000);
    QTest::newRow("heightened only") << QSize(640, 480) << QSize(640, 700);
    QTest::newRow("enlarged") << QSize(64, 32) << QSize(1000, 600);
}

// A picture of one colour is drawn in exactly that colour, whichever way it is resampled:
// white stays white, not a level darker.
void TestScaledDrawing::oneColourStaysThatColour()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, area);
    for (const QRgb colour : {qRgb(255, 255, 255), qRgb(200, 120, 40), qRgb(0, 128, 254)}) {
        QImage img(picture, QImage::Format_RGB32);
        img.fill(colour);
        QImage surface(area, QImage::Format_RGB32);
        QCOMPARE(drawScaledPicture(surface, area, img, ViewScaleMode::Stretch), ScaleError::None);
        for (int y = 0; y < area.height(); y += 7) {
            const QRgb *line = reinterpret_cast<const QRgb *>(surface.constScanLine(y));
            for (int x = 0; x < area.width(); x += 7)
                QVERIFY2(line[x] == colour, qPrintable(QStringLiteral("%1 at %2,%3, wanted %4")
                                                           .arg(line[x], 8, 16)
                                                           .arg(x)
                                                           .arg(y)
                                                           .arg(colour, 8, 16)));
        }
    }
}

QTEST_MAIN(TestScaledDrawing)
#include "tst_scaleddrawing.moc"
