#include "viewerswitches.h"

namespace {

// Sets a value and announces it, only when it changes.
template <typename T, typename Signal>
void change(ViewerSwitches *switches, T &field, const T &value, Signal signal)
{
    if (field == value)
        return;
    field = value;
    emit(switches->*signal)(value);
}

} // namespace

void ViewerSwitches::setScaleMode(ViewScaleMode mode) { change(this, m_scaleMode, mode, &ViewerSwitches::scaleModeChanged); }
void ViewerSwitches::setInfoBarOn(bool on) { change(this, m_infoBarOn, on, &ViewerSwitches::infoBarOnChanged); }
void ViewerSwitches::setShowComments(bool on) { change(this, m_showComments, on, &ViewerSwitches::showCommentsChanged); }
void ViewerSwitches::setAutoShuffle(bool on) { change(this, m_autoShuffle, on, &ViewerSwitches::autoShuffleChanged); }

void ViewerSwitches::setRefreshIntervalText(const QString &text)
{
    change(this, m_refreshIntervalText, text, &ViewerSwitches::refreshIntervalTextChanged);
}

void ViewerSwitches::setShuffleIntervalText(const QString &text)
{
    change(this, m_shuffleIntervalText, text, &ViewerSwitches::shuffleIntervalTextChanged);
}
