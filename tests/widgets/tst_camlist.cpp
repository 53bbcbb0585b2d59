#include "control/camselection.h"
#include "core/catalogue/catalogue.h"
#include "core/state/runningstate.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/windows/mainwindow.h"

#include <QLineEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray catalogue(int cams)
{
    QByteArray doc;
    for (int i = 0; i < cams; ++i) {
        const QByteArray n = QByteArray::number(i);
        doc += n + ";Cam " + n + ";http://h/" + n + ".jpg;Description " + n + ";;" + QByteArray::number(i % 6)
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

    explicit ListFixture(int cams)
    {
        Catalogue c = parseCatalogue(catalogue(cams));
        state.camTable = c.camTable;
        state.camCount = c.camCount;
        QObject::connect(form.camList(), &CamListWidget::rowClicked, &selection, &CamSelection::rowClicked);
        QObject::connect(&selection, &CamSelection::pictureAddressChanged, &form, &MainWindow::showState);
        selection.buildRows();
        form.camList()->setSelectionShown(0, true);
        form.camList()->setUpScrollBar(state.camCount);
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
    f.state.currentCam = 0;
    f.selection.selectListCam(2);
    f.state.currentCam = 2;
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
    f.state.currentCam = 0;
    f.state.lastCommentIndex = 3;
    f.state.refreshCountdown = 4;
    QSignalSpy erased(&f.selection, &CamSelection::eraseRequested);

    QTest::mouseClick(&f.list(), Qt::LeftButton, {}, ListFixture::at(5, part));
    QCOMPARE(f.state.currentCam, 5);
    QVERIFY(f.list().isSelectionShown(5));
    QCOMPARE(f.highlightedRows(), 1);
    QCOMPARE(f.state.currentCamFields.value(1), QStringLiteral("Cam 5"));
    QCOMPARE(f.form.pictureAddressEdit()->text(), QStringLiteral("http://h/5.jpg"));
    QCOMPARE(f.state.lastCommentIndex, -1);
    QCOMPARE(f.state.refreshCountdown.toInt(), 0);
    QCOMPARE(erased.count(), 1);

    // In a scrolled list the top slot is the first row shown.
    f.form.camListScrollBar()->setValue(24);
    QTest::mouseClick(&f.list(), Qt::LeftButton, {}, ListFixture::at(0, part));
    QCOMPARE(f.state.currentCam, 49);
    QCOMPARE(f.highlightedRows(), 1);

    // The selected row clicked again is handed over again.
    f.state.refreshCountdown = 5;
    QTest::mouseClick(&f.list(), Qt::LeftButton, {}, ListFixture::at(0, part));
    QCOMPARE(f.state.currentCam, 49);
    QCOMPARE(f.state.refreshCountdown.toInt(), 0);
    QCOMPARE(erased.count(), 3);
}

void TestCamList::randomPick()
{
    ListFixture one(1);
    one.state.shuffleIntervalText = QStringLiteral("45");
    for (int i = 0; i < 20; ++i) {
        one.selection.pickRandomCam();
        QCOMPARE(one.state.currentCam, 0);
    }
    QCOMPARE(one.state.shuffleCountdown.toString(), QStringLiteral("45"));
    QCOMPARE(one.highlightedRows(), 1);

    ListFixture many(1000);
    QSet<int> seen;
    for (int i = 0; i < 50; ++i) {
        many.selection.pickRandomCam();
        const int cam = many.state.currentCam;
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

QTEST_MAIN(TestCamList)
#include "tst_camlist.moc"
