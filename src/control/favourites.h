#pragma once
// The user's favourite cams of this catalogue: the stars of the list rows, kept in the
// favourites file (favourites_file) each time one changes.
//
// load() runs once the cam table, own cams included, is built: the file's ids that a cam of
// the table has go into the running state's favouriteCams and get their star; the others
// stay in the file, in their place, for a catalogue that has them again. The user's own
// cams get their mark too. A file that cannot be read gives no favourites and a warning;
// it is then never written over, so a file the program failed to read is not lost to it
// (each change says once that it is not kept). toggle() stars or unstars a cam, shows it
// and writes the file; a failed write leaves the star and warns.
#include <QHash>
#include <QObject>
#include <QStringList>

class CamListView;
struct RunningState;

class Favourites : public QObject
{
    Q_OBJECT
public:
    Favourites(RunningState &state, CamListView &list, QObject *parent = nullptr);

    void load(const QString &file);
    void toggle(int cam);
    // Ctrl+D: the selected cam.
    void toggleCurrent();

signals:
    void favouritesChanged();
    // What Ctrl+D did, for the window in front.
    void statusMessage(const QString &text);
    // For standard error.
    void warning(const QString &text);

private:
    QString camId(int cam) const;

    RunningState &m_state;
    CamListView &m_list;
    QString m_file;
    bool m_writable = false;
    bool m_toldNotKept = false;
    QStringList m_fileIds; // in file order, those of other catalogues' cams included
};
