#include "countdowns.h"

void Countdowns::setRefresh(const countdown::Countdown &countdown)
{
    if (countdown == m_refresh)
        return;
    m_refresh = countdown;
    emit refreshChanged(m_refresh);
}

void Countdowns::setShuffle(const countdown::Countdown &countdown)
{
    if (countdown == m_shuffle)
        return;
    m_shuffle = countdown;
    emit shuffleChanged(m_shuffle);
}
