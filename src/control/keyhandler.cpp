#include "keyhandler.h"

#include "control/camselection.h"
#include "core/geometry/scalemodes.h"
#include "core/keys/keycommands.h"
#include "core/state/runningstate.h"

KeyHandler::KeyHandler(RunningState &state, CamSelection &selection, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_selection(selection)
{
}

void KeyHandler::onKeyDown(int keyCode, int /*shift*/)
{
    using namespace key_commands;
    switch (letterCommand(keyCode)) {
    case Letter::RandomCam:
        m_selection.pickRandomCam();
        break;
    case Letter::ScaleMode:
        emit scaleModeStepRequested();
        emit statusMessage(scaleModeMessage(scale_modes::caption(m_state.scaleMode)));
        break;
    case Letter::Comments:
        m_state.showComments = !m_state.showComments;
        emit showCommentsChanged();
        emit statusMessage(commentsMessage(m_state.showComments));
        break;
    case Letter::AutoShuffle:
        m_state.autoShuffle = !m_state.autoShuffle;
        emit autoShuffleChanged();
        emit statusMessage(autoShuffleMessage(m_state.autoShuffle));
        break;
    case Letter::None:
        break;
    }

    const std::optional<int> target = navigationTarget(keyCode, m_state.currentCam, m_state.camCount);
    if (!target || m_state.camCount <= 0)
        return;
    m_selection.goToCam(clampTarget(*target, m_state.camCount));
}
