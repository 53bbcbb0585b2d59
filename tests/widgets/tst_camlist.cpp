#include "control/cammarks.h"
#include "control/camsearch.h"
#include "control/favourites.h"
#include "control/camselection.h"
#include "core/catalogue/catalogue.h"
#include "core/geometry/listgeometry.h"
#include "core/geometry/twips.h"
#include "core/state/controltexts.h"
#include "core/state/runningstate.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/windows/mainwindow.h"

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace {

// Cam i is named "Cam i", or longName for the cams listed in longRows.
QByteArray catalogue(int cams, const QByteArray &longName = {}, const QList<int> &longRows = {})
{
    QByteArray doc;
    for (int i = 0; i < cams; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray name = longRows.contains(i) ? longName : "Cam " + n;
        doc += n + ";" + name + ";http://h/" + n + ".jpg;Description " + n + ";;" + QByteArray::number(i % 6)
            + ";2;30;someone\r\n";
    }
    return doc;
}

// A main window with its list built from a catalogue, as start-up leaves it.
struct ListFixture
{
    RunningState state;
    MainWindow form{state};
    QRandomGenerator random{7};
    CamSelection selection{state, *form.camList(), random};

    explicit ListFixture(int cams, const QByteArray &longName = {}, const QList<int> &longRows = {})
    {
        Catalogue c = parseCatalogue(catalogue(cams, longName, longRows));
        state.catalogue.setCams(c.camTable, c.camCount);
        QObject::connect(form.camList(), &CamListWidget::rowClicked, &selection, &CamSelection::rowClicked);
        selection.buildRows();
        form.camList()->setSelectionShown(0, true);
        form.camList()->setUpScrollBar(state.catalogue.camCount());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

    CamListWidget &list() { return *form.camList(); }
    int highlightedRows()
    {
        int n = 0;
        for (int i = 0; i < list().rowCount(); ++i)
            n += list().isSelectionShown(i) ? 1 : 0;
        return n;
    }
    // The centre of a row part, in the list's pixels, for the row at visible position slot.
    static QPoint at(int slot, QRect part)
    {
        return QPoint((part.left() + part.width() / 2) / 15,
                      slot * CamListWidget::ItemHeight / 15 + (part.top() + part.height() / 2) / 15);
    }
};

// Turns a wheel by angle eighths of a degree over pixel of target (positive: away from the user).
void turnWheel(QWidget *target, QPoint pixel, int angle)
{
    QWheelEvent wheel(QPointF(pixel), QPointF(target->mapToGlobal(pixel)), QPoint(), QPoint(0, angle),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
}

// Distance between two colours, the largest of the three channel differences.
int colourDistance(QColor a, QColor b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

} // namespace

class TestCamList : public QObject
{
    Q_OBJECT
private slots:
    void rowsAndShading();
    void scrollingMovesRows();
    void scrollToCam();
    void clicksSelect_data();
    void clicksSelect();
    void randomPick();
    void wheelScrollsRows_data();
    void wheelScrollsRows();
    void wheelAtTheEnds();
    void longNamesElided();
    void scrollBarThumbVisible();
    void filterNarrowsTheRows();
    void troubledCamsMarked();
    void starsAndFavouritesOnly();
};

void TestCamList::rowsAndShading()
{
    ListFixture f(100);
    CamListWidget &list = f.list();
    QCOMPARE(list.rowCount(), 100);
    QCOMPARE(list.rowCaption(7), QStringLiteral("Cam 7"));
    QCOMPARE(list.rowPicture(0).value_or(0), 1); // rating 0
    QCOMPARE(list.rowPicture(5).value_or(0), 6); // rating 5
    QCOMPARE(list.heightInTwips(), 10455.0);
    QCOMPARE(f.form.camListScrollBar()->maximum(), 43);
    QCOMPARE(f.form.camListScrollBar()->pageStep(), 5);

    const QPalette pal = list.palette();
    QCOMPARE(list.rowBackground(0), pal.color(QPalette::Base));
    QCOMPARE(list.rowBackground(1), pal.color(QPalette::Midlight));
    QCOMPARE(list.rowBackground(2), pal.color(QPalette::Base));

    // What is painted: row backgrounds right of the name, the highlighted row in full.
    f.state.selection.setCurrentCam(0);
    f.selection.selectListCam(2);
    f.state.selection.setCurrentCam(2);
    QCOMPARE(f.highlightedRows(), 1);
    QCOMPARE(list.nameColor(2), pal.color(QPalette::HighlightedText));
    QCOMPARE(list.nameColor(0), pal.color(QPalette::ButtonText));
    const QImage shot = list.grab().toImage();
    QCOMPARE(shot.pixel(200, 4), pal.color(QPalette::Base).rgb());
    QCOMPARE(shot.pixel(200, 49 + 4), pal.color(QPalette::Midlight).rgb());
    QCOMPARE(shot.pixel(200, 2 * 49 + 4), pal.color(QPalette::Highlight).rgb());
    QCOMPARE(shot.pixel(200, 3 * 49 + 4), pal.color(QPalette::Midlight).rgb());
    // Selecting the selected row again keeps exactly that row highlighted.
    f.selection.selectListCam(2);
    QCOMPARE(f.highlightedRows(), 1);
    QVERIFY(list.isSelectionShown(2));
}

void TestCamList::scrollingMovesRows()
{
    ListFixture f(100);
    CamListWidget &list = f.list();
    QScrollBar &bar = *f.form.camListScrollBar();
    QCOMPARE(list.rowTop(0), 0.0);
    QCOMPARE(list.rowTop(3), 3 * 735.0);

    bar.setValue(24);
    QCOMPARE(list.firstRow(), 49);
    QCOMPARE(list.rowTop(0), -735.0);
    QCOMPARE(list.rowTop(48), -735.0);
    QCOMPARE(list.rowTop(49), 0.0);
    QCOMPARE(list.rowTop(50), 735.0);
    // The painted top row follows.
    const QImage shot = list.grab().toImage();
    QCOMPARE(shot.pixel(200, 4), list.rowBackground(49).rgb());

    // Dragging the thumb moves the rows before it is let go.
    bar.setSliderDown(true);
    bar.setSliderPosition(1);
    QCOMPARE(list.firstRow(), 2);
    bar.setSliderDown(false);
    QCOMPARE(list.firstRow(), 2);

    // An arrow step and a page step.
    bar.setValue(0);
    bar.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(bar.value(), 1);
    bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(bar.value(), 6);
    QCOMPARE(list.firstRow(), 12);
}

void TestCamList::scrollToCam()
{
    ListFixture f(100);
    QScrollBar &bar = *f.form.camListScrollBar();
    const QList<QPair<int, int>> cases{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 1}, {50, 24}, {52, 24}, {99, 43}};
    for (const auto &[cam, value] : cases) {
        bar.setValue(10);
        f.list().scrollToCam(cam);
        QCOMPARE(bar.value(), value);
    }
    f.list().scrollToCam(50);
    QCOMPARE(f.list().rowTop(50), 735.0); // second visible row
    f.list().scrollToCam(52);
    QCOMPARE(f.list().rowTop(52), 3 * 735.0); // fourth
}

void TestCamList::clicksSelect_data()
{
    QTest::addColumn<QRect>("part");
    QTest::newRow("background") << QRect(2700, 100, 300, 500);
    QTest::newRow("name") << CamListWidget::nameRect();
    QTest::newRow("rating strip") << CamListWidget::ratingRect();
}

void TestCamList::clicksSelect()
{
    QFETCH(QRect, part);
    ListFixture f(100);
    f.state.selection.setCurrentCam(0);
    f.state.selection.setLastCommentIndex(3);
    f.state.countdowns.setRefresh(4);
    QSignalSpy erased(&f.selection, &CamSelection::eraseRequested);

    QTest::mouseClick(&f.list(), Qt::LeftButton, {}, ListFixture::at(5, part));
    QCOMPARE(f.state.selection.currentCam(), 5);
    QVERIFY(f.list().isSelectionShown(5));
    QCOMPARE(f.highlightedRows(), 1);
    QCOMPARE(f.state.selection.currentCamFields().value(1), QStringLiteral("Cam 5"));
    QCOMPARE(f.form.pictureAddressEdit()->text(), QStringLiteral("http://h/5.jpg"));
    QCOMPARE(f.state.selection.lastCommentIndex(), -1);
    QCOMPARE(f.state.countdowns.refresh().value(), 0);
    QCOMPARE(erased.count(), 1);

    // In a scrolled list the top slot is the first row shown.
    f.form.camListScrollBar()->setValue(24);
    QTest::mouseClick(&f.list(), Qt::LeftButton, {}, ListFixture::at(0, part));
    QCOMPARE(f.state.selection.currentCam(), 49);
    QCOMPARE(f.highlightedRows(), 1);

    // The selected row clicked again is handed over again.
    f.state.countdowns.setRefresh(5);
    QTest::mouseClick(&f.list(), Qt::LeftButton, {}, ListFixture::at(0, part));
    QCOMPARE(f.state.selection.currentCam(), 49);
    QCOMPARE(f.state.countdowns.refresh().value(), 0);
    QCOMPARE(erased.count(), 3);
}

void TestCamList::randomPick()
{
    ListFixture one(1);
    one.state.switches.setShuffleIntervalText(QStringLiteral("45"));
    for (int i = 0; i < 20; ++i) {
        one.selection.pickRandomCam();
        QCOMPARE(one.state.selection.currentCam(), 0);
    }
    QCOMPARE(one.state.countdowns.shuffle().text(), QStringLiteral("45"));
    QCOMPARE(one.highlightedRows(), 1);

    ListFixture many(1000);
    QSet<int> seen;
    for (int i = 0; i < 50; ++i) {
        many.selection.pickRandomCam();
        const int cam = many.state.selection.currentCam();
        seen.insert(cam);
        QCOMPARE(many.highlightedRows(), 1);
        QVERIFY(many.list().isSelectionShown(cam));
        // The chosen row is on screen, near the top unless the list end holds it back.
        const double top = many.list().rowTop(cam);
        QVERIFY(top >= 0);
        QVERIFY(top + 735 <= many.list().heightInTwips());
        QCOMPARE(many.form.pictureAddressEdit()->text(), QStringLiteral("http://h/%1.jpg").arg(cam));
    }
    QVERIFY2(seen.size() > 30, "picks spread over the list");
}

void TestCamList::wheelScrollsRows_data()
{
    QTest::addColumn<bool>("overBar");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QList<int>>("angles");
    QTest::addColumn<int>("first");
    QTest::newRow("one notch") << false << 3 << QList<int>{-120} << 3;
    QTest::newRow("two notches") << false << 3 << QList<int>{-120, -120} << 6;
    QTest::newRow("two down, one up") << false << 3 << QList<int>{-120, -120, 120} << 3;
    QTest::newRow("a notch in eighths") << false << 3 << QList<int>{-15, -15, -15, -15, -15, -15, -15, -15} << 3;
    QTest::newRow("half a notch") << false << 3 << QList<int>{-60} << 0;
    QTest::newRow("two halves") << false << 3 << QList<int>{-60, -60} << 3;
    QTest::newRow("up at the top") << false << 3 << QList<int>{120} << 0;
    QTest::newRow("platform step of 5") << false << 5 << QList<int>{-120} << 5;
    QTest::newRow("two notches at once") << false << 3 << QList<int>{-240} << 6;
    QTest::newRow("scroll bar: one notch") << true << 3 << QList<int>{-120} << 3;
    QTest::newRow("scroll bar: two notches") << true << 3 << QList<int>{-120, -120} << 6;
    QTest::newRow("scroll bar: in eighths") << true << 3 << QList<int>{-15, -15, -15, -15, -15, -15, -15, -15} << 3;
}

void TestCamList::wheelScrollsRows()
{
    QFETCH(bool, overBar);
    QFETCH(int, lines);
    QFETCH(QList<int>, angles);
    QFETCH(int, first);
    const int platformLines = QApplication::wheelScrollLines();
    ListFixture f(100);
    QApplication::setWheelScrollLines(lines);
    CamListWidget &list = f.list();
    QScrollBar &bar = *f.form.camListScrollBar();
    QWidget *target = overBar ? static_cast<QWidget *>(&bar) : &list;
    const QPoint pixel = overBar ? QPoint(bar.width() / 2, bar.height() / 2) : ListFixture::at(2, CamListWidget::nameRect());
    for (int angle : angles)
        turnWheel(target, pixel, angle);
    QApplication::setWheelScrollLines(platformLines);

    QCOMPARE(list.firstRow(), first);
    QCOMPARE(list.rowTop(first), 0.0);
    // The thumb stands at the value nearest to the rows; the painted top row is the first.
    QCOMPARE(bar.value(), qRound(first * 735.0 / 1500.0));
    const QImage shot = list.grab().toImage();
    auto shade = [&](int row) {
        return (list.isSelectionShown(row) ? list.palette().color(QPalette::Highlight) : list.rowBackground(row)).rgb();
    };
    QCOMPARE(shot.pixel(200, 4), shade(first));
    QCOMPARE(shot.pixel(200, 49 + 4), shade(first + 1));
    // A click on the top row after the wheel picks the row shown there.
    QTest::mouseClick(&list, Qt::LeftButton, {}, ListFixture::at(0, CamListWidget::nameRect()));
    QCOMPARE(f.state.selection.currentCam(), first);
}

void TestCamList::wheelAtTheEnds()
{
    ListFixture f(100);
    CamListWidget &list = f.list();
    QScrollBar &bar = *f.form.camListScrollBar();
    const QPoint pixel = ListFixture::at(1, CamListWidget::nameRect());
    bar.setValue(bar.maximum());
    QCOMPARE(list.firstRow(), 88);
    turnWheel(&list, pixel, -120);
    QCOMPARE(list.firstRow(), 88);
    QCOMPARE(bar.value(), bar.maximum());
    turnWheel(&list, pixel, 120);
    QCOMPARE(list.firstRow(), 85);
    QCOMPARE(bar.value(), 42); // 41.65 steps
    for (int i = 0; i < 40; ++i)
        turnWheel(&list, pixel, 120);
    QCOMPARE(list.firstRow(), 0);
    QCOMPARE(bar.value(), 0);

    // The scroll bar's own steps still move the rows to the value's place, and so does a
    // selection from code.
    turnWheel(&list, pixel, -120);
    QCOMPARE(list.firstRow(), 3);
    QCOMPARE(bar.value(), 1);
    bar.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(list.firstRow(), 4);
    turnWheel(&list, pixel, -120);
    QCOMPARE(list.firstRow(), 7);
    QCOMPARE(bar.value(), 3);
    list.scrollToCam(8); // value 3 again: cam 8 goes to the third row
    QCOMPARE(list.firstRow(), 6);
    QCOMPARE(list.rowTop(8), 2 * 735.0);
}

void TestCamList::longNamesElided()
{
    const QByteArray longName = "Harbour entrance <b>and</b> lighthouse seen from the northern pier";
    ListFixture f(20, longName, {1});
    CamListWidget &list = f.list();
    const QRect namePixels(8, 8, 150, 16); // nameRect() in pixels, in the top row
    const QFontMetrics metrics(list.nameFont(), &list);
    QVERIFY2(metrics.horizontalAdvance(QString::fromUtf8(longName)) > namePixels.width(), "the name is wider than its place");

    QCOMPARE(list.rowCaption(1), QString::fromUtf8(longName));
    const QString shown = list.rowShownCaption(1);
    QVERIFY(shown.endsWith(QChar(0x2026)));
    QVERIFY(QString::fromUtf8(longName).startsWith(shown.chopped(1)));
    QVERIFY(metrics.horizontalAdvance(shown) <= namePixels.width());
    QCOMPARE(list.rowShownCaption(0), QStringLiteral("Cam 0"));

    // What is painted in the name's place is the shortened name, not the whole one cut off.
    const QImage shot = list.grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto painted = [&](const QString &text) {
        QImage image(list.size(), QImage::Format_RGB32);
        image.fill(list.rowBackground(1));
        QPainter p(&image);
        p.setFont(list.nameFont());
        p.setPen(list.nameColor(1));
        p.drawText(namePixels.translated(0, 49), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        return image.copy(namePixels.translated(0, 49));
    };
    const QImage nameArea = shot.copy(namePixels.translated(0, 49));
    QCOMPARE(nameArea, painted(metrics.elidedText(QString::fromUtf8(longName), Qt::ElideRight, namePixels.width())));
    QVERIFY(nameArea != painted(QString::fromUtf8(longName)));

    // The whole name is the tooltip of its row, as text, anywhere over the row; a name that
    // fits has none.
    const auto shownTip = [] {
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        return Qt::mightBeRichText(QToolTip::text()) ? shown.toPlainText() : QToolTip::text();
    };
    auto askTip = [&](QPoint pixel) {
        QHelpEvent help(QEvent::ToolTip, pixel, list.mapToGlobal(pixel));
        QApplication::sendEvent(&list, &help);
    };
    askTip(ListFixture::at(0, CamListWidget::nameRect()));
    QVERIFY(!QToolTip::isVisible());
    askTip(ListFixture::at(1, CamListWidget::nameRect()));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(shownTip(), QString::fromUtf8(longName));
    askTip(ListFixture::at(1, CamListWidget::ratingRect()));
    QCOMPARE(shownTip(), QString::fromUtf8(longName));
    askTip(ListFixture::at(2, CamListWidget::nameRect()));
    QTRY_VERIFY(!QToolTip::isVisible());
}

// The thumb stands out from its track, at its top, middle and bottom positions.
void TestCamList::scrollBarThumbVisible()
{
    ListFixture f(100);
    QScrollBar &bar = *f.form.camListScrollBar();
    for (int value : {0, 20, 43}) {
        bar.setValue(value);
        QStyleOptionSlider option;
        option.initFrom(&bar);
        option.orientation = Qt::Vertical;
        option.minimum = bar.minimum();
        option.maximum = bar.maximum();
        option.sliderPosition = bar.sliderPosition();
        option.sliderValue = bar.value();
        option.singleStep = bar.singleStep();
        option.pageStep = bar.pageStep();
        option.subControls = QStyle::SC_All;
        const QRect thumb = bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, &bar);
        const QRect groove = bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarGroove, &bar);
        QVERIFY(groove.contains(thumb));
        // A track point away from the thumb: below it, or above it at the bottom.
        const int trackY = thumb.bottom() + 20 < groove.bottom() ? thumb.bottom() + 20 : thumb.top() - 20;
        QVERIFY(groove.contains(QPoint(groove.center().x(), trackY)));
        // What the screen shows, not only what the bar paints into a picture of its own.
        bar.repaint();
        QCoreApplication::processEvents();
        const QPoint origin = bar.mapToGlobal(QPoint(0, 0)) - bar.screen()->geometry().topLeft();
        const QImage shot = bar.screen()->grabWindow(0, origin.x(), origin.y(), bar.width(), bar.height()).toImage();
        QCOMPARE(shot.size(), bar.size());
        const QColor thumbColour = shot.pixelColor(thumb.center());
        const QColor trackColour = shot.pixelColor(groove.center().x(), trackY);
        QVERIFY2(colourDistance(thumbColour, trackColour) >= 24,
                 qPrintable(QStringLiteral("value %1: thumb %2, track %3")
                                .arg(value)
                                .arg(thumbColour.name(), trackColour.name())));
    }
}


// The filter line: typing narrows the rows (case and accents aside), the scroll range
// counts the rows shown, Up and Down step through the matches, Enter takes the first,
// Escape shows every row again with the selection kept.
void TestCamList::filterNarrowsTheRows()
{
    ListFixture f(100, "Crossroads G\xE4nsemarkt", {42, 97});
    CamListWidget &list = f.list();
    CamSearch search(f.state, f.selection, list);
    QObject::connect(&list, &CamListWidget::filterTextChanged, &search, &CamSearch::setQuery);
    QObject::connect(&list, &CamListWidget::filterAccepted, &search, &CamSearch::chooseFirst);
    QObject::connect(&list, &CamListWidget::filterStepped, &search, &CamSearch::step);
    QObject::connect(&list, &CamListWidget::filterClosed, &search, &CamSearch::closed);
    f.selection.rowClicked(5);
    const int lineHeight = list.filterEdit()->sizeHint().height();

    list.openFilter();
    QVERIFY(list.isFilterOpen());
    QVERIFY(list.filterEdit()->isVisible());
    QCOMPARE(list.filterEdit()->y(), 0);
    QVERIFY(list.filterEdit()->geometry().right() < f.form.camListScrollBar()->x() - list.x());
    QTest::keyClicks(list.filterEdit(), QStringLiteral("CAM 7"));
    // "Cam 7" and "Cam 70" to "Cam 79".
    QCOMPARE(list.shownCount(), 11);
    QCOMPARE(search.matches().front(), 7);
    // The first shown row sits right below the line; cams filtered out are nowhere.
    const QPoint firstRow(20, lineHeight + 10);
    QCOMPARE(list.rowAt(firstRow).value_or(-1), 7);
    QCOMPARE(list.rowAt(firstRow + QPoint(0, CamListWidget::ItemHeight / 15)).value_or(-1), 70);
    QCOMPARE(list.rowTop(8), double(-CamListWidget::ItemHeight));
    QCOMPARE(list.rowBackground(70), list.palette().color(QPalette::Midlight));
    const double rowsHeight = twips::fromPixels(list.height() - lineHeight);
    QCOMPARE(f.form.camListScrollBar()->maximum(), list_geometry::scrollRange(11, rowsHeight, CamListWidget::ItemHeight).Max);

    // The selected cam 5 is not among them: Down goes to the first match after it, Up back.
    QTest::keyClick(list.filterEdit(), Qt::Key_Down);
    QCOMPARE(f.state.selection.currentCam(), 7);
    QTest::keyClick(list.filterEdit(), Qt::Key_Down);
    QCOMPARE(f.state.selection.currentCam(), 70);
    QTest::keyClick(list.filterEdit(), Qt::Key_Up);
    QCOMPARE(f.state.selection.currentCam(), 7);
    QTest::keyClick(list.filterEdit(), Qt::Key_Up);
    QCOMPARE(f.state.selection.currentCam(), 7);
    QVERIFY(list.isSelectionShown(7));
    QCOMPARE(f.highlightedRows(), 1);

    // Accents and case do not count, the description is searched too.
    list.filterEdit()->setText(QStringLiteral("gansemarkt"));
    QCOMPARE(search.matches(), (std::vector<int>{42, 97}));
    QTest::keyClick(list.filterEdit(), Qt::Key_Return);
    QCOMPARE(f.state.selection.currentCam(), 42);
    list.filterEdit()->setText(QStringLiteral("description 13"));
    QCOMPARE(search.matches(), (std::vector<int>{13}));
    list.filterEdit()->setText(QStringLiteral("nothing like it"));
    QCOMPARE(list.shownCount(), 0);
    QCOMPARE(list.rowAt(firstRow), std::nullopt);

    // On the screen: the line at the top, the selected cam's highlight right below it.
    list.filterEdit()->setText(QStringLiteral("g\u00c4nse"));
    QCOMPARE(list.shownCount(), 2);
    QTest::qWait(50);
    const QPoint origin = list.mapToGlobal(QPoint(0, 0));
    const QImage shot = list.screen()->grabWindow(0, origin.x(), origin.y(), list.width(), list.height()).toImage();
    QCOMPARE(QColor(shot.pixel(4, lineHeight + 4)), list.palette().color(QPalette::Highlight));

    // Escape: every row again, the selection kept and in sight.
    QTest::keyClick(list.filterEdit(), Qt::Key_Escape);
    QVERIFY(!list.isFilterOpen());
    QCOMPARE(list.shownCount(), 100);
    QCOMPARE(f.state.selection.currentCam(), 42);
    QVERIFY(list.isSelectionShown(42));
    QVERIFY(list.rowTop(42) >= 0 && list.rowTop(42) < list.heightInTwips());
    QCOMPARE(list.rowAt(QPoint(20, 10)).value_or(-1), list.firstRow());
    QCOMPARE(list.filterEdit()->text(), QString());
}

// A click on a row's star makes it a favourite without selecting it; "favourites only"
// narrows the filter's matches to them, with or without a text, and Escape shows every row.
void TestCamList::starsAndFavouritesOnly()
{
    ListFixture f(30);
    CamListWidget &list = f.list();
    QTemporaryDir dir;
    Favourites favourites(f.state, list);
    favourites.load(dir.filePath(QStringLiteral("favourites.txt")));
    CamSearch search(f.state, f.selection, list);
    QObject::connect(&list, &CamListWidget::starClicked, &favourites, &Favourites::toggle);
    QObject::connect(&list, &CamListWidget::filterOpened, &search, &CamSearch::opened);
    QObject::connect(&list, &CamListWidget::filterTextChanged, &search, &CamSearch::setQuery);
    QObject::connect(&list, &CamListWidget::filterClosed, &search, &CamSearch::closed);
    QObject::connect(&list, &CamListWidget::favouritesOnlyToggled, &search, &CamSearch::setFavouritesOnly);
    QSignalSpy rowClicks(&list, &CamListWidget::rowClicked);
    for (int slot : {3, 1, 3, 3}) // cam 3 starred, unstarred and starred again
        QTest::mouseClick(&list, Qt::LeftButton, {}, ListFixture::at(slot, CamListWidget::starRect()));
    list.scrollToCam(13);
    QTest::mouseClick(&list, Qt::LeftButton, {}, ListFixture::at(13 - list.firstRow(), CamListWidget::starRect()));
    QCOMPARE(f.state.catalogue.favouriteCams(), (QSet<QString>{QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("13")}));
    QVERIFY(list.isFavouriteShown(13) && !list.isFavouriteShown(2));
    QVERIFY(rowClicks.isEmpty());
    QCOMPARE(f.state.selection.currentCam(), 0);

    list.openFilter();
    QVERIFY(list.favouritesOnlySwitch()->isVisible());
    QVERIFY(list.favouritesOnlySwitch()->geometry().right() < f.form.camListScrollBar()->x() - list.x());
    QTest::mouseClick(list.favouritesOnlySwitch(), Qt::LeftButton);
    QCOMPARE(search.matches(), (std::vector<int>{1, 3, 13}));
    QTest::keyClicks(list.filterEdit(), QStringLiteral("cam 1"));
    QCOMPARE(search.matches(), (std::vector<int>{1, 13}));
    QCOMPARE(list.shownCount(), 2);
    QTest::mouseClick(list.favouritesOnlySwitch(), Qt::LeftButton);
    QCOMPARE(list.shownCount(), 11);
    QTest::keyClick(list.filterEdit(), Qt::Key_Escape);
    QCOMPARE(list.shownCount(), 30);
}

// Pixels of the mark's place on a row (visible position slot) near a colour.
static int markPixels(CamListWidget &list, int slot, QColor colour)
{
    const QImage shot = list.grab().toImage();
    const QRect mark = CamListWidget::markRect();
    const QRect r(mark.left() / 15, (slot * CamListWidget::ItemHeight + mark.top()) / 15, mark.width() / 15,
                  mark.height() / 15);
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += colourDistance(shot.pixelColor(x, y), colour) < 60;
    return n;
}

// A cam whose last refresh failed, or whose picture stands still, gets its mark from its
// health (wherever it was refreshed) at the next update; the mark goes when it recovers.
void TestCamList::troubledCamsMarked()
{
    ListFixture f(10);
    CamListWidget &list = f.list();
    CamMarks marks(f.state, list);
    f.state.health.set(QStringLiteral("3"), CamHealth{2, 1000, 0});
    f.state.health.set(QStringLiteral("5"), CamHealth{0, 0, 1000});
    f.state.health.set(QStringLiteral("6"), CamHealth{0, 1000, 0}); // failed once, fine since
    marks.update();
    const QColor red(0xd0, 0x20, 0x20), amber(0xf0, 0xa0, 0x10);
    QVERIFY(markPixels(list, 3, red) > 40);
    QVERIFY(markPixels(list, 5, amber) > 40);
    for (const int row : {2, 4, 6})
        QCOMPARE(markPixels(list, row, red) + markPixels(list, row, amber), 0);
    QAccessibleInterface *rows = QAccessible::queryAccessibleInterface(&list);
    QCOMPARE(rows->child(3)->text(QAccessible::Description), control_texts::CamFailedMark);
    QCOMPARE(rows->child(5)->text(QAccessible::Description), control_texts::CamUnchangedMark);
    QCOMPARE(rows->child(6)->text(QAccessible::Description), QString());

    f.state.health.set(QStringLiteral("3"), CamHealth{0, 1000, 0});
    marks.update();
    QCOMPARE(markPixels(list, 3, red), 0);
    QCOMPARE(rows->child(3)->text(QAccessible::Description), QString());
}

QTEST_MAIN(TestCamList)
#include "tst_camlist.moc"
