#include "keyhandler.h"

#include "app/runningstate.h"
#include "camlist/selection.h"
#include "commands/keycodes.h"
#include "commands/keycommands.h"
#include "view/scalemodes.h"
#include "windows/form1.h"
#include "windows/form3.h"

#include <QApplication>
#include <QKeyEvent>

KeyHandler::KeyHandler(RunningState &state, Form1 &form1, Form3 &form3, CamSelection &selection, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_form1(form1)
    , m_form3(form3)
    , m_selection(selection)
{
}

void KeyHandler::Form_KeyDown(int keyCode, int /*shift*/)
{
    using namespace key_commands;
    switch (letterCommand(keyCode)) {
    case Letter::RandomCam:
        m_selection.PickRandomCam();
        break;
    case Letter::ScaleMode:
        m_form1.CycleScaleMode();
        m_form3.showStatusMessage(scaleModeMessage(scale_modes::caption(m_state.scaleMode)));
        break;
    case Letter::Comments:
        m_state.showComments = !m_state.showComments;
        emit showCommentsChanged();
        m_form3.showStatusMessage(commentsMessage(m_state.showComments));
        break;
    case Letter::AutoShuffle:
        m_state.autoShuffle = !m_state.autoShuffle;
        emit autoShuffleChanged();
        m_form3.showStatusMessage(autoShuffleMessage(m_state.autoShuffle));
        break;
    case Letter::None:
        break;
    }

    const std::optional<int> target = navigationTarget(keyCode, m_state.CurrentCam, m_state.CamCount);
    if (!target || m_state.CamCount <= 0)
        return;
    m_selection.goToCam(clampTarget(*target, m_state.CamCount));
}

MainKeyPreview::MainKeyPreview(QWidget &window, KeyHandler &handler, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_handler(handler)
{
    qApp->installEventFilter(this);
}

bool MainKeyPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    if (widget->window() != &m_window)
        return false;
    // A key ignored by a widget travels on to its parents; hand it over only where it
    // started: the focused widget, or the window itself when nothing in it has the focus.
    QWidget *focus = QApplication::focusWidget();
    const QWidget *start = focus && focus->window() == &m_window ? focus : &m_window;
    if (widget != start)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const int code = keycodes::virtualKeyCode(key->key(), key->modifiers());
    if (code != 0)
        m_handler.Form_KeyDown(code, 0);
    return false;
}
