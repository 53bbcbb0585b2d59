// The main window's controls at the sizes people use: every caption at its natural width,
// no two controls on top of each other, nothing outside the window, and a minimum size
// that keeps it so.
#include "apprun.h"
#include "control/camselection.h"
#include "core/catalogue/catalogue.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/statusbar.h"
#include "ui/windows/mainwindow.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>

namespace {

struct Control
{
    QWidget *widget;
    bool caption; // shows a caption that must fit at its natural width
};

QList<Control> controls(MainWindow &f)
{
    return {{f.scaleModeButton(), true},    {f.randomCamButton(), true},  {f.wallButton(), true}, {f.refreshLabel(), true},
            {f.refreshIntervalEdit(), false}, {f.showCommentsCheck(), true}, {f.autoShuffleCheck(), true},
            {f.shuffleIntervalEdit(), false}, {f.secondsLabel(), true},     {f.camList(), false},
            {f.pictureArea(), false},         {f.descriptionBox(), false},  {f.camStatusBar(), false}};
}

QRect inWindow(const QWidget *w, const QWidget *window)
{
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

// What is seen of a control: its rectangle cut by every parent's up to the window.
QRect seen(const QWidget *w, const QWidget *window)
{
    QRect r = inWindow(w, window);
    for (const QWidget *p = w->parentWidget(); p && p != window; p = p->parentWidget())
        r &= inWindow(p, window);
    return r & window->rect();
}

// The controls a user reaches with Tab, in its order from the list on.
QList<QWidget *> tabStops(MainWindow &f)
{
    return {f.camList(), f.scaleModeButton(), f.randomCamButton(), f.wallButton(), f.refreshIntervalEdit(), f.showCommentsCheck(),
            f.autoShuffleCheck(), f.shuffleIntervalEdit(), f.descriptionBox()};
}

} // namespace

class TestMainLayout : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void controlsFit_data();
    void controlsFit();
    void noSmallerThanTheMinimum();
    void namedForScreenReaders_data();
    void namedForScreenReaders();
    void tabVisitsEveryControl();
};

void TestMainLayout::initTestCase()
{
    // As the program does: the dialog face falls back to a condensed sans-serif.
    QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"));
}

void TestMainLayout::controlsFit_data()
{
    QTest::addColumn<QSize>("size"); // an empty size: the window's minimum
    QTest::newRow("minimum") << QSize();
    QTest::newRow("800 x 600") << QSize(800, 600);
    QTest::newRow("1024 x 768") << QSize(1024, 768);
    QTest::newRow("1920 x 1080") << QSize(1920, 1080);
}

void TestMainLayout::controlsFit()
{
    QFETCH(QSize, size);
    AppRun run;
    MainWindow &f = run.app->mainWindow();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    // A size below the minimum gives the minimum.
    const QSize minimum = f.minimumSize();
    const QSize wanted = size.isEmpty() ? minimum : size.expandedTo(minimum);
    QVERIFY2(!wanted.isEmpty(), "no minimum size");
    f.resize(wanted);
    QTRY_COMPARE(f.size(), wanted);
    QTRY_COMPARE(f.pictureArea()->width(), f.centralWidget()->width() - 248);

    const QList<Control> all = controls(f);
    for (const Control &c : all) {
        const QString name = c.widget->objectName();
        QVERIFY2(c.widget->isVisible(), qPrintable(name));
        QVERIFY2(f.rect().contains(inWindow(c.widget, &f)), qPrintable(name));
        // Whole: no parent cuts any of it off.
        QVERIFY2(seen(c.widget, &f) == inWindow(c.widget, &f), qPrintable(name));
        if (c.caption) {
            QVERIFY2(c.widget->width() >= c.widget->sizeHint().width(),
                     qPrintable(QStringLiteral("%1: %2 < %3").arg(name).arg(c.widget->width()).arg(c.widget->sizeHint().width())));
            // As high as it needs, a tool button's icon included.
            QVERIFY2(c.widget->height() >= c.widget->sizeHint().height(),
                     qPrintable(QStringLiteral("%1: height %2 < %3").arg(name).arg(c.widget->height()).arg(c.widget->sizeHint().height())));
        }
    }
    // The interval boxes show their figures whole.
    for (QLineEdit *box : {f.refreshIntervalEdit(), f.shuffleIntervalEdit()})
        QVERIFY(box->width() >= box->fontMetrics().horizontalAdvance(QStringLiteral("60")) + 4);
    for (int i = 0; i < all.size(); ++i)
        for (int j = i + 1; j < all.size(); ++j) {
            const QRect a = inWindow(all[i].widget, &f);
            const QRect b = inWindow(all[j].widget, &f);
            QVERIFY2(!a.intersects(b), qPrintable(all[i].widget->objectName() + QLatin1String(" / ") + all[j].widget->objectName()));
        }
    // The list's scroll bar stands over the list's right edge, inside it.
    QVERIFY(inWindow(f.camList(), &f).contains(inWindow(f.camListScrollBar(), &f)));

    // A comment takes at most half of the picture's height.
    const int bar = f.commentBackground()->height() + f.commentTab()->height();
    QVERIFY2(2 * bar <= f.pictureArea()->height(), qPrintable(QString::number(f.pictureArea()->height())));
    QVERIFY(f.pictureArea()->rect().contains(f.commentBackground()->geometry()));
    QVERIFY(f.pictureArea()->rect().contains(f.commentTab()->geometry()));
}

