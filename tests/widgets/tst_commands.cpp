#include "apprun.h"
#include "control/camselection.h"
#include "control/commentrotation.h"
#include "control/keyhandler.h"
#include "core/catalogue/catalogue.h"
#include "core/geometry/scalemodes.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/demandtimer.h"
#include "ui/widgets/intervalkeyfilter.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/widgets/infobarpanel.h"
#include "ui/windows/mainwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

// An application with a catalogue of `cams` cams put in place without a server.
struct Viewer : AppRun
{
    explicit Viewer(int cams = 100)
    {
        QByteArray doc;
        for (int i = 0; i < cams; ++i) {
            const QByteArray n = QByteArray::number(i);
            doc += n + ";Cam " + n + ";http://127.0.0.1:1/" + n + ".jpg;d;;3;2;30;me\r\n";
        }
        const Catalogue c = parseCatalogue(doc);
        RunningState &s = app->state();
        s.catalogue.setCams(c.camTable, c.camCount);
        app->selection().buildRows();
        app->mainWindow().camList()->setUpScrollBar(s.catalogue.camCount());
        app->mainWindow().camList()->setSelectionShown(0, true);
        app->selection().rowClicked(0);
    }
    RunningState &state() { return app->state(); }
    MainWindow &f1() { return app->mainWindow(); }
    FullscreenWindow &f3() { return app->fullscreenWindow(); }
    InfoBarPanel &f4() { return app->infoBarPanel(); }
    void key(int code) { app->keys().onKeyDown(code, 0); }
    bool barUp(const CommentBar &bar) const { return !bar.background->isHidden(); }
};

// The main window and the overlay show the running state, whoever changed it.
void checkShown(Viewer &v)
{
    const RunningState &s = v.state();
    MainWindow &f = v.f1();
    QCOMPARE(f.pictureAddressEdit()->text(), s.selection.pictureAddress());
    QCOMPARE(f.refreshIntervalEdit()->text(), s.switches.refreshIntervalText());
    QCOMPARE(f.shuffleIntervalEdit()->text(), s.switches.shuffleIntervalText());
    QCOMPARE(f.showCommentsCheck()->isChecked(), s.switches.showComments());
    QCOMPARE(f.autoShuffleCheck()->isChecked(), s.switches.autoShuffle());
    QCOMPARE(f.scaleModeButton()->text(), scale_modes::caption(s.switches.scaleMode()));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(f.scaleModeOptions()[i]->isChecked(), i == scale_modes::optionForMode(s.switches.scaleMode()));
    QCOMPARE(v.app->infoBarPanel().layoutTimer()->isEnabled(), s.switches.infoBarOn());
    // The comment rotation runs exactly while comments are switched on.
    QCOMPARE(v.app->comments().timer()->isActive(), s.switches.showComments());
}

// The state a letter command switches, as text.
QString switchedBy(int code, const RunningState &s)
{
    if (code == 'C')
        return s.switches.showComments() ? QStringLiteral("on") : QStringLiteral("off");
    if (code == 'A')
        return s.switches.autoShuffle() ? QStringLiteral("on") : QStringLiteral("off");
    return scale_modes::caption(s.switches.scaleMode());
}

QString words(int n) { return (QStringLiteral("word ").repeated(n)).trimmed(); }

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT
private slots:
    void navigation_data();
    void navigation();
    void letters();
    void scaleModeCycle();
    void commandsChangeTheState_data();
    void commandsChangeTheState();
    void userEditsReachTheState();
    void infoBarKeysAndSelectionChangeTheState();
    void relayedKeys();
    void keyReachesCommandsAsSignal_data();
    void keyReachesCommandsAsSignal();
    void letterInIntervalBox();
    void commentTiming_data();
    void commentTiming();
    void commentsAlternate();
    void commentRotationStates();
    void longCommentShowsWholeLines_data();
    void longCommentShowsWholeLines();
    void layoutFollowsWindow();
};

