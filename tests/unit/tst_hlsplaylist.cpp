// Live video playlists: what is read from a server's text (and what is refused, with which
// reason), which variant a view plays, and which segments a live playlist hands out when.
#include "core/http/hlsplaylist.h"

#include <QTest>

namespace {

const QUrl Base("http://127.0.0.1:8080/cams/live.m3u8");

// A playlist as one line per entry, so a row states all of it.
QStringList described(const hls::Playlist &p)
{
    QStringList out;
    if (p.kind == hls::Playlist::Kind::Master) {
        out << QStringLiteral("master");
        for (const hls::Variant &v : p.variants)
            out << QStringLiteral("%1 %2 %3x%4 %5").arg(v.uri).arg(v.bandwidth).arg(v.resolution.width())
                       .arg(v.resolution.height()).arg(v.codecs);
        return out;
    }
    out << QStringLiteral("media %1 from %2%3").arg(p.targetDurationSeconds).arg(p.mediaSequence)
               .arg(p.ended ? QStringLiteral(" ended") : QString());
    for (const hls::Segment &s : p.segments) {
        QString line = QStringLiteral("%1 %2 %3").arg(s.sequence).arg(s.durationSeconds).arg(s.uri);
        if (s.discontinuity)
            line += QStringLiteral(" cut");
        if (s.key.method == hls::Key::Method::Aes128)
            line += QStringLiteral(" aes ") + s.key.uri;
        else if (s.key.method == hls::Key::Method::Unsupported)
            line += QStringLiteral(" unsupported");
        if (s.key.iv)
            line += QStringLiteral(" iv ") + QString::fromLatin1(s.key.iv->toHex());
        out << line;
    }
    return out;
}

QByteArray media(const QByteArray &body)
{
    return "#EXTM3U\n#EXT-X-TARGETDURATION:4\n" + body;
}

// "WxH@bandwidth", or "@bandwidth" for none given.
QList<hls::Variant> variants(const QStringList &described)
{
    QList<hls::Variant> out;
    for (const QString &one : described) {
        hls::Variant v;
        const QStringList sizeAndRate = one.split(u'@');
        const QStringList sides = sizeAndRate[0].split(u'x');
        if (sides.size() == 2)
            v.resolution = QSize(sides[0].toInt(), sides[1].toInt());
        v.bandwidth = sizeAndRate[1].toLongLong();
        out << v;
    }
    return out;
}

// One load of a live playlist (a window of `count` segments from `first`; none for count
// 0), or with count -1 only a look at stalled().
struct Step
{
    qint64 atMs = 0;
    qint64 first = 0;
    int count = 0;
    QList<qint64> fetched; // after a load: handed out; after a look: {1} stalled, {} not
    int delayMs = 0;
    bool ended = false;
};

Step load(qint64 atMs, qint64 first, int count, const QList<qint64> &fetched, int delayMs, bool ended = false)
{
    return Step{atMs, first, count, fetched, delayMs, ended};
}

Step look(qint64 atMs, bool stalled)
{
    return Step{atMs, 0, -1, stalled ? QList<qint64>{1} : QList<qint64>{}, 0, false};
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestHlsPlaylist : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void choose_data();
    void choose();
    void follow_data();
    void follow();
};

void TestHlsPlaylist::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("playlist"); // as described(); empty when refused
    QTest::addColumn<QString>("error");

