#pragma once
// The marks of the cam list's rows, kept to the running state's cam health, whoever wrote
// it (the main window's refresh or a tile of the wall): a row is marked Failed while its
// cam's last refresh failed, else Unchanged while its picture counts as unchanged.
//
// update() runs on every heartbeat tick; the view hears only of rows whose mark changed.
// Every row of a cam id that appears more than once gets the mark.
#include "control/views.h"

#include <QHash>
#include <QObject>
#include <QString>

struct CamHealth;
struct RunningState;

class CamMarks : public QObject
{
    Q_OBJECT
public:
    CamMarks(RunningState &state, CamMarkView &view, QObject *parent = nullptr);

    void update();

    static CamMark markFor(const CamHealth &health);

private:
    RunningState &m_state;
    CamMarkView &m_view;
    QMultiHash<QString, int> m_rowsOfCam; // of the cam table as it was at m_rowsCount
    int m_rowsCount = -1;
    QHash<int, CamMark> m_shown; // the rows marked now
};
