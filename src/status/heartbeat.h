#pragma once
// The one-second heartbeat (Form1's Timer1) and the running state's auto-shuffle switch
// (shown by Check2).
//
// Each tick: when the selected cam is not yet on screen (the main window's title tells),
// writes its name, description, figures and rating everywhere and moves the overlay to the
// other side of the screen; sets both titles; runs a picture refresh when the refresh
// countdown has run out, else counts it down; counts the auto-shuffle countdown and jumps
// to a random cam when it has run out; draws the countdown in the fullscreen window.
// A tick that arrives while a refresh is still waiting for the network or for its picture's
// decode is skipped whole: it neither counts nor starts a second refresh, so a slow server
// or a slow picture stretches the interval.
#include <QObject>

class CamImageFetch;
class CamSelection;
class Form1;
class Form3;
class Form4;
struct RunningState;

class Heartbeat : public QObject
{
    Q_OBJECT
public:
    Heartbeat(RunningState &state, Form1 &form1, Form3 &form3, Form4 &form4, CamSelection &selection,
              CamImageFetch &fetch, QObject *parent = nullptr);

    void Timer1_Timer();
    // Change of the autoShuffle switch, by a click on Check2 or by the "a" command.
    void Check2_Click();

private:
    void showCamInformation();

    RunningState &m_state;
    Form1 &m_form1;
    Form3 &m_form3;
    Form4 &m_form4;
    CamSelection &m_selection;
    CamImageFetch &m_fetch;
};
