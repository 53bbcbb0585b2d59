// The fullscreen window and its Info-Bar on a real X server without a window manager or a
// compositor (Xvfb, 1024 x 768): the fullscreen window covers the screen by its own
// geometry, and the Info-Bar shows translucent over the picture at its edge; while it
// shows, the X server's screen saver does not blank the screen. The first layouts and the picture's menu once more at
// 1920 x 1080 under openbox.
#include "app/application.h"
#include "camserverprocess.h"
#include "control/camimagefetch.h"
#include "control/commentrotation.h"
#include "core/catalogue/camrecord.h"
#include "core/geometry/decodereduction.h"
#include "core/state/runningstate.h"
#include "core/state/snapshottexts.h"
#include "ui/desktop/picturemenu.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/demandtimer.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/shapes.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/widgets/infobarpanel.h"
#include "ui/windows/mainwindow.h"
#include "xsaverprobe.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QFile>
#include <QImageWriter>
#include <QElapsedTimer>
#include <QLabel>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include <algorithm>
#include <memory>

namespace {

QImage screenShot()
{
    QCoreApplication::processEvents();
    QTest::qWait(100); // let the server paint what was mapped
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

AppEnvironment quietEnvironment(const QTemporaryDir &dir)
{
    AppEnvironment env;
    env.workFolder = WorkingFolder(dir.path());
    env.stopMessage = [](const QString &, const QString &, const QString &) {};
    env.endProgram = [](int) {};
    return env;
}

bool isGrey(QRgb c, int level)
{
    return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c) && qAbs(qRed(c) - level) <= 2;
}

// One-pixel stripes in grey, across (rows alternate) or along (columns alternate), as a JPEG
// of one component at the highest quality, so that they survive the encoding.
QByteArray stripes(const QSize &size, bool across)
{
    QImage img(size, QImage::Format_Grayscale8);
    for (int y = 0; y < size.height(); ++y) {
        uchar *line = img.scanLine(y);
        for (int x = 0; x < size.width(); ++x)
            line[x] = ((across ? y : x) % 2) ? 230 : 25;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(100);
    writer.write(img);
    return bytes;
}

// How many pixels of the rectangle do not show the stripes: light on odd rows (across) or
// columns, dark on even ones.
int offStripes(const QImage &shot, const QRect &where, bool across)
{
    int off = 0;
    for (int y = where.top(); y <= where.bottom(); ++y)
        for (int x = where.left(); x <= where.right(); ++x) {
            const bool light = ((across ? y : x) % 2) != 0;
            const int grey = qGray(shot.pixel(x, y));
            if (light ? grey < 180 : grey > 75)
                ++off;
        }
    return off;
}

bool waitForRefresh(Application &app)
{
    const QDeadlineTimer deadline(20000);
    while (app.fetch().isRunning() && !deadline.hasExpired())
        QTest::qWait(5);
    return !app.fetch().isRunning();
}

} // namespace

class TestFullscreenX11 : public QObject
{
    Q_OBJECT
private slots:
    void coversTheScreenWithOverlayOnTop();
    void newestPictureSharpWhenShown();
    void screenStaysOnWhileFullscreen();
    void firstLayoutsOnALargeScreen();
    void pictureMenuGreysWithoutAPicture();
};

void TestFullscreenX11::coversTheScreenWithOverlayOnTop()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1024, 768));

    QTemporaryDir dir;
    Application app(quietEnvironment(dir));
    MainWindow &main = app.mainWindow();
    FullscreenWindow &full = app.fullscreenWindow();
    InfoBarPanel &overlay = app.infoBarPanel();

    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QTest::mouseDClick(main.pictureArea(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(QTest::qWaitForWindowExposed(&full));
    QTRY_COMPARE(full.frameGeometry(), QRect(0, 0, 1024, 768));
    QCOMPARE(full.pictureArea()->size(), QSize(1024, 768));
    QVERIFY(!main.isVisible());

    QImage shot = screenShot();
    for (QPoint p : {QPoint(0, 0), QPoint(1023, 767), QPoint(512, 384), QPoint(5, 300)})
        QCOMPARE(QColor(shot.pixel(p)), QColor(Qt::black));

    // The Info-Bar over a flat light picture: its grey at three quarters over the picture,
    // blended by the window itself on a screen without a compositor.
    QImage light(64, 48, QImage::Format_RGB32);
    light.fill(qRgb(200, 200, 200));
    full.pictureArea()->showPicture(light, ViewScaleMode::ScaleInline);
    overlay.figuresLabel()->setText(QStringLiteral("Views: 1 | Comments: 0\nCam added by: test"));
    overlay.onLayoutTick();
    QVERIFY(overlay.isVisible());
    QCOMPARE(overlay.geometry(), QRect(0, 0, 324, 768));
    const int blended = (32 * InfoBarPanel::Alpha + 200 * (255 - InfoBarPanel::Alpha) + 127) / 255;
    shot = screenShot();
    QVERIFY2(isGrey(shot.pixel(5, 300), blended), qPrintable(QColor(shot.pixel(5, 300)).name()));
    QCOMPARE(QColor(shot.pixel(600, 300)), QColor(200, 200, 200));

    // "i" with the Info-Bar up switches it off, and on again, wherever the focus is.
    overlay.descriptionBox()->setFocus();
    QTest::keyClick(overlay.descriptionBox(), Qt::Key_I);
    QVERIFY(!overlay.isVisible());
    shot = screenShot();
    QCOMPARE(QColor(shot.pixel(5, 300)), QColor(200, 200, 200));
    QTest::keyClick(&full, Qt::Key_I);
    overlay.onLayoutTick();
    shot = screenShot();
    QVERIFY(isGrey(shot.pixel(5, 300), blended));

    // The next cam takes it to the right edge, the status box to the left.
    full.switchInfoBarSide();
    shot = screenShot();
    QVERIFY(isGrey(shot.pixel(1018, 300), blended));
    QCOMPARE(QColor(shot.pixel(5, 300)), QColor(200, 200, 200));
    full.switchInfoBarSide();

    // A comment bar across the foot: the figures box moves up and stays whole above it,
    // its grey on the screen down to its lower edge.
    app.state().selection.setCommentTable(QStringList{QStringLiteral("anna;A comment;1.1.2020 10:00"), QString()});
    app.comments().onTick();
    overlay.onLayoutTick();
    QVERIFY(full.commentBackground()->isVisible());
    const QRect box(overlay.figuresBox()->mapToGlobal(QPoint(0, 0)), overlay.figuresBox()->size());
    const int barTop = full.commentBackground()->mapToGlobal(QPoint(0, 0)).y();
    QVERIFY2(box.bottom() < barTop, qPrintable(QStringLiteral("%1 >= %2").arg(box.bottom()).arg(barTop)));
    shot = screenShot();
    for (int y : {box.top() + 4, box.bottom() - 4}) {
        const QRgb c = shot.pixel(box.center().x() - 100, y);
        QVERIFY2(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c) && qRed(c) > 120,
                 qPrintable(QStringLiteral("%1 at %2").arg(QColor(c).name()).arg(y)));
    }

    // Escape leaves both.
    QTest::keyClick(&full, Qt::Key_Escape);
    QVERIFY(!full.isVisible());
    QVERIFY(!overlay.isVisible());
    QVERIFY(!overlay.layoutTimer()->isRunning());
    QVERIFY(main.isVisible());
}

