#pragma once
// HTTP Live Streaming playlists: what a viewer of live cams needs of them.
//
// parsePlaylist() reads a master playlist (variants, EXT-X-STREAM-INF) or a media playlist
// (segments: EXTINF, EXT-X-TARGETDURATION, EXT-X-MEDIA-SEQUENCE, EXT-X-KEY,
// EXT-X-DISCONTINUITY, EXT-X-ENDLIST); other tags are passed over. The text is a server's and
// never trusted: the first line must be #EXTM3U (after an optional byte order mark), lines
// end in LF or CRLF, a text over PlaylistMaxBytes, a line over LineMaxBytes, more than
// EntriesAtMost variants or segments, or numbers out of their range make it refused with a
// short reason; URIs resolve against the playlist's own address, and only http and https
// ones are kept (an entry with another is passed over).
//
// chooseVariant() picks the variant for a view's size; LiveFollower follows a live media
// playlist from one load to the next (which segments to fetch, when to load again, when the
// playlist has stalled). Times are the caller's monotonic milliseconds.
#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>
#include <QUrl>

#include <optional>

namespace hls {

inline constexpr qint64 PlaylistMaxBytes = 1024 * 1024;
inline constexpr qint64 SegmentMaxBytes = 32 * 1024 * 1024;
inline constexpr qint64 KeyMaxBytes = 4 * 1024;
inline constexpr int LineMaxBytes = 8 * 1024;
inline constexpr int EntriesAtMost = 4096;

struct Variant
{
    QString uri; // resolved
    qint64 bandwidth = 0;
    QSize resolution; // empty when the playlist gives none
    QString codecs;
};

struct Key
{
    enum class Method { None, Aes128, Unsupported };
    Method method = Method::None;
    QString uri;                  // resolved
    std::optional<QByteArray> iv; // 16 bytes, when the playlist gives them
};

struct Segment
{
    QString uri; // resolved
    double durationSeconds = 0;
    qint64 sequence = 0; // its media sequence number
    Key key;
    bool discontinuity = false; // EXT-X-DISCONTINUITY before it
};

struct Playlist
{
    enum class Kind { Master, Media };
    Kind kind = Kind::Media;
    QList<Variant> variants;          // of a master playlist
    double targetDurationSeconds = 0; // of a media playlist, and:
    qint64 mediaSequence = 0;
    QList<Segment> segments;
    bool ended = false; // EXT-X-ENDLIST
};

struct Parsed
{
    std::optional<Playlist> playlist;
    QString error; // when refused: a short reason a user may read
};

// base: the address the playlist came from.
Parsed parsePlaylist(const QByteArray &text, const QUrl &base);

// The variant to play in a view of this many device pixels: of those with a resolution, the
// smallest (by area, then bandwidth) at least as large as the view on both sides, else the
// largest; variants without a resolution count only when none has one, by the lowest
// bandwidth. -1 for no variants.
int chooseVariant(const QList<Variant> &variants, const QSize &viewPixels);

class LiveFollower
{
public:
    // More new segments than this at one load: the viewer fell behind, and only the newest
    // is fetched, so that the delay never grows.
    static constexpr int MaxBehind = 3;

    // A load of the media playlist at nowMs: the segments to fetch now, in order. At the
    // first load the newest only (the quickest start); later those after the last one handed
    // out (the newest only when more than MaxBehind). A playlist whose media sequence went
    // back, or whose segments all lie beyond the next one expected by more than its window,
    // is followed afresh.
    QList<Segment> loaded(const Playlist &media, qint64 nowMs);
    // Not advanced (no new segment) for three target durations since it last did, or since
    // the first load; an ended playlist never is.
    bool stalled(qint64 nowMs) const;
    // When to load the playlist again after the last load: the target duration after one that
    // brought a new segment, half of it after one that did not; never below 100 ms.
    int reloadDelayMs() const;
    void reset() { *this = LiveFollower(); }

private:
    std::optional<qint64> m_lastSequence; // handed out last
    qint64 m_advancedMs = 0;
    double m_targetSeconds = 0;
    bool m_advanced = false;
    bool m_ended = false;
};

} // namespace hls
