#pragma once
// FetchCamImage: one refresh of the selected cam. Downloads its picture into the working
// file "temp." + extension and shows the transfer statistics, downloads its comments into
// "temp.tmp" and rebuilds the comments table, loads the picture into picOriginal, draws it
// into both picture areas, deletes both working files and re-enables the heartbeat.
//
// Every step stands on its own: a failing step is skipped and the next one runs; nothing
// is reported to the caller. The downloads wait without blocking the windows. The picture
// is decoded on a worker thread: FetchCamImage returns once the decode has started, and
// the refresh ends (drawing, working files deleted, heartbeat re-enabled, refreshEnded())
// when its result is back. A decode running longer than the decode budget is given up and
// the refresh ends as a failed load. While the refresh runs, a change of cam or the end of
// the program abandons it: the transfer or the decode is given up and nothing of the old
// cam (picture, statistics, comments) is shown any more, but the working files are still
// deleted. isRunning() holds until the decoder has really let go, so no second refresh
// runs beside one.
#include <QDir>
#include <QObject>

class Form1;
class PictureArea;
class PictureLoadJob;
class Transfer;
struct LoadedPicture;
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
    bool isRunning() const;

    // A decode still running after this long is given up.
    void setDecodeBudget(int ms);

    // A new cam was selected, or the program ends: a running refresh gives up.
    void abandon();

    // The transfer's state as bullets on the main picture area, while a refresh runs.
    void transferStateChanged(int code);

    float TransferSeconds = 0;

    // A picture held that takes more memory than this is let go when the next one starts
    // decoding, so that two never take memory at once. The areas keep showing it; a redraw
    // before the new picture is in (a resize, a mode change) finds no picture.
    static constexpr qsizetype LargePictureBytes = qsizetype(64) * 1024 * 1024;

signals:
    // A refresh is over: its picture drawn or given up, its working files deleted.
    void refreshEnded();

private:
    bool abandoned(quint64 run) const { return run != m_generation; }
    void writeFile(const QString &name, const QByteArray &bytes, bool *ok) const;
    void pictureLoaded(const LoadedPicture &result);
    void endRefresh();

    RunningState &m_state;
    Form1 &m_form1;
    Transfer &m_inet;
    QDir m_workDir;
    int m_timeoutMs;
    PictureArea *m_fullscreenArea = nullptr;
    PictureLoadJob *m_pictureLoad;
    QString m_extension; // of the running refresh's picture file
    quint64 m_generation = 0; // counts abandoned refreshes
    quint64 m_run = 0;        // the generation the running refresh started in
    bool m_running = false;
};

// Draws text white with a black shadow one pixel right and down, at (120, 60) twips.
void DrawShadowText(PictureArea &area, const QString &text);
