// The fullscreen window and its Info-Bar as the application wires them, on a 1024 x 768 screen.
#include "app/application.h"
#include "control/camselection.h"
#include "control/keyhandler.h"
#include "core/geometry/twips.h"
#include "core/state/fullscreentexts.h"
#include "ui/widgets/demandtimer.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/shapes.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/widgets/infobarpanel.h"
#include "ui/windows/mainwindow.h"

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <memory>

namespace {

// Keys that reach the main window's handler; a modifier pressed with a key arrives first,
// as its own key, and the handler has nothing to do with it.
const int ShiftCode = 16;

// The application's windows without a start-up: nothing is downloaded, the keys that reach
// the main window's key handler are recorded.
struct Viewer
{
    QTemporaryDir dir;
    std::unique_ptr<Application> app;
    QList<int> handled;

    Viewer()
    {
        AppEnvironment env;
        env.workFolder = WorkingFolder(dir.path());
        env.stopMessage = [](const QString &, const QString &, const QString &) {};
        env.endProgram = [](int) {};
        app = std::make_unique<Application>(env);
        const auto record = [this](int code, int shift) {
            QCOMPARE(shift, 0);
            handled.append(code);
        };
        QObject::disconnect(&app->fullscreenWindow(), &FullscreenWindow::keyRelayed, &app->keys(), nullptr);
        QObject::connect(&app->fullscreenWindow(), &FullscreenWindow::keyRelayed, record);
    }

    MainWindow &main() { return app->mainWindow(); }
    FullscreenWindow &full() { return app->fullscreenWindow(); }
    InfoBarPanel &overlay() { return app->infoBarPanel(); }

    void openFullscreen()
    {
        main().show();
        QVERIFY(QTest::qWaitForWindowExposed(&main()));
        QTest::mouseDClick(main().pictureArea(), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(full().isVisible());
        QVERIFY(!main().isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(&full()));
    }

    void giveFigures() { overlay().figuresLabel()->setText(QStringLiteral("Views: 12 | Comments: 3\r\nCam added by: someone")); }

    // Fullscreen open with the overlay shown beside it.
    void openWithOverlay()
    {
        openFullscreen();
        giveFigures();
        overlay().onLayoutTick();
        QVERIFY(overlay().isVisible());
    }
};

int px(double twipValue) { return twips::toPixels(twipValue); }

bool pointerHidden(QWidget *w) { return w->cursor().shape() == Qt::BlankCursor; }

void sendMove(QWidget *w, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
}

} // namespace

class TestFullscreen : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void openAndCloseByDoubleClick();
    void fullscreenLayout_data();
    void fullscreenLayout();
    void overlayLayout_data();
    void overlayLayout();
    void fullscreenKeys_data();
    void fullscreenKeys();
    void overlayKeys_data();
    void overlayKeys();
    void infoBarOffStaysOffUntilSwitchedOn();
    void countdownFollowsTheSwitch_data();
    void countdownFollowsTheSwitch();
    void overlayNeedsFigures();
    void overlayTimerRunsOnlyWhileFullscreen();
    void overlayGoesWithTheFullscreen_data();
    void overlayGoesWithTheFullscreen();
    void pointerFollowsMovementAndTimer();
    void statusMessageStaysUntilTick();
    void textBoxClickHandsFocusAway();
    void overlayWindowProperties();
    void pictureRedrawAndErase();
    void countdownFillIsCut();
};

void TestFullscreen::initTestCase()
{
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1024, 768));
}

