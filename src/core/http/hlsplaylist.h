#pragma once
// HTTP Live Streaming playlists: what a viewer of live cams needs of them.
//
// parsePlaylist() reads a master playlist (variants, EXT-X-STREAM-INF) or a media playlist
// (segments: EXTINF, EXT-X-TARGETDURATION, EXT-X-MEDIA-SEQUENCE, EXT-X-KEY,
// EXT-X-DISCONTINUITY, EXT-X-ENDLIST); other tags are passed over. The text is a server's and
// never trusted: the first line must be #EXTM3U (after an optional byte order mark), lines
// end in LF or CRLF, a text over PlaylistMaxBytes, a line over LineMaxBytes, more than
// EntriesAtMost variants, numbers out of their range or a damaged attribute list make it
// refused with one of the reasons below. Of more than EntriesAtMost segments the newest are
// kept. URIs resolve against the playlist's own address and come fully encoded, as they go on
// the wire; only http and https ones are kept, and a variant whose CODECS are all sound ones
// is passed over too (an entry passed over still takes its media sequence number). Nothing
// left of entries that were there is NoVideo; segments that are byte ranges of a file or
// need an initialisation section (EXT-X-BYTERANGE, EXT-X-MAP) are PlaylistNotSupported.
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

// Why a playlist is refused, as a user reads it.
inline const QString NotAPlaylist = QStringLiteral("Not a playlist");
inline const QString PlaylistDamaged = QStringLiteral("Playlist damaged");
inline const QString PlaylistTooLarge = QStringLiteral("Playlist too large");
inline const QString PlaylistLineTooLong = QStringLiteral("Playlist line too long");
inline const QString NoVideo = QStringLiteral("No video in the playlist");
inline const QString PlaylistNotSupported = QStringLiteral("Playlist form not supported");

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
    // 16 bytes, when the playlist gives them; without, an AES-128 segment's IV is its media
    // sequence number (big-endian, in the last 8 bytes).
    std::optional<QByteArray> iv;
};
// Unsupported: a method other than NONE and AES-128, a KEYFORMAT other than "identity", or a
// key address that is not http or https. A key other than NONE without URI, or an IV that is
// not 0x and up to 32 hex digits, makes the playlist PlaylistDamaged.

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
    qint64 mediaSequence = 0;         // the number of its first segment, kept or not
    QList<Segment> segments;          // none yet is a valid live playlist
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
    // out; the newest only when more than MaxBehind came since (counted by media sequence
    // numbers, listed or not). A playlist whose newest segment is older than the last handed
    // out by a whole window (its segment count) or more started over, and is followed afresh;
    // one less behind is a stale copy (a cache's) and brings nothing.
    QList<Segment> loaded(const Playlist &media, qint64 nowMs);
    // Not advanced (no new segment) for more than three target durations since it last did,
    // or since the first load (even one that listed nothing); an ended playlist never is.
    bool stalled(qint64 nowMs) const;
    // When to load the playlist again after the last load: the target duration after one that
    // brought a new segment, half of it after one that did not; never below 100 ms.
    int reloadDelayMs() const;
    void reset() { *this = LiveFollower(); }

private:
    std::optional<qint64> m_lastSequence; // handed out last
    bool m_loaded = false;
    qint64 m_advancedMs = 0;
    double m_targetSeconds = 0;
    bool m_advanced = false;
    bool m_ended = false;
};

} // namespace hls