    const QString cams = QStringLiteral("http://127.0.0.1:8080/cams/");
    QTest::newRow("master") << QByteArray("#EXTM3U\n#EXT-X-VERSION:3\n"
                                          "#EXT-X-STREAM-INF:CODECS=\"avc1.4d401f,mp4a.40.2\",BANDWIDTH=800000,RESOLUTION=640x360\n"
                                          "low/index.m3u8\n"
                                          "#EXT-X-I-FRAME-STREAM-INF:BANDWIDTH=9,URI=\"iframes.m3u8\"\n"
                                          "#EXT-X-STREAM-INF:BANDWIDTH=3000000\n"
                                          "# a comment between the tag and its address\n"
                                          "/top.m3u8\n"
                                          "#EXT-X-STREAM-INF:BANDWIDTH=5000000,RESOLUTION=1920x1080\n"
                                          "https://127.0.0.1:8443/hd.m3u8\n")
                            << QStringList{"master", cams + "low/index.m3u8 800000 640x360 avc1.4d401f,mp4a.40.2",
                                           "http://127.0.0.1:8080/top.m3u8 3000000 -1x-1 ",
                                           "https://127.0.0.1:8443/hd.m3u8 5000000 1920x1080 "}
                            << QString();
    QTest::newRow("media: BOM, CRLF, titles, cut, end")
        << QByteArray("\xEF\xBB\xBF#EXTM3U\r\n#EXT-X-TARGETDURATION:6\r\n#EXT-X-MEDIA-SEQUENCE:41\r\n"
                      "#EXT-X-PROGRAM-DATE-TIME:2024-01-01T00:00:00Z\r\n#EXTINF:5.5,front door, north\r\na.ts\r\n"
                      "#EXT-X-DISCONTINUITY\r\n#EXTINF:6,\r\nhttp://127.0.0.1:9000/b.ts?t=1\r\n\r\n#EXT-X-ENDLIST\r\n")
        << QStringList{"media 6 from 41 ended", "41 5.5 " + cams + "a.ts", "42 6 http://127.0.0.1:9000/b.ts?t=1 cut"}
        << QString();
    QTest::newRow("keys") << media("#EXT-X-KEY:METHOD=AES-128,URI=\"keys/k1?a=1,b=2\",IV=0x000102030405060708090A0B0C0D0E0F\n"
                                   "#EXTINF:4,\na.ts\n#EXT-X-KEY:METHOD=AES-128,URI=\"/k2\"\n#EXTINF:4,\nb.ts\n"
                                   "#EXT-X-KEY:METHOD=NONE\n#EXTINF:4,\nc.ts\n"
                                   "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"k3\"\n#EXTINF:4,\nd.ts\n")
                          << QStringList{"media 4 from 0",
                                         "0 4 " + cams + "a.ts aes " + cams + "keys/k1?a=1,b=2 iv 000102030405060708090a0b0c0d0e0f",
                                         "1 4 " + cams + "b.ts aes http://127.0.0.1:8080/k2", "2 4 " + cams + "c.ts",
                                         "3 4 " + cams + "d.ts unsupported"}
                          << QString();
    QTest::newRow("key in another format") << media("#EXT-X-KEY:METHOD=AES-128,URI=\"k\",KEYFORMAT=\"com.example.drm\"\n"
                                                     "#EXTINF:4,\na.ts\n")
                                           << QStringList{"media 4 from 0", "0 4 " + cams + "a.ts unsupported"} << QString();
    // The address as it goes on the wire: a downloader must not have to encode it again.
    QTest::newRow("addresses kept encoded") << media("#EXTINF:4,\nfront%20door/caméra 1.ts?sig=a%2Bb\n")
                                            << QStringList{"media 4 from 0",
                                                           "0 4 " + cams + "front%20door/cam%C3%A9ra%201.ts?sig=a%2Bb"}
                                            << QString();
    // A segment passed over keeps its number, and the cut before it moves to the next one.
    QTest::newRow("other schemes passed over")
        << media("#EXT-X-MEDIA-SEQUENCE:7\n#EXTINF:4,\nfile:///etc/passwd\n#EXT-X-DISCONTINUITY\n#EXTINF:4,\n"
                 "rtsp://127.0.0.1/x\n#EXTINF:4,\nc.ts\n")
        << QStringList{"media 4 from 7", "9 4 " + cams + "c.ts cut"} << QString();
    QTest::newRow("nothing playable left") << media("#EXTINF:4,\nfile:///a.ts\n#EXTINF:4,\nftp://127.0.0.1/b.ts\n")
                                           << QStringList() << hls::NoVideo;
    QTest::newRow("audio-only variant passed over")
        << QByteArray("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS=\"mp4a.40.2\"\naudio.m3u8\n"
                      "#EXT-X-STREAM-INF:BANDWIDTH=900000,CODECS=\"avc1.42e01e,mp4a.40.2\"\nvideo.m3u8\n")
        << QStringList{"master", cams + "video.m3u8 900000 -1x-1 avc1.42e01e,mp4a.40.2"} << QString();
    QTest::newRow("late media sequence ignored")
        << media("#EXT-X-MEDIA-SEQUENCE:5\n#EXTINF:4,\na.ts\n#EXT-X-MEDIA-SEQUENCE:1\n#EXTINF:4,\nb.ts\n")
        << QStringList{"media 4 from 5", "5 4 " + cams + "a.ts", "6 4 " + cams + "b.ts"} << QString();

