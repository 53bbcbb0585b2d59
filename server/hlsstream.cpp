#include "hlsstream.h"

#include "serverstate.h"

#include <QDateTime>
#include <QImage>

#include <libyuv.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <tuple>

namespace hls {
namespace {

// The lowest level whose macroblock rate, frame size and bit rate take the variant at 25
// frames a second (Baseline rates).
int levelFor(QSize size, std::int64_t bandwidth)
{
    struct Level { int idc; std::int64_t macroblocksPerSecond, frameMacroblocks, kilobitsPerSecond; };
    static const Level levels[] = {{10, 1485, 99, 64},         {11, 3000, 396, 192},     {12, 6000, 396, 384},
                                   {13, 11880, 396, 768},      {20, 11880, 396, 2000},   {21, 19800, 792, 4000},
                                   {22, 20250, 1620, 4000},    {30, 40500, 1620, 10000}, {31, 108000, 3600, 14000},
                                   {32, 216000, 5120, 20000},  {40, 245760, 8192, 20000}};
    const std::int64_t frame = std::int64_t((size.width() + 15) / 16) * ((size.height() + 15) / 16);
    for (const Level &l : levels)
        if (frame <= l.frameMacroblocks && frame * kFramesPerSecond <= l.macroblocksPerSecond
            && bandwidth <= l.kilobitsPerSecond * 1000)
            return l.idc;
    return 40;
}

Variant variantOf(QSize size)
{
    Variant v;
    v.size = size;
    // Two bits a pixel a second is ample for a still scene with a moving bar; the encoder is
    // held to most of it, the rest is the transport stream's own.
    v.bandwidth = std::max<std::int64_t>(200000, std::int64_t(size.width()) * size.height() * 2);
    v.level = levelFor(size, v.bandwidth);
    return v;
}

// The moving bar: a stripe just above the caption band, one twenty-fifth of the width, one
// step further on each frame. Even coordinates, so the colour planes cover it exactly.
struct Bar {
    int top, height, width;
    int left(int frame, int pictureWidth) const { return (frame * pictureWidth / kFramesPerSecond) & ~1; }
};

Bar barOf(QSize size)
{
    const int pixelSize = std::max(10, std::min(size.width(), size.height()) / 20); // the caption's, as drawn
    Bar bar;
    bar.height = std::max(2, size.height() / 90) & ~1;
    bar.top = std::max(0, size.height() - 2 * pixelSize - 2 * bar.height) & ~1;
    bar.width = std::max(2, size.width() / kFramesPerSecond) & ~1;
    return bar;
}

struct Planes {
    int width = 0, height = 0;
    std::vector<std::uint8_t> y, u, v;
};

Planes toI420(const QImage &picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    Planes p;
    p.width = rgb.width();
    p.height = rgb.height();
    p.y.resize(size_t(p.width) * p.height);
    p.u.resize(size_t(p.width / 2) * (p.height / 2));
    p.v.resize(p.u.size());
    // Format_RGB32 is B, G, R, X in memory: libyuv's "ARGB".
    libyuv::ARGBToI420(rgb.constBits(), int(rgb.bytesPerLine()), p.y.data(), p.width, p.u.data(), p.width / 2,
                       p.v.data(), p.width / 2, p.width, p.height);
    return p;
}

// Copies rows [top, top + rows) of the scene's planes into the frame (all of them for rows < 0).
void copyRows(const Planes &scene, AVFrame *frame, int top, int rows)
{
    if (rows < 0) {
        top = 0;
        rows = scene.height;
    }
    for (int r = top; r < top + rows; ++r)
        std::memcpy(frame->data[0] + std::ptrdiff_t(r) * frame->linesize[0], scene.y.data() + size_t(r) * scene.width,
                    size_t(scene.width));
    for (int r = top / 2; r < (top + rows) / 2; ++r) {
        std::memcpy(frame->data[1] + std::ptrdiff_t(r) * frame->linesize[1],
                    scene.u.data() + size_t(r) * (scene.width / 2), size_t(scene.width / 2));
        std::memcpy(frame->data[2] + std::ptrdiff_t(r) * frame->linesize[2],
                    scene.v.data() + size_t(r) * (scene.width / 2), size_t(scene.width / 2));
    }
}

void drawBar(AVFrame *frame, const Bar &bar, int left)
{
    for (int r = bar.top; r < bar.top + bar.height; ++r)
        std::memset(frame->data[0] + std::ptrdiff_t(r) * frame->linesize[0] + left, 235, size_t(bar.width));
    for (int r = bar.top / 2; r < (bar.top + bar.height) / 2; ++r)
        for (int plane = 1; plane <= 2; ++plane)
            std::memset(frame->data[plane] + std::ptrdiff_t(r) * frame->linesize[plane] + left / 2, 128,
                        size_t(bar.width / 2));
}

int appendBytes(void *opaque, std::uint8_t *data, int size)
{
    static_cast<std::string *>(opaque)->append(reinterpret_cast<const char *>(data), size_t(size));
    return size;
}

struct Encoding {
    AVCodecContext *codec = nullptr;
    AVFormatContext *format = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *packet = nullptr;
    ~Encoding()
    {
        if (format) {
            if (format->pb) {
                av_freep(&format->pb->buffer);
                avio_context_free(&format->pb);
            }
            avformat_free_context(format);
        }
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
    }
};

// Writes every packet the encoder has ready; false on an error.
bool drain(Encoding &e, AVStream *stream)
{
    for (;;) {
        const int got = avcodec_receive_packet(e.codec, e.packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return true;
        if (got < 0)
            return false;
        av_packet_rescale_ts(e.packet, e.codec->time_base, stream->time_base);
        e.packet->stream_index = stream->index;
        if (av_interleaved_write_frame(e.format, e.packet) < 0)
            return false;
    }
}

std::shared_ptr<const std::string> encode(const QImage &picture, const Variant &variant, std::int64_t number)
{
    const AVCodec *h264 = avcodec_find_encoder_by_name("libx264");
    if (!h264)
        return nullptr;
    Encoding e;
    e.codec = avcodec_alloc_context3(h264);
    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    if (!e.codec || !e.frame || !e.packet)
        return nullptr;
    const int w = variant.size.width(), h = variant.size.height();
    e.codec->width = w;
    e.codec->height = h;
    e.codec->pix_fmt = AV_PIX_FMT_YUV420P;
    e.codec->time_base = AVRational {1, kFramesPerSecond};
    e.codec->framerate = AVRational {kFramesPerSecond, 1};
    e.codec->gop_size = kFramesPerSecond;
    e.codec->keyint_min = kFramesPerSecond;
    e.codec->max_b_frames = 0;
    e.codec->rc_max_rate = variant.bandwidth * 8 / 10;
    e.codec->rc_buffer_size = int(e.codec->rc_max_rate);
    e.codec->thread_count = 1; // segments of several variants and cams encode side by side instead
    char level[24];
    std::snprintf(level, sizeof level, "%d.%d", variant.level / 10, variant.level % 10);
    av_opt_set(e.codec->priv_data, "preset", "ultrafast", 0);
    av_opt_set(e.codec->priv_data, "tune", "zerolatency", 0);
    av_opt_set(e.codec->priv_data, "profile", "baseline", 0);
    av_opt_set(e.codec->priv_data, "level", level, 0);
    av_opt_set(e.codec->priv_data, "x264-params", "scenecut=0:log=-1", 0);
    if (avcodec_open2(e.codec, h264, nullptr) < 0)
        return nullptr;

    auto bytes = std::make_shared<std::string>();
    if (avformat_alloc_output_context2(&e.format, nullptr, "mpegts", nullptr) < 0)
        return nullptr;
    constexpr int kBufferSize = 64 * 1024;
    auto *buffer = static_cast<std::uint8_t *>(av_malloc(kBufferSize));
    e.format->pb = buffer ? avio_alloc_context(buffer, kBufferSize, 1, bytes.get(), nullptr, appendBytes, nullptr) : nullptr;
    if (!e.format->pb) {
        av_free(buffer);
        return nullptr;
    }
    e.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVStream *stream = avformat_new_stream(e.format, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, e.codec) < 0)
        return nullptr;
    stream->time_base = AVRational {1, 90000};
    // Each segment's continuity counters start afresh: its first packets say so, or a
    // client reading segment after segment takes the seam for lost packets.
    AVDictionary *muxing = nullptr;
    av_dict_set(&muxing, "mpegts_flags", "+initial_discontinuity", 0);
    const int header = avformat_write_header(e.format, &muxing);
    av_dict_free(&muxing);
    if (header < 0)
        return nullptr;

    const Planes scene = toI420(picture);
    const Bar bar = barOf(variant.size);
    e.frame->format = AV_PIX_FMT_YUV420P;
    e.frame->width = w;
    e.frame->height = h;
    if (av_frame_get_buffer(e.frame, 0) < 0)
        return nullptr;
    const std::uint8_t *filled = nullptr; // the buffer that holds the scene already
    for (int i = 0; i < kFramesPerSecond; ++i) {
        if (av_frame_make_writable(e.frame) < 0)
            return nullptr;
        // Only the stripe changes from frame to frame, unless the encoder kept the buffer.
        copyRows(scene, e.frame, bar.top, e.frame->data[0] == filled ? bar.height : -1);
        filled = e.frame->data[0];
        drawBar(e.frame, bar, bar.left(i, w));
        // Timestamps run on from segment to segment, so the stream plays on across them.
        e.frame->pts = number * kFramesPerSecond + i;
        e.frame->pict_type = i == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(e.codec, e.frame) < 0 || !drain(e, stream))
            return nullptr;
    }
    if (avcodec_send_frame(e.codec, nullptr) < 0 || !drain(e, stream) || av_write_trailer(e.format) < 0)
        return nullptr;
    avio_flush(e.format->pb);
    return bytes;
}

struct SegmentKey {
    QString camId;
    int width, height;
    std::int64_t number;
    bool operator<(const SegmentKey &o) const
    {
        return std::tie(number, camId, width, height) < std::tie(o.number, o.camId, o.width, o.height);
    }
};

using Encoded = std::shared_ptr<const std::string>;
std::mutex g_cacheMutex;
std::map<SegmentKey, std::shared_future<Encoded>> g_cache; // oldest segments first

// Under g_cacheMutex: forgets segments that have left every window, and the oldest ones
// beyond a bound (many cams and sizes asked at once).
void trimCache()
{
    const std::int64_t oldest = newestSegment(WallClock::now()) - kWindowSegments - 1;
    constexpr size_t kMostKept = 48;
    while (!g_cache.empty() && (g_cache.begin()->first.number < oldest || g_cache.size() > kMostKept))
        g_cache.erase(g_cache.begin());
}

} // namespace

