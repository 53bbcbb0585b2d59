#include "core/http/hlsplaylist.h"

#include <QHash>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace hls {

namespace {

// Durations beyond a day, sequence numbers beyond 2^53, bandwidths beyond 1 Tbit/s are no
// playlist's.
constexpr double SecondsAtMost = 86400;
constexpr qint64 SequenceAtMost = qint64(1) << 53;
constexpr qint64 BandwidthAtMost = qint64(1) << 40;
constexpr int SideAtMost = 16384;

// An attribute list: NAME=value pairs split at commas outside quotes; quoted values lose
// their quotes. nullopt for a list that is none.
std::optional<QHash<QByteArray, QByteArray>> attributes(const QByteArray &list)
{
    QHash<QByteArray, QByteArray> out;
    int at = 0;
    const int n = int(list.size());
    while (at < n) {
        const int equals = int(list.indexOf('=', at));
        if (equals <= at)
            return std::nullopt;
        const QByteArray name = list.mid(at, equals - at).trimmed();
        at = equals + 1;
        QByteArray value;
        if (at < n && list[at] == '"') {
            const int close = int(list.indexOf('"', at + 1));
            if (close < 0)
                return std::nullopt;
            value = list.mid(at + 1, close - at - 1);
            at = close + 1;
        } else {
            const int comma = int(list.indexOf(',', at));
            const int end = comma < 0 ? n : comma;
            value = list.mid(at, end - at).trimmed();
            at = end;
        }
        if (at < n && list[at] != ',')
            return std::nullopt;
        ++at;
        out.insert(name, value);
    }
    return out;
}

std::optional<qint64> wholeNumber(const QByteArray &text, qint64 atMost)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value < 0 || value > atMost)
        return std::nullopt;
    return value;
}

std::optional<double> seconds(const QByteArray &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > SecondsAtMost)
        return std::nullopt;
    return value;
}

std::optional<QSize> resolution(const QByteArray &text)
{
    const QList<QByteArray> sides = text.toLower().split('x');
    if (sides.size() != 2)
        return std::nullopt;
    const std::optional<qint64> width = wholeNumber(sides[0], SideAtMost);
    const std::optional<qint64> height = wholeNumber(sides[1], SideAtMost);
    if (!width || !height || *width == 0 || *height == 0)
        return std::nullopt;
    return QSize(int(*width), int(*height));
}

// The URI resolved against the playlist's address, encoded as it goes on the wire (a
// decoded form would not survive a downloader that takes it as it is); empty unless http or
// https.
QString resolved(const QUrl &base, const QByteArray &uri)
{
    const QUrl url = base.resolved(QUrl(QString::fromUtf8(uri.trimmed())));
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QString();
    return url.toString(QUrl::FullyEncoded);
}

// A variant whose codecs are all sound ones has no picture to show.
bool audioOnly(const QByteArray &codecs)
{
    static const QByteArrayList sound{"mp4a", "ac-3", "ec-3", "ac-4", "opus", "flac", "alac", "mp3"};
    bool any = false;
    for (const QByteArray &codec : codecs.split(',')) {
        const QByteArray name = codec.trimmed().toLower();
        if (name.isEmpty())
            continue;
        any = true;
        const qsizetype dot = name.indexOf('.');
        const QByteArray family = dot < 0 ? name : name.first(dot);
        if (!sound.contains(family))
            return false;
    }
    return any;
}

bool hexDigits(const QByteArray &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(uchar(c)); });
}

std::optional<Key> key(const QByteArray &list, const QUrl &base)
{
    const auto attrs = attributes(list);
    if (!attrs)
        return std::nullopt;
    Key k;
    const QByteArray method = attrs->value("METHOD");
    if (method == "NONE")
        return k;
    k.method = method == "AES-128" ? Key::Method::Aes128 : Key::Method::Unsupported;
    // Another format than the plain key file is no key this reader knows how to use.
    const QByteArray format = attrs->value("KEYFORMAT", "identity");
    if (format != "identity")
        k.method = Key::Method::Unsupported;
    // Without its address no segment under the key can be read.
    if (!attrs->contains("URI"))
        return std::nullopt;
    k.uri = resolved(base, attrs->value("URI"));
    if (k.uri.isEmpty())
        k.method = Key::Method::Unsupported;
    const QByteArray iv = attrs->value("IV");
    if (attrs->contains("IV")) {
        // Fewer digits are the number with its leading zeros left out.
        if (!(iv.startsWith("0x") || iv.startsWith("0X")) || iv.size() > 2 + 32 || !hexDigits(iv.mid(2)))
            return std::nullopt;
        QByteArray bytes = QByteArray::fromHex(iv.mid(2).rightJustified(32, '0'));
        if (bytes.size() != 16)
            return std::nullopt;
        k.iv = bytes;
    }
    return k;
}