void TestFullscreen::openAndCloseByDoubleClick()
{
    Viewer v;
    QVERIFY(!v.full().isVisible());
    QVERIFY(!v.overlay().isVisible());
    v.openFullscreen();
    QCOMPARE(v.full().frameGeometry(), QRect(0, 0, 1024, 768));
    QCOMPARE(v.full().windowTitle(), fullscreen_texts::Caption);
    QVERIFY(v.full().windowFlags() & Qt::FramelessWindowHint);

    QTest::mouseDClick(v.full().pictureArea(), Qt::LeftButton, {}, QPoint(500, 300));
    QVERIFY(!v.full().isVisible());
    QVERIFY(v.main().isVisible());
    // Opened again, it keeps its last layout.
    QTest::mouseDClick(v.main().pictureArea(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(v.full().isVisible());
    QCOMPARE(v.full().commentBackground()->y(), 663);
    QVERIFY(v.handled.isEmpty());
}

void TestFullscreen::fullscreenLayout_data()
{
    QTest::addColumn<bool>("commentBar");
    QTest::newRow("comment bar hidden") << false;
    QTest::newRow("comment bar shown") << true;
}

void TestFullscreen::fullscreenLayout()
{
    QFETCH(bool, commentBar);
    Viewer v;
    FullscreenWindow &f = v.full();
    for (QWidget *w : {static_cast<QWidget *>(f.commentBackground()), static_cast<QWidget *>(f.commentTab()),
                       static_cast<QWidget *>(f.commentDivider()), static_cast<QWidget *>(f.commentLabels()[0]),
                       static_cast<QWidget *>(f.commentLabels()[1]), static_cast<QWidget *>(f.commentLabels()[2])})
        w->setVisible(commentBar);
    v.openFullscreen();

    QCOMPARE(f.pictureArea()->geometry(), QRect(0, 0, 1024, 768));
    QCOMPARE(f.commentBackground()->geometry(), QRect(0, px(9945), 1024, px(1575)));
    QCOMPARE(f.commentTab()->geometry(), QRect(px(240), px(9570), px(2385), px(375)));
    QCOMPARE(f.commentDivider()->x1(), 2280.0);
    QCOMPARE(f.commentDivider()->y1(), 10065.0);
    QCOMPARE(f.commentDivider()->y2(), 11400.0);
    QCOMPARE(f.commentDivider()->geometry(), QRect(px(2280), px(10065), 1, px(11400) - px(10065) + 1));
    QCOMPARE(f.commentLabels()[0]->geometry(), QRect(px(120), px(10305), px(2100), px(465)));
    QCOMPARE(f.commentLabels()[1]->geometry(), QRect(px(2400), px(10305), px(10740), px(345)));
    QCOMPARE(f.commentLabels()[2]->geometry(), QRect(px(120), px(10770), px(2100), px(225)));
    QCOMPARE(f.countdownBar()[0]->geometry(), QRect(px(6060), px(360), px(3240), px(645)));
    // The main window's layout empties the fill; it keeps its place.
    QCOMPARE(f.countdownBar()[1]->geometry(), QRect(px(6060), px(360), 0, px(645)));
    QCOMPARE(f.countdownCaption()->geometry(), QRect(px(6180), px(570), px(3240), px(255)));
    // The status box is not moved by the layout.
    QCOMPARE(f.statusBox()->geometry(), QRect(px(120), px(120), px(3375), px(495)));
    QCOMPARE(f.statusMessage()->geometry(), QRect(px(240), px(240), px(3135), px(255)));
    QCOMPARE(f.commentBackground()->isVisible(), commentBar);
}

void TestFullscreen::overlayLayout_data()
{
    QTest::addColumn<bool>("commentBar");
    QTest::addColumn<int>("overlayX");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("tabShown");
    QTest::addColumn<int>("tabTop");
    QTest::addColumn<int>("figuresTop");

    const int right = 1024 - px(4860);
    QTest::newRow("no bar, left edge") << false << 0 << 768 << false << px(7320) << px(10845);
    QTest::newRow("no bar, right edge") << false << right << 768 << false << px(7320) << px(10845);
    QTest::newRow("bar, left edge") << true << 0 << px(9960) << true << px(9585) << px(8910);
    QTest::newRow("bar, right edge") << true << right << px(9960) << false << px(9585) << px(9285);
}

void TestFullscreen::overlayLayout()
{
    QFETCH(bool, commentBar);
    QFETCH(int, overlayX);
    Viewer v;
    InfoBarPanel &o = v.overlay();
    o.move(overlayX, 200);
    v.openFullscreen();
    v.giveFigures();
    o.onLayoutTick();
    QVERIFY(o.isVisible());
    QCOMPARE(o.geometry(), QRect(overlayX, 0, px(4860), 768));
    QCOMPARE(o.descriptionBox()->geometry(), QRect(px(360), px(360), px(4215), px(9945)));
    QCOMPARE(o.figuresBox()->geometry(), QRect(px(120), px(10425), px(4575), px(975)));
    QCOMPARE(o.ratingImage()->geometry(), QRect(px(1680), px(10485), px(1500), px(300)));
    QCOMPARE(o.figuresLabel()->geometry(), QRect(px(240), px(10845), px(4335), px(495)));

    if (commentBar) {
        v.full().commentBackground()->show();
        o.onLayoutTick();
    }
    QTEST(o.height(), "height");
    QCOMPARE(o.y(), 0);
    QTEST(o.commentTabHolder()->isVisible(), "tabShown");
    QTEST(o.commentTabHolder()->y(), "tabTop");
    // Without the bar the figures box sits at the foot; the bar would cover it there, so it
    // moves up to end above the bar, and above the tab at the left edge.
    QTEST(o.figuresLabel()->y(), "figuresTop");
    const int foot = o.commentTabHolder()->isVisible() ? o.commentTabHolder()->y() : o.height();
    QVERIFY(o.figuresBox()->geometry().bottom() < foot);

    // A window given another size keeps the panel at its edge.
    v.full().setWindowState(Qt::WindowNoState);
    v.full().resize(800, 600);
    QTRY_COMPARE(v.full().width(), 800);
    QCOMPARE(o.x(), overlayX == 0 ? 0 : 800 - o.width());
}

void TestFullscreen::fullscreenKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QList<int>>("relayed");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("infoBarOn");

    const Qt::KeyboardModifiers none;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << none << QList<int>{} << true << false;
    QTest::newRow("I") << int(Qt::Key_I) << none << QList<int>{} << false << true;
    QTest::newRow("Shift+I") << int(Qt::Key_I) << Qt::KeyboardModifiers(Qt::ShiftModifier) << QList<int>{ShiftCode} << false << true;
    QTest::newRow("keypad 9") << int(Qt::Key_9) << Qt::KeyboardModifiers(Qt::KeypadModifier) << QList<int>{} << false
                              << true;
    QTest::newRow("R") << int(Qt::Key_R) << none << QList<int>{82} << false << false;
    QTest::newRow("Shift+A") << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ShiftModifier) << QList<int>{ShiftCode, 65} << false << false;
    QTest::newRow("digit 9") << int(Qt::Key_9) << none << QList<int>{57} << false << false;
    QTest::newRow("keypad 1") << int(Qt::Key_1) << Qt::KeyboardModifiers(Qt::KeypadModifier) << QList<int>{97} << false << false;
    QTest::newRow("F3") << int(Qt::Key_F3) << none << QList<int>{114} << false << false;
    QTest::newRow("Down") << int(Qt::Key_Down) << none << QList<int>{40} << false << false;
    QTest::newRow("Page Up") << int(Qt::Key_PageUp) << none << QList<int>{33} << false << false;
    QTest::newRow("Home") << int(Qt::Key_Home) << none << QList<int>{36} << false << false;
    QTest::newRow("Space") << int(Qt::Key_Space) << none << QList<int>{32} << false << false;
    QTest::newRow("Return") << int(Qt::Key_Return) << none << QList<int>{13} << false << false;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << none << QList<int>{8} << false << false;
    QTest::newRow("Tab") << int(Qt::Key_Tab) << none << QList<int>{9} << false << false;
    QTest::newRow("Delete") << int(Qt::Key_Delete) << none << QList<int>{46} << false << false;
}

