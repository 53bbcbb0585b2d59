// The refresh of the selected cam on a fake downloader and fake views: what reaches the
// views after each answer, and that a refresh given up leaves nothing behind.
#include "fakes.h"

#include "core/rules/fetchrules.h"
#include "core/rules/retryrules.h"
#include "platform/picturememory.h"
#include "platform/scaleddrawing.h"

#include <QBuffer>
#include <QLocale>
#include <QTest>

using Error = DownloadResult::Error;

namespace {

const QByteArray Comments = "Ann;Nice view;2020-01-01\r\nBob;Hello;2020-01-02\r\n";
const QStringList NoComments{QString(), QString()};

} // namespace

class TestRefresh : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void refresh_data();
    void refresh();
    void givenUp_data();
    void givenUp();
    void surfacesForDevicePixels_data();
    void surfacesForDevicePixels();
    void secondRefresh_data();
    void secondRefresh();
    void notModifiedAfterCamChange();
    void undecodableBytesAreTheCamsOwn();
    void decodedAgainFromKeptBytes_data();
    void decodedAgainFromKeptBytes();
    void newRefreshGivesUpTheDecodeFromBytes();
    void newCamLetsGoOfTheBytes();
    void unchangedPictureLetsTheReusedMemoryGo();
    void pictureLoadedFromTheBytesWritten();
    void liveStream();

private:
    // Both answers of one refresh given; the refresh has ended when it returns.
    static void refreshWith(Rig &rig, const QByteArray &picture);
    QByteArray m_png;      // 40 x 30
    QByteArray m_otherPng; // 40 x 30, another colour
    QByteArray m_jpeg;     // 1280 x 960
    QByteArray m_bigPng;   // 1280 x 960
};

void TestRefresh::refreshWith(Rig &rig, const QByteArray &picture)
{
    const int before = rig.ended.size();
    rig.fetch.fetchCamImage();
    QVERIFY(rig.net.last());
    rig.net.last()->answer(Error::None, picture);
    QTRY_COMPARE(rig.net.requests.size() % 2, 0);
    rig.net.last()->answer(Error::None, Comments);
    QTRY_COMPARE(rig.ended.size(), before + 1);
}

void TestRefresh::initTestCase()
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer(&m_png);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(image.save(&buffer, "PNG"));
    image.fill(Qt::darkRed);
    QBuffer other(&m_otherPng);
    QVERIFY(other.open(QIODevice::WriteOnly));
    QVERIFY(image.save(&other, "PNG"));

    QImage big(1280, 960, QImage::Format_RGB32);
    for (int y = 0; y < big.height(); ++y)
        for (int x = 0; x < big.width(); ++x)
            big.setPixel(x, y, qRgb(x / 5, y / 4, (x + y) / 9));
    QBuffer jpeg(&m_jpeg);
    QVERIFY(jpeg.open(QIODevice::WriteOnly));
    QVERIFY(big.save(&jpeg, "JPEG", 90));
    QBuffer png(&m_bigPng);
    QVERIFY(png.open(QIODevice::WriteOnly));
    QVERIFY(big.save(&png, "PNG"));
}

void TestRefresh::refresh_data()
{
    QTest::addColumn<int>("pictureError");
    QTest::addColumn<bool>("garbage");
    QTest::addColumn<int>("commentsError");
    QTest::addColumn<bool>("pictureShown");
    QTest::addColumn<QStringList>("commentTable");

    const QStringList built{QStringLiteral("Ann;Nice view;2020-01-01"), QStringLiteral("Bob;Hello;2020-01-02"), QString()};
    QTest::newRow("both answered") << int(Error::None) << false << int(Error::None) << true << built;
    QTest::newRow("picture network error") << int(Error::Network) << false << int(Error::None) << false << built;
    QTest::newRow("picture not a picture") << int(Error::None) << true << int(Error::None) << false << built;
    QTest::newRow("comments time out") << int(Error::None) << false << int(Error::Timeout) << true << NoComments;
    QTest::newRow("both fail") << int(Error::Network) << false << int(Error::Network) << false << NoComments;
}