void TestCommands::navigation_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("to");
    QTest::newRow("Down") << 5 << 40 << 6;
    QTest::newRow("Up") << 5 << 38 << 4;
    QTest::newRow("Up on the first cam") << 0 << 38 << 0;
    QTest::newRow("Down on the last cam") << 99 << 40 << 99;
    QTest::newRow("Page Down") << 5 << 34 << 15;
    QTest::newRow("Page Down near the end") << 95 << 34 << 99;
    QTest::newRow("Page Up") << 50 << 33 << 40;
    QTest::newRow("Page Up near the top") << 3 << 33 << 0;
    QTest::newRow("Home") << 50 << 36 << 0;
    QTest::newRow("End") << 50 << 35 << 99;
}

void TestCommands::navigation()
{
    QFETCH(int, from);
    QFETCH(int, code);
    QFETCH(int, to);
    Viewer v;
    v.app->selection().rowClicked(from);
    v.state().countdowns.setRefresh(4);
    v.key(code);
    QCOMPARE(v.state().selection.currentCam(), to);
    QVERIFY(v.f1().camList()->isSelectionShown(to));
    QCOMPARE(v.state().countdowns.refresh().value(), 0); // shown afresh, also when it stays
    // Scrolled so that the cam is on screen.
    const double top = v.f1().camList()->rowTop(to);
    QVERIFY(top >= 0 && top < v.f1().camList()->heightInTwips());
}

void TestCommands::letters()
{
    Viewer v;
    QLabel *status = v.f3().statusMessage();

    const bool commentsBefore = v.f1().showCommentsCheck()->isChecked();
    v.key('C');
    QCOMPARE(v.f1().showCommentsCheck()->isChecked(), !commentsBefore);
    QCOMPARE(status->text(), QStringLiteral("Comments turned off"));
    QVERIFY(!status->isHidden());
    v.key(99); // keypad 3
    QCOMPARE(status->text(), QStringLiteral("Comments turned on"));

    v.key('A');
    QVERIFY(v.f1().autoShuffleCheck()->isChecked());
    QCOMPARE(status->text(), QStringLiteral("Auto shuffle turned on"));
    v.key('A'); // a second press undoes the first
    QCOMPARE(status->text(), QStringLiteral("Auto shuffle turned off"));
    QVERIFY(!v.f1().autoShuffleCheck()->isChecked());

    // "r" and F3 jump to a random cam and restart the shuffle countdown.
    v.state().countdowns.setShuffle(7);
    v.f1().shuffleIntervalEdit()->setText(QStringLiteral("45"));
    v.key('R');
    QCOMPARE(v.state().countdowns.shuffle().text(), QStringLiteral("45"));
    v.state().countdowns.setShuffle(7);
    v.key(114);
    QCOMPARE(v.state().countdowns.shuffle().text(), QStringLiteral("45"));

    // Other keys do nothing here.
    const int cam = v.state().selection.currentCam();
    status->setText(QStringLiteral("unchanged"));
    for (int code : {int('B'), int('I'), 37, 39, 27, 13})
        v.key(code);
    QCOMPARE(v.state().selection.currentCam(), cam);
    QCOMPARE(status->text(), QStringLiteral("unchanged"));
}

void TestCommands::scaleModeCycle()
{
    Viewer v;
    const QString start = v.f1().scaleModeButton()->text();
    QStringList messages;
    for (int i = 0; i < 3; ++i) {
        v.key('S');
        messages.append(v.f3().statusMessage()->text());
    }
    QCOMPARE(messages, (QStringList{"Scale mode: Scale Outline", "Scale mode: Stretch", "Scale mode: Scale Inline"}));
    QCOMPARE(v.f1().scaleModeButton()->text(), start);
}

void TestCommands::commandsChangeTheState_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("states"); // after each of three presses
    QTest::newRow("c: comments") << int('C') << QStringList{"off", "on", "off"};
    QTest::newRow("a: auto shuffle") << int('A') << QStringList{"on", "off", "on"};
    QTest::newRow("s: scale mode") << int('S') << QStringList{scale_modes::ScaleOutline, scale_modes::Stretch,
                                                              scale_modes::ScaleInline};
}

