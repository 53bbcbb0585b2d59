#include "core/geometry/mainlayout.h"
#include "core/keys/keycommands.h"
#include "core/rules/commentrules.h"

#include <QTest>

using namespace key_commands;

class TestCommandRules : public QObject
{
    Q_OBJECT
private slots:
    void navigation_data();
    void navigation();
    void letters_data();
    void letters();
    void commentPick();
    void commentText_data();
    void commentText();
    void commentBox();
    void layoutAtDesignSize();
    void layoutAtOtherSizes();
    void intervalRowKeepsOrder_data();
    void intervalRowKeepsOrder();
    void minimumClientSize();
};

void TestCommandRules::navigation_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("target");
    QTest::newRow("Page Up") << 33 << 50 << 40;
    QTest::newRow("Page Up near the top") << 33 << 4 << 0;
    QTest::newRow("Page Down") << 34 << 50 << 60;
    QTest::newRow("Page Down near the end") << 34 << 95 << 99;
    QTest::newRow("End") << 35 << 3 << 99;
    QTest::newRow("Home") << 36 << 70 << 0;
    QTest::newRow("Up") << 38 << 50 << 49;
    QTest::newRow("Up on the first cam") << 38 << 0 << 0;
    QTest::newRow("Down") << 40 << 50 << 51;
    QTest::newRow("Down on the last cam") << 40 << 99 << 99;
    QTest::newRow("Left arrow does nothing") << 37 << 50 << -1;
    QTest::newRow("Right arrow does nothing") << 39 << 50 << -1;
}

void TestCommandRules::navigation()
{
    QFETCH(int, code);
    QFETCH(int, current);
    QFETCH(int, target);
    const auto t = navigationTarget(code, current, 100);
    QCOMPARE(t ? clampTarget(*t, 100) : -1, target);
}

void TestCommandRules::letters_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("letter");
    QTest::newRow("R") << int('R') << int(Letter::RandomCam);
    QTest::newRow("r") << int('r') << int(Letter::RandomCam);
    QTest::newRow("F3") << 114 << int(Letter::RandomCam);
    QTest::newRow("S") << int('S') << int(Letter::ScaleMode);
    QTest::newRow("F4") << 115 << int(Letter::ScaleMode);
    QTest::newRow("C") << int('C') << int(Letter::Comments);
    QTest::newRow("keypad 3") << 99 << int(Letter::Comments);
    QTest::newRow("A") << int('A') << int(Letter::AutoShuffle);
    QTest::newRow("keypad 1") << 97 << int(Letter::AutoShuffle);
    QTest::newRow("I") << int('I') << int(Letter::None);
    QTest::newRow("B") << int('B') << int(Letter::None);
    QTest::newRow("digit 1") << int('1') << int(Letter::None);
    QTest::newRow("Escape") << 27 << int(Letter::None);
    QTest::newRow("out of range") << 1000 << int(Letter::None);
}

void TestCommandRules::letters()
{
    QFETCH(int, code);
    QFETCH(int, letter);
    QCOMPARE(int(letterCommand(code)), letter);
}

void TestCommandRules::commentPick()
{
    // Two comments alternate strictly, whatever the generator says.
    int last = -1;
    double u = 0.0;
    auto generator = [&] { u = u + 0.37 - int(u + 0.37); return u; };
    for (int i = 0; i < 50; ++i) {
        const int next = comment_rules::pickComment(2, last, generator);
        QVERIFY(next != last);
        last = next;
    }
    // A single comment comes back every time.
    for (int i = 0; i < 5; ++i)
        QCOMPARE(comment_rules::pickComment(1, 0, generator), 0);
    // A repeat is drawn again.
    QList<double> draws{0.5, 0.5, 0.1};
    QCOMPARE(comment_rules::pickComment(3, 1, [&] { return draws.takeFirst(); }), 0);
}

void TestCommandRules::commentText_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("clean");
    QTest::addColumn<int>("ms");
    const QString twenty = QStringLiteral("word ").repeated(19) + QStringLiteral("word");
    const QString twoHundred = QStringLiteral("word ").repeated(199) + QStringLiteral("word");
    QTest::newRow("3 words") << "one two three" << "one two three" << 7000;
    QTest::newRow("20 words") << twenty << twenty << 10000;
    QTest::newRow("200 words") << twoHundred << twoHundred << 60000;
    QTest::newRow("21 words: half seconds") << twenty + " x" << twenty + " x" << 10500;
    QTest::newRow("br joins") << "one<br />two" << "one two" << 7000;
    QTest::newRow("three blanks") << "one   two" << "one two" << 7000;
    QTest::newRow("br beside blanks") << "a <br /> b" << "a b" << 7000;
    QTest::newRow("empty") << "" << "" << 7000;
}