void TestFullscreen::fullscreenKeys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QList<int>, relayed);
    QFETCH(bool, closes);
    QFETCH(bool, infoBarOn);
    Viewer v;
    v.openFullscreen();
    v.overlay().layoutTimer()->setEnabled(false);

    QTest::keyClick(&v.full(), Qt::Key(key), modifiers);

    QCOMPARE(v.handled, relayed);
    QCOMPARE(v.full().isVisible(), !closes);
    QCOMPARE(v.main().isVisible(), closes);
    QCOMPARE(v.overlay().layoutTimer()->isEnabled(), infoBarOn);
    QCOMPARE(v.full().statusMessage()->isVisibleTo(&v.full()), infoBarOn);
    QCOMPARE(v.full().statusBox()->isVisibleTo(&v.full()), infoBarOn);
    if (infoBarOn) {
        QCOMPARE(v.full().statusMessage()->text(), fullscreen_texts::InfoBarEnabled);
        // Switching on again, already on, says the same.
        v.full().statusMessage()->setText(QString());
        QTest::keyClick(&v.full(), Qt::Key(key), modifiers);
        QCOMPARE(v.full().statusMessage()->text(), fullscreen_texts::InfoBarEnabled);
        QVERIFY(v.overlay().layoutTimer()->isEnabled());
        // The overlay waits for its own tick.
        QVERIFY(!v.overlay().isVisible());
    }
}

