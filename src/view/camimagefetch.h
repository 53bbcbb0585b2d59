#pragma once
// FetchCamImage: one refresh of the selected cam. Downloads its picture into the working
// file "temp." + extension and shows the transfer statistics, downloads its comments into
// "temp.tmp" and rebuilds the comments table, loads the picture into picOriginal, draws it
// into both picture areas, deletes both working files and re-enables the heartbeat.
//
// Every step stands on its own: a failing step is skipped and the next one runs; nothing
// is reported to the caller. The downloads wait without blocking the windows. While one
// runs, a change of cam or the end of the program abandons the refresh: the transfer is
// cancelled and nothing of the old cam (picture, statistics, comments) is shown any more,
// but the working files are still deleted.
#include <QDir>
#include <QObject>

class Form1;
class PictureArea;
class Transfer;
struct RunningState;

class CamImageFetch : public QObject
{
    Q_OBJECT
public:
    CamImageFetch(RunningState &state, Form1 &form1, Transfer &inet, QDir workDir, int timeoutMs,
                  QObject *parent = nullptr);

    // The fullscreen window's picture area, the second target of every redraw.
    void setFullscreenArea(PictureArea *area) { m_fullscreenArea = area; }

    void FetchCamImage();
    bool isRunning() const { return m_running; }

    // A new cam was selected, or the program ends: a running refresh gives up.
    void abandon();

    // The transfer's state as bullets on the main picture area, while a refresh runs.
    void transferStateChanged(int code);

    float TransferSeconds = 0;

private:
    bool abandoned(quint64 run) const { return run != m_generation; }
    void writeFile(const QString &name, const QByteArray &bytes, bool *ok) const;

    RunningState &m_state;
    Form1 &m_form1;
    Transfer &m_inet;
    QDir m_workDir;
    int m_timeoutMs;
    PictureArea *m_fullscreenArea = nullptr;
    quint64 m_generation = 0; // counts abandoned refreshes
    quint64 m_run = 0;        // the generation the running refresh started in
    bool m_running = false;
};

// Draws text white with a black shadow one pixel right and down, at (120, 60) twips.
void DrawShadowText(PictureArea &area, const QString &text);