std::string Variant::codecs() const
{
    // Constrained Baseline (profile 66, constraint sets 0 and 1), as x264 writes it for
    // the baseline profile.
    char text[24];
    std::snprintf(text, sizeof text, "avc1.42C0%02X", level);
    return text;
}

std::vector<Variant> variants(QSize camSize)
{
    const QSize full(camSize.width() & ~1, camSize.height() & ~1);
    const QSize half((camSize.width() / 2) & ~1, (camSize.height() / 2) & ~1);
    std::vector<Variant> out {variantOf(full)};
    if (half.width() >= 16 && half.height() >= 16)
        out.push_back(variantOf(half));
    return out;
}

std::int64_t newestSegment(WallClock::time_point moment)
{
    return std::chrono::duration_cast<std::chrono::seconds>(moment.time_since_epoch()).count() - 1;
}

bool inWindow(std::int64_t segment, WallClock::time_point moment)
{
    const std::int64_t newest = newestSegment(moment);
    return segment <= newest && segment > newest - kWindowSegments;
}

std::string masterPlaylist(const std::vector<Variant> &variants)
{
    std::string text = "#EXTM3U\n#EXT-X-VERSION:3\n";
    for (const Variant &v : variants) {
        const std::string size = std::to_string(v.size.width()) + 'x' + std::to_string(v.size.height());
        text += "#EXT-X-STREAM-INF:BANDWIDTH=" + std::to_string(v.bandwidth) + ",RESOLUTION=" + size + ",CODECS=\""
            + v.codecs() + "\"\n" + size + "/index.m3u8\n";
    }
    return text;
}

