#pragma once
// The one-second heartbeat and the running state's auto-shuffle switch.
//
// Each tick: when the selected cam is not yet on screen (its title is not the one shown
// last), shows its name, description, figures and rating on every cam-info view and
// announces camInfoShown(); shows the title on every title view; runs a picture refresh when the refresh
// countdown has run out, else counts it down; counts the auto-shuffle countdown and jumps
// to a random cam when it has run out; shows the countdown.
// A jump due on a tick that has just started a refresh waits for the next tick once, so
// the refresh is not given up as soon as it starts: with an auto-shuffle interval of 0
// each cam's picture still comes before the next cam.
// A tick that arrives while a refresh is still waiting for the network or for its picture's
// decode is skipped whole: it neither counts nor starts a second refresh, so a slow server
// or a slow picture stretches the interval. The end of every refresh starts the timer's
// second afresh.
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class CamImageFetch;
class CamInfoView;
class CamSelection;
class CountdownView;
class QTimer;
class TitleView;
struct RunningState;

class Heartbeat : public QObject
{
    Q_OBJECT
public:
    Heartbeat(RunningState &state, CamSelection &selection, CamImageFetch &fetch, CountdownView &countdown,
              QObject *parent = nullptr);

    void addCamInfoView(CamInfoView *view) { m_camInfoViews.append(view); }
    void addTitleView(TitleView *view) { m_titleViews.append(view); }

    // The timer (`Timer1`), one-second, stopped until the main window opens.
    QTimer *timer() const { return m_heartbeatTimer; }

    void onTick();
    // A refresh now rather than at the end of the countdown, which starts afresh; nothing
    // while one runs or before there are cams.
    void refreshNow();
    // Change of the autoShuffle switch, by the user or by the "a" command.
    void onAutoShuffleToggled();

signals:
    // A new cam's information went onto the views.
    void camInfoShown();

private:
    void showCamInformation();

    RunningState &m_state;
    CamSelection &m_selection;
    CamImageFetch &m_fetch;
    CountdownView &m_countdown;
    QList<CamInfoView *> m_camInfoViews;
    QList<TitleView *> m_titleViews;
    QTimer *m_heartbeatTimer;
    std::optional<QString> m_shownTitle;
    bool m_jumpWaited = false; // the last tick held a due jump back
};