    // A long event keeps its newest segments.
    QByteArray event = media("");
    QStringList newest{"media 4 from 0"};
    const int count = hls::EntriesAtMost + 10;
    for (int i = 0; i < count; ++i) {
        event += "#EXTINF:4,\n" + QByteArray::number(i) + ".ts\n";
        if (i >= count - hls::EntriesAtMost)
            newest << QStringLiteral("%1 4 %2%3.ts").arg(i).arg(cams).arg(i);
    }
    QTest::newRow("long event") << event << newest << QString();

    QTest::newRow("web page") << QByteArray("<!DOCTYPE html>\n<html>#EXTM3U</html>\n") << QStringList() << hls::NotAPlaylist;
    QTest::newRow("empty") << QByteArray() << QStringList() << hls::NotAPlaylist;
    QTest::newRow("no target duration") << QByteArray("#EXTM3U\n#EXTINF:4,\na.ts\n") << QStringList()
                                        << hls::PlaylistDamaged;
    QTest::newRow("duration not a number") << media("#EXTINF:nan,\na.ts\n") << QStringList() << hls::PlaylistDamaged;
    QTest::newRow("sequence beyond range") << media("#EXT-X-MEDIA-SEQUENCE:99999999999999999999\n#EXTINF:4,\na.ts\n")
                                           << QStringList() << hls::PlaylistDamaged;
    QTest::newRow("unclosed quote") << QByteArray("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1,CODECS=\"avc1\na.m3u8\n")
                                    << QStringList() << hls::PlaylistDamaged;
    QTest::newRow("key without address") << media("#EXT-X-KEY:METHOD=AES-128\n#EXTINF:4,\na.ts\n") << QStringList()
                                         << hls::PlaylistDamaged;
    QTest::newRow("IV not hex") << media("#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=0x000102030405060708090A0B0C0D0E0G\n"
                                         "#EXTINF:4,\na.ts\n")
                                << QStringList() << hls::PlaylistDamaged;
    QTest::newRow("IV without digits") << media("#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=0x\n#EXTINF:4,\na.ts\n")
                                       << QStringList() << hls::PlaylistDamaged;
    QTest::newRow("parts of one file") << media("#EXT-X-BYTERANGE:1000@0\n#EXTINF:4,\nall.ts\n") << QStringList()
                                       << hls::PlaylistNotSupported;
    QTest::newRow("line too long") << media("#EXTINF:4,\n" + QByteArray(hls::LineMaxBytes + 1, 'a') + "\n")
                                   << QStringList() << hls::PlaylistLineTooLong;
    QTest::newRow("too large") << media(QByteArray(hls::PlaylistMaxBytes, '\n')) << QStringList()
                               << hls::PlaylistTooLarge;
}

void TestHlsPlaylist::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, playlist);
    QFETCH(QString, error);
    const hls::Parsed parsed = hls::parsePlaylist(text, Base);
    QCOMPARE(parsed.error, error);
    QCOMPARE(parsed.playlist.has_value(), error.isEmpty());
    if (parsed.playlist)
        QCOMPARE(described(*parsed.playlist), playlist);
}