std::string mediaPlaylist(std::int64_t newest)
{
    const std::int64_t first = newest - kWindowSegments + 1;
    std::string text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:" + std::to_string(first)
        + '\n';
    for (std::int64_t n = first; n <= newest; ++n)
        text += "#EXTINF:1.000,\nseg" + std::to_string(n) + ".ts\n";
    return text;
}

std::shared_ptr<const std::string> segment(const PictureRequest &scene, const Variant &variant, std::int64_t number)
{
    const SegmentKey key {scene.camId, variant.size.width(), variant.size.height(), number};
    std::promise<Encoded> promise;
    std::shared_future<Encoded> result;
    {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        const auto found = g_cache.find(key);
        if (found != g_cache.end())
            result = found->second;
        else
            g_cache.emplace(key, promise.get_future().share());
    }
    if (result.valid())
        return result.get();

    PictureRequest picture = scene;
    picture.size = variant.size;
    picture.transparentCorner = false;
    picture.frame = -1; // the still's looks: the bar is what moves
    const Options &options = serverState().options;
    picture.time = options.sceneTime.isValid() ? options.sceneTime : QDateTime::fromSecsSinceEpoch(number).time();
    const Encoded bytes = encode(serverState().renderer.render(picture), variant, number);
    promise.set_value(bytes);
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    if (!bytes)
        g_cache.erase(key); // the next request tries again
    trimCache();
    return bytes;
}

} // namespace hls