void TestCommands::commandsChangeTheState()
{
    QFETCH(int, code);
    QFETCH(QStringList, states);
    Viewer v;
    for (const QString &expected : states) {
        v.key(code);
        QCOMPARE(switchedBy(code, v.state()), expected);
        checkShown(v);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestCommands::userEditsReachTheState()
{
    Viewer v;
    MainWindow &f = v.f1();
    f.refreshIntervalEdit()->clear();
    QTest::keyClicks(f.refreshIntervalEdit(), QStringLiteral("7"));
    QCOMPARE(v.state().switches.refreshIntervalText(), QStringLiteral("7"));
    f.shuffleIntervalEdit()->clear();
    QTest::keyClicks(f.shuffleIntervalEdit(), QStringLiteral("12"));
    QCOMPARE(v.state().switches.shuffleIntervalText(), QStringLiteral("12"));
    f.showCommentsCheck()->click();
    QVERIFY(!v.state().switches.showComments());
    f.autoShuffleCheck()->click();
    QVERIFY(v.state().switches.autoShuffle());
    f.scaleModeMenu()->actions().at(0)->trigger();
    QCOMPARE(v.state().switches.scaleMode(), ViewScaleMode::Stretch);
    v.app->infoBarPanel().layoutTimer()->setEnabled(false);
    QVERIFY(!v.state().switches.infoBarOn());
    checkShown(v);

    // What reads the state sees the edit: a random pick counts down from the typed interval.
    v.key('R');
    QCOMPARE(v.state().countdowns.shuffle().text(), QStringLiteral("12"));
}

void TestCommands::infoBarKeysAndSelectionChangeTheState()
{
    Viewer v;
    QVERIFY(v.state().switches.infoBarOn());
    v.app->infoBarPanel().switchOff();
    QVERIFY(!v.state().switches.infoBarOn());
    checkShown(v);
    v.f3().onKeyDown('I');
    QVERIFY(v.state().switches.infoBarOn());
    checkShown(v);

    v.key(40); // Down: the next cam's picture address
    QCOMPARE(v.state().selection.pictureAddress(), QStringLiteral("http://127.0.0.1:1/1.jpg"));
    checkShown(v);
}

void TestCommands::relayedKeys()
{
    Viewer v;
    // The fullscreen window relays what it does not handle itself.
    v.f3().onKeyDown(40);
    QCOMPARE(v.state().selection.currentCam(), 1);
    v.f3().onKeyDown('C');
    QCOMPARE(v.f3().statusMessage()->text(), QStringLiteral("Comments turned off"));
    // Escape and "i" stay there.
    v.f3().onKeyDown(27);
    v.f3().onKeyDown('I');
    QCOMPARE(v.state().selection.currentCam(), 1);
    QCOMPARE(v.f3().statusMessage()->text(), QStringLiteral("Info-Bar enabled"));
}

void TestCommands::keyReachesCommandsAsSignal_data()
{
    QTest::addColumn<bool>("overlay");
    QTest::newRow("fullscreen") << false;
    QTest::newRow("Info-Bar") << true;
}

void TestCommands::keyReachesCommandsAsSignal()
{
    QFETCH(bool, overlay);
    Viewer v;
    // Typed into the Info-Bar, a key is the fullscreen window's all the same.
    QWidget *window = overlay ? static_cast<QWidget *>(&v.f4()) : &v.f3();
    QSignalSpy relayed(&v.f3(), &FullscreenWindow::keyRelayed);

    QTest::keyClick(window, Qt::Key_Down);
    QCOMPARE(relayed.count(), 1);
    QCOMPARE(relayed.at(0), (QList<QVariant>{40, 0}));
    QCOMPARE(v.state().selection.currentCam(), 1);

    // Escape stays in the window and reaches no command.
    QTest::keyClick(window, Qt::Key_Escape);
    QCOMPARE(relayed.count(), 1);
    QCOMPARE(v.state().selection.currentCam(), 1);
}

void TestCommands::letterInIntervalBox()
{
    Viewer v;
    QSignalSpy beeps(&v.app->intervalKeys(), &IntervalKeyFilter::rejected);
    v.f1().show();
    v.f1().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&v.f1()));
    v.f1().refreshIntervalEdit()->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(v.f1().refreshIntervalEdit()));
    const QString before = v.f1().refreshIntervalEdit()->text();

    QTest::keyClick(v.f1().refreshIntervalEdit(), Qt::Key_A);
    QVERIFY(v.f1().autoShuffleCheck()->isChecked());
    QCOMPARE(v.f1().refreshIntervalEdit()->text(), before);
    QCOMPARE(beeps.count(), 1);

    // Arrows in the box move the cam selection; a digit goes into the box.
    const int cam = v.state().selection.currentCam();
    QTest::keyClick(v.f1().refreshIntervalEdit(), Qt::Key_Down);
    QCOMPARE(v.state().selection.currentCam(), cam + 1);
    QTest::keyClick(v.f1().refreshIntervalEdit(), Qt::Key_7);
    QVERIFY(v.f1().refreshIntervalEdit()->text().contains(QLatin1Char('7')));
    QCOMPARE(beeps.count(), 1);
}