void TestRefresh::refresh()
{
    QFETCH(int, pictureError);
    QFETCH(bool, garbage);
    QFETCH(int, commentsError);
    QFETCH(bool, pictureShown);
    QFETCH(QStringList, commentTable);

    Rig rig;
    rig.state.selection.setCommentTable(QStringList{QStringLiteral("old;comment;line"), QString()});
    rig.fetch.fetchCamImage();
    QVERIFY(rig.fetch.isRunning());
    QCOMPARE(rig.state.selection.commentTable(), NoComments); // none of the last cam's meanwhile
    QCOMPARE(rig.net.cancels, 1);                 // nothing else transfers beside it
    QCOMPARE(rig.net.requests.size(), 1);
    QCOMPARE(rig.net.requests[0].address, rig.state.selection.pictureAddress());
    QCOMPARE(rig.net.requests[0].maxBytes, PictureMaxBytes);
    QCOMPARE(rig.net.requests[0].timeoutMs, 30000);

    rig.net.last()->answer(Error(pictureError), garbage ? QByteArray("not a picture") : m_png);
    QTRY_COMPARE(rig.net.requests.size(), 2);
    QCOMPARE(rig.net.requests[1].address, QStringLiteral("http://127.0.0.1:9/comments.php?camid=cam0"));
    QCOMPARE(rig.net.requests[1].maxBytes, CatalogueMaxBytes);
    if (pictureError == int(Error::None)) {
        // The size of the file written, whatever the time taken.
        const QByteArray body = garbage ? QByteArray("not a picture") : m_png;
        const QString kb = QLocale().toString(body.size() / 1024.0, 'f', 2) + QStringLiteral(" kb in ");
        QCOMPARE(rig.transfer.statistics.size(), 1);
        QVERIFY2(rig.transfer.statistics[0].startsWith(kb), qPrintable(rig.transfer.statistics[0]));
    }
    QVERIFY(rig.first.pictures.isEmpty()); // nothing drawn before the comments are in

    rig.net.last()->answer(Error(commentsError), Comments);
    QTRY_COMPARE(rig.ended.size(), 1);
    QTRY_VERIFY(!rig.fetch.isRunning());
    QTest::qWait(20);
    QCOMPARE(rig.ended.size(), 1);

    for (const FakeView *view : {&rig.first, &rig.second}) {
        QCOMPARE(view->pictures.size(), 1);
        QCOMPARE(view->pictures[0].isNull(), !pictureShown);
        if (pictureShown)
            QCOMPARE(view->pictures[0].size(), QSize(40, 30));
        QCOMPARE(view->draws, 1);
    }
    QCOMPARE(rig.fetch.picture().isNull(), !pictureShown);
    QCOMPARE(rig.state.selection.commentTable(), commentTable);
    QCOMPARE(rig.transfer.bullets.last(), fetch_rules::stateBullets(commentsError == int(Error::None) ? 12 : 11));
    QCOMPARE(rig.leftovers(), QStringList());
}

void TestRefresh::givenUp_data()
{
    QTest::addColumn<QString>("during");
    QTest::addColumn<bool>("byNewCam");

    QTest::newRow("new cam during the picture download") << QStringLiteral("picture") << true;
    QTest::newRow("new cam during the comments download") << QStringLiteral("comments") << true;
    QTest::newRow("close during the comments download") << QStringLiteral("comments") << false;
    QTest::newRow("new cam during the decode") << QStringLiteral("decode") << true;
    QTest::newRow("close during the decode") << QStringLiteral("decode") << false;
}

