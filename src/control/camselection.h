#pragma once
// The cam selection: the list highlight, the hand-over of the selected cam to the rest of
// the program and random picks.
//
// Works on the shared running state and the cam list view; keeps no state of its own.
// showCurrentCam fetches nothing: it prepares the cam, empties the comment table and sets
// the refresh countdown to 0, so the next heartbeat tick downloads the new picture.
#include <QObject>

class CamListView;
class QRandomGenerator;
struct RunningState;

class CamSelection : public QObject
{
    Q_OBJECT
public:
    CamSelection(RunningState &state, CamListView &list, QRandomGenerator &random, QObject *parent = nullptr);

    // Builds the list rows from the cam table.
    void buildRows();

    void selectListCam(int k);
    void showCurrentCam();
    void pickRandomCam();
    // Highlights cam k, scrolls it into view, makes it current and shows it, in that order.
    void goToCam(int k);
    // Row click: any part of row i.
    void rowClicked(int i);

signals:
    // A cam is being handed over (also the same cam again); emitted before anything of it
    // is shown.
    void camChanged();
    // The state's picture address changed; the windows have yet to show it.
    void pictureAddressChanged();
    // What the picture areas show belongs to the old cam: erase it.
    void eraseRequested();

private:
    RunningState &m_state;
    CamListView &m_list;
    QRandomGenerator &m_random;
};
