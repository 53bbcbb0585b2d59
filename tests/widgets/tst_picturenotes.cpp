// The notes over a picture area, offscreen, in both windows: the unchanged badge in the top
// right corner clear of the transfer bullets and readable on a white or a black picture,
// the failure reason in white with a black shadow on the black area, painted in device
// pixels; with no note the area paints exactly its drawing. The Info-Bar's figures take
// the badge's line while it shows. Run with QT_SCALE_FACTOR 1 and 2.
#include "core/rules/fetchrules.h"
#include "core/state/runningstate.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/shapes.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/widgets/infobarpanel.h"
#include "ui/windows/mainwindow.h"

#include <QLabel>
#include <QTextEdit>
#include <QResizeEvent>
#include <QTest>

#include <memory>

namespace {

const QString Badge = QStringLiteral("unchanged since 14:02");

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
    UnchangedNoteView &notes(bool fullscreen)
    {
        return fullscreen ? static_cast<UnchangedNoteView &>(*full->pictureArea()) : static_cast<UnchangedNoteView &>(*main->pictureArea());
    }
    void draw(bool fullscreen, const QImage &picture)
    {
        const QSize size(640, 400);
        if (fullscreen) {
            full->resize(size);
            QResizeEvent resized(size, QSize());
            QCoreApplication::sendEvent(full.get(), &resized);
        } else {
            area(false).resize(size);
        }
        view(fullscreen).showPicture(picture, state.switches.scaleMode());
    }
};

