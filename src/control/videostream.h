#pragma once
// A video cam's source of frames, whatever brings its video (HlsStream: playlists and segments
// through the program's downloads; RtspStream: an RTSP session the video module holds). Its
// decoder's frames wait here, the newest only, until taken: frameWaiting() says one came to
// an empty place, takeFrame() takes it. failed() ends the stream with a reason a user may
// read; nothing more comes after it.
#include "platform/videodecoder.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <mutex>
#include <optional>

class VideoStream : public QObject
{
    Q_OBJECT
public:
    explicit VideoStream(QObject *parent = nullptr);

    // Before start(): the longest wait for the network.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    virtual void setKeyFramesOnly(bool keyFramesOnly) = 0;
    // The size the frames are shown at, in device pixels (a stream may offer several).
    virtual void setViewPixels(const QSize &pixels) { Q_UNUSED(pixels); }
    virtual void start() = 0;
    // Ends the stream's transfers and its decoder's thread at once; nothing comes after it.
    virtual void stop() = 0;

    // The newest frame decoded and not taken yet.
    std::optional<VideoFrame> takeFrame();
    // The bytes the program received for the video so far (none counted where the module
    // receives them).
    virtual qint64 receivedBytes() const { return 0; }

    // Of an address: whether it names an RTSP stream (rtsp://).
    static bool isRtspAddress(const QString &address);

signals:
    void frameWaiting();
    void failed(const QString &reason);

protected:
    // For the stream's decoder: its frames come here, its failure ends the stream (on the
    // stream's thread). The decoder must go before this object does.
    VideoDecoder::Callbacks decoderCallbacks();
    // Ends the stream, once.
    virtual void fail(const QString &reason) = 0;

    int m_timeoutMs = 30000;

private:
    std::mutex m_frameMutex;
    std::optional<VideoFrame> m_frame;
};
