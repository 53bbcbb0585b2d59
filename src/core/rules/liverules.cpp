#include "liverules.h"

#include <QCoreApplication>
#include <QHash>

#include <algorithm>

namespace live_rules {

FramePacer::FramePacer(int maxPerSecond)
    : m_periodMs(1000 / std::clamp(maxPerSecond, 1, 1000))
{
}

QString videoFormatText(const QString &codec, const QSize &size)
{
    static const QHash<QString, QString> names{{QStringLiteral("h264"), QStringLiteral("H.264")},
                                               {QStringLiteral("hevc"), QStringLiteral("H.265")},
                                               {QStringLiteral("mpeg2video"), QStringLiteral("MPEG-2")},
                                               {QStringLiteral("av1"), QStringLiteral("AV1")},
                                               {QStringLiteral("vp9"), QStringLiteral("VP9")}};
    const QString name = names.value(codec, codec.toUpper());
    return QStringLiteral("%1 %2x%3").arg(name).arg(size.width()).arg(size.height());
}

bool FramePacer::take(qint64 nowMs)
{
    // A frame a little early for its slot takes it: a camera's frames come with jitter, and
    // one 10 ms early must not wait out a whole slot.
    if (m_nextMs && nowMs + m_periodMs / 4 < *m_nextMs)
        return false;
    // The next slot follows this one's, so frames that come at an uneven pace still make
    // the rate; one late by more than a slot starts the count afresh.
    const qint64 slot = m_nextMs && nowMs - *m_nextMs < m_periodMs ? *m_nextMs : nowMs;
    m_nextMs = slot + m_periodMs;
    return true;
}

std::optional<StreamRates> RateMeter::frameShown(qint64 nowMs, qint64 receivedBytes)
{
    if (!m_started || nowMs < m_startMs) {
        m_started = true;
        m_startMs = nowMs;
        m_startBytes = receivedBytes;
        m_frames = 0;
        return std::nullopt;
    }
    ++m_frames;
    const qint64 elapsedMs = nowMs - m_startMs;
    if (elapsedMs < 1000)
        return std::nullopt;
    const double seconds = double(elapsedMs) / 1000.0;
    const StreamRates rates{m_frames / seconds, double(receivedBytes - m_startBytes) / seconds};
    m_startMs = nowMs;
    m_startBytes = receivedBytes;
    m_frames = 0;
    return rates;
}

QString streamEndedReason(qint64 parts)
{
    return QCoreApplication::translate("live_rules", "The live stream ended after %1 pictures").arg(parts);
}

} // namespace live_rules