void TestMainLayout::noSmallerThanTheMinimum()
{
    AppRun run;
    MainWindow &f = run.app->mainWindow();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const QSize minimum = f.minimumSize();
    QVERIFY(minimum.width() > 0 && minimum.height() > 0);
    qInfo("minimum size %d x %d", minimum.width(), minimum.height());
    // The window fits the smallest common screen, with room for a panel.
    QVERIFY2(minimum.width() <= 1024 && minimum.height() <= 700,
             qPrintable(QStringLiteral("%1 x %2").arg(minimum.width()).arg(minimum.height())));
    f.resize(420, 300);
    QTRY_COMPARE(f.size(), minimum);
}

void TestMainLayout::namedForScreenReaders_data()
{
    QTest::addColumn<int>("stop"); // in tabStops(); -1 for the status bar
    int stop = 0;
    for (const char *name : {"CamList", "scaleModeButton", "randomCamButton", "wallButton", "Text2", "Check1", "Check2", "Text3", "RichTextBox1"})
        QTest::newRow(name) << stop++;
    QTest::newRow("StatusBar1") << -1;
}

void TestMainLayout::namedForScreenReaders()
{
    QFETCH(int, stop);
    AppRun run;
    MainWindow &f = run.app->mainWindow();
    QWidget *w = stop < 0 ? f.camStatusBar() : tabStops(f).at(stop);
    QCOMPARE(w->objectName(), QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(!QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty());
    QVERIFY(stop < 0 || !w->toolTip().isEmpty());
    // Each panel is a part of its own for screen readers, named as its tooltip is.
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(f.camStatusBar());
    QCOMPARE(stop < 0 ? bar->childCount() : StatusBar::PanelCount, StatusBar::PanelCount);
    for (int panel = 1; stop < 0 && panel <= StatusBar::PanelCount; ++panel) {
        const QString name = bar->child(panel - 1)->text(QAccessible::Name);
        QVERIFY2(!name.isEmpty() && f.camStatusBar()->panelToolTip(panel).startsWith(name), qPrintable(name));
        QCOMPARE(bar->child(panel - 1)->text(QAccessible::Value), f.camStatusBar()->panelText(panel));
    }
}

// Tab runs through the controls and wraps, Shift+Tab goes back; the list's rows have their
// cams' names, its keys still reach the key commands, and Enter presses a button.
void TestMainLayout::tabVisitsEveryControl()
{
    AppRun run;
    MainWindow &f = run.app->mainWindow();
    const Catalogue catalogue = parseCatalogue("1;One;a;d;;3;0;1;me\r\n2;Two;b;d;;3;0;1;me\r\n3;Three;c;d;;3;0;1;me\r\n");
    run.app->state().catalogue.setCams(catalogue.camTable, catalogue.camCount);
    run.app->selection().buildRows();
    f.show();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    const QList<QWidget *> stops = tabStops(f);
    stops.first()->setFocus(Qt::TabFocusReason);
    for (int i = 1; i <= stops.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), stops.at(i % stops.size())->objectName());
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), stops.last());
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(f.camList());
    QCOMPARE(list->childCount() >= 3 ? list->child(2)->text(QAccessible::Name) : QString(), QStringLiteral("Three"));

    f.camList()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(f.camList(), Qt::Key_End);
    QCOMPARE(run.app->state().selection.currentCam(), 2);
    QSignalSpy random(&f, &MainWindow::randomCamRequested);
    f.randomCamButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(f.randomCamButton(), Qt::Key_Return);
    QCOMPARE(random.count(), 1);
}

QTEST_MAIN(TestMainLayout)
#include "tst_mainlayout.moc"
