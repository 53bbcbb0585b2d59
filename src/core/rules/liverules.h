#pragma once
// A live cam's frames: how many are shown, and the figures of its stream.
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace live_rules {

// Frames shown per second at most, unless the command line says otherwise.
inline constexpr int DefaultMaxFramesPerSecond = 10;

// Lets a frame through at most maxPerSecond times a second on average: a frame is taken once
// its slot has come (or nearly: within a quarter of a slot), and slots missed while no frame
// came are not made up later in a burst.
class FramePacer
{
public:
    explicit FramePacer(int maxPerSecond = DefaultMaxFramesPerSecond);
    // Whether a frame arriving at nowMs (a monotonic clock) is to be shown; true takes the slot.
    bool take(qint64 nowMs);
    void reset() { m_nextMs.reset(); }

private:
    qint64 m_periodMs;
    std::optional<qint64> m_nextMs;
};

// A video stream's codec (a decoder's short name, "h264") and size as a user reads them:
// "H.264 1920x1080".
QString videoFormatText(const QString &codec, const QSize &size);

// Frames shown and bytes received per second, over windows of a second or more.
struct StreamRates
{
    double framesPerSecond = 0;
    double bytesPerSecond = 0;
};

class RateMeter
{
public:
    // A frame was shown at nowMs, the stream having brought receivedBytes by then. Once a
    // window of at least a second has passed since the last figures, the new ones.
    std::optional<StreamRates> frameShown(qint64 nowMs, qint64 receivedBytes);
    void reset() { m_started = false; }

private:
    bool m_started = false;
    qint64 m_startMs = 0;
    qint64 m_startBytes = 0;
    int m_frames = 0;
};

// Why a stream that ended without a failure shows nothing more.
QString streamEndedReason(qint64 parts);

} // namespace live_rules