Parsed refused(const QString &reason)
{
    return Parsed{std::nullopt, reason};
}

} // namespace

Parsed parsePlaylist(const QByteArray &text, const QUrl &base)
{
    if (text.size() > PlaylistMaxBytes)
        return refused(PlaylistTooLarge);
    QByteArrayView rest(text);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    Playlist playlist;
    bool first = true;
    bool master = false;
    bool targetGiven = false;
    std::optional<QHash<QByteArray, QByteArray>> streamInf; // waiting for its URI line
    double duration = -1; // of an EXTINF waiting for its URI line; negative: none
    bool discontinuity = false;
    Key currentKey;
    qint64 sequence = 0;
    bool segmentSeen = false; // kept or passed over
    while (!rest.isEmpty()) {
        const qsizetype newline = rest.indexOf('\n');
        QByteArrayView line = newline < 0 ? rest : rest.first(newline);
        rest = newline < 0 ? QByteArrayView() : rest.sliced(newline + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > LineMaxBytes)
            return refused(PlaylistLineTooLong);
        const QByteArray l = line.toByteArray().trimmed();
        if (first) {
            if (l != "#EXTM3U")
                return refused(NotAPlaylist);
            first = false;
            continue;
        }
        if (l.isEmpty())
            continue;
        if (l.startsWith('#')) {
            if (l.startsWith("#EXT-X-STREAM-INF:")) {
                streamInf = attributes(l.mid(18));
                if (!streamInf)
                    return refused(PlaylistDamaged);
                master = true;
            } else if (l.startsWith("#EXTINF:")) {
                const QByteArray value = l.mid(8).split(',').value(0);
                const std::optional<double> given = seconds(value);
                if (!given)
                    return refused(PlaylistDamaged);
                duration = *given;
            } else if (l.startsWith("#EXT-X-TARGETDURATION:")) {
                const std::optional<double> target = seconds(l.mid(22));
                if (!target || *target <= 0)
                    return refused(PlaylistDamaged);
                playlist.targetDurationSeconds = *target;
                targetGiven = true;
            } else if (l.startsWith("#EXT-X-MEDIA-SEQUENCE:")) {
                const std::optional<qint64> value = wholeNumber(l.mid(22), SequenceAtMost);
                if (!value)
                    return refused(PlaylistDamaged);
                // Only before the first segment: later it would number segments twice.
                if (!segmentSeen) {
                    playlist.mediaSequence = *value;
                    sequence = *value;
                }
            } else if (l.startsWith("#EXT-X-KEY:")) {
                const std::optional<Key> k = key(l.mid(11), base);
                if (!k)
                    return refused(PlaylistDamaged);
                currentKey = *k;
            } else if (l == "#EXT-X-DISCONTINUITY") {
                discontinuity = true;
            } else if (l == "#EXT-X-ENDLIST") {
                playlist.ended = true;
            } else if (l.startsWith("#EXT-X-BYTERANGE:") || l.startsWith("#EXT-X-MAP:")) {
                // Segments that are parts of a file, or that need a header from elsewhere:
                // fetched by their address alone they would not play.
                return refused(PlaylistNotSupported);
            }
            continue;
        }
        // A URI line: the entry its tags began.
        const QString uri = resolved(base, l);
        if (streamInf) {
            Variant v;
            v.uri = uri;
            v.bandwidth = wholeNumber(streamInf->value("BANDWIDTH"), BandwidthAtMost).value_or(0);
            v.resolution = resolution(streamInf->value("RESOLUTION")).value_or(QSize());
            v.codecs = QString::fromUtf8(streamInf->value("CODECS"));
            const bool sound = audioOnly(streamInf->value("CODECS"));
            streamInf.reset();
            if (!uri.isEmpty() && !sound) {
                if (playlist.variants.size() >= EntriesAtMost)
                    return refused(PlaylistTooLarge);
                playlist.variants.append(v);
            }
        } else if (duration >= 0) {
            Segment s;
            s.uri = uri;
            s.durationSeconds = duration;
            s.sequence = sequence;
            s.key = currentKey;
            s.discontinuity = discontinuity;
            duration = -1;
            segmentSeen = true;
            if (sequence >= SequenceAtMost)
                return refused(PlaylistDamaged);
            ++sequence;
            // A cut before a segment passed over is one before the next one kept.
            if (!uri.isEmpty()) {
                discontinuity = false;
                // A long event keeps its newest segments, the ones a live view plays.
                if (playlist.segments.size() >= EntriesAtMost)
                    playlist.segments.removeFirst();
                playlist.segments.append(s);
            }
        }
    }
    if (first)
        return refused(NotAPlaylist);
    if (master) {
        if (playlist.variants.isEmpty())
            return refused(NoVideo);
        playlist.kind = Playlist::Kind::Master;
        playlist.segments.clear();
        return Parsed{playlist, QString()};
    }
    if (!targetGiven)
        return refused(PlaylistDamaged);
    if (segmentSeen && playlist.segments.isEmpty())
        return refused(NoVideo);
    playlist.kind = Playlist::Kind::Media;
    return Parsed{playlist, QString()};
}