void TestFullscreen::overlayKeys_data()
{
    fullscreenKeys_data();
}

void TestFullscreen::overlayKeys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QList<int>, relayed);
    QFETCH(bool, closes);
    QFETCH(bool, infoBarOn);
    Viewer v;
    v.openWithOverlay();
    // Keys typed with the text box focused reach the window's handler all the same.
    v.overlay().descriptionBox()->setFocus();

    QTest::keyClick(v.overlay().descriptionBox(), Qt::Key(key), modifiers);

    QCOMPARE(v.handled, relayed);
    QCOMPARE(v.full().isVisible(), !closes);
    QCOMPARE(v.main().isVisible(), closes);
    // "i" here switches the Info-Bar off; the other keys leave it on.
    const bool switchedOff = infoBarOn;
    QCOMPARE(v.overlay().layoutTimer()->isEnabled(), !switchedOff);
    QCOMPARE(v.overlay().isVisible(), !switchedOff && !closes);
    if (switchedOff) {
        QCOMPARE(v.full().statusMessage()->text(), fullscreen_texts::InfoBarDisabled);
        QVERIFY(v.full().statusMessage()->isVisible());
        QVERIFY(v.full().statusBox()->isVisible());
    }
    QCOMPARE(v.overlay().descriptionBox()->toPlainText(), fullscreen_texts::NoCamData);
}

