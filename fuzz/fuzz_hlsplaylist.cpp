// The reader of live video playlists: whatever the text, a playlist or one of the known
// reasons comes out, every entry kept is a whole http(s) address within its limits, the same
// text with CRLF reads the same, the variant chosen is one that fits, and a live playlist
// followed through windows of its segments hands each out once, in order, never more than
// the newest when far behind.
//
// Input: the playlist's text.
#include "fuzzcheck.h"

#include "core/http/hlsplaylist.h"

#include <QSet>

#include <cmath>

namespace {

const QUrl Base("http://127.0.0.1:8080/cams/live.m3u8");

bool wholeAddress(const QString &uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        && url.toString(QUrl::FullyEncoded) == uri;
}

bool same(const hls::Playlist &a, const hls::Playlist &b)
{
    if (a.kind != b.kind || a.variants.size() != b.variants.size() || a.segments.size() != b.segments.size()
        || a.targetDurationSeconds != b.targetDurationSeconds || a.mediaSequence != b.mediaSequence || a.ended != b.ended)
        return false;
    for (qsizetype i = 0; i < a.variants.size(); ++i) {
        const hls::Variant &x = a.variants[i];
        const hls::Variant &y = b.variants[i];
        if (x.uri != y.uri || x.bandwidth != y.bandwidth || x.resolution != y.resolution || x.codecs != y.codecs)
            return false;
    }
    for (qsizetype i = 0; i < a.segments.size(); ++i) {
        const hls::Segment &x = a.segments[i];
        const hls::Segment &y = b.segments[i];
        if (x.uri != y.uri || x.durationSeconds != y.durationSeconds || x.sequence != y.sequence
            || x.discontinuity != y.discontinuity || x.key.method != y.key.method || x.key.uri != y.key.uri
            || x.key.iv != y.key.iv)
            return false;
    }
    return true;
}

void checkMaster(const hls::Playlist &p)
{
    FUZZ_CHECK(!p.variants.isEmpty() && p.variants.size() <= hls::EntriesAtMost);
    FUZZ_CHECK(p.segments.isEmpty());
    for (const hls::Variant &v : p.variants) {
        FUZZ_CHECK(wholeAddress(v.uri));
        FUZZ_CHECK(v.bandwidth >= 0);
        FUZZ_CHECK(v.resolution.isEmpty() || (v.resolution.width() > 0 && v.resolution.height() > 0));
    }
    for (const QSize view : {QSize(160, 90), QSize(1280, 720), QSize(3840, 2160), QSize()}) {
        const int chosen = hls::chooseVariant(p.variants, view);
        FUZZ_CHECK(chosen >= 0 && chosen < p.variants.size());
        const QSize got = p.variants[chosen].resolution;
        const auto fits = [&](const QSize &s) { return !s.isEmpty() && s.width() >= view.width() && s.height() >= view.height(); };
        const auto area = [](const QSize &s) { return qint64(s.width()) * s.height(); };
        bool anyFits = false;
        bool anySized = false;
        for (const hls::Variant &v : p.variants) {
            anyFits = anyFits || fits(v.resolution);
            anySized = anySized || !v.resolution.isEmpty();
        }
        // Nothing that fits is smaller than the one chosen; when nothing fits, none is larger.
        for (const hls::Variant &v : p.variants) {
            if (anyFits && fits(v.resolution))
                FUZZ_CHECK(area(v.resolution) >= area(got));
            if (!anyFits && !v.resolution.isEmpty())
                FUZZ_CHECK(area(v.resolution) <= area(got));
        }
        FUZZ_CHECK(fits(got) == anyFits);
        FUZZ_CHECK(got.isEmpty() == !anySized);
    }
}

void checkMedia(const hls::Playlist &p)
{
    FUZZ_CHECK(p.variants.isEmpty());
    FUZZ_CHECK(p.targetDurationSeconds > 0 && std::isfinite(p.targetDurationSeconds));
    FUZZ_CHECK(p.segments.size() <= hls::EntriesAtMost);
    qint64 next = p.mediaSequence;
    for (const hls::Segment &s : p.segments) {
        FUZZ_CHECK(wholeAddress(s.uri));
        FUZZ_CHECK(s.sequence >= next);
        next = s.sequence + 1;
        FUZZ_CHECK(s.durationSeconds >= 0 && std::isfinite(s.durationSeconds));
        if (s.key.method == hls::Key::Method::Aes128)
            FUZZ_CHECK(wholeAddress(s.key.uri));
        if (s.key.iv)
            FUZZ_CHECK(s.key.iv->size() == 16);
    }
}

// Follows the playlist as a live one whose window of `window` segments moves by `step`.
void follow(const hls::Playlist &p, int window, int step)
{
    hls::LiveFollower follower;
    hls::Playlist live = p;
    live.ended = false;
    QSet<qint64> handed;
    std::optional<qint64> last;
    qint64 now = 0;
    for (qsizetype from = 0; from < p.segments.size(); from += step) {
        live.segments = p.segments.mid(from, window);
        const QList<hls::Segment> fetched = follower.loaded(live, now);
        FUZZ_CHECK(fetched.size() <= hls::LiveFollower::MaxBehind);
        const qint64 newest = live.segments.isEmpty() ? -1 : live.segments.last().sequence;
        const bool farBehind = last && newest - *last > hls::LiveFollower::MaxBehind;
        if (!last || farBehind)
            FUZZ_CHECK(fetched.size() == (live.segments.isEmpty() ? 0 : 1));
        for (const hls::Segment &s : fetched) {
            FUZZ_CHECK(!handed.contains(s.sequence));
            FUZZ_CHECK(!last || s.sequence > *last);
            handed.insert(s.sequence);
            last = s.sequence;
        }
        if (!fetched.isEmpty())
            FUZZ_CHECK(fetched.last().sequence == newest);
        const int delay = follower.reloadDelayMs();
        FUZZ_CHECK(delay >= 100 && delay <= 3600 * 1000);
        now += delay;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = fuzz::bytes(data, size);
    const hls::Parsed parsed = hls::parsePlaylist(text, Base);
    FUZZ_CHECK(parsed.playlist.has_value() == parsed.error.isEmpty());
    static const QStringList reasons{hls::NotAPlaylist, hls::PlaylistDamaged, hls::PlaylistTooLarge,
                                     hls::PlaylistLineTooLong, hls::NoVideo, hls::PlaylistNotSupported};
    if (!parsed.playlist) {
        FUZZ_CHECK(reasons.contains(parsed.error));
    } else if (parsed.playlist->kind == hls::Playlist::Kind::Master) {
        checkMaster(*parsed.playlist);
    } else {
        checkMedia(*parsed.playlist);
        const int window = 1 + (size ? data[0] % 8 : 0);
        follow(*parsed.playlist, window, 1 + (size > 1 ? data[1] % window : 0));
    }

    // Line ends do not matter.
    if (!text.contains('\r')) {
        QByteArray crlf = text;
        crlf.replace("\n", "\r\n");
        const hls::Parsed again = hls::parsePlaylist(crlf, Base);
        FUZZ_CHECK(again.error == parsed.error);
        if (parsed.playlist)
            FUZZ_CHECK(same(*parsed.playlist, *again.playlist));
    }
    return 0;
}