// Refreshes with the fullscreen window hidden decode the picture for the small main window
// only and draw nothing into the fullscreen area; shown, it shows the newest picture in its
// own device pixels, decoded again from the bytes kept, while the server refuses every
// further picture download.
void TestFullscreenX11::newestPictureSharpWhenShown()
{
    const QSize screen(1024, 768);
    QCOMPARE(QGuiApplication::primaryScreen()->geometry().size(), screen);
    QTemporaryDir files;
    QDir root(files.path());
    QVERIFY(root.mkpath(QStringLiteral("pictures/pics")) && root.mkpath(QStringLiteral("comments")));
    const QString picture = root.filePath(QStringLiteral("pictures/pics/cam.jpg"));
    const auto serve = [&](const QByteArray &bytes) {
        QFile f(picture);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
    };
    QFile catalogue(root.filePath(QStringLiteral("camlist.txt")));
    QVERIFY(catalogue.open(QIODevice::WriteOnly));
    catalogue.write("7;Stripes;{base}/pics/cam.jpg;d;;5;0;10;tester\r\n");
    catalogue.close();
    CamServerProcess server({QStringLiteral("--catalogue"), catalogue.fileName(), QStringLiteral("--pictures"),
                             root.filePath(QStringLiteral("pictures")), QStringLiteral("--comments"),
                             root.filePath(QStringLiteral("comments"))});
    QVERIFY2(server.start(), qPrintable(server.errorString()));

    QTemporaryDir work;
    AppEnvironment env;
    env.workFolder = WorkingFolder(work.path());
    env.stopMessage = [](const QString &, const QString &, const QString &) {};
    env.endProgram = [](int) {};
    Application app(env);
    MainWindow &main = app.mainWindow();
    FullscreenWindow &full = app.fullscreenWindow();
    RunningState &state = app.state();
    state.catalogue.setServerUrl(server.baseUrl());
    state.selection.select(state.selection.currentCam(), CamRecord::split(QStringLiteral("7;Stripes;x;d;;5;0;10;tester")), state.selection.pictureAddress());
    state.selection.setPictureAddress(server.baseUrl() + QStringLiteral("/pics/cam.jpg"));
    state.switches.setScaleMode(ViewScaleMode::ScaleInline);

    // A main window small enough that half the picture serves its area.
    main.resize(main.minimumSize());
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QTest::qWait(50);
    const QList<DrawingArea> mainArea{{main.pictureArea()->size(), main.pictureArea()->pixelRatio()}};
    const int factor = decode_reduction::factorFor(state.switches.scaleMode(), screen, mainArea);
    QVERIFY2(factor >= 2, qPrintable(QStringLiteral("main area %1 x %2").arg(mainArea[0].size.width()).arg(mainArea[0].size.height())));

    QVERIFY(serve(stripes(screen, false)));
    app.fetch().fetchCamImage();
    QVERIFY(waitForRefresh(app));
    QCOMPARE(app.fetch().feed().decodedSize(), screen / factor);
    QVERIFY(serve(stripes(screen, true)));
    app.fetch().fetchCamImage();
    QVERIFY(waitForRefresh(app));
    QCOMPARE(app.fetch().feed().decodedSize(), screen / factor);
    // Nothing was drawn into the hidden area.
    const QImage hidden = full.pictureArea()->surface();
    QCOMPARE(hidden.pixel(hidden.width() / 2, hidden.height() / 2), qRgb(0, 0, 0));

    // The log names a request's conditional headers after its status.
    const auto picturesServed = [&server] {
        const QStringList lines = server.requests();
        return std::count_if(lines.begin(), lines.end(),
                             [](const QString &line) { return line.startsWith(QLatin1String("GET /pics/cam.jpg 200")); });
    };
    QCOMPARE(picturesServed(), 2);
    QVERIFY(server.setFault(QStringLiteral("/pics/*"), QStringLiteral("reset")));

    QTest::mouseDClick(main.pictureArea(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(QTest::qWaitForWindowExposed(&full));
    QTRY_COMPARE(full.frameGeometry(), QRect(QPoint(0, 0), screen));
    QTRY_COMPARE(app.fetch().feed().decodedSize(), screen);
    QTest::qWait(100);

    // The newest picture, one picture pixel to one screen pixel: rows alternate, columns
    // do not. Away from the sides, where the Info-Bar may show.
    const QImage shot = screenShot();
    const QRect middle(400, 250, 224, 268);
    QCOMPARE(offStripes(shot, middle, true), 0);
    QVERIFY(offStripes(shot, middle, false) > middle.width() * middle.height() / 3);
    // The larger picture came from the bytes kept, not from the server.
    QCOMPARE(picturesServed(), 2);
}

void TestFullscreenX11::screenStaysOnWhileFullscreen()
{
    QTemporaryDir dir;
    Application app(quietEnvironment(dir));
    MainWindow &main = app.mainWindow();
    FullscreenWindow &full = app.fullscreenWindow();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QTest::mouseDClick(main.pictureArea(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(QTest::qWaitForWindowExposed(&full));
    const auto restore = qScopeGuard([] { x_saver_probe::setTimeout(0); });

    // Nobody touches the X server's input here, so a three-second screen saver would blank
    // the screen three seconds from now; eight seconds later it still has not.
    QVERIFY(x_saver_probe::setTimeout(3));
    QElapsedTimer watching;
    watching.start();
    while (watching.elapsed() < 8000) {
        QVERIFY2(!x_saver_probe::isActive(), qPrintable(QString::number(watching.elapsed())));
        QTest::qWait(200);
    }
    QVERIFY(full.isVisible());

    // Back in the main window the screen saver is the desktop's again.
    QTest::keyClick(&full, Qt::Key_Escape);
    QVERIFY(!full.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(x_saver_probe::isActive(), 10000);
}

// The first layouts a user sees, whatever the screen: Tab shows where the focus went; after
// F11 while a comment shows the overlay's figures box ends just above the comment bar; a
// saved picture's path shows in the status box, ending in its file name.
void TestFullscreenX11::firstLayoutsOnALargeScreen()
{
    QTemporaryDir dir;
    Application app(quietEnvironment(dir));
    MainWindow &main = app.mainWindow();
    FullscreenWindow &full = app.fullscreenWindow();
    InfoBarPanel &overlay = app.infoBarPanel();
    app.state().catalogue.setCams(app.state().catalogue.camTable(), 1);
    overlay.figuresLabel()->setText(QStringLiteral("Views: 1 | Comments: 1\nCam added by: test"));
    main.showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    app.state().selection.setCommentTable(QStringList{QStringLiteral("anna;A comment;1.1.2020 10:00"), QString()});
    app.comments().onTick();
    QVERIFY(main.commentBackground()->isVisible());

    // The focus ring leaves the list with Tab.
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    main.camList()->setFocus(Qt::TabFocusReason);
    const auto grab = [](QWidget *w) { return screenShot().copy(QRect(w->mapToGlobal(QPoint(0, 0)), w->size())); };
    const QImage listFocused = grab(main.camList());
    QTest::keyClick(main.camList(), Qt::Key_Tab);
    QVERIFY(main.scaleModeButton()->hasFocus());
    QVERIFY(grab(main.camList()) != listFocused);

    QTest::keyClick(main.scaleModeButton(), Qt::Key_F11);
    QVERIFY(QTest::qWaitForWindowExposed(&full));
    QTRY_VERIFY(overlay.isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(&overlay));
    const QRect box(overlay.figuresBox()->mapToGlobal(QPoint(0, 0)), overlay.figuresBox()->size());
    const int barTop = full.commentBackground()->mapToGlobal(QPoint(0, 0)).y();
    // 120 twips above the overlay's foot, or above the comment tab of 375 twips there.
    QVERIFY2(box.bottom() < barTop && barTop - box.bottom() <= 40, qPrintable(QStringLiteral("%1 / %2").arg(box.bottom()).arg(barTop)));
    const QRgb seen = screenShot().pixel(box.right() - 10, box.bottom() - 6); // the box's own light grey
    QVERIFY2(qRed(seen) == qBlue(seen) && qRed(seen) > 120, qPrintable(QColor(seen).name()));

    // A long path: the box widens, the folder is cut in the middle, the file name is whole.
    const QString file = QStringLiteral("Harbour of Kessvik 2026-12-08 14-02-11.jpg");
    full.showStatusMessage(snapshot_texts::SavedTo.arg(QStringLiteral("/home/a folder of pictures").repeated(12) + u'/' + file));
    QLabel *label = full.statusMessage();
    QVERIFY2(label->text().endsWith(u'/' + file) && label->text().contains(QChar(0x2026)), qPrintable(label->text()));
    const QRect text(label->mapToGlobal(QPoint(0, 0)), QSize(label->fontMetrics().horizontalAdvance(label->text()), label->height()));
    QVERIFY(QRect(full.statusBox()->mapToGlobal(QPoint(0, 0)), full.statusBox()->size()).contains(text));
}

// Before any picture has come, the picture's menu opens on top of the window with "Save
// picture" and "Copy picture" drawn greyed and the address as usual.
void TestFullscreenX11::pictureMenuGreysWithoutAPicture()
{
    QTemporaryDir dir;
    Application app(quietEnvironment(dir));
    MainWindow &main = app.mainWindow();
    app.state().selection.setPictureAddress(QStringLiteral("http://127.0.0.1:9/cam.jpg"));
    main.showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    emit main.pictureArea()->customContextMenuRequested(QPoint(40, 40));
    PictureMenu &menu = app.pictureMenu();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    const QImage shot = screenShot();
    menu.hide();
    // The darkest pixel of an entry is its text: black where it can be chosen, grey where not.
    const auto darkest = [&](QAction *entry) {
        const QRect r(menu.mapToGlobal(menu.actionGeometry(entry).topLeft()), menu.actionGeometry(entry).size());
        int least = 255;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                least = std::min(least, qGray(shot.pixel(x, y)));
        return least;
    };
    QVERIFY2(darkest(menu.copyAddressAction()) < 60, qPrintable(QString::number(darkest(menu.copyAddressAction()))));
    for (QAction *greyed : {menu.saveAction(), menu.copyAction()})
        QVERIFY2(darkest(greyed) > 100, qPrintable(greyed->text() + QString::number(darkest(greyed))));
}

QTEST_MAIN(TestFullscreenX11)
#include "tst_fullscreenx11.moc"