void TestFullscreen::infoBarOffStaysOffUntilSwitchedOn()
{
    Viewer v;
    v.openWithOverlay();
    QTest::keyClick(&v.overlay(), Qt::Key_I);
    QVERIFY(!v.overlay().isVisible());
    QVERIFY(!v.overlay().layoutTimer()->isRunning());
    // Closing and opening the fullscreen window does not bring it back.
    QTest::keyClick(&v.full(), Qt::Key_Escape);
    QTest::mouseDClick(v.main().pictureArea(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(v.full().isVisible());
    QVERIFY(!v.overlay().layoutTimer()->isRunning());
    QVERIFY(!v.overlay().isVisible());

    QTest::keyClick(&v.full(), Qt::Key_I);
    QVERIFY(v.overlay().layoutTimer()->isRunning());
    v.overlay().onLayoutTick();
    QVERIFY(v.overlay().isVisible());
    QVERIFY(v.handled.isEmpty());
}

void TestFullscreen::countdownFollowsTheSwitch_data()
{
    QTest::addColumn<bool>("autoShuffle");
    QTest::newRow("auto shuffle on") << true;
    QTest::newRow("auto shuffle off") << false;
}

void TestFullscreen::countdownFollowsTheSwitch()
{
    QFETCH(bool, autoShuffle);
    Viewer v;
    v.main().autoShuffleCheck()->setChecked(autoShuffle);
    v.openWithOverlay();
    FullscreenWindow &f = v.full();
    const auto shown = [&f](int count) {
        return f.countdownBar()[0]->isVisibleTo(&f) == bool(count) && f.countdownBar()[1]->isVisibleTo(&f) == bool(count)
               && f.countdownCaption()->isVisibleTo(&f) == bool(count);
    };
    // Off in the overlay: hidden with auto shuffle on, untouched without.
    f.setCountdownVisible(true);
    QTest::keyClick(&v.overlay(), Qt::Key_I);
    QVERIFY(shown(autoShuffle ? 0 : 1));
    // On in the fullscreen window: shown with auto shuffle on, untouched without.
    f.setCountdownVisible(false);
    QTest::keyClick(&f, Qt::Key_I);
    QVERIFY(shown(autoShuffle ? 1 : 0));
}

void TestFullscreen::overlayNeedsFigures()
{
    Viewer v;
    v.openFullscreen();
    QCOMPARE(v.overlay().figuresLabel()->text(), fullscreen_texts::NoCamData);
    for (int i = 0; i < 3; ++i)
        v.overlay().onLayoutTick();
    QVERIFY(!v.overlay().isVisible());
    // Laid out all the same, ready to appear.
    QCOMPARE(v.overlay().height(), 768);
    v.giveFigures();
    v.overlay().onLayoutTick();
    QVERIFY(v.overlay().isVisible());
    // A later "..." does not take a shown overlay down: only the switch and the
    // fullscreen window do.
    v.overlay().figuresLabel()->setText(fullscreen_texts::NoCamData);
    v.overlay().onLayoutTick();
    QVERIFY(v.overlay().isVisible());
}

void TestFullscreen::overlayTimerRunsOnlyWhileFullscreen()
{
    Viewer v;
    DemandTimer &t = *v.overlay().layoutTimer();
    QCOMPARE(t.interval(), 10);
    QVERIFY(t.isEnabled());
    QVERIFY(!t.isRunning());
    v.openFullscreen();
    QVERIFY(t.isRunning());
    // Laid out and shown, the overlay's timer rests; the comment bar coming up wakes it,
    // and its ticks lay the overlay out above the bar.
    v.giveFigures();
    for (int i = 0; i < 5 && t.isRunning(); ++i)
        v.overlay().onLayoutTick();
    QVERIFY(v.overlay().isVisible());
    QVERIFY(t.isEnabled());
    QVERIFY(!t.isRunning());
    v.full().commentBackground()->show();
    QVERIFY(t.isRunning());
    for (int i = 0; i < 5 && t.isRunning(); ++i)
        v.overlay().onLayoutTick();
    QVERIFY(!t.isRunning());
    QCOMPARE(v.overlay().height(), px(9960));
    QTest::keyClick(&v.full(), Qt::Key_Escape);
    QVERIFY(t.isEnabled());
    QVERIFY(!t.isRunning());
    // Switched off and on while the fullscreen window is hidden: still nothing runs.
    t.setEnabled(false);
    t.setEnabled(true);
    QVERIFY(!t.isRunning());
}

void TestFullscreen::overlayGoesWithTheFullscreen_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("double-click") << 0;
    QTest::newRow("Escape in the fullscreen window") << 1;
    QTest::newRow("Escape in the overlay") << 2;
}

void TestFullscreen::overlayGoesWithTheFullscreen()
{
    QFETCH(int, how);
    Viewer v;
    v.openWithOverlay();
    if (how == 0)
        QTest::mouseDClick(v.full().pictureArea(), Qt::LeftButton, {}, QPoint(600, 300));
    else if (how == 1)
        QTest::keyClick(&v.full(), Qt::Key_Escape);
    else
        QTest::keyClick(&v.overlay(), Qt::Key_Escape);
    // No further tick is needed.
    QVERIFY(!v.full().isVisible());
    QVERIFY(!v.overlay().isVisible());
    QVERIFY(v.main().isVisible());
    QVERIFY(v.overlay().layoutTimer()->isEnabled());
    QVERIFY(v.handled.isEmpty());
}

void TestFullscreen::pointerFollowsMovementAndTimer()
{
    Viewer v;
    v.openWithOverlay();
    FullscreenWindow &f = v.full();
    const QList<QWidget *> surfaces = f.pointerSurfaces() + v.overlay().pointerSurfaces();
    QCOMPARE(surfaces.size(), 9);
    QCOMPARE(surfaces.mid(6), (QList<QWidget *>{&v.overlay(), v.overlay().commentTab(), v.overlay().descriptionBox()}));
    const auto all = [&surfaces](bool hidden) {
        for (QWidget *w : surfaces) {
            if (pointerHidden(w) != hidden)
                return false;
            if (auto *area = qobject_cast<QAbstractScrollArea *>(w); area && pointerHidden(area->viewport()) != hidden)
                return false;
        }
        return true;
    };
    QVERIFY(pointerHidden(f.pictureArea()));
    QVERIFY(pointerHidden(v.overlay().commentTab()));

    // A first movement at the starting position changes nothing.
    sendMove(f.pictureArea(), QPoint(0, 0));
    QVERIFY(pointerHidden(f.pictureArea()));
    QVERIFY(!f.pointerTimer()->isActive());

    sendMove(f.pictureArea(), QPoint(10, 5));
    QCOMPARE(f.lastMouseX(), 150.0);
    QCOMPARE(f.lastMouseY(), 75.0);
    QVERIFY(all(false));
    QVERIFY(f.pointerTimer()->isActive());
    QCOMPARE(f.pointerTimer()->interval(), 5000);

    f.onPointerTimer();
    QVERIFY(all(true));
    // The same position again is no movement.
    sendMove(f.pictureArea(), QPoint(10, 5));
    QVERIFY(all(true));
    sendMove(f.pictureArea(), QPoint(11, 5));
    QVERIFY(all(false));
    // The rating picture keeps its transparent pointer throughout.
    QVERIFY(pointerHidden(v.overlay().ratingImage()));
}

void TestFullscreen::statusMessageStaysUntilTick()
{
    Viewer v;
    v.openFullscreen();
    FullscreenWindow &f = v.full();
    f.showStatusMessage(QStringLiteral("Scale mode: Stretch"));
    QVERIFY(f.statusMessage()->isVisible());
    QVERIFY(f.statusBox()->isVisible());
    QCOMPARE(f.statusMessage()->text(), QStringLiteral("Scale mode: Stretch"));
    // Before any movement no tick is due: the message stays.
    QVERIFY(!f.pointerTimer()->isActive());
    f.onPointerTimer();
    QVERIFY(!f.statusMessage()->isVisible());
    QVERIFY(!f.statusBox()->isVisible());
}

void TestFullscreen::textBoxClickHandsFocusAway()
{
    Viewer v;
    v.openWithOverlay();
    InfoBarPanel &o = v.overlay();
    o.descriptionBox()->setFocus();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(o.descriptionBox()));
    QTest::mouseClick(o.descriptionBox()->viewport(), Qt::LeftButton, {}, QPoint(30, 10));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(o.focusButton()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_R);
    QCOMPARE(v.handled, QList<int>{82});
}

