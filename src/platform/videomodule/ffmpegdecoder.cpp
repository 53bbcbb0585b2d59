// The video module: VideoDecoder's work (videodecoder.h) done with FFmpeg's libraries.
#include "platform/videomodule/videomodule.h"

#include "core/rules/liverules.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include <QThread>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

using video_module::Picture;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int ReadBufferBytes = 64 * 1024;
// A frame later than this for its time sets the clock anew.
constexpr std::chrono::milliseconds LateAtMost(1000);
constexpr int DecoderThreadsAtMost = 2;

// What an opened address's failures say to the user.
const char *const ConnectionRefusedText = "Connection refused";
const char *const CredentialsRefusedText = "The cam refused the credentials (RTSP 401 Unauthorized)";
const char *const NoSuchStreamText = "The cam has no such stream (RTSP 404 Not Found)";
const char *const SessionEndedText = "The cam's server ended the session";
const char *const UnreachableText = "The cam cannot be reached";

QString noVideoFor(int timeoutMs)
{
    return QStringLiteral("No video for %1 seconds").arg((timeoutMs + 999) / 1000);
}

// Why opening an address, or reading from it, failed.
QString networkFailure(int error, int timeoutMs, bool opened)
{
    if (error == AVERROR(ETIMEDOUT))
        return noVideoFor(timeoutMs);
    if (error == AVERROR(ECONNREFUSED))
        return QString::fromLatin1(ConnectionRefusedText);
    if (error == AVERROR_HTTP_UNAUTHORIZED)
        return QString::fromLatin1(CredentialsRefusedText);
    if (error == AVERROR_HTTP_NOT_FOUND)
        return QString::fromLatin1(NoSuchStreamText);
    return QString::fromLatin1(opened ? SessionEndedText : UnreachableText);
}

struct FormatCloser
{
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};
struct InputCloser
{
    void operator()(AVIOContext *io) const
    {
        if (io)
            av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct CodecCloser
{
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};
struct PacketCloser
{
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct FrameCloser
{
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};

// The libraries' own messages would go to standard error for every damaged packet; the
// stream's failures reach the user as a reason instead.
void quietLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

std::optional<Picture::Layout> layoutOf(int format)
{
    switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
        return Picture::Layout::Halved;
    case AV_PIX_FMT_NV12:
        return Picture::Layout::HalvedInterleaved;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
        return Picture::Layout::HalvedAcross;
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
        return Picture::Layout::Full;
    case AV_PIX_FMT_GRAY8:
        return Picture::Layout::Grey;
    default:
        return std::nullopt;
    }
}

Picture::Matrix matrixOf(const AVFrame &frame)
{
    const bool full = frame.color_range == AVCOL_RANGE_JPEG || frame.format == AV_PIX_FMT_YUVJ420P
        || frame.format == AV_PIX_FMT_YUVJ422P || frame.format == AV_PIX_FMT_YUVJ444P;
    switch (frame.colorspace) {
    case AVCOL_SPC_BT709:
        return full ? Picture::Matrix::Bt709Full : Picture::Matrix::Bt709;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return Picture::Matrix::Bt2020;
    default:
        // BT.601, the matrix of streams that say none.
        return full ? Picture::Matrix::Jpeg : Picture::Matrix::Bt601;
    }
}

class FfmpegDecoder final : public video_module::Decoder
{
public:
    FfmpegDecoder(const video_module::Callbacks &callbacks, int maxPerSecond, bool keyFramesOnly,
                  const video_module::Source &source);
    ~FfmpegDecoder() override;

    void feed(const QByteArray &bytes) override;
    void startOver() override;
    void setKeyFramesOnly(bool keyFramesOnly) override;
    qint64 waitingBytes() const override;

private:
    struct Piece
    {
        QByteArray bytes;
        bool endOfStream = false;
    };
    void run();
    // One stream, from the first bytes after a start over to its end, or the address's whole
    // session; false when the decoder is to stop (asked to, or failed).
    bool playOneStream();
    // The format context, reading the bytes fed (through input, to be freed after the
    // context) or the address; null (and failed) when it does not open.
    AVFormatContext *openInput(std::unique_ptr<AVIOContext, InputCloser> &input);
    int read(uint8_t *to, int size);

    video_module::Callbacks m_callbacks;
    const int m_maxPerSecond;
    const video_module::Source m_source;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Piece> m_pieces;
    qint64 m_waitingBytes = 0;
    qsizetype m_readInPiece = 0;
    bool m_stop = false;
    bool m_keyFramesOnly;
    std::thread m_thread;
};

FfmpegDecoder::FfmpegDecoder(const video_module::Callbacks &callbacks, int maxPerSecond, bool keyFramesOnly,
                             const video_module::Source &source)
    : m_callbacks(callbacks)
    , m_maxPerSecond(std::max(1, maxPerSecond))
    , m_source(source)
    , m_keyFramesOnly(keyFramesOnly)
{
    quietLibraries();
    m_thread = std::thread([this] { run(); });
}

FfmpegDecoder::~FfmpegDecoder()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void FfmpegDecoder::feed(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_pieces.push_back(Piece{bytes, false});
        m_waitingBytes += bytes.size();
    }
    m_changed.notify_all();
}

void FfmpegDecoder::startOver()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_pieces.push_back(Piece{QByteArray(), true});
    }
    m_changed.notify_all();
}

