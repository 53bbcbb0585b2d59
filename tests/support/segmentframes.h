// The pictures of MPEG-TS held in memory (a segment, or segments one after another as a client
// reads them), decoded with libavformat and libavcodec, for checking what a server streams. Header only; a test that includes it links libavformat,
// libavcodec and libavutil.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QByteArray>
#include <QList>
#include <QSize>

#include <cstring>

struct SegmentFrames {
    bool opened = false;       // the bytes demux as MPEG-TS with a video stream a decoder takes
    QSize size;                // of every frame; invalid when they differ
    QList<QByteArray> luma;    // each frame's luma plane, rows packed
    QList<bool> keyFrames;     // per frame
    QList<qint64> times;       // each video packet's presentation time, in the stream's time base
    int corruptPackets = 0;    // packets the demuxer found damaged (lost transport packets, say)
    QByteArray profileLevel;   // the three bytes after the first H.264 sequence parameter set's NAL header
};

inline SegmentFrames decodeSegment(const QByteArray &ts)
{
    struct Reader {
        const QByteArray *bytes;
        qsizetype at = 0;
    } reader {&ts};
    struct Held {
        AVFormatContext *format = nullptr;
        AVIOContext *io = nullptr;
        AVCodecContext *codec = nullptr;
        AVPacket *packet = av_packet_alloc();
        AVFrame *frame = av_frame_alloc();
        ~Held()
        {
            av_frame_free(&frame);
            av_packet_free(&packet);
            avcodec_free_context(&codec);
            avformat_close_input(&format);
            if (io)
                av_freep(&io->buffer);
            avio_context_free(&io);
        }
    } held;

    SegmentFrames result;
    const auto read = [](void *opaque, uint8_t *buffer, int size) -> int {
        auto *r = static_cast<Reader *>(opaque);
        const int n = int(std::min<qsizetype>(size, r->bytes->size() - r->at));
        if (n <= 0)
            return AVERROR_EOF;
        std::memcpy(buffer, r->bytes->constData() + r->at, size_t(n));
        r->at += n;
        return n;
    };
    constexpr int kBufferSize = 32 * 1024;
    auto *buffer = static_cast<uint8_t *>(av_malloc(kBufferSize));
    held.io = avio_alloc_context(buffer, kBufferSize, 0, &reader, read, nullptr, nullptr);
    held.format = avformat_alloc_context();
    if (!held.io || !held.format || !held.packet || !held.frame)
        return result;
    held.format->pb = held.io;
    held.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&held.format, nullptr, av_find_input_format("mpegts"), nullptr) < 0
        || avformat_find_stream_info(held.format, nullptr) < 0)
        return result;
    const AVCodec *decoder = nullptr;
    const int stream = av_find_best_stream(held.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream < 0 || !(held.codec = avcodec_alloc_context3(decoder))
        || avcodec_parameters_to_context(held.codec, held.format->streams[stream]->codecpar) < 0
        || avcodec_open2(held.codec, decoder, nullptr) < 0)
        return result;
    result.opened = true;

    const auto receive = [&] {
        while (avcodec_receive_frame(held.codec, held.frame) == 0) {
            const QSize size(held.frame->width, held.frame->height);
            result.size = result.luma.isEmpty() || result.size == size ? size : QSize();
            QByteArray plane;
            for (int row = 0; row < held.frame->height; ++row)
                plane.append(reinterpret_cast<const char *>(held.frame->data[0] + row * held.frame->linesize[0]),
                             held.frame->width);
            result.luma << plane;
            result.keyFrames << bool(held.frame->key_frame);
        }
    };
    while (av_read_frame(held.format, held.packet) >= 0) {
        if (held.packet->stream_index == stream) {
            result.times << held.packet->pts;
            result.corruptPackets += (held.packet->flags & AV_PKT_FLAG_CORRUPT) ? 1 : 0;
            if (result.profileLevel.isEmpty()) {
                const QByteArray data(reinterpret_cast<const char *>(held.packet->data), held.packet->size);
                const qsizetype sps = data.indexOf(QByteArray("\0\0\1\x67", 4));
                if (sps >= 0)
                    result.profileLevel = data.mid(sps + 4, 3);
            }
            avcodec_send_packet(held.codec, held.packet);
            receive();
        }
        av_packet_unref(held.packet);
    }
    avcodec_send_packet(held.codec, nullptr);
    receive();
    return result;
}