void TestFullscreen::overlayWindowProperties()
{
    Viewer v;
    InfoBarPanel &o = v.overlay();
    QCOMPARE(o.size(), QSize(px(4860), px(10590)));
    QCOMPARE(o.palette().color(QPalette::Window), QColor(32, 32, 32));
    QVERIFY(o.descriptionBox()->isReadOnly());
    QVERIFY(o.commentTabHolder()->isHidden());
    // Drawn by the fullscreen window itself, above the picture and its bars.
    QVERIFY(!o.isWindow());
    QCOMPARE(o.window(), static_cast<QWidget *>(&v.full()));
    v.openWithOverlay();
    v.full().commentBackground()->show();
    o.onLayoutTick();
    const QPoint onTheBarsEdge = o.geometry().bottomLeft() + QPoint(5, 0);
    QVERIFY(v.full().commentBackground()->geometry().contains(v.full().pictureArea()->mapFrom(&v.full(), onTheBarsEdge)));
    QWidget *top = v.full().childAt(onTheBarsEdge);
    QVERIFY(top == &o || o.isAncestorOf(top));
}

void TestFullscreen::pictureRedrawAndErase()
{
    Viewer v;
    QImage red(64, 32, QImage::Format_RGB32);
    red.fill(Qt::red);
    v.main().pictureArea()->showPicture(red, ViewScaleMode::ScaleInline);
    v.full().pictureArea()->showPicture(red, ViewScaleMode::ScaleInline);
    v.openFullscreen();
    // The layout on showing redraws the picture, scaled inline into the whole screen.
    const QImage &surface = v.full().pictureArea()->surface();
    QCOMPARE(surface.size(), QSize(1024, 768));
    QCOMPARE(QColor(surface.pixel(512, 384)), QColor(Qt::red));
    QCOMPARE(QColor(surface.pixel(512, 5)), QColor(Qt::black));

    // A selection clears both picture areas.
    v.main().drawPicture();
    v.app->selection().showCam(v.app->state().selection.currentCam());
    QCOMPARE(QColor(v.full().pictureArea()->surface().pixel(512, 384)), QColor(Qt::black));
    const QImage &mainSurface = v.main().pictureArea()->surface();
    QCOMPARE(QColor(mainSurface.pixel(mainSurface.width() / 2, mainSurface.height() / 2)), QColor(Qt::black));

    // A scale-mode change redraws the fullscreen picture too.
    v.main().cycleScaleMode();
    QCOMPARE(QColor(v.full().pictureArea()->surface().pixel(512, 5)), QColor(Qt::red));

    // Closed, the fullscreen area lets its surface go; opened again, it shows the picture
    // as before, on the screen.
    QTest::mouseDClick(v.full().pictureArea(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!v.full().isVisible());
    v.openFullscreen();
    const QImage shown = v.full().pictureArea()->grab().toImage();
    QCOMPARE(shown.size(), QSize(1024, 768));
    QCOMPARE(QColor(shown.pixel(512, 5)), QColor(Qt::red));
}

void TestFullscreen::countdownFillIsCut()
{
    Viewer v;
    v.openFullscreen();
    FullscreenWindow &f = v.full();
    f.setCountdownVisible(true);
    f.countdownBar()[1]->resize(54, f.countdownBar()[1]->height());
    const QImage shot = f.pictureArea()->grab().toImage();
    const QPoint origin = f.countdownBar()[0]->pos();
    const QImage fill = f.countdownBar()[1]->pixmap().toImage();
    const QImage track = f.countdownBar()[0]->pixmap().toImage();
    // Inside the fill's width the fill's own pixels, unstretched; beyond it the track.
    // Row 33 lies inside the bar's body and below the countdown's text.
    for (int x : {20, 35, 50})
        QCOMPARE(shot.pixel(origin + QPoint(x, 33)), fill.pixel(x, 33));
    for (int x : {60, 120, 190})
        QCOMPARE(shot.pixel(origin + QPoint(x, 33)), track.pixel(x, 33));
    QVERIFY(fill.pixel(35, 33) != track.pixel(35, 33));
}

QTEST_MAIN(TestFullscreen)
#include "tst_fullscreen.moc"
