// Frozen and failing cams on a fake downloader, fake views and a fake clock: when the
// unchanged note comes and goes, and which reason a refresh without a picture shows.
#include "craftedpictures.h"
#include "fakes.h"

#include <QBuffer>
#include <QDateTime>
#include <QTest>

using Error = DownloadResult::Error;

namespace {

class FakeClock : public WallClock
{
public:
    qint64 nowMs() const override { return now; }
    qint64 now = 0;
};

// 14:02:00 local time on some day: the notes then read "unchanged since 14:02".
qint64 at1402()
{
    return QDateTime(QDate(2026, 1, 5), QTime(14, 2, 0), Qt::LocalTime).toMSecsSinceEpoch();
}

QByteArray png(Qt::GlobalColor colour)
{
    return crafted::filled(QSize(40, 30), QColor(colour).rgb(), "PNG");
}

DownloadResult picture(const QByteArray &body, int status = 200, const QByteArray &phrase = "OK",
                       const QByteArray &type = "image/png")
{
    DownloadResult r;
    r.body = body;
    r.httpStatus = status;
    r.reasonPhrase = phrase;
    r.contentType = type;
    return r;
}

DownloadResult failed(Error error, const QString &text)
{
    DownloadResult r;
    r.error = error;
    r.errorText = text;
    return r;
}

// The rig with the notes wired as the application wires them: both pictures and a third
// view (the Info-Bar's) hear of the unchanged note, the clock is the test's.
struct NoteRig : Rig
{
    FakeView infoBar;
    FakeClock clock;

    NoteRig()
    {
        fetch.addUnchangedNoteView(&infoBar);
        fetch.setClock(&clock);
        QObject::connect(&selection, &CamSelection::camChanged, &fetch, &CamImageFetch::takeDownNotes);
    }

    // One whole refresh with this answer to the picture request.
    bool refresh(const DownloadResult &answer)
    {
        const int before = ended.size();
        const qsizetype requests = net.requests.size();
        fetch.fetchCamImage();
        if (net.requests.size() != requests + 1)
            return false;
        net.last()->answer(answer);
        if (!QTest::qWaitFor([&] { return net.requests.size() == requests + 2; }, 5000))
            return false;
        net.last()->answer(Error::None, QByteArray());
        return QTest::qWaitFor([&] { return ended.size() == before + 1 && !fetch.isRunning(); }, 10000);
    }
};

} // namespace

class TestFreshness : public QObject
{
    Q_OBJECT
private slots:
    void unchangedAfterAMinuteAndTenRefreshes_data();
    void unchangedAfterAMinuteAndTenRefreshes();
    void failedRefreshNeitherCountsNorRestarts();
    void anAnswerWithoutBodyCountsAsTheSamePicture();
    void notModifiedCountsAsTheSamePicture();
    void notesGoWithAnotherCam();
    void failureReason_data();
    void failureReason();
};

// Refreshes every `step` seconds of the same picture; the note comes at the refresh
// `noteAt` (1-based), or never for 0.
void TestFreshness::unchangedAfterAMinuteAndTenRefreshes_data()
{
    QTest::addColumn<int>("refreshes");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("noteAt");
    QTest::newRow("every 6 s: the 11th") << 12 << 6 << 11;
    QTest::newRow("every 5 s: 60 s at the 13th") << 13 << 5 << 13;
    QTest::newRow("every 30 s: ten refreshes at the 11th") << 11 << 30 << 11;
    QTest::newRow("every 6 s, ten refreshes: none") << 10 << 6 << 0;
}

void TestFreshness::unchangedAfterAMinuteAndTenRefreshes()
{
    QFETCH(int, refreshes);
    QFETCH(int, step);
    QFETCH(int, noteAt);

    NoteRig rig;
    const QByteArray frozen = png(Qt::darkCyan);
    for (int i = 1; i <= refreshes; ++i) {
        rig.clock.now = at1402() + qint64(i - 1) * step * 1000;
        QVERIFY(rig.refresh(picture(frozen)));
        const QStringList expected = noteAt && i >= noteAt ? QStringList{QStringLiteral("unchanged since 14:02")}
                                                           : QStringList();
        for (const FakeView *view : {&rig.first, &rig.second, &rig.infoBar})
            QCOMPARE(view->unchangedNotes, expected);
        QCOMPARE(rig.first.failureReasons, QStringList());
        QCOMPARE(rig.state.health.of(QStringLiteral("cam0")).unchangedSinceMs, expected.isEmpty() ? 0 : at1402());
    }

    // The next changed picture takes the note down, and the count starts again.
    rig.clock.now += step * 1000;
    QVERIFY(rig.refresh(picture(png(Qt::darkRed))));
    const QStringList expected = noteAt ? QStringList{QStringLiteral("unchanged since 14:02"), QString()}
                                        : QStringList();
    for (const FakeView *view : {&rig.first, &rig.second, &rig.infoBar})
        QCOMPARE(view->unchangedNotes, expected);
    rig.clock.now += 120 * 1000;
    QVERIFY(rig.refresh(picture(png(Qt::darkRed))));
    QCOMPARE(rig.infoBar.unchangedNotes, expected);
}

