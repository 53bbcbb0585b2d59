#include "control/rtspstream.h"

RtspStream::RtspStream(const QString &address, int maxPerSecond, QObject *parent)
    : VideoStream(parent)
    , m_address(address)
    , m_maxPerSecond(maxPerSecond)
{
}

RtspStream::~RtspStream()
{
    stop();
}

void RtspStream::stop()
{
    // The decoder's thread ends (its session closed at once) before the frame's place goes.
    m_decoder.reset();
    m_failed = true;
}

void RtspStream::setKeyFramesOnly(bool keyFramesOnly)
{
    m_keyFramesOnly = keyFramesOnly;
    if (m_decoder)
        m_decoder->setKeyFramesOnly(keyFramesOnly);
}

void RtspStream::start()
{
    if (m_decoder || m_failed)
        return;
    m_decoder = std::make_unique<VideoDecoder>(decoderCallbacks(), m_maxPerSecond, m_keyFramesOnly, m_address,
                                               m_timeoutMs);
}

void RtspStream::fail(const QString &reason)
{
    if (m_failed)
        return;
    m_failed = true;
    emit failed(reason);
}
