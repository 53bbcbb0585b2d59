#pragma once
// Finding a cam by name or description: the filter line's text narrows the cam list to the
// cams that hold it (cam_search rules); Enter takes the first of them, Up and Down step from
// the selected cam to the match before or after it, closing the filter shows every row again
// with the selection where it is.
//
// The "favourites only" switch narrows the matches to the favourites among them, also for
// an empty query; while it is on, the filter line shows only those rows.
//
// The index of folded texts is built when the filter first opens, so a start without
// searching pays nothing and no keystroke waits for it.
#include "core/catalogue/camsearch.h"

#include <QObject>

class CamListView;
class CamSelection;
struct RunningState;

class CamSearch : public QObject
{
    Q_OBJECT
public:
    CamSearch(RunningState &state, CamSelection &selection, CamListView &list, QObject *parent = nullptr);

    // The filter line opened: the cams' texts are made ready for searching.
    void opened();
    void setQuery(const QString &text);
    void setFavouritesOnly(bool on);
    void chooseFirst();
    void step(int direction);
    // The filter was closed: every row again, the selected cam in sight.
    void closed();
    // The cams the last query found, in table order.
    const std::vector<int> &matches() const { return m_matches; }

private:
    void ensureIndex();
    // The query's matches shown, or every row.
    void showMatches();

    RunningState &m_state;
    CamSelection &m_selection;
    CamListView &m_list;
    cam_search::Index m_index;
    int m_indexedCams = -1;
    std::vector<int> m_matches;
    QString m_query;
    bool m_open = false;
    bool m_favouritesOnly = false;
};
