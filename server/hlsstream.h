// A live HLS stream of a demo cam: a master playlist of two variants (the cam's size and half
// of it), each a live media playlist of the newest one-second MPEG-TS segments of H.264.
//
// Segment N covers [N s, N+1 s) of the Unix clock, so every request (and every server) agrees
// on what a playlist lists; a playlist lists the segments complete at the moment it is asked
// for. A segment is the scene of its first second, drawn once, with a bar that moves on every
// frame; 25 frames, a key frame first and no B-frames. It is encoded when first asked for and
// kept for a few seconds, so any number of clients asking for it at once cost one encode.
#pragma once

#include "picturerenderer.h"

#include <QSize>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hls {

inline constexpr int kFramesPerSecond = 25;
inline constexpr int kWindowSegments = 5; // the segments a media playlist lists
inline constexpr char kPlaylistType[] = "application/vnd.apple.mpegurl";
inline constexpr char kSegmentType[] = "video/mp2t";

struct Variant {
    QSize size;
    std::int64_t bandwidth = 0; // bits per second no second of the stream goes over
    int level = 0;              // H.264 level times ten
    std::string codecs() const; // "avc1.42C0LL"
};

// The variants of a cam of that size: its own size and half of it, both rounded down to even
// sides (4:2:0 pictures); one when the half would be too small to encode.
std::vector<Variant> variants(QSize camSize);

using WallClock = std::chrono::system_clock;
// The newest segment complete at that moment.
std::int64_t newestSegment(WallClock::time_point moment);
bool inWindow(std::int64_t segment, WallClock::time_point moment);

// The playlists' text; URIs relative to the playlist's own address.
std::string masterPlaylist(const std::vector<Variant> &variants);
std::string mediaPlaylist(std::int64_t newestSegment);

// The segment's MPEG-TS bytes for the scene (cam, caption, size of the variant); the time
// drawn is the segment's own. Null when the encoder cannot be opened. Blocks while another
// thread encodes the same segment, and shares its result.
std::shared_ptr<const std::string> segment(const PictureRequest &scene, const Variant &variant, std::int64_t number);

} // namespace hls