void TestFreshness::failedRefreshNeitherCountsNorRestarts()
{
    NoteRig rig;
    rig.fetch.setUnchangedThreshold({0, 2});
    const QByteArray frozen = png(Qt::darkCyan);
    rig.clock.now = at1402();
    QVERIFY(rig.refresh(picture(frozen)));
    rig.clock.now += 6000;
    QVERIFY(rig.refresh(failed(Error::Network, QStringLiteral("Connection refused"))));
    const QString refused = QStringLiteral("Connection refused (next try in 10 s)");
    QCOMPARE(rig.first.failureReasons, QStringList{refused});
    rig.clock.now += 6000;
    QVERIFY(rig.refresh(picture(frozen)));
    // One refresh after the first counted, not two; the reason went with the picture.
    QCOMPARE(rig.first.unchangedNotes, QStringList());
    QCOMPARE(rig.first.failureReasons, (QStringList{refused, QString()}));

    rig.clock.now = at1402() + 3600 * 1000; // an hour later
    QVERIFY(rig.refresh(picture(frozen)));
    QCOMPARE(rig.first.unchangedNotes, QStringList{QStringLiteral("unchanged since 14:02")});

    // A failure takes the note down with the picture; the same picture after it brings
    // the note back with the same moment.
    QVERIFY(rig.refresh(picture("<html></html>", 200, "OK", "text/html")));
    QCOMPARE(rig.second.failureReasons.last(), QStringLiteral("Not a picture (text/html) (next try in 10 s)"));
    QCOMPARE(rig.infoBar.unchangedNotes, (QStringList{QStringLiteral("unchanged since 14:02"), QString()}));
    QVERIFY(rig.refresh(picture(frozen)));
    QCOMPARE(rig.infoBar.unchangedNotes,
             (QStringList{QStringLiteral("unchanged since 14:02"), QString(), QStringLiteral("unchanged since 14:02")}));
    QCOMPARE(rig.second.failureReasons.last(), QString());
}

// What an answer meaning "not modified" does: the previous picture's fingerprint again.
void TestFreshness::anAnswerWithoutBodyCountsAsTheSamePicture()
{
    NoteRig rig;
    rig.fetch.setUnchangedThreshold({0, 2});
    rig.clock.now = at1402();
    QCOMPARE(rig.fetch.feed().shownFingerprint().size, -1);
    QVERIFY(rig.refresh(picture(png(Qt::darkCyan))));
    const picture_freshness::PictureFingerprint shown = rig.fetch.feed().shownFingerprint();
    QCOMPARE(shown, picture_freshness::fingerprint(png(Qt::darkCyan)));
    rig.fetch.feed().countShownPicture(rig.fetch.feed().shownFingerprint());
    QCOMPARE(rig.first.unchangedNotes, QStringList());
    rig.fetch.feed().countShownPicture(rig.fetch.feed().shownFingerprint());
    QCOMPARE(rig.first.unchangedNotes, QStringList{QStringLiteral("unchanged since 14:02")});
}

// A 304 to the viewer's conditional request stands for the bytes held: it counts as the
// same picture shown again, and is no failure.
void TestFreshness::notModifiedCountsAsTheSamePicture()
{
    NoteRig rig;
    rig.fetch.setUnchangedThreshold({0, 2});
    rig.clock.now = at1402();
    DownloadResult full = picture(png(Qt::darkCyan));
    full.validators.etag = "\"v1\"";
    QVERIFY(rig.refresh(full));
    const DownloadResult notModified = picture({}, 304, "Not Modified", {});
    QVERIFY(rig.refresh(notModified));
    QCOMPARE(rig.net.requests[2].validators.etag, QByteArray("\"v1\""));
    QCOMPARE(rig.first.unchangedNotes, QStringList());
    QVERIFY(rig.refresh(notModified));
    QCOMPARE(rig.first.unchangedNotes, QStringList{QStringLiteral("unchanged since 14:02")});
    QCOMPARE(rig.first.failureReasons, QStringList());
    QCOMPARE(rig.first.draws, 1);
}