void TestRefresh::givenUp()
{
    QFETCH(QString, during);
    QFETCH(bool, byNewCam);

    Rig rig;
    FakeView transferBefore;
    const auto giveUp = [&] {
        transferBefore = rig.transfer;
        if (byNewCam)
            rig.selection.rowClicked(1);
        else
            rig.fetch.abandon();
    };
    rig.fetch.fetchCamImage();
    QPointer<FakeHandler> running = rig.net.last();
    if (during != QLatin1String("picture")) {
        running->answer(Error::None, m_png);
        QTRY_COMPARE(rig.net.requests.size(), 2);
        running = rig.net.last();
    }

    if (during == QLatin1String("decode")) {
        // Right after the refresh has taken the comments and handed the picture to the
        // decoder.
        connect(running.data(), &DownloadHandler::finished, this, giveUp);
        running->answer(Error::None, Comments);
        QTRY_COMPARE(rig.ended.size(), 1);
    } else {
        giveUp();
        QCOMPARE(rig.ended.size(), 1);
        QCOMPARE(running->cancels, 1);
        // Whatever the old transfer still says reaches nothing.
        DownloadResult late;
        late.body = m_png;
        emit running->stateChanged(12);
        emit running->finished(late);
    }
    QTRY_VERIFY(!rig.fetch.isRunning());
    QTest::qWait(20);

    QCOMPARE(rig.ended.size(), 1);
    // Also the comments that came before the decode are not the new cam's.
    if (byNewCam || during != QLatin1String("decode"))
        QCOMPARE(rig.state.selection.commentTable(), NoComments);
    QVERIFY(rig.first.untouched());
    QVERIFY(rig.second.untouched());
    QCOMPARE(rig.transfer.bullets, transferBefore.bullets);
    QCOMPARE(rig.transfer.statistics, transferBefore.statistics);
    QCOMPARE(rig.net.requests.size(), during == QLatin1String("picture") ? 1 : 2);
    QVERIFY(rig.fetch.picture().isNull());
    QCOMPARE(rig.leftovers(), QStringList());
    QCOMPARE(rig.state.selection.currentCam(), byNewCam ? 1 : 0);
}

void TestRefresh::surfacesForDevicePixels_data()
{
    QTest::addColumn<qreal>("firstRatio");
    QTest::addColumn<qreal>("secondRatio");
    QTest::addColumn<bool>("secondAtOnce");
    QTest::addColumn<bool>("resizedDuringDecode"); // the first area
    // 1280 x 960 into 320 x 240 logical pixels: each area gets its whole surface in its own
    // device pixels, the picture already in it.
    QTest::newRow("one device pixel to one") << 1.0 << 1.0 << true << false;
    QTest::newRow("one window on each screen") << 2.0 << 1.0 << true << false;
    // A hidden window's area is drawn when shown, from the picture: nothing made for it.
    QTest::newRow("second area hidden") << 1.0 << 1.0 << false << false;
    // The surface made for the old size would not fit: the area draws the picture itself.
    QTest::newRow("first area resized meanwhile") << 1.0 << 1.0 << true << true;
}

