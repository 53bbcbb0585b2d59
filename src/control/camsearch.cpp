#include "camsearch.h"

#include "control/camselection.h"
#include "control/views.h"
#include "core/catalogue/camrecord.h"
#include "core/state/runningstate.h"

#include <algorithm>

CamSearch::CamSearch(RunningState &state, CamSelection &selection, CamListView &list, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_selection(selection)
    , m_list(list)
{
}

void CamSearch::ensureIndex()
{
    if (m_indexedCams == m_state.catalogue.camCount())
        return;
    m_index.build(m_state.catalogue.camTable(), m_state.catalogue.camCount());
    m_indexedCams = m_state.catalogue.camCount();
}

void CamSearch::opened()
{
    ensureIndex();
    m_open = true;
    if (m_favouritesOnly)
        setQuery(m_query);
}

void CamSearch::setQuery(const QString &text)
{
    ensureIndex();
    m_query = text;
    m_matches = m_index.matches(text);
    if (m_favouritesOnly) {
        const auto notFavourite = [this](int cam) {
            return !m_state.catalogue.favouriteCams().contains(CamRecord::idOf(m_state.catalogue.camTable().at(cam)));
        };
        m_matches.erase(std::remove_if(m_matches.begin(), m_matches.end(), notFavourite), m_matches.end());
    }
    if (text.isEmpty() && !m_favouritesOnly) {
        m_list.showAll();
        m_list.scrollToCam(m_state.selection.currentCam());
    } else {
        m_list.showOnly(m_matches);
    }
}

void CamSearch::setFavouritesOnly(bool on)
{
    m_favouritesOnly = on;
    if (m_open)
        setQuery(m_query);
}

void CamSearch::chooseFirst()
{
    if (!m_matches.empty())
        m_selection.goToCam(m_matches.front());
}

void CamSearch::step(int direction)
{
    if (m_matches.empty())
        return;
    const int current = m_state.selection.currentCam();
    if (direction > 0) {
        const auto next = std::upper_bound(m_matches.begin(), m_matches.end(), current);
        if (next != m_matches.end())
            m_selection.goToCam(*next);
    } else {
        const auto here = std::lower_bound(m_matches.begin(), m_matches.end(), current);
        if (here != m_matches.begin())
            m_selection.goToCam(*(here - 1));
    }
}

void CamSearch::closed()
{
    m_open = false;
    m_query.clear();
    m_matches.clear();
    m_list.showAll();
    m_list.scrollToCam(m_state.selection.currentCam());
}