void TestCommands::commentTiming_data()
{
    QTest::addColumn<int>("wordCount");
    QTest::addColumn<int>("interval");
    QTest::newRow("3 words") << 3 << 7000;
    QTest::newRow("20 words") << 20 << 10000;
    QTest::newRow("200 words") << 200 << 60000;
}

void TestCommands::commentTiming()
{
    QFETCH(int, wordCount);
    QFETCH(int, interval);
    Viewer v;
    v.state().selection.setCommentTable(QStringList{QStringLiteral("anna;") + words(wordCount) + QStringLiteral(";1.1.2020 10:00"), QString()});
    v.app->comments().onTick();
    QVERIFY(v.barUp(v.f1().commentBar()));
    QVERIFY(v.barUp(v.f3().commentBar()));
    QCOMPARE(v.app->comments().timer()->interval(), interval);
    QVERIFY(v.app->comments().timer()->isActive());
    QCOMPARE(v.f1().commentLabels()[0]->text(), QStringLiteral("anna"));
    QCOMPARE(v.f3().commentLabels()[2]->text(), QStringLiteral("1.1.2020 10:00"));

    // Down again on the next tick, for seven seconds.
    v.app->comments().onTick();
    QVERIFY(!v.barUp(v.f1().commentBar()));
    QVERIFY(!v.barUp(v.f3().commentBar()));
    QCOMPARE(v.app->comments().timer()->interval(), 7000);
}

void TestCommands::commentsAlternate()
{
    Viewer v;
    v.state().selection.setCommentTable(QStringList{"a;one<br />two;d1", "b;three   four;d2", QString()});
    QStringList shown;
    for (int i = 0; i < 20; ++i) {
        v.app->comments().onTick(); // up
        shown.append(v.f1().commentLabels()[0]->text());
        v.app->comments().onTick(); // down
    }
    for (int i = 1; i < shown.size(); ++i)
        QVERIFY(shown[i] != shown[i - 1]);
    // The clean-up shows one blank between words.
    v.state().selection.setCommentTable(QStringList{"a;one<br />two;d1", QString()});
    v.app->comments().onTick();
    QCOMPARE(v.f1().commentLabels()[1]->text(), QStringLiteral("one two"));
    v.app->comments().onTick();
    // One comment comes back every time.
    for (int i = 0; i < 3; ++i) {
        v.app->comments().onTick();
        QVERIFY(v.barUp(v.f1().commentBar()));
        v.app->comments().onTick();
        QVERIFY(!v.barUp(v.f1().commentBar()));
    }
}