// The decode worker draws the picture into the surfaces of the areas that draw at once, at
// their device pixels, and each view is handed its own; the picture kept stays whole.
void TestRefresh::surfacesForDevicePixels()
{
    QFETCH(qreal, firstRatio);
    QFETCH(qreal, secondRatio);
    QFETCH(bool, secondAtOnce);
    QFETCH(bool, resizedDuringDecode);
    QImage image(1280, 960, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(image.save(&buffer, "PNG"));

    Rig rig;
    rig.first.pixelRatio = firstRatio;
    rig.second.pixelRatio = secondRatio;
    rig.second.atOnce = secondAtOnce;
    rig.fetch.fetchCamImage();
    rig.net.last()->answer(Error::None, png);
    QTRY_COMPARE(rig.net.requests.size(), 2);
    // Right after the comments the decode starts; its result comes through the event loop.
    if (resizedDuringDecode)
        QObject::connect(rig.net.last(), &DownloadHandler::finished, &rig.fetch,
                         [&rig] { rig.first.area = QSize(300, 240); });
    rig.net.last()->answer(Error::None, Comments);
    QTRY_COMPARE(rig.ended.size(), 1);
    QCOMPARE(rig.fetch.picture().size(), QSize(1280, 960));
    QCOMPARE(rig.first.pictures.last().size(), QSize(1280, 960));

    QCOMPARE(rig.first.draws, 1);
    if (resizedDuringDecode) {
        QCOMPARE(rig.first.prepared.size(), 0);
        return;
    }
    QCOMPARE(rig.first.prepared.size(), 1);
    const QImage &first = rig.first.prepared.first();
    QCOMPARE(first.size(), deviceSize(rig.first.area, firstRatio));
    QCOMPARE(first.devicePixelRatio(), firstRatio);
    // 4:3 into 4:3: the picture fills the surface.
    QCOMPARE(first.pixel(0, 0), QColor(Qt::darkCyan).rgb());
    QCOMPARE(first.pixel(first.width() - 1, first.height() - 1), QColor(Qt::darkCyan).rgb());

    QCOMPARE(rig.second.draws, 1);
    QCOMPARE(rig.second.prepared.size(), secondAtOnce ? 1 : 0);
    if (secondAtOnce) {
        QCOMPARE(rig.second.prepared.first().size(), deviceSize(rig.second.area, secondRatio));
        QVERIFY(rig.second.prepared.first().constBits() != first.constBits());
    }
}

namespace {

DownloadResult answer(int status, const QByteArray &body, const PictureValidators &validators = {})
{
    DownloadResult r;
    r.httpStatus = status;
    r.body = body;
    r.validators = validators;
    r.receivedBytes = 180 + body.size();
    return r;
}

// One refresh of the rig's cam: the picture answered, the working folder looked at while
// the comments are on their way, then the comments answered and the refresh's end awaited.
QStringList refreshAnswered(Rig &rig, const DownloadResult &picture)
{
    const qsizetype before = rig.net.requests.size();
    const qsizetype ended = rig.ended.size();
    rig.fetch.fetchCamImage();
    rig.net.last()->answerWith(picture);
    if (!QTest::qWaitFor([&] { return rig.net.requests.size() == before + 2; }))
        return {QStringLiteral("no comments request")};
    const QStringList during = rig.leftovers();
    // The picture is on show (or given up) before the comments come.
    if (!QTest::qWaitFor([&] { return !rig.fetch.feed().isRunning(); }))
        return {QStringLiteral("no picture")};
    rig.net.last()->answer(Error::None, Comments);
    if (!QTest::qWaitFor([&] { return rig.ended.size() == ended + 1 && !rig.fetch.isRunning(); }))
        return {QStringLiteral("no end")};
    return during;
}

} // namespace

void TestRefresh::secondRefresh_data()
{
    QTest::addColumn<DownloadResult>("first");
    QTest::addColumn<bool>("asksConditionally");
    QTest::addColumn<DownloadResult>("second");
    QTest::addColumn<bool>("decodedAgain");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("statistics");

    const PictureValidators both{"\"v1\"", "Tue, 08 Dec 2026 21:00:00 GMT"};
    const DownloadResult full = answer(200, m_png, both);
    const QString kbOfPicture = QLocale().toString(m_png.size() / 1024.0, 'f', 2) + QStringLiteral(" kb in ");
    const QString kbOfNotModified = QLocale().toString(180 / 1024.0, 'f', 2) + QStringLiteral(" kb in ");

    QTest::newRow("304 to the answer held") << full << true << answer(304, {}) << false << true << kbOfNotModified;
    QTest::newRow("304, entity tag only") << answer(200, m_png, {"\"v1\"", {}}) << true << answer(304, {}) << false
                                          << true << kbOfNotModified;
    QTest::newRow("same bytes again") << full << true << answer(200, m_png, both) << false << true << kbOfPicture;
    QTest::newRow("same bytes, no validators") << answer(200, m_png) << false << answer(200, m_png) << false << true
                                               << kbOfPicture;
    QTest::newRow("new bytes") << full << true << answer(200, m_otherPng, both) << true << true
                               << QLocale().toString(m_otherPng.size() / 1024.0, 'f', 2) + QStringLiteral(" kb in ");
    // Nothing held could stand for the body of a 304 nobody asked for.
    QTest::newRow("304 unasked") << answer(200, m_png) << false << answer(304, {}) << true << false
                                 << QStringLiteral("0.00 kb in ");
    // Bytes that failed to decode once fail again: the reason stays, nothing is decoded.
    QTest::newRow("same undecodable bytes") << answer(200, "not a picture", both) << true
                                            << answer(200, "not a picture", both) << false << false
                                            << QLocale().toString(13 / 1024.0, 'f', 2) + QStringLiteral(" kb in ");
    // An error page confirms nothing; what was held is gone with it.
    QTest::newRow("error page between") << answer(404, "gone") << false << answer(304, {}) << true << false
                                        << QStringLiteral("0.00 kb in ");
}

void TestRefresh::secondRefresh()
{
    QFETCH(DownloadResult, first);
    QFETCH(bool, asksConditionally);
    QFETCH(DownloadResult, second);
    QFETCH(bool, decodedAgain);
    QFETCH(bool, shown);
    QFETCH(QString, statistics);

    Rig rig;
    QSignalSpy bytes(&rig.fetch, &CamImageFetch::pictureBytesReceived);
    QVERIFY(rig.net.requests.isEmpty());
    QCOMPARE(refreshAnswered(rig, first), QStringList{QStringLiteral("temp.png")});
    QVERIFY(rig.net.requests[0].validators.isEmpty());
    const bool firstShown = !rig.fetch.picture().isNull();
    QCOMPARE(rig.first.draws, 1);

    const int clearsBefore = rig.transfer.bulletClears;
    const QStringList during = refreshAnswered(rig, second);
    QCOMPARE(rig.net.requests.size(), 4);
    QCOMPARE(rig.net.requests[2].validators, asksConditionally ? first.validators : PictureValidators());
    // A picture not decoded again was never written either.
    QCOMPARE(during, decodedAgain ? QStringList{QStringLiteral("temp.png")} : QStringList());
    for (const FakeView *view : {&rig.first, &rig.second}) {
        QCOMPARE(view->pictures.size(), decodedAgain ? 2 : 1);
        QCOMPARE(view->draws, decodedAgain ? 2 : 1);
    }
    QCOMPARE(rig.fetch.picture().isNull(), !shown);
    // The comments' bullets over the picture drawn, or the one left as it was, are taken
    // off once.
    QCOMPARE(rig.transfer.bulletClears - clearsBefore, 1);
    QCOMPARE(rig.transfer.statistics.size(), 2);
    QVERIFY2(rig.transfer.statistics[1].startsWith(statistics), qPrintable(rig.transfer.statistics[1]));
    QCOMPARE(rig.leftovers(), QStringList());
    // Whoever follows the picture's bytes learns them from a 304 as from a full answer.
    if (firstShown && !decodedAgain) {
        QCOMPARE(bytes.size(), 2);
        QCOMPARE(bytes[1][0].toByteArray(), m_png);
    }
}

void TestRefresh::notModifiedAfterCamChange()
{
    Rig rig;
    QCOMPARE(refreshAnswered(rig, answer(200, m_png, {"\"v1\"", {}})), QStringList{QStringLiteral("temp.png")});
    rig.selection.rowClicked(1);
    rig.selection.rowClicked(0);
    // The areas were cleared by the change, so the held bytes are decoded and drawn again.
    QCOMPARE(refreshAnswered(rig, answer(304, {})), QStringList{QStringLiteral("temp.png")});
    QCOMPARE(rig.net.requests[2].validators.etag, QByteArray("\"v1\""));
    QCOMPARE(rig.first.pictures.size(), 2);
    QCOMPARE(rig.first.pictures[1].size(), QSize(40, 30));
    QCOMPARE(rig.first.draws, 2);
    // Each refresh's comments put their bullets over the picture drawn, and take them off.
    QCOMPARE(rig.transfer.bulletClears, 2);
    QCOMPARE(rig.leftovers(), QStringList());
}

// Bytes one cam failed to decode are decoded for another, and not again for the first.
void TestRefresh::undecodableBytesAreTheCamsOwn()
{
    Rig rig;
    const DownloadResult garbage = answer(200, "not a picture");
    QCOMPARE(refreshAnswered(rig, garbage), QStringList{QStringLiteral("temp.png")});
    rig.selection.rowClicked(1);
    QCOMPARE(refreshAnswered(rig, garbage), QStringList{QStringLiteral("temp.png")});
    rig.selection.rowClicked(0);
    QCOMPARE(refreshAnswered(rig, garbage), QStringList());
    // Over a picture on show, they take it off as a failed decode would.
    QCOMPARE(refreshAnswered(rig, answer(200, m_png)), QStringList{QStringLiteral("temp.png")});
    QCOMPARE(refreshAnswered(rig, garbage), QStringList());
    QVERIFY(rig.first.pictures.last().isNull());
    QCOMPARE(rig.first.failureReasons.last(), retry_rules::withNextTry(picture_freshness::CouldNotDecode, 10000));
    QVERIFY(rig.fetch.shownPictureBytes().isEmpty());
}

Q_DECLARE_METATYPE(ViewScaleMode)

void TestRefresh::decodedAgainFromKeptBytes_data()
{
    QTest::addColumn<bool>("jpeg");
    QTest::addColumn<ViewScaleMode>("mode");
    QTest::addColumn<QSize>("area");        // of both views
    QTest::addColumn<bool>("secondAtOnce"); // false: the second view stands for a hidden window
    QTest::addColumn<QSize>("decoded");     // by the refresh
    QTest::addColumn<QString>("change");
    QTest::addColumn<QSize>("redecoded");   // invalid: no second decode

    const auto I = ViewScaleMode::ScaleInline;
    const auto O = ViewScaleMode::ScaleOutline;
    // 1280 x 960 into 320 x 240 areas: a quarter. The hidden second area does not count
    // until it is shown, then its 1024 x 768 need the whole picture.
    QTest::newRow("hidden area shown") << true << I << QSize(320, 240) << false << QSize(320, 240)
                                       << QStringLiteral("show second") << QSize(1280, 960);
    QTest::newRow("area enlarged") << true << I << QSize(320, 240) << true << QSize(320, 240)
                                   << QStringLiteral("enlarge first") << QSize(640, 480);
    QTest::newRow("two device pixels to one") << true << I << QSize(320, 240) << true << QSize(320, 240)
                                              << QStringLiteral("ratio 2") << QSize(640, 480);
    // 320 x 100: inline draws 133 x 100 (an eighth does), outline 320 x 240.
    QTest::newRow("inline to outline") << true << I << QSize(320, 100) << true << QSize(160, 120)
                                       << QStringLiteral("outline") << QSize(320, 240);
    QTest::newRow("outline to inline needs no more") << true << O << QSize(320, 100) << true << QSize(320, 240)
                                                     << QStringLiteral("inline") << QSize();
    // Drawn from the JPEG's planes, the surfaces are made again for any other area, also one
    // that needs less.
    QTest::newRow("area made smaller") << true << I << QSize(320, 240) << true << QSize(320, 240)
                                       << QStringLiteral("shrink first") << QSize(320, 240);
    // Only JPEGs are decoded smaller; anything else is whole already.
    QTest::newRow("PNG") << false << I << QSize(320, 240) << true << QSize(1280, 960)
                         << QStringLiteral("enlarge first") << QSize();
}

// A JPEG decoded smaller than its full size is decoded again from the bytes kept, without
// a download, once an area needs it larger; the smaller one stays meanwhile. Drawn from its
// planes, it is decoded again for any other area, and the bytes stay kept.
void TestRefresh::decodedAgainFromKeptBytes()
{
    QFETCH(bool, jpeg);
    QFETCH(ViewScaleMode, mode);
    QFETCH(QSize, area);
    QFETCH(bool, secondAtOnce);
    QFETCH(QSize, decoded);
    QFETCH(QString, change);
    QFETCH(QSize, redecoded);

    Rig rig;
    rig.state.switches.setScaleMode(mode);
    rig.first.area = rig.second.area = area;
    rig.second.atOnce = secondAtOnce;
    if (!secondAtOnce)
        rig.second.area = QSize(1024, 768);
    const QByteArray &bytes = jpeg ? m_jpeg : m_bigPng;
    refreshWith(rig, bytes);
    QCOMPARE(rig.fetch.feed().decodedSize(), decoded);
    QCOMPARE(rig.first.pictures.size(), 1);
    QCOMPARE(rig.fetch.feed().keptPictureBytes(), jpeg ? bytes : QByteArray());

    if (change == QLatin1String("show second"))
        rig.second.atOnce = true;
    else if (change == QLatin1String("enlarge first"))
        rig.first.area = area * 2;
    else if (change == QLatin1String("shrink first"))
        rig.first.area = area / 2;
    else if (change == QLatin1String("ratio 2"))
        rig.first.pixelRatio = 2.0;
    else if (change == QLatin1String("outline"))
        rig.state.switches.setScaleMode(ViewScaleMode::ScaleOutline);
    else if (change == QLatin1String("inline"))
        rig.state.switches.setScaleMode(ViewScaleMode::ScaleInline);
    rig.fetch.pictureAreasChanged();
    QVERIFY(!rig.fetch.isRunning()); // the heartbeat is not held up

    if (redecoded.isValid()) {
        // Until the larger picture is in, the views keep the smaller one.
        QCOMPARE(rig.first.pictures.size(), 1);
        QTRY_COMPARE(rig.first.pictures.size(), 2);
        for (const FakeView *view : {&rig.first, &rig.second}) {
            QCOMPARE(view->pictures.size(), 2);
            QCOMPARE(view->draws, 2);
        }
        QCOMPARE(rig.fetch.feed().decodedSize(), redecoded);
        QCOMPARE(rig.fetch.feed().keptPictureBytes(), bytes);
    } else {
        QTest::qWait(100);
        QCOMPARE(rig.first.pictures.size(), 1);
        QCOMPARE(rig.fetch.feed().decodedSize(), decoded);
    }
    // Nothing was downloaded again, no refresh ended, no working file was left.
    QCOMPARE(rig.net.requests.size(), 2);
    QCOMPARE(rig.ended.size(), 1);
    QCOMPARE(rig.leftovers(), QStringList());
}

// A refresh that starts while the kept bytes are decoded again wins: the larger old picture
// never lands over the new one.
void TestRefresh::newRefreshGivesUpTheDecodeFromBytes()
{
    Rig rig;
    refreshWith(rig, m_jpeg);
    QCOMPARE(rig.fetch.feed().decodedSize(), QSize(320, 240));
    rig.first.area = QSize(640, 480);
    rig.fetch.pictureAreasChanged();
    rig.fetch.fetchCamImage();
    QCOMPARE(rig.net.requests.size(), 3);
    QTest::qWait(300);
    QCOMPARE(rig.first.pictures.size(), 1);
    rig.net.last()->answer(Error::None, m_png);
    QTRY_COMPARE(rig.net.requests.size(), 4);
    rig.net.last()->answer(Error::None, Comments);
    QTRY_COMPARE(rig.ended.size(), 2);
    QTest::qWait(100);
    QCOMPARE(rig.first.pictures.size(), 2);
    QCOMPARE(rig.first.pictures.last().size(), QSize(40, 30));
    QCOMPARE(rig.fetch.picture().size(), QSize(40, 30));
    QVERIFY(rig.fetch.feed().keptPictureBytes().isEmpty());
}

// Another cam's picture is not decoded again from the last cam's bytes.
void TestRefresh::newCamLetsGoOfTheBytes()
{
    Rig rig;
    refreshWith(rig, m_jpeg);
    QCOMPARE(rig.fetch.feed().keptPictureBytes(), m_jpeg);
    rig.selection.rowClicked(1);
    QVERIFY(rig.fetch.feed().keptPictureBytes().isEmpty());
    rig.first.area = QSize(640, 480);
    rig.fetch.pictureAreasChanged();
    QTest::qWait(200);
    QCOMPARE(rig.first.pictures.size(), 1);
}

// While pictures change, the memory of each goes to the next; a refresh that brings the picture
// on show again lets it go, so a cam that stays the same holds none.
void TestRefresh::unchangedPictureLetsTheReusedMemoryGo()
{
    Rig rig;
    rig.first.area = rig.second.area = QSize(1280, 960);
    QByteArray other;
    QBuffer buffer(&other);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QImage picture(1280, 960, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    QVERIFY(picture.save(&buffer, "JPEG", 90));
    refreshWith(rig, m_jpeg);
    refreshWith(rig, other);
    QTRY_VERIFY(PictureRecycling::storedBlocks() > 0);
    refreshWith(rig, other);
    QCOMPARE(PictureRecycling::storedBlocks(), 0);
    QCOMPARE(rig.first.pictures.size(), 2);
}

// The refresh decodes the bytes it wrote to the working file, not what the file holds by
// the time of the decode.
void TestRefresh::pictureLoadedFromTheBytesWritten()
{
    Rig rig;
    rig.fetch.fetchCamImage();
    rig.net.last()->answer(Error::None, m_png);
    QTRY_COMPARE(rig.net.requests.size(), 2);
    QFile file(QDir(rig.dir.path()).filePath(QStringLiteral("temp.png")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(QByteArray(100, 'x')) == 100);
    rig.net.last()->answer(Error::None, Comments);
    QTRY_COMPARE(rig.ended.size(), 1);
    QCOMPARE(rig.first.pictures.size(), 1);
    QCOMPARE(rig.first.pictures[0].size(), QSize(40, 30));
}

// A live cam's stream: frames while the decoder is free, the comments at each refresh, a
// failed refresh when the stream ends, and closed at a change of cam.
void TestRefresh::liveStream()
{
    Rig rig;
    rig.state.switches.setMaxFramesPerSecond(1000); // only a busy decoder drops frames here
    rig.fetch.fetchCamImage();
    QVERIFY(rig.net.requests[0].live);
    QPointer<FakeHandler> stream = rig.net.last();
    stream->part(m_png);
    QTRY_COMPARE(rig.net.requests.size(), 2); // the comments follow the first part
    rig.net.last()->answer(Error::None, Comments);
    QTRY_COMPARE(rig.ended.size(), 1);
    QVERIFY(rig.fetch.isLive());
    QCOMPARE(rig.first.pictures.size(), 1);

    // Parts that come while a frame decodes are dropped, not queued: of a burst, only the
    // first is shown.
    for (int i = 0; i < 20; ++i)
        stream->part(i % 2 ? m_jpeg : m_otherPng);
    QTRY_COMPARE(rig.first.pictures.size(), 2);
    QTest::qWait(200);
    QCOMPARE(rig.first.pictures.size(), 2);
    QCOMPARE(rig.first.pictures.last().size(), QSize(40, 30));
    stream->part(m_png);
    QTRY_COMPARE(rig.first.pictures.size(), 3);

    // A refresh due while live brings the comments only.
    rig.fetch.fetchCamImage();
    QCOMPARE(rig.net.requests.size(), 3);
    QVERIFY(rig.net.requests[2].address.contains(QStringLiteral("comments.php")));
    rig.net.last()->answer(Error::None, Comments);
    QTRY_COMPARE(rig.ended.size(), 2);

    // The stream's end is a failed refresh, backed off; the next asks the address again.
    DownloadResult ended;
    ended.httpStatus = 200;
    ended.liveParts = 23;
    stream->answer(ended);
    QTRY_VERIFY(!rig.fetch.isLive());
    QVERIFY2(rig.first.failureReasons.last().startsWith(QStringLiteral("The live stream ended after 23 pictures (next try in")),
             qPrintable(rig.first.failureReasons.last()));
    QVERIFY(rig.first.pictures.last().isNull());
    rig.fetch.fetchCamImage();
    QCOMPARE(rig.net.requests.size(), 4);
    QCOMPARE(rig.net.requests[3].address, rig.state.selection.pictureAddress());

    // A change of cam closes the stream at once.
    rig.net.last()->part(m_png);
    QTRY_VERIFY(rig.fetch.isLive());
    stream = rig.net.handlers[3];
    rig.selection.rowClicked(1);
    QCOMPARE(stream ? stream->cancels : 1, 1);
    QVERIFY(!rig.fetch.isLive());
}

QTEST_GUILESS_MAIN(TestRefresh)
#include "tst_refresh.moc"