void TestCommandRules::commentText()
{
    QFETCH(QString, raw);
    QFETCH(QString, clean);
    QFETCH(int, ms);
    QCOMPARE(comment_rules::cleanText(raw), clean);
    QCOMPARE(comment_rules::shownMilliseconds(clean), ms);
    QCOMPARE(comment_rules::wordPieces(QStringLiteral(" a ")), 3);
    QCOMPARE(comment_rules::wordPieces(QString()), 0);
}

void TestCommandRules::commentBox()
{
    // A name narrower than its date: both take the date's width.
    const comment_rules::BoxPlacement p = comment_rules::placeCommentBox(900, 1500, 345, 5040, 1575, 10215);
    QCOMPARE(p.columnWidth, 1500);
    QCOMPARE(p.textLeft, 120 + 1500 + 180);
    QCOMPARE(p.textTop, 5040 + 615);
    QCOMPARE(p.textWidth, 10215 - 1800 - 120);
    QCOMPARE(p.dividerX, 120 + 1500 + 60);
}

namespace {
main_layout::Input designInput()
{
    main_layout::Input in;
    in.W = 15495;
    in.H = 10560;
    in.toolbarLeft = 0;
    in.toolbarButtonsWidth = 3000;
    in.refreshLabelLeft = 0;
    in.refreshLabelWidth = 1035;
    in.refreshEditWidth = 375;
    in.camListLeft = 120;
    in.camListTop = 120;
    in.camListWidth = 3375;
    in.vscrollWidth = 255;
    in.pictureAreaLeft = 3600;
    in.pictureAreaTop = 600;
    in.infoBarHeight = 1695;
    in.menuBarHeight = 375;
    in.commentBarHeight = 1575;
    in.commentTabHeight = 375;
    in.commentNameHeight = 465;
    in.commentNameWidth = 2100;
    in.commentTextLeft = 2400;
    in.descriptionLeft = 120;
    in.camCount = 40;
    return in;
}
} // namespace

void TestCommandRules::layoutAtDesignSize()
{
    const main_layout::Output o = main_layout::layout(designInput());
    QCOMPARE(o.intervalStripLeft, 3120);
    QCOMPARE(o.refreshEditLeft, 1095);
    QCOMPARE(o.showCommentsLeft, 1710);
    QCOMPARE(o.camListHeight, 10320);
    QCOMPARE(o.vscrollLeft, 3225);
    QCOMPARE(o.vscrollTop, 135);
    QCOMPARE(o.vscrollHeight, 10290);
    QCOMPARE(o.pictureAreaWidth, 11775);
    QCOMPARE(o.pictureAreaHeight, 8010);
    QCOMPARE(o.infoBarTop, 8730);
    QCOMPARE(o.infoBarWidth, 11760);
    QCOMPARE(o.descriptionWidth, 11520);
    QCOMPARE(o.statusBarWidth, 11760);
    QCOMPARE(o.menuBarWidth, 11775);
    QCOMPARE(o.commentBarTop, 6435);
    QCOMPARE(o.commentBarWidth, 11775);
    QCOMPARE(o.commentTabTop, 6060);
    QCOMPARE(o.dividerTop, 6555);
    QCOMPARE(o.dividerBottom, 7890);
    QCOMPARE(o.commentNameTop, 6795);
    QCOMPARE(o.commentTextTop, 6795);
    QCOMPARE(o.commentDateTop, 7380);
    QCOMPARE(o.commentTextWidth, 7155);
    QCOMPARE(o.scrollMax, 13);
    QCOMPARE(o.largeChange, 5);
}