void FfmpegDecoder::setKeyFramesOnly(bool keyFramesOnly)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_keyFramesOnly = keyFramesOnly;
}

qint64 FfmpegDecoder::waitingBytes() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_waitingBytes;
}

int FfmpegDecoder::read(uint8_t *to, int size)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_stop || !m_pieces.empty(); });
    if (m_stop)
        return AVERROR_EXIT;
    Piece &piece = m_pieces.front();
    // The stream ends here; the mark goes when the stream is closed.
    if (piece.endOfStream)
        return AVERROR_EOF;
    const int n = int(std::min<qsizetype>(size, piece.bytes.size() - m_readInPiece));
    std::memcpy(to, piece.bytes.constData() + m_readInPiece, size_t(n));
    m_readInPiece += n;
    m_waitingBytes -= n;
    if (m_readInPiece == piece.bytes.size()) {
        m_pieces.pop_front();
        m_readInPiece = 0;
    }
    return n;
}

void FfmpegDecoder::run()
{
    while (playOneStream()) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        // Past the end of the stream that closed, or of what was left of it.
        while (!m_pieces.empty() && !m_pieces.front().endOfStream) {
            m_waitingBytes -= m_pieces.front().bytes.size() - m_readInPiece;
            m_readInPiece = 0;
            m_pieces.pop_front();
        }
        if (!m_pieces.empty())
            m_pieces.pop_front();
    }
}

bool FfmpegDecoder::playOneStream()
{
    const auto stopping = [this] {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_stop;
    };
    const auto fail = [&](const QString &reason) {
        if (!stopping())
            m_callbacks.failed(reason);
        return false;
    };
    const bool network = !m_source.address.isEmpty();

    std::unique_ptr<AVIOContext, InputCloser> input;
    AVFormatContext *opened = openInput(input);
    if (!opened)
        return false;
    std::unique_ptr<AVFormatContext, FormatCloser> format(opened);
    // A session's description names its video's codec and parameters already; probing them
    // would wait for half a dozen frames before the first is shown.
    const int described = network ? av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) : -1;
    const bool probe = described < 0 || format->streams[described]->codecpar->codec_id == AV_CODEC_ID_NONE;
    if (const int error = probe ? avformat_find_stream_info(format.get(), nullptr) : 0; error < 0)
        return fail(network ? networkFailure(error, m_source.timeoutMs, true) : QStringLiteral("Not a video stream"));

    const AVCodec *codec = nullptr;
    const int track = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (track == AVERROR_STREAM_NOT_FOUND)
        return fail(QStringLiteral("No video in the stream"));
    if (track < 0 || !codec)
        return fail(QStringLiteral("Video format not supported"));
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == track ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    const AVStream *stream = format->streams[track];

    std::unique_ptr<AVCodecContext, CodecCloser> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0)
        return fail(QStringLiteral("Video format not supported"));
    // Key frames alone decode one at a time: threads would only take memory (each its own
    // frames), and a wall has many decoders.
    bool keyFramesOnly = false;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        keyFramesOnly = m_keyFramesOnly;
    }
    decoder->thread_count = keyFramesOnly ? 1 : std::clamp(QThread::idealThreadCount(), 1, DecoderThreadsAtMost);
    decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    decoder->pkt_timebase = stream->time_base;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return fail(QStringLiteral("Video format not supported"));

    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
    if (!packet || !frame)
        return fail(QStringLiteral("Out of memory"));

    live_rules::FramePacer pacer(m_maxPerSecond);
    std::optional<std::pair<Clock::time_point, qint64>> anchor; // a wall time and the frame time there
    // false: the decoder is to stop.
    const auto handOut = [&](const AVFrame &decoded) {
        const qint64 pts = decoded.best_effort_timestamp;
        const qint64 ms = pts == AV_NOPTS_VALUE ? (anchor ? anchor->second : 0)
                                                : av_rescale_q(pts, stream->time_base, AVRational{1, 1000});
        if (!pacer.take(ms))
            return true;
        const Clock::time_point now = Clock::now();
        Clock::time_point due = anchor ? anchor->first + std::chrono::milliseconds(ms - anchor->second) : now;
        if (!anchor || now - due > LateAtMost || due - now > LateAtMost) {
            anchor = std::make_pair(now, ms);
            due = now;
        }
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_changed.wait_until(lock, due, [this] { return m_stop; }))
                return false;
        }
        const std::optional<Picture::Layout> layout = layoutOf(decoded.format);
        if (!layout) {
            fail(QStringLiteral("Video format not supported"));
            return false;
        }
        Picture picture;
        picture.width = decoded.width;
        picture.height = decoded.height;
        picture.layout = *layout;
        picture.matrix = matrixOf(decoded);
        for (int p = 0; p < 3; ++p) {
            picture.data[p] = decoded.data[p];
            picture.stride[p] = decoded.linesize[p];
        }
        picture.presentationMs = ms;
        picture.codec = codec->name;
        m_callbacks.frame(picture);
        return true;
    };
    // A session may go on without a picture (a server sending its reports only).
    Clock::time_point lastDecoded = Clock::now();
    // Every frame the decoder has ready; false: the decoder is to stop.
    const auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            lastDecoded = Clock::now();
            const bool goOn = handOut(*frame);
            av_frame_unref(frame.get());
            if (!goOn)
                return false;
        }
        return true;
    };

    for (;;) {
        const int got = av_read_frame(format.get(), packet.get());
        if (got < 0) {
            if (stopping())
                return false;
            // An address's session ends only when it fails.
            if (network)
                return fail(networkFailure(got, m_source.timeoutMs, true));
            // The end of this stream: what the decoder holds is shown first.
            avcodec_send_packet(decoder.get(), nullptr);
            return drain();
        }
        if (packet->stream_index == track) {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                decoder->skip_frame = m_keyFramesOnly ? AVDISCARD_NONKEY : AVDISCARD_DEFAULT;
            }
            // A packet that does not decode is passed over.
            (void)avcodec_send_packet(decoder.get(), packet.get());
            if (!drain()) {
                av_packet_unref(packet.get());
                return false;
            }
        }
        av_packet_unref(packet.get());
        if (network && Clock::now() - lastDecoded > std::chrono::milliseconds(m_source.timeoutMs))
            return fail(noVideoFor(m_source.timeoutMs));
    }
}