void TestFreshness::notesGoWithAnotherCam()
{
    NoteRig rig;
    rig.fetch.setUnchangedThreshold({0, 1});
    rig.clock.now = at1402();
    QVERIFY(rig.refresh(picture(png(Qt::darkCyan))));
    QVERIFY(rig.refresh(picture(png(Qt::darkCyan))));
    QCOMPARE(rig.second.unchangedNotes, QStringList{QStringLiteral("unchanged since 14:02")});

    rig.selection.rowClicked(1);
    QCOMPARE(rig.second.unchangedNotes, (QStringList{QStringLiteral("unchanged since 14:02"), QString()}));
    QCOMPARE(rig.infoBar.unchangedNotes.last(), QString());

    // The same bytes from another cam are that cam's first picture.
    QVERIFY(rig.refresh(picture(png(Qt::darkCyan))));
    QCOMPARE(rig.second.unchangedNotes.size(), 2);

    QVERIFY(rig.refresh(failed(Error::Timeout, QStringLiteral("No answer for 30 seconds"))));
    QCOMPARE(rig.first.failureReasons.last(), QStringLiteral("No answer for 30 seconds (next try in 10 s)"));
    rig.selection.rowClicked(2);
    QCOMPARE(rig.first.failureReasons.last(), QString());
    QCOMPARE(rig.second.failureReasons.last(), QString());
}

void TestFreshness::failureReason_data()
{
    QTest::addColumn<DownloadResult>("answer");
    QTest::addColumn<QString>("reason");

    const QByteArray page = "<!DOCTYPE html><html><body>gone</body></html>";
    QTest::newRow("404") << picture(page, 404, "Not Found", "text/html; charset=utf-8")
                         << QStringLiteral("HTTP 404 Not Found");
    QTest::newRow("500 without a phrase") << picture(page, 500, "", "text/html") << QStringLiteral("HTTP 500");
    QTest::newRow("refused") << failed(Error::Network, QStringLiteral("Connection refused"))
                             << QStringLiteral("Connection refused");
    QTest::newRow("time-out") << failed(Error::Timeout, QStringLiteral("No answer for 30 seconds"))
                              << QStringLiteral("No answer for 30 seconds");
    QTest::newRow("html") << picture(page, 200, "OK", "text/html") << QStringLiteral("Not a picture (text/html)");
    QTest::newRow("garbage jpeg") << picture(QByteArray(5000, 'x'), 200, "OK", "image/jpeg")
                                  << QStringLiteral("Picture could not be decoded");
    QTest::newRow("empty") << picture(QByteArray(), 200, "OK", "image/jpeg")
                           << QStringLiteral("Picture could not be decoded");
}

void TestFreshness::failureReason()
{
    QFETCH(DownloadResult, answer);
    QFETCH(QString, reason);

    NoteRig rig;
    rig.clock.now = at1402();
    QVERIFY(rig.refresh(answer));
    const QString first = reason + QStringLiteral(" (next try in 10 s)");
    for (const FakeView *view : {&rig.first, &rig.second}) {
        QCOMPARE(view->failureReasons, QStringList{first});
        QCOMPARE(view->pictures.last().isNull(), true); // the black area stays
    }
    QCOMPARE(rig.transfer.failureReasons, QStringList());

    // The same failure again waits twice as long; the next picture takes the reason down
    // and ends the count.
    rig.clock.now += 11000;
    QVERIFY(rig.refresh(answer));
    const QString second = reason + QStringLiteral(" (next try in 20 s)");
    QCOMPARE(rig.first.failureReasons, (QStringList{first, second}));
    QCOMPARE(rig.state.countdowns.refresh().value(), 19);
    QCOMPARE(rig.state.health.of(QStringLiteral("cam0")).failuresInARow, 2);
    QCOMPARE(rig.state.health.of(QStringLiteral("cam0")).lastFailureMs, rig.clock.now);
    QVERIFY(rig.refresh(picture(png(Qt::darkCyan))));
    QCOMPARE(rig.first.failureReasons, (QStringList{first, second, QString()}));
    QCOMPARE(rig.second.failureReasons, (QStringList{first, second, QString()}));
    QCOMPARE(rig.state.health.of(QStringLiteral("cam0")).failuresInARow, 0);
}

QTEST_GUILESS_MAIN(TestFreshness)
#include "tst_freshness.moc"
