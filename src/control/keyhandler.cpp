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
        emit statusMessage(scaleModeMessage(scale_modes::caption(m_state.switches.scaleMode())));
        break;
    case Letter::Comments:
        m_state.switches.setShowComments(!m_state.switches.showComments());
        emit statusMessage(commentsMessage(m_state.switches.showComments()));
        break;
    case Letter::AutoShuffle:
        m_state.switches.setAutoShuffle(!m_state.switches.autoShuffle());
        emit statusMessage(autoShuffleMessage(m_state.switches.autoShuffle()));
        break;
    case Letter::None:
        break;
    }

    const std::optional<int> target = navigationTarget(keyCode, m_state.selection.currentCam(), m_state.catalogue.camCount());
    if (!target || m_state.catalogue.camCount() <= 0)
        return;
    m_selection.goToCam(clampTarget(*target, m_state.catalogue.camCount()));
}