AVFormatContext *FfmpegDecoder::openInput(std::unique_ptr<AVIOContext, InputCloser> &input)
{
    const auto fail = [this](const QString &reason) -> AVFormatContext * {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_stop)
            m_callbacks.failed(reason);
        return nullptr;
    };
    const bool network = !m_source.address.isEmpty();
    if (!network) {
        auto *buffer = static_cast<unsigned char *>(av_malloc(ReadBufferBytes));
        input.reset(avio_alloc_context(
            buffer, ReadBufferBytes, 0, this,
            [](void *self, uint8_t *to, int size) { return static_cast<FfmpegDecoder *>(self)->read(to, size); },
            nullptr, nullptr));
        if (!input) {
            av_free(buffer);
            return fail(QStringLiteral("Out of memory"));
        }
    }
    AVFormatContext *opened = avformat_alloc_context();
    if (!opened)
        return fail(QStringLiteral("Out of memory"));
    if (input) {
        opened->pb = input.get();
        opened->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    // Also ends a connection, or a wait for the network, at once.
    opened->interrupt_callback.callback = [](void *self) {
        auto *decoder = static_cast<FfmpegDecoder *>(self);
        const std::lock_guard<std::mutex> lock(decoder->m_mutex);
        return decoder->m_stop ? 1 : 0;
    };
    opened->interrupt_callback.opaque = this;
    // Enough to find the video's size and codec in a segment's first key frame.
    opened->probesize = 512 * 1024;
    opened->max_analyze_duration = AV_TIME_BASE / 4;
    if (!network) {
        // On failure avformat_open_input frees the context itself.
        if (avformat_open_input(&opened, nullptr, av_find_input_format("mpegts"), nullptr) < 0)
            return fail(QStringLiteral("Not a video stream"));
        return opened;
    }
    // Interleaved on the session's own connection: no ports of ours, nothing opened but it;
    // the credentials, if any, are the address's own and go to its host only.
    AVDictionary *options = nullptr;
    av_dict_set(&options, "rtsp_transport", "tcp", 0);
    av_dict_set(&options, "protocol_whitelist", "rtsp,rtp,tcp,udp", 0);
    av_dict_set(&options, "allowed_media_types", "video", 0);
    av_dict_set_int(&options, "timeout", qint64(m_source.timeoutMs) * 1000, 0); // microseconds
    const int error = avformat_open_input(&opened, m_source.address.constData(), av_find_input_format("rtsp"), &options);
    av_dict_free(&options);
    if (error < 0)
        return fail(networkFailure(error, m_source.timeoutMs, false));
    return opened;
}

} // namespace

extern "C" __attribute__((visibility("default"))) video_module::Decoder *
lumora_video_create(int interfaceVersion, const video_module::Callbacks &callbacks, int maxPerSecond,
                    bool keyFramesOnly, const video_module::Source &source)
{
    if (interfaceVersion != video_module::InterfaceVersion)
        return nullptr;
    return new FfmpegDecoder(callbacks, maxPerSecond, keyFramesOnly, source);
}