void TestCommandRules::layoutAtOtherSizes()
{
    // A 1024 x 768 pixel client area.
    main_layout::Input in = designInput();
    in.W = 15360;
    in.H = 11520;
    in.toolbarButtonsWidth = 0; // no buttons: the strip right after the toolbar's left
    main_layout::Output o = main_layout::layout(in);
    QCOMPARE(o.intervalStripLeft, 120);
    QCOMPARE(o.pictureAreaWidth, 11640);
    QCOMPARE(o.pictureAreaHeight, 8970);
    QCOMPARE(o.commentBarTop, 7395);
    QCOMPARE(o.camListHeight, 11280);
    QCOMPARE(o.infoBarTop, 9690);

    // A tiny window: nothing negative, a usable scroll range.
    in.W = 1000;
    in.H = 200;
    in.camCount = 32768;
    o = main_layout::layout(in);
    QCOMPARE(o.pictureAreaWidth, 0);
    QCOMPARE(o.pictureAreaHeight, 0);
    QCOMPARE(o.camListHeight, 0);
    QCOMPARE(o.vscrollHeight, 0);
    QCOMPARE(o.infoBarWidth, 0);
    QCOMPARE(o.descriptionWidth, 0);
    QCOMPARE(o.commentTextWidth, 0);
    QVERIFY(o.scrollMax >= 0 && o.scrollMax <= 32767);
    QCOMPARE(o.largeChange, 1);
}

void TestCommandRules::intervalRowKeepsOrder_data()
{
    QTest::addColumn<QList<int>>("widths"); // refresh label and box, the two switches, shuffle box, "sec."
    QTest::addColumn<QList<int>>("lefts");  // refresh box, the two switches, shuffle box, "sec.", then the strip's width
    QTest::newRow("design widths") << QList<int>{1035, 375, 1815, 1335, 375, 300}
                                   << QList<int>{1095, 1710, 3750, 5145, 5565, 5865};
    QTest::newRow("wider captions") << QList<int>{1200, 375, 2100, 1500, 375, 450}
                                    << QList<int>{1260, 1875, 4200, 5760, 6180, 6630};
}

// Each control starts after the one before it, so a wider caption moves the rest along
// and "Auto shuffle" never runs into its box.
void TestCommandRules::intervalRowKeepsOrder()
{
    QFETCH(QList<int>, widths);
    QFETCH(QList<int>, lefts);
    main_layout::Input in = designInput();
    in.refreshLabelWidth = widths[0];
    in.refreshEditWidth = widths[1];
    in.showCommentsWidth = widths[2];
    in.autoShuffleWidth = widths[3];
    in.shuffleEditWidth = widths[4];
    in.secondsLabelWidth = widths[5];
    const main_layout::IntervalRow r = main_layout::intervalRow(in);
    QCOMPARE((QList<int>{r.refreshEditLeft, r.showCommentsLeft, r.autoShuffleLeft, r.shuffleEditLeft, r.secondsLabelLeft, r.width}), lefts);
    QVERIFY(r.shuffleEditLeft >= r.autoShuffleLeft + in.autoShuffleWidth);
    const main_layout::Output o = main_layout::layout(in);
    QCOMPARE((QList<int>{o.refreshEditLeft, o.showCommentsLeft, o.autoShuffleLeft, o.shuffleEditLeft, o.secondsLabelLeft, o.intervalStripWidth}), lefts);
}

void TestCommandRules::minimumClientSize()
{
    main_layout::Input in = designInput();
    in.showCommentsWidth = 1815;
    in.autoShuffleWidth = 1335;
    in.shuffleEditWidth = 375;
    in.secondsLabelWidth = 300;
    const main_layout::Size s = main_layout::minimumClientSize(in);
    // 3600 left of the picture, 3000 of buttons, 120 to the strip, 5865 of strip, 120 right.
    QCOMPARE(s.width, 12705);
    // 1695 info bar, 480 of gaps, 375 menu strip, and twice the comment bar with its tab.
    QCOMPARE(s.height, 6450);
    // At that size the strip ends inside the menu strip, and the picture holds the bar twice.
    in.W = s.width;
    in.H = s.height;
    const main_layout::Output o = main_layout::layout(in);
    QCOMPARE(o.intervalStripLeft + o.intervalStripWidth, o.menuBarWidth);
    QCOMPARE(o.pictureAreaHeight, 2 * (in.commentBarHeight + in.commentTabHeight));
    QCOMPARE(o.toolbarWidth, o.menuBarWidth);
}

QTEST_APPLESS_MAIN(TestCommandRules)
#include "tst_commandrules.moc"