QImage grabArea(PictureArea &area)
{
    return area.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage filled(QRgb colour)
{
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The device pixels where two grabs differ, as one bounding rectangle.
QRect differences(const QImage &a, const QImage &b)
{
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

int count(const QImage &image, const QRect &rect, bool (*test)(QRgb))
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

bool white(QRgb c) { return qRed(c) > 230 && qGreen(c) > 230 && qBlue(c) > 230; }
bool dark(QRgb c) { return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100; }

QRect toDevice(const QRect &logical, qreal ratio)
{
    return QRect(QPoint(int(logical.left() * ratio), int(logical.top() * ratio)),
                 QPoint(int((logical.right() + 1) * ratio) - 1, int((logical.bottom() + 1) * ratio) - 1));
}

} // namespace

class TestPictureNotes : public QObject
{
    Q_OBJECT
private slots:
    void noNotePaintsTheDrawingAlone_data();
    void noNotePaintsTheDrawingAlone();
    void badgeInTheCornerClearOfTheBullets_data();
    void badgeInTheCornerClearOfTheBullets();
    void badgeUnderTheBulletsInANarrowArea();
    void reasonOnTheBlackArea_data();
    void reasonOnTheBlackArea();
    void infoBarFiguresTakeTheLine();
};

void TestPictureNotes::noNotePaintsTheDrawingAlone_data()
{
    QTest::addColumn<bool>("fullscreen");
    QTest::newRow("main") << false;
    QTest::newRow("fullscreen") << true;
}

// The normal case: what the area paints is its drawing, pixel for pixel, also after notes
// came and went.
void TestPictureNotes::noNotePaintsTheDrawingAlone()
{
    QFETCH(bool, fullscreen);
    Windows w;
    w.draw(fullscreen, filled(qRgb(200, 120, 40)));
    PictureArea &area = w.area(fullscreen);
    const QImage drawing = area.surface().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(grabArea(area), drawing);

    w.notes(fullscreen).showUnchangedNote(Badge);
    w.view(fullscreen).showFailureReason(QStringLiteral("HTTP 404 Not Found"));
    QVERIFY(grabArea(area) != drawing);
    w.notes(fullscreen).showUnchangedNote(QString());
    w.view(fullscreen).showFailureReason(QString());
    QCOMPARE(grabArea(area), drawing);
}

void TestPictureNotes::badgeInTheCornerClearOfTheBullets_data()
{
    QTest::addColumn<bool>("fullscreen");
    QTest::addColumn<QRgb>("colour");
    QTest::newRow("main, white picture") << false << qRgb(255, 255, 255);
    QTest::newRow("main, black picture") << false << qRgb(0, 0, 0);
    QTest::newRow("fullscreen, white picture") << true << qRgb(255, 255, 255);
    QTest::newRow("fullscreen, grey picture") << true << qRgb(128, 128, 128);
}

void TestPictureNotes::badgeInTheCornerClearOfTheBullets()
{
    QFETCH(bool, fullscreen);
    QFETCH(QRgb, colour);
    Windows w;
    w.draw(fullscreen, filled(colour));
    PictureArea &area = w.area(fullscreen);
    const qreal ratio = area.devicePixelRatio();
    // A whole row of bullets, as a running transfer leaves them on the main picture.
    QRect bullets;
    if (!fullscreen) {
        const QImage plain = grabArea(area);
        w.main->showTransferState(fetch_rules::stateBullets(12));
        bullets = differences(plain, grabArea(area));
        QVERIFY(!bullets.isEmpty());
    }
    const QImage before = grabArea(area);

    w.notes(fullscreen).showUnchangedNote(Badge);
    QCOMPARE(area.unchangedBadge(), Badge);
    const QImage after = grabArea(area);
    const QRect changed = differences(before, after);
    const QRect plate = toDevice(area.badgeRect(), ratio);
    QVERIFY(!changed.isEmpty());
    QVERIFY2(plate.contains(changed), "nothing outside the badge's plate changes");
    QVERIFY2(!plate.intersects(bullets), "the bullets stay clear");
    // In the top right corner, whole.
    const QRect areaRect(QPoint(0, 0), after.size());
    QVERIFY(areaRect.contains(plate));
    QVERIFY(plate.right() >= after.width() - 16 * ratio);
    QVERIFY(plate.top() <= 8 * ratio);
    // Readable on any picture: white letters on a dark plate.
    QVERIFY(count(after, plate, white) > 20 * ratio * ratio);
    QVERIFY(count(after, plate, dark) > plate.width() * plate.height() / 3);
    if (ratio >= 2) {
        // Drawn in device pixels: letters have edges inside a logical pixel.
        int split = 0;
        for (int y = plate.top(); y + 1 <= plate.bottom(); y += 2)
            for (int x = plate.left(); x + 1 <= plate.right(); x += 2)
                split += after.pixel(x, y) != after.pixel(x + 1, y) || after.pixel(x, y) != after.pixel(x, y + 1);
        QVERIFY(split > 20);
    }

    // A redraw keeps it; taking it down leaves the drawing.
    w.area(fullscreen).redrawPicture(w.state.switches.scaleMode());
    const QRect redrawn = differences(area.surface().convertToFormat(QImage::Format_RGB32), grabArea(area));
    QVERIFY(!redrawn.isEmpty());
    QVERIFY(plate.contains(redrawn));
    w.notes(fullscreen).showUnchangedNote(QString());
    QVERIFY(area.badgeRect().isEmpty());
    QCOMPARE(grabArea(area), area.surface().convertToFormat(QImage::Format_RGB32));
}

// Too narrow for both in one row: the badge goes below the bullets' row.
void TestPictureNotes::badgeUnderTheBulletsInANarrowArea()
{
    RunningState state;
    MainWindow main(state);
    PictureArea &area = *main.pictureArea();
    area.resize(180, 120);
    main.pictureArea()->showPicture(filled(qRgb(255, 255, 255)), state.switches.scaleMode());
    main.showTransferState(fetch_rules::stateBullets(12));
    main.pictureArea()->showUnchangedNote(Badge);
    const QRect plate = area.badgeRect();
    const QFontMetrics metrics(area.font());
    const QRect bulletsRow(1, 1, metrics.horizontalAdvance(fetch_rules::stateBullets(12)) + 16,
                           metrics.height() + 6);
    QVERIFY2(!plate.intersects(bulletsRow), qPrintable(QStringLiteral("plate %1,%2 %3x%4")
                                                           .arg(plate.x()).arg(plate.y())
                                                           .arg(plate.width()).arg(plate.height())));
    QVERIFY(plate.top() >= bulletsRow.bottom());
}

void TestPictureNotes::reasonOnTheBlackArea_data()
{
    QTest::addColumn<bool>("fullscreen");
    QTest::addColumn<QString>("reason");
    QTest::newRow("main, 404") << false << QStringLiteral("HTTP 404 Not Found");
    QTest::newRow("fullscreen, refused") << true << QStringLiteral("Connection refused");
    QTest::newRow("main, too long for the area") << false << QStringLiteral("Not a picture (") + QString(300, QLatin1Char('x')) + QLatin1Char(')');
}

void TestPictureNotes::reasonOnTheBlackArea()
{
    QFETCH(bool, fullscreen);
    QFETCH(QString, reason);
    Windows w;
    w.draw(fullscreen, QImage()); // a failed load: black
    PictureArea &area = w.area(fullscreen);
    const qreal ratio = area.devicePixelRatio();
    const QImage black = grabArea(area);
    QCOMPARE(count(black, black.rect(), dark), black.width() * black.height());

    w.view(fullscreen).showFailureReason(reason);
    QCOMPARE(area.failureReason(), reason);
    const QImage shown = grabArea(area);
    const QRect changed = differences(black, shown);
    QVERIFY(!changed.isEmpty());
    // One line across the middle, inside the area's margins.
    const int middle = shown.height() / 2;
    QVERIFY(changed.top() <= middle && changed.bottom() >= middle);
    QVERIFY(changed.height() < 40 * ratio);
    QVERIFY(changed.left() >= 8 * ratio - 1 && changed.right() <= shown.width() - 8 * ratio);
    QVERIFY(count(shown, changed, white) > 30 * ratio * ratio);
    // The black shadow, one pixel right and down, is what keeps it readable where the area
    // is not black: on a white picture the line still shows, in black.
    w.view(fullscreen).showPicture(filled(qRgb(255, 255, 255)), w.state.switches.scaleMode());
    const QImage onWhite = grabArea(area);
    QVERIFY(count(onWhite, changed.adjusted(0, 0, int(2 * ratio), int(2 * ratio)), dark) > 20 * ratio * ratio);
}

void TestPictureNotes::infoBarFiguresTakeTheLine()
{
    RunningState state;
    QWidget fullscreen;
    InfoBarPanel overlay(state, &fullscreen);
    const QStringList cam = QStringLiteral("7;Cam;http://x/a.jpg;Desc;;3;12;345;ann").split(QLatin1Char(';'));
    QLabel &label = *overlay.figuresLabel();
    QWidget &box = *overlay.figuresBox();

    // Before any cam data the label keeps saying there is none.
    overlay.showUnchangedNote(Badge);
    QCOMPARE(label.text(), QStringLiteral("..."));
    overlay.showUnchangedNote(QString());

    overlay.showCamInfo(cam);
    const QString figures = label.text();
    const QRect labelBefore = label.geometry();
    const QRect boxBefore = box.geometry();
    const QRect descriptionBefore = overlay.descriptionBox()->geometry();

    overlay.showUnchangedNote(Badge);
    QCOMPARE(label.text(), figures + QLatin1Char('\n') + Badge);
    // The three lines fit the label, the label stays in its box, and the box's foot stays.
    const QRect needed = label.fontMetrics().boundingRect(QRect(0, 0, label.width(), 10000),
                                                          Qt::TextWordWrap, label.text());
    QVERIFY2(needed.height() <= label.height(), qPrintable(QStringLiteral("%1 > %2").arg(needed.height()).arg(label.height())));
    QVERIFY(box.geometry().contains(label.geometry()));
    QCOMPARE(box.geometry().bottom(), boxBefore.bottom());
    QVERIFY(overlay.descriptionBox()->geometry().bottom() < box.geometry().top());

    // The next cam's figures keep the line while it shows; taking it down restores all.
    overlay.showCamInfo(cam);
    QCOMPARE(label.text(), figures + QLatin1Char('\n') + Badge);
    overlay.showUnchangedNote(QString());
    QCOMPARE(label.text(), figures);
    QCOMPARE(label.geometry(), labelBefore);
    QCOMPARE(box.geometry(), boxBefore);
    QCOMPARE(overlay.descriptionBox()->geometry(), descriptionBefore);
}

QTEST_MAIN(TestPictureNotes)
#include "tst_picturenotes.moc"
