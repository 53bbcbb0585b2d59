#pragma once
// The refresh and auto-shuffle countdowns, in ticks of the heartbeat.
#include "core/rules/countdown.h"

#include <QObject>

class Countdowns : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    const countdown::Countdown &refresh() const { return m_refresh; }
    const countdown::Countdown &shuffle() const { return m_shuffle; }

    void setRefresh(const countdown::Countdown &countdown);
    void setShuffle(const countdown::Countdown &countdown);

signals:
    void refreshChanged(const countdown::Countdown &countdown);
    void shuffleChanged(const countdown::Countdown &countdown);

private:
    countdown::Countdown m_refresh;
    countdown::Countdown m_shuffle;
};