void TestCommands::commentRotationStates()
{
    Viewer v;
    // No comments: nothing comes up and nothing changes.
    v.state().selection.setCommentTable(QStringList{QString(), QString()});
    v.app->comments().timer()->setInterval(7000);
    v.app->comments().onTick();
    QVERIFY(!v.barUp(v.f1().commentBar()));
    QCOMPARE(v.app->comments().timer()->interval(), 7000);

    // A malformed line ends the tick quietly.
    v.state().selection.setCommentTable(QStringList{QStringLiteral("no separators here"), QString()});
    v.app->comments().onTick();
    QVERIFY(!v.barUp(v.f1().commentBar()));
    QCOMPARE(v.state().selection.lastCommentIndex(), 0);

    // A new cam takes the comment down in both windows at once.
    v.state().selection.setCommentTable(QStringList{QStringLiteral("a;b;c"), QString()});
    v.app->comments().onTick();
    QVERIFY(v.barUp(v.f1().commentBar()));
    v.app->selection().rowClicked(5);
    QVERIFY(!v.barUp(v.f1().commentBar()));
    QVERIFY(!v.barUp(v.f3().commentBar()));
    QCOMPARE(v.state().selection.lastCommentIndex(), -1);

    // Unchecking the box takes it down and stops the rotation; checking restarts it.
    v.state().selection.setCommentTable(QStringList{QStringLiteral("a;b;c"), QString()}); // the new cam's comments
    v.app->comments().onTick();
    QVERIFY(v.barUp(v.f1().commentBar()));
    v.f1().showCommentsCheck()->setChecked(false);
    QVERIFY(!v.barUp(v.f1().commentBar()));
    QVERIFY(!v.app->comments().timer()->isActive());
    v.f1().showCommentsCheck()->setChecked(true);
    QVERIFY(v.app->comments().timer()->isActive());
    QCOMPARE(v.app->comments().timer()->interval(), 7000);
}

void TestCommands::longCommentShowsWholeLines_data()
{
    QTest::addColumn<bool>("fullscreen");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<bool>("cut");
    QTest::addColumn<QSize>("shownAt");
    QTest::addColumn<QSize>("laidOutAt");
    const QString longText = words(200);
    const QString oneWord(400, QLatin1Char('w'));
    QTest::newRow("main, 200 words") << false << longText << true << QSize() << QSize();
    QTest::newRow("fullscreen, 200 words") << true << longText << true << QSize() << QSize();
    QTest::newRow("main, one word of 400 letters") << false << oneWord << true << QSize() << QSize();
    QTest::newRow("main, 25 words") << false << words(25) << false << QSize() << QSize();
    QTest::newRow("fullscreen, 25 words") << true << words(25) << false << QSize() << QSize();
    // A layout after the comment arrived gives the text label another width: the lines
    // follow it instead of running past its edge.
    QTest::newRow("main, 25 words, window widened") << false << words(25) << false << QSize(960, 640) << QSize(1400, 700);
    QTest::newRow("main, 200 words, window narrowed") << false << longText << true << QSize(1400, 700) << QSize(960, 640);
    QTest::newRow("fullscreen, 25 words, laid out again") << true << words(25) << false << QSize(1280, 800) << QSize(1280, 760);
    QTest::newRow("fullscreen, 200 words, laid out again") << true << longText << true << QSize(1024, 768) << QSize(1024, 740);
}

