#pragma once
// A live video's frames from its bytes, demuxed and decoded by FFmpeg's libraries on a thread
// of its own, in the video module (videomodule/videomodule.h), loaded with the first decoder
// made; without the module every decoder fails at once ("Video cannot be played here").
//
// The bytes come in pieces (feed(): an HLS segment at a time) and form one MPEG-TS stream, the
// container live HLS segments come in; nothing but the bytes fed is ever read, and nothing is
// written. The stream's first video track is decoded (H.264, H.265 or whatever else the
// libraries decode), by at most two threads. Each frame is handed out at its presentation time
// against the wall clock, counted from the first frame: the stream plays at its own pace, not
// as fast as it decodes. Of the frames, at most maxPerSecond a second are handed out; the
// others are decoded, as later frames depend on them, but neither converted nor copied. A frame
// whose time has passed goes out at once, and one more than a second late sets the clock anew,
// so that a stream that stalled for a while does not race afterwards.
//
// With an rtsp:// address the decoder reads no bytes fed but opens the address itself: RTSP
// over TCP (nothing else is opened; credentials only those in the address, for its host
// only), failing when no byte or no frame comes for timeoutMs; its frames go out as the fed
// bytes' do. Its failures say why: "Connection refused", the credentials refused (401), no
// such stream (404), the server ending the session, "No video for N seconds".
//
// keyFramesOnly: only key frames are decoded (a wall tile's cheap way to follow a stream).
// startOver(): the bytes fed so far end a stream, the next ones begin another (a playlist's
// discontinuity, a switch to another size).
//
// Both callbacks run on the decoder's thread. frame() gets the frame's planes at its decoded
// size (memory of newPicture, so reused while a PictureRecycling lives); failed() ends the
// decoder with a short reason a user may read ("Not a video stream", "No video in the
// stream", "Video format not supported", ...). A frame that does not decode is passed over.
#include "platform/yuvplanes.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace video_module {
class Decoder;
}

struct VideoFrame
{
    YuvPlanes planes;
    qint64 presentationMs = 0; // from the stream's start
    QString codec;             // the decoder's short name ("h264")
};

class VideoDecoder
{
public:
    struct Callbacks
    {
        std::function<void(VideoFrame &&frame)> frame;
        std::function<void(const QString &reason)> failed;
    };
    VideoDecoder(Callbacks callbacks, int maxPerSecond, bool keyFramesOnly, const QString &address = QString(),
                 int timeoutMs = 30000);
    // Stops the thread; no callback runs after it.
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder &) = delete;
    VideoDecoder &operator=(const VideoDecoder &) = delete;

    void feed(const QByteArray &bytes);
    void startOver();
    void setKeyFramesOnly(bool keyFramesOnly);
    // Bytes fed and not yet read by the demuxer.
    qint64 waitingBytes() const;

    // Where the module is looked for; empty when it is not there.
    static QString modulePath();

private:
    Callbacks m_callbacks;
    std::unique_ptr<video_module::Decoder> m_decoder;
};
