#pragma once
// A live RTSP cam's video (an rtsp:// address): the video module opens the address itself and
// holds the session (RTSP interleaved over TCP; credentials only from the address), so none of
// its bytes come through the program's downloads. Frames go out as any video's do
// (VideoStream); a failure (refused connection, credentials refused, the server ending the
// session, no video within the time-out) ends the stream with its reason.
#include "control/videostream.h"

#include <memory>

class RtspStream final : public VideoStream
{
    Q_OBJECT
public:
    RtspStream(const QString &address, int maxPerSecond, QObject *parent = nullptr);
    ~RtspStream() override;

    void setKeyFramesOnly(bool keyFramesOnly) override;
    void start() override;
    void stop() override;

private:
    void fail(const QString &reason) override;

    const QString m_address;
    const int m_maxPerSecond;
    bool m_keyFramesOnly = false;
    bool m_failed = false;
    // Last, so that it stops before anything its callbacks touch goes.
    std::unique_ptr<VideoDecoder> m_decoder;
};
