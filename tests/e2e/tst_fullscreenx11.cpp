// The fullscreen window and its overlay on a real X server without a window manager
// (Xvfb, 1024 x 768): the fullscreen window covers the screen by its own geometry, and the
// overlay lies above it where the screen shows it; while it shows, the X server's screen
// saver does not blank the screen.
#include "app/application.h"
#include "control/commentrotation.h"
#include "core/state/runningstate.h"
#include "ui/widgets/demandtimer.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/shapes.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/infobarwindow.h"
#include "ui/windows/mainwindow.h"
#include "xsaverprobe.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

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
    env.workDir = QDir(dir.path());
    env.stopMessage = [](const QString &, const QString &, const QString &) {};
    env.endProgram = [](int) {};
    return env;
}

bool isOverlayGrey(QRgb c)
{
    // Opaque without a compositor; blended over black with one.
    return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c) && qRed(c) >= 20 && qRed(c) <= 40;
}

} // namespace

class TestFullscreenX11 : public QObject
{
    Q_OBJECT
private slots:
    void coversTheScreenWithOverlayOnTop();
    void screenStaysOnWhileFullscreen();
};

void TestFullscreenX11::coversTheScreenWithOverlayOnTop()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1024, 768));

    QTemporaryDir dir;
    Application app(quietEnvironment(dir));
    MainWindow &main = app.mainWindow();
    FullscreenWindow &full = app.fullscreenWindow();
    InfoBarWindow &overlay = app.infoBarWindow();

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

    overlay.figuresLabel()->setText(QStringLiteral("Views: 1 | Comments: 0\nCam added by: test"));
    overlay.onLayoutTick();
    QVERIFY(QTest::qWaitForWindowExposed(&overlay));
    QCOMPARE(overlay.frameGeometry(), QRect(0, 0, 324, 768));
    QCOMPARE(overlay.windowHandle()->transientParent(), full.windowHandle());

    // The overlay's own grey at its left margin, the black picture beside it.
    shot = screenShot();
    QVERIFY2(isOverlayGrey(shot.pixel(5, 300)), qPrintable(QColor(shot.pixel(5, 300)).name()));
    QCOMPARE(QColor(shot.pixel(600, 300)), QColor(Qt::black));

    // Activating the fullscreen window keeps the overlay above it.
    full.activateWindow();
    QTest::qWait(50);
    shot = screenShot();
    QVERIFY(isOverlayGrey(shot.pixel(5, 300)));

    // Info-Bar off in the overlay, on again in the fullscreen window.
    QTest::keyClick(&overlay, Qt::Key_I);
    QVERIFY(!overlay.isVisible());
    shot = screenShot();
    QCOMPARE(QColor(shot.pixel(5, 300)), QColor(Qt::black));
    QTest::keyClick(&full, Qt::Key_I);
    overlay.onLayoutTick();
    QVERIFY(QTest::qWaitForWindowExposed(&overlay));
    shot = screenShot();
    QVERIFY(isOverlayGrey(shot.pixel(5, 300)));

    // A comment bar across the foot: the figures box moves up and stays whole above it,
    // its grey on the screen down to its lower edge.
    app.state().commentTable = QStringList{QStringLiteral("anna;A comment;1.1.2020 10:00"), QString()};
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

QTEST_MAIN(TestFullscreenX11)
#include "tst_fullscreenx11.moc"
