#include "control/videostream.h"

#include <QUrl>

VideoStream::VideoStream(QObject *parent)
    : QObject(parent)
{
}

bool VideoStream::isRtspAddress(const QString &address)
{
    const QUrl url(address);
    return url.isValid() && url.scheme().compare(QLatin1String("rtsp"), Qt::CaseInsensitive) == 0
        && !url.host().isEmpty();
}

std::optional<VideoFrame> VideoStream::takeFrame()
{
    const std::lock_guard<std::mutex> lock(m_frameMutex);
    return std::exchange(m_frame, std::nullopt);
}

VideoDecoder::Callbacks VideoStream::decoderCallbacks()
{
    VideoDecoder::Callbacks callbacks;
    callbacks.frame = [this](VideoFrame &&frame) {
        bool wasEmpty = false;
        {
            const std::lock_guard<std::mutex> lock(m_frameMutex);
            wasEmpty = !m_frame;
            m_frame = std::move(frame);
        }
        // A frame that replaces one not yet taken was announced already.
        if (wasEmpty)
            QMetaObject::invokeMethod(this, &VideoStream::frameWaiting, Qt::QueuedConnection);
    };
    callbacks.failed = [this](const QString &reason) {
        QMetaObject::invokeMethod(this, [this, reason] { fail(reason); }, Qt::QueuedConnection);
    };
    return callbacks;
}