void TestHlsPlaylist::choose_data()
{
    QTest::addColumn<QStringList>("variants");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<int>("chosen");

    const QStringList ladder{"1280x720@3000000", "640x360@800000", "1920x1080@6000000", "@9000000"};
    QTest::newRow("wall tile") << ladder << QSize(400, 225) << 1;
    QTest::newRow("fullscreen") << ladder << QSize(1920, 1080) << 2;
    QTest::newRow("one side too small") << ladder << QSize(1000, 800) << 2;
    QTest::newRow("none large enough") << ladder << QSize(3840, 2160) << 2;
    QTest::newRow("same size, lower rate") << QStringList{"640x360@900000", "640x360@500000"} << QSize(320, 180) << 1;
    QTest::newRow("no resolutions") << QStringList{"@3000000", "@800000", "@1500000"} << QSize(1920, 1080) << 1;
    QTest::newRow("none") << QStringList() << QSize(640, 360) << -1;
}

void TestHlsPlaylist::choose()
{
    QFETCH(QStringList, variants);
    QFETCH(QSize, view);
    QFETCH(int, chosen);
    QCOMPARE(hls::chooseVariant(::variants(variants), view), chosen);
}

void TestHlsPlaylist::follow_data()
{
    QTest::addColumn<QList<Step>>("steps");

    // Target duration 10 s throughout.
    QTest::newRow("first load, steady advance") << QList<Step>{load(0, 10, 5, {14}, 10000), load(10000, 11, 5, {15}, 10000),
                                                               load(20000, 11, 5, {}, 5000), load(25000, 13, 5, {16, 17}, 10000)};
    QTest::newRow("catching up") << QList<Step>{load(0, 10, 5, {14}, 10000), load(10000, 13, 5, {15, 16, 17}, 10000)};
    QTest::newRow("fell behind") << QList<Step>{load(0, 10, 5, {14}, 10000), load(30000, 14, 5, {18}, 10000)};
    // Only three listed, but five came since the last load.
    QTest::newRow("fell behind, short window") << QList<Step>{load(0, 10, 3, {12}, 10000), load(30000, 15, 3, {17}, 10000)};
    QTest::newRow("sequence restart") << QList<Step>{load(0, 100, 5, {104}, 10000), load(10000, 0, 5, {4}, 10000),
                                                     load(20000, 1, 5, {5}, 10000)};
    // A server's stale copy of the playlist, a segment behind: nothing new, nothing again.
    QTest::newRow("stale copy one behind") << QList<Step>{load(0, 10, 5, {14}, 10000), load(10000, 9, 5, {}, 5000),
                                                          load(15000, 11, 5, {15}, 10000)};
    QTest::newRow("stalled after three target durations")
        << QList<Step>{load(0, 10, 5, {14}, 10000), load(10000, 10, 5, {}, 5000), look(30000, false), look(30001, true),
                       load(31000, 11, 5, {15}, 10000), look(31001, false)};
    QTest::newRow("empty playlist stalls") << QList<Step>{load(0, 0, 0, {}, 5000), load(10000, 0, 0, {}, 5000),
                                                          load(20000, 0, 0, {}, 5000), look(30001, true)};
    QTest::newRow("ended never stalls") << QList<Step>{load(0, 10, 5, {14}, 10000, true), look(100000, false)};
}

void TestHlsPlaylist::follow()
{
    QFETCH(QList<Step>, steps);
    hls::LiveFollower follower;
    for (const Step &step : steps) {
        const QByteArray at = QByteArray::number(step.atMs) + " ms";
        if (step.count < 0) {
            QVERIFY2(follower.stalled(step.atMs) == !step.fetched.isEmpty(), at.constData());
            continue;
        }
        hls::Playlist p;
        p.targetDurationSeconds = 10;
        p.mediaSequence = step.first;
        p.ended = step.ended;
        for (int i = 0; i < step.count; ++i) {
            hls::Segment s;
            s.sequence = step.first + i;
            p.segments << s;
        }
        QList<qint64> fetched;
        for (const hls::Segment &s : follower.loaded(p, step.atMs))
            fetched << s.sequence;
        QByteArray got = at + ": fetched";
        for (const qint64 n : fetched)
            got += ' ' + QByteArray::number(n);
        QVERIFY2(fetched == step.fetched, got.constData());
        QVERIFY2(follower.reloadDelayMs() == step.delayMs, (at + ": reload in " + QByteArray::number(follower.reloadDelayMs())).constData());
    }
}

QTEST_APPLESS_MAIN(TestHlsPlaylist)
#include "tst_hlsplaylist.moc"
