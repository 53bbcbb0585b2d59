#pragma once
// The key commands: the navigation keys move the selection through the cam list; "r",
// "s", "c" and "a" pick a random cam, step the scale mode, switch the comments and auto
// shuffle, the last three saying so with statusMessage().
//
// onKeyDown() takes virtual-key codes, from every window: the main window sees every key
// before the widget that has the focus, keys typed into the interval boxes included; the
// fullscreen and overlay windows relay the keys they do not use themselves.
#include <QObject>

class CamSelection;
struct RunningState;

class KeyHandler : public QObject
{
    Q_OBJECT
public:
    KeyHandler(RunningState &state, CamSelection &selection, QObject *parent = nullptr);

    void onKeyDown(int keyCode, int shift);

signals:
    // Exactly a click on the scale-mode button: the next mode, shown and drawn.
    void scaleModeStepRequested();
    // What a command did, for the fullscreen window's status box.
    void statusMessage(const QString &text);

private:
    RunningState &m_state;
    CamSelection &m_selection;
};
