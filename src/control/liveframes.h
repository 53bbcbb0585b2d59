#pragma once
// A live stream's frames as they are let through while it runs: at most maxPerSecond a
// second (live_rules::FramePacer), on a clock of its own, their pictures' memory reused
// from one frame to the next (PictureRecycling) until the stream ends.
#include "core/rules/liverules.h"
#include "platform/picturememory.h"

#include <QElapsedTimer>

#include <optional>

class LiveFrames
{
public:
    void begin(int maxPerSecond)
    {
        m_pacer = live_rules::FramePacer(maxPerSecond);
        m_recycling.emplace();
        m_clock.start();
    }
    void end() { m_recycling.reset(); }
    bool running() const { return m_recycling.has_value(); }
    // Whether a frame arriving now is to be shown; true takes its slot.
    bool take() { return m_pacer.take(m_clock.elapsed()); }
    // Since begin().
    qint64 elapsedMs() const { return m_clock.elapsed(); }

private:
    live_rules::FramePacer m_pacer;
    QElapsedTimer m_clock;
    std::optional<PictureRecycling> m_recycling;
};