int chooseVariant(const QList<Variant> &variants, const QSize &viewPixels)
{
    if (variants.isEmpty())
        return -1;
    const auto area = [](const QSize &s) { return qint64(s.width()) * s.height(); };
    int best = -1;
    int largest = -1;
    for (int i = 0; i < variants.size(); ++i) {
        const Variant &v = variants[i];
        if (v.resolution.isEmpty())
            continue;
        const auto smaller = [&](int other) {
            const Variant &o = variants[other];
            return area(v.resolution) < area(o.resolution)
                || (area(v.resolution) == area(o.resolution) && v.bandwidth < o.bandwidth);
        };
        if (largest < 0 || !smaller(largest))
            largest = i;
        const bool enough = v.resolution.width() >= viewPixels.width() && v.resolution.height() >= viewPixels.height();
        if (enough && (best < 0 || smaller(best)))
            best = i;
    }
    if (best >= 0)
        return best;
    if (largest >= 0)
        return largest;
    int lowest = 0;
    for (int i = 1; i < variants.size(); ++i)
        if (variants[i].bandwidth < variants[lowest].bandwidth)
            lowest = i;
    return lowest;
}

QList<Segment> LiveFollower::loaded(const Playlist &media, qint64 nowMs)
{
    m_targetSeconds = media.targetDurationSeconds;
    m_ended = media.ended;
    // Counted from the first load even when it lists nothing yet, or an empty playlist would
    // never stall.
    if (!m_loaded)
        m_advancedMs = nowMs;
    m_loaded = true;
    m_advanced = false;
    if (media.segments.isEmpty())
        return {};
    const qint64 newest = media.segments.last().sequence;
    // Gone back further than a window: the stream started over. A copy of the playlist a
    // little behind (a cache's) brings nothing new.
    if (m_lastSequence && newest + media.segments.size() <= *m_lastSequence)
        m_lastSequence.reset();
    QList<Segment> fresh;
    // Behind by the numbers, not by what is still listed: a short window may no longer list
    // all that came since the last load.
    if (!m_lastSequence || newest - *m_lastSequence > MaxBehind) {
        fresh.append(media.segments.last());
    } else {
        for (const Segment &s : media.segments)
            if (s.sequence > *m_lastSequence)
                fresh.append(s);
    }
    if (!fresh.isEmpty()) {
        m_lastSequence = fresh.last().sequence;
        m_advancedMs = nowMs;
        m_advanced = true;
    }
    return fresh;
}

bool LiveFollower::stalled(qint64 nowMs) const
{
    if (m_ended || m_targetSeconds <= 0)
        return false;
    return double(nowMs - m_advancedMs) > 3 * 1000 * m_targetSeconds;
}

int LiveFollower::reloadDelayMs() const
{
    const double ms = 1000 * m_targetSeconds * (m_advanced ? 1.0 : 0.5);
    return int(std::clamp(ms, 100.0, 3600.0 * 1000));
}

} // namespace hls
