#pragma once
// The cam selection: the list highlight, the hand-over of the selected cam to the rest of
// the program and random picks.
//
// Works on the shared running state and the cam list view; keeps no state of its own.
// A random pick passes by the cams that failed within retry_rules::AvoidAfterFailureMs
// (by the running state's cam health) while any other cam is left; it takes one number of the
// generator either way, so with no failures it picks what it always did.
// showCam fetches nothing: it makes cam k the selected one, its comments empty, and sets
// the refresh countdown to 0, so the next heartbeat tick downloads the new picture.
#include <QObject>

#include <vector>

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
    void showCam(int k);
    void pickRandomCam();
    // Highlights cam k, scrolls it into view, makes it current and shows it, in that order.
    void goToCam(int k);
    // Row click: any part of row i.
    void rowClicked(int i);

signals:
    // A cam is being handed over (also the same cam again); emitted before anything of it
    // is shown.
    void camChanged();
    // What the picture areas show belongs to the old cam: erase it.
    void eraseRequested();

private:
    // The cams a random pick may choose, in table order; none when no cam failed lately.
    std::vector<int> camsNotFailedLately() const;

    RunningState &m_state;
    CamListView &m_list;
    QRandomGenerator &m_random;
};