// A comment longer than the bar shows only the lines that fit whole, the last one ending
// with "…"; none is cut through at the label's foot or runs past its right edge.
void TestCommands::longCommentShowsWholeLines()
{
    QFETCH(bool, fullscreen);
    QFETCH(QString, comment);
    QFETCH(bool, cut);
    QFETCH(QSize, shownAt);
    QFETCH(QSize, laidOutAt);
    Viewer v;
    QWidget &window = fullscreen ? static_cast<QWidget &>(v.f3()) : static_cast<QWidget &>(v.f1());
    if (shownAt.isValid()) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(shownAt);
        QTRY_COMPARE(window.size(), shownAt);
    }
    v.state().selection.setCommentTable(QStringList{QStringLiteral("anna;") + comment + QStringLiteral(";1.1.2020 10:00"), QString()});
    v.app->comments().onTick();
    const CommentBar bar = fullscreen ? v.f3().commentBar() : v.f1().commentBar();
    QVERIFY(v.barUp(bar));
    if (laidOutAt.isValid()) {
        const int widthBefore = bar.labels[1]->width();
        window.resize(laidOutAt);
        QTRY_COMPARE(window.size(), laidOutAt);
        QVERIFY2(bar.labels[1]->width() != widthBefore, "the layout kept the text label's width");
    }
    const QLabel *label = bar.labels[1];
    QCOMPARE(label->textFormat(), Qt::PlainText);
    const QFontMetrics metrics(label->font());
    // The text as the label draws it needs no more than the label's rectangle: no row of
    // glyphs is cut through at its foot, none runs past its right edge.
    const int flags = int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
    const QRect drawn = metrics.boundingRect(label->contentsRect(), flags, label->text());
    QVERIFY2(drawn.height() <= label->contentsRect().height(),
             qPrintable(QStringLiteral("%1 > %2").arg(drawn.height()).arg(label->contentsRect().height())));
    QVERIFY2(drawn.width() <= label->contentsRect().width(),
             qPrintable(QStringLiteral("%1 > %2").arg(drawn.width()).arg(label->contentsRect().width())));
    QCOMPARE(label->text().endsWith(QChar(0x2026)), cut);
    const QStringList lines = label->text().split(QLatin1Char('\n'));
    QVERIFY2(lines.size() > 1, qPrintable(label->text()));
    if (!cut)
        QCOMPARE(lines.join(QLatin1Char(' ')), comment.trimmed());
    QCOMPARE(label->height(), int(lines.size()) * metrics.lineSpacing());
    QVERIFY2(label->height() <= bar.background->height(), qPrintable(QString::number(label->height())));
    QVERIFY(bar.background->geometry().contains(label->geometry()));
    for (const QString &line : lines)
        QVERIFY2(metrics.horizontalAdvance(line) <= label->width(), qPrintable(line));
    // The lines are the label's own: it wraps nothing further.
    QVERIFY(!label->wordWrap());
}

void TestCommands::layoutFollowsWindow()
{
    Viewer v(40);
    MainWindow &f = v.f1();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    // The design client size: 15495 x 10560 twips.
    f.resize(1033, 704 + f.height() - f.centralWidget()->height());
    QTRY_COMPARE(f.centralWidget()->size(), QSize(1033, 704));
    QCOMPARE(f.camList()->height(), 688);                    // 10320 twips
    QCOMPARE(f.pictureArea()->size(), QSize(785, 534));          // 11775 x 8010
    QCOMPARE(f.infoStrip()->y(), 582);                      // 8730
    QCOMPARE(f.commentBackground()->y(), 429);                          // 6435
    QCOMPARE(f.camListScrollBar()->maximum(), 13);
    QCOMPARE(f.camListScrollBar()->pageStep(), 5);
    QCOMPARE(v.f3().countdownBar()[1]->width(), 0);

    // Very small: the window holds at its minimum size, nothing negative, the program goes on.
    f.resize(60, 40);
    QTRY_COMPARE(f.size(), f.minimumSize());
    QVERIFY(!f.minimumSize().isEmpty());
    QVERIFY(f.pictureArea()->width() >= 0 && f.pictureArea()->height() >= 0);
    QVERIFY(f.camListScrollBar()->maximum() >= 0);

    // Minimised: nothing moves.
    f.resize(1033, 704 + f.height() - f.centralWidget()->height());
    QTRY_COMPARE(f.camList()->height(), 688);
    f.showMinimized();
    f.camList()->resize(f.camList()->width(), 10);
    emit f.resized();
    QCOMPARE(f.camList()->height(), 10);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
